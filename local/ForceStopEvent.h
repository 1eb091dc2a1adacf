#pragma once
#include <QEvent>

// The stop message the task list sends to a task window, synchronously (the sender waits
// until the window has handled it). A task window handles it in event().
constexpr int WM_FORCESTOP = 32968;

inline QEvent::Type ForceStopEventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType(WM_FORCESTOP));
    return type;
}
