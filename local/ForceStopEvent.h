#pragma once
#include <QEvent>

// The stop message the task list sends to a task window, synchronously (the sender waits
// until the window has handled it). A task window handles it in event().
constexpr int WM_FORCESTOP = 32968;

inline QEvent::Type ForceStopEventType()
{
    // Reserve the number so no dynamically registered type can take it; the type is
    // always the number itself.
    static const QEvent::Type type = [] {
        QEvent::registerEventType(WM_FORCESTOP);
        return static_cast<QEvent::Type>(WM_FORCESTOP);
    }();
    return type;
}
