#pragma once

// The main window's update timer merges bursts of change notifications into one refresh.
// These give the interval to (re)start it with after a notification.

/// The shown folder changed: start at 500 ms; while running, 500 ms more, at most 5000.
constexpr int ShownFolderChangeInterval(bool timerRunning, int currentMs)
{
    if (!timerRunning)
        return 500;
    return currentMs + 500 > 5000 ? 5000 : currentMs + 500;
}

/// A watched drive changed: start at 100 ms; while running, double, within 1000..5000.
constexpr int DriveChangeInterval(bool timerRunning, int currentMs)
{
    if (!timerRunning)
        return 100;
    const int doubled = currentMs * 2;
    return doubled < 1000 ? 1000 : (doubled > 5000 ? 5000 : doubled);
}
