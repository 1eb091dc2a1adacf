#include "ui/TIPEdit.h"

#include <QEvent>
#include <algorithm>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace {

constexpr int kFieldMax = 255;

} // namespace

TIPEdit::TIPEdit(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    // Digits only; a number above 255 is brought down to 255 as it is typed.
    auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this);
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            layout->addWidget(new QLabel(QStringLiteral("."), this));
        auto* field = new QLineEdit(this);
        field->setObjectName(QStringLiteral("IPField%1").arg(i + 1));
        field->setValidator(digits);
        field->setMaxLength(3);
        field->setAlignment(Qt::AlignCenter);
        field->setFixedWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
        field->installEventFilter(this);
        connect(field, &QLineEdit::textEdited, this, [this, i] { fieldEdited(i); });
        layout->addWidget(field);
        m_fields[i] = field;
    }
    layout->addStretch(1);
    setFocusProxy(m_fields[0]);
}

uint32_t TIPEdit::value() const
{
    uint32_t result = 0;
    for (QLineEdit* field : m_fields) {
        const int part = std::min(field->text().toInt(), kFieldMax);
        result = (result << 8) | static_cast<uint32_t>(part);
    }
    return result;
}

void TIPEdit::setValue(uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        m_fields[i]->setText(QString::number((value >> (8 * (3 - i))) & 0xFF));
    emit valueChanged();
}

void TIPEdit::clear()
{
    for (QLineEdit* field : m_fields)
        field->clear();
    emit valueChanged();
}

bool TIPEdit::isBlank() const
{
    for (QLineEdit* field : m_fields)
        if (!field->text().isEmpty())
            return false;
    return true;
}

void TIPEdit::fieldEdited(int index)
{
    QLineEdit* field = m_fields[index];
    if (field->text().toInt() > kFieldMax)
        field->setText(QString::number(kFieldMax));
    if (field->text().size() == 3 && field->cursorPosition() == 3 && index < 3)
        focusField(index + 1, false);
    emit valueChanged();
}

void TIPEdit::focusField(int index, bool atEnd)
{
    QLineEdit* field = m_fields[index];
    field->setFocus(Qt::OtherFocusReason);
    if (atEnd) {
        field->deselect();
        field->setCursorPosition(field->text().size());
    } else {
        field->selectAll();
    }
}

bool TIPEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const int index = static_cast<int>(std::find(m_fields.begin(), m_fields.end(), watched) - m_fields.begin());
    if (index >= 4)
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    QLineEdit* field = m_fields[index];
    if (key->text() == QLatin1String(".")) {
        // A dot ends the field, as in a typed address; an empty field stays where it is so
        // that ".." does not skip a part.
        if (index < 3 && !field->text().isEmpty())
            focusField(index + 1, false);
        return true;
    }
    if (key->key() == Qt::Key_Backspace && field->cursorPosition() == 0 && !field->hasSelectedText() && index > 0) {
        focusField(index - 1, true);
        return true;
    }
    if (key->key() == Qt::Key_Left && field->cursorPosition() == 0 && index > 0) {
        focusField(index - 1, true);
        return true;
    }
    if (key->key() == Qt::Key_Right && field->cursorPosition() == field->text().size() && index < 3) {
        focusField(index + 1, false);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
