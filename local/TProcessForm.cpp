#include "local/TProcessForm.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

TProcessForm::TProcessForm(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint)
    , m_animate(new QProgressBar(this))
    , m_label(new QLabel(this))
{
    setObjectName(QStringLiteral("ProcessForm"));
    m_animate->setObjectName(QStringLiteral("Animate"));
    m_label->setObjectName(QStringLiteral("Label"));
    m_animate->setTextVisible(false);
    m_animate->setRange(0, 1);
    m_animate->hide();
    m_label->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_animate);
    layout->addWidget(m_label);
    setMinimumWidth(320);
}

void TProcessForm::setAnimation(int animation)
{
    m_animation = animation;
    m_animate->setVisible(animation != AnimationNone);
}

void TProcessForm::setText(const QString& text)
{
    m_label->setText(text);
}

QString TProcessForm::text() const
{
    return m_label->text();
}

bool TProcessForm::animationRunning() const
{
    // A range of 0..0 is Qt's busy indicator: it moves for as long as it is set.
    return m_animate->isVisible() && m_animate->maximum() == 0;
}

void TProcessForm::showEvent(QShowEvent* event)
{
    if (m_animation != AnimationNone)
        m_animate->setRange(0, 0);
    QDialog::showEvent(event);
    adjustSize();
    if (QWidget* owner = parentWidget())
        move(owner->geometry().center() - rect().center());
}

void TProcessForm::closeEvent(QCloseEvent* event)
{
    m_animate->setRange(0, 1);
    QDialog::closeEvent(event);
}
