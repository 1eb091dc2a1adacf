#include <gtest/gtest.h>

#include "local/TWorkerThread.h"

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <thread>

// A program of its own: the withdrawal at exit cannot be undone within a process.

namespace {

class HandsOver : public TWorkerThread {
public:
    std::atomic<bool> synchronized{true};
    std::atomic<bool> ran{false};

protected:
    void Execute() override
    {
        synchronized = Synchronize([this] { ran = true; });
    }
};

} // namespace

TEST(TWorkerThreadShutdown, APendingSynchronizeIsWithdrawnAtExitSoTheWorkerEnds)
{
    HandsOver worker;
    worker.FreeOnTerminate = false;
    worker.Resume();
    // The window thread is busy (it does not run events) when the application quits, and
    // the worker's call is already waiting on it: a call made after the shutdown would
    // return at once and prove nothing about the withdrawal.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (TWorkerThread::WaitingCalls() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(TWorkerThread::WaitingCalls(), 1);
    TWorkerThread::ShutdownAll();
    ASSERT_TRUE(worker.wait(5000));
    EXPECT_FALSE(worker.synchronized);
    EXPECT_EQ(TWorkerThread::WaitingCalls(), 0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(worker.ran);  // the withdrawn procedure never runs later
}
