#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <functional>
#include <vector>

// Answers the modal dialogs of one step in the order they come up, the prompt and the
// message boxes after it alike, and a dialog that a step opens in turn. A dialog that nobody
// expected, or one a step left open for seconds, is cancelled and fails the test; an expected
// one that never came fails it when the script ends.
class DialogScript {
public:
    DialogScript()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }
    ~DialogScript() { EXPECT_TRUE(m_steps.empty()) << m_steps.size() << " dialogs never came up"; }

    template <class Dialog>
    DialogScript& then(std::function<void(Dialog&)> handle)
    {
        m_steps.push_back([handle](QWidget& shown) {
            auto* dialog = qobject_cast<Dialog*>(&shown);
            if (!dialog)
                return false;
            handle(*dialog);
            return true;
        });
        return *this;
    }

private:
    void poll()
    {
        auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!modal)
            return;
        if (std::find(m_handled.begin(), m_handled.end(), modal) != m_handled.end()) {
            if (m_sinceHandled.elapsed() > 5000) {
                ADD_FAILURE() << "left open: " << modal->windowTitle().toStdString();
                modal->reject();
            }
            return;
        }
        m_handled.emplace_back(modal);
        m_sinceHandled.start();
        std::function<bool(QWidget&)> step;
        if (!m_steps.empty()) {
            step = std::move(m_steps.front());
            m_steps.pop_front();
        }
        // The step runs from its own timer, not from this one: Qt does not fire a timer again
        // while its slot is running, so a dialog the step opens in turn would never be polled.
        QTimer::singleShot(0, modal, [modal, step = std::move(step)] {
            if (!step || !step(*modal)) {
                ADD_FAILURE() << "unexpected dialog: " << modal->windowTitle().toStdString();
                modal->reject();
            }
        });
    }

    std::deque<std::function<bool(QWidget&)>> m_steps;
    std::vector<QPointer<QDialog>> m_handled;
    QElapsedTimer m_sinceHandled;
    QTimer m_timer;
};
