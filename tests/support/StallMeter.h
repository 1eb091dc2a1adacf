#pragma once
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <functional>

// The longest time the window thread went without handling its events while the meter
// lived, measured with a 1 ms timer as tamsel-bench measures it. `onTick` runs on each
// tick (a test's way to act at a moment the server reaches).
class StallMeter {
public:
    StallMeter()
    {
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_clock.restart());
            if (onTick)
                onTick();
        });
        m_timer.start(1);
    }
    qint64 longestMs() const { return m_longest; }
    std::function<void()> onTick;

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};
