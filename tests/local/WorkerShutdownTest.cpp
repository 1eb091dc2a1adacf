#include <gtest/gtest.h>

#include "local/TWorkerThread.h"

#include <QCoreApplication>

#include <atomic>

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
    // The window thread is busy (it does not run events) when the application quits.
    QThread::msleep(100);
    TWorkerThread::ShutdownAll();
    ASSERT_TRUE(worker.wait(5000));
    EXPECT_FALSE(worker.synchronized);
    QCoreApplication::processEvents();
    EXPECT_FALSE(worker.ran);  // the withdrawn procedure never runs later
}
