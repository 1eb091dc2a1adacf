#include "ui/TStatusBar.h"

#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>

namespace {
constexpr int kDefaultWidths[TStatusBar::kPanelCount] = {250, 200, 100, 40, 40, 20};
}

TStatusBar::TStatusBar(QWidget* parent)
    : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    // Fixed panels must not keep the window from shrinking: panel 1 gives way on resize.
    setMinimumWidth(1);
    for (int i = 0; i < kPanelCount; ++i) {
        QWidget* panel = nullptr;
        if (i == kGaugePanel) {
            m_gauge = new QProgressBar(this);
            m_gauge->setTextVisible(false);
            m_gauge->setRange(0, 1);
            m_gauge->setValue(0);
            panel = m_gauge;
        } else {
            auto* label = new QLabel(this);
            label->setFrameShape(QFrame::Panel);
            label->setFrameShadow(QFrame::Sunken);
            label->setTextFormat(Qt::PlainText);
            panel = label;
        }
        panel->setObjectName(QStringLiteral("Panel%1").arg(i));
        panel->setFixedWidth(kDefaultWidths[i]);
        m_widths[i] = kDefaultWidths[i];
        // The last panel takes what the others leave.
        if (i == kPanelCount - 1)
            panel->setMinimumWidth(0), panel->setMaximumWidth(QWIDGETSIZE_MAX);
        addWidget(panel, i == kPanelCount - 1 ? 1 : 0);
        m_panels[i] = panel;
    }
}

QString TStatusBar::oneLine(const QString& text)
{
    // A panel is one line high: a second line would show as the top half of two. The lines
    // of a message (a context line and the error under it) read as one with a blank between.
    QStringList lines = text.split(QRegularExpression(QStringLiteral("\\r\\n|\\n|\\r")), Qt::SkipEmptyParts);
    for (QString& line : lines)
        line = line.trimmed();
    lines.removeAll(QString());
    return lines.join(QLatin1Char(' '));
}

void TStatusBar::setPanelText(int panel, const QString& text)
{
    if (auto* label = qobject_cast<QLabel*>(m_panels.at(panel))) {
        label->setText(oneLine(text));
        // The stretching panel may still be narrower than its text: the whole message,
        // lines as written, shows when the pointer rests on it.
        label->setToolTip(text.trimmed());
        fitPanel(panel);
    }
}

QString TStatusBar::panelText(int panel) const
{
    auto* label = qobject_cast<QLabel*>(m_panels.at(panel));
    return label ? label->text() : QString();
}

void TStatusBar::setPanelWidth(int panel, int width)
{
    m_widths.at(panel) = std::max(0, width);
    fitPanel(panel);
}

void TStatusBar::fitPanel(int panel)
{
    if (panel == kPanelCount - 1)
        return;  // the last panel stretches
    int width = m_widths[panel];
    if (auto* label = qobject_cast<QLabel*>(m_panels[panel]); label && !label->text().isEmpty()) {
        const QMargins margins = label->contentsMargins();
        const int needed = label->fontMetrics().horizontalAdvance(label->text()) + margins.left() + margins.right()
            + 2 * label->margin() + 2 * label->frameWidth() + 4;
        width = std::max(width, needed);
    }
    if (m_panels[panel]->width() != width || m_panels[panel]->minimumWidth() != width) {
        m_panels[panel]->setFixedWidth(width);
        emit resized();
    }
}

int TStatusBar::panelWidth(int panel) const
{
    return m_panels.at(panel)->width();
}

void TStatusBar::setBusy(bool busy)
{
    // A range of 0..0 is Qt's moving busy indicator.
    m_gauge->setRange(0, busy ? 0 : 1);
    m_gauge->setValue(0);
}

bool TStatusBar::isBusy() const
{
    return m_gauge->maximum() == 0;
}

void TStatusBar::setClientHeight(int height)
{
    for (QWidget* panel : m_panels)
        panel->setFixedHeight(height);
}

void TStatusBar::resizeEvent(QResizeEvent* event)
{
    QStatusBar::resizeEvent(event);
    emit resized();
}
