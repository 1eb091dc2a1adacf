#include "ui/THintStyle.h"

THintStyle::THintStyle(int hintPause, int hintShortPause)
    : m_hintPause(hintPause)
    , m_hintShortPause(hintShortPause)
{
}

int THintStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget, QStyleHintReturn* returnData) const
{
    if (hint == SH_ToolTip_WakeUpDelay)
        return m_hintPause;
    if (hint == SH_ToolTip_FallAsleepDelay)
        return m_hintShortPause;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}
