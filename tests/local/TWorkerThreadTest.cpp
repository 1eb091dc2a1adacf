#include <gtest/gtest.h>

#include "local/TBatchHandover.h"
#include "local/TWorkerThread.h"
#include "local/WaitFor.h"

#include <QPointer>
#include <QSemaphore>

#include <algorithm>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// A lister in miniature: begins a bulk update, hands over `count` items in batches,
// ends the update and delivers its completion itself unless stopped.
class FakeLister : public TWorkerThread {
public:
    explicit FakeLister(int count, int pauseAt = -1) : m_count(count), m_pauseAt(pauseAt) {}

    std::function<void()> OnBeginUpdate;
    std::function<void()> OnEndUpdate;
    std::function<void(const std::vector<int>&)> OnItems;

    QSemaphore reachedPause;
    QSemaphore resume;
    int Produced = 0;  // read by the completion handler

protected:
    void Execute() override
    {
        Synchronize([this] {
            if (OnBeginUpdate)
                OnBeginUpdate();
        });
        TBatchHandover<int> batches([this](std::vector<int>&& items) {
            SynchronizeUnlessStopped([&] {
                if (OnItems)
                    OnItems(items);
            });
        }, 7);
        for (int i = 0; i < m_count; ++i) {
            if (i == m_pauseAt) {
                batches.Flush();
                reachedPause.release();
                resume.acquire();
            }
            if (Terminated())
                break;
            batches.Add(i);
            ++Produced;
        }
        if (Terminated())
            batches.Discard();
        else
            batches.Flush();
        Synchronize([this] {
            if (OnEndUpdate)
                OnEndUpdate();
        });
        CallCompletion();
    }
    void ClearHandlers() override
    {
        OnItems = nullptr;
    }

private:
    int m_count;
    int m_pauseAt;
};

struct FakeList {
    std::vector<int> items;
    int updateDepth = 0;
    int maxDepth = 0;
    void attach(FakeLister* w)
    {
        w->OnBeginUpdate = [this] { maxDepth = std::max(maxDepth, ++updateDepth); };
        w->OnEndUpdate = [this] { --updateDepth; };
        w->OnItems = [this](const std::vector<int>& batch) { items.insert(items.end(), batch.begin(), batch.end()); };
    }
};

} // namespace

TEST(TWorkerThread, FinishedWorkerCompletesOnceOnTheWindowThreadAndFreesItself)
{
    FakeList list;
    auto* worker = new FakeLister(100);
    list.attach(worker);
    int completions = 0;
    bool onWindowThread = false;
    int producedSeen = -1;
    worker->OnTerminate = [&](TWorkerThread* sender) {
        ++completions;
        onWindowThread = QThread::currentThread() == qApp->thread();
        producedSeen = static_cast<FakeLister*>(sender)->Produced;
    };
    QPointer<FakeLister> alive(worker);
    worker->Resume();
    worker->Resume();  // harmless
    ASSERT_TRUE(WaitFor([&] { return alive.isNull(); }));
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(onWindowThread);
    EXPECT_EQ(producedSeen, 100);
    ASSERT_EQ(list.items.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(list.items[i], i);
    EXPECT_EQ(list.updateDepth, 0);
    EXPECT_EQ(list.maxDepth, 1);
}

TEST(TWorkerThread, StoppedWorkerPutsNothingOnScreenAndCallsNoHandlerButEndsItsUpdate)
{
    FakeList list;
    auto* worker = new FakeLister(100, 30);
    list.attach(worker);
    int completions = 0;
    worker->OnTerminate = [&](TWorkerThread*) { ++completions; };
    QPointer<FakeLister> alive(worker);
    worker->Resume();
    ASSERT_TRUE(WaitFor([&] { return worker->reachedPause.tryAcquire(); }));
    // The window shows something else now: stop and forget the worker.
    ASSERT_TRUE(WaitFor([&] { return list.items.size() == 30; }));
    worker->Terminate();
    list.items.clear();
    worker->resume.release();
    ASSERT_TRUE(WaitFor([&] { return alive.isNull(); }));
    EXPECT_TRUE(list.items.empty());
    EXPECT_EQ(completions, 0);
    EXPECT_EQ(list.updateDepth, 0);
}

TEST(TWorkerThread, ForceStoppedWorkerIsAbandonedAndStillFreesItself)
{
    FakeList list;
    auto* worker = new FakeLister(50, 10);
    list.attach(worker);
    bool called = false;
    worker->OnTerminate = [&](TWorkerThread*) { called = true; };
    QPointer<FakeLister> alive(worker);
    worker->Resume();
    ASSERT_TRUE(WaitFor([&] { return worker->reachedPause.tryAcquire(); }));
    worker->ForceStop();
    EXPECT_TRUE(worker->Terminated());
    EXPECT_FALSE(worker->OnTerminate);
    worker->resume.release();
    ASSERT_TRUE(WaitFor([&] { return alive.isNull(); }));
    EXPECT_FALSE(called);
    EXPECT_EQ(list.updateDepth, 0);
}

TEST(TWorkerThread, ClosedReceiverIsNeverCalledBack)
{
    FakeList list;
    auto* receiver = new QObject;
    auto* worker = new FakeLister(20, 5);
    list.attach(worker);
    worker->SetReceiver(receiver);
    bool called = false;
    worker->OnTerminate = [&](TWorkerThread*) { called = true; };
    QPointer<FakeLister> alive(worker);
    worker->Resume();
    ASSERT_TRUE(WaitFor([&] { return worker->reachedPause.tryAcquire(); }));
    const size_t before = list.items.size();
    delete receiver;  // the window closed without stopping the worker
    worker->resume.release();
    ASSERT_TRUE(WaitFor([&] { return alive.isNull(); }));
    EXPECT_FALSE(called);
    EXPECT_EQ(list.items.size(), before);
}

TEST(TWorkerThread, ThreadClassCallsACompletionHandlerLeftSetAfterAStop)
{
    // A worker that leaves its handler set (as the enumerators do on their stop paths)
    // is completed by the thread class, once.
    class LeavesHandler : public TWorkerThread {
    protected:
        void Execute() override {}
    };
    auto* worker = new LeavesHandler;
    int completions = 0;
    worker->OnTerminate = [&](TWorkerThread*) { ++completions; };
    worker->Terminate();
    QPointer<LeavesHandler> alive(worker);
    worker->Resume();
    ASSERT_TRUE(WaitFor([&] { return alive.isNull(); }));
    EXPECT_EQ(completions, 1);
}

// A job that throws: the text reaches the worker's failure hook, the completion handler
// runs, and the program goes on (an exception out of a thread function would end it).
class ThrowingWorker : public TWorkerThread {
public:
    std::string Failure;  // read by the completion handler

protected:
    void Execute() override { throw std::runtime_error("Invalid date: Jan  0  2020"); }
    void ExecuteFailed(const std::string& message) override { Failure = message; }
};

TEST(TWorkerThread, AnExceptionOfTheJobBecomesTheWorkersErrorAndTheCompletionStillRuns)
{
    auto* worker = new ThrowingWorker;
    std::string seen;
    worker->OnTerminate = [&](TWorkerThread* sender) { seen = static_cast<ThrowingWorker*>(sender)->Failure; };
    QPointer<ThrowingWorker> alive(worker);
    worker->Resume();
    ASSERT_TRUE(WaitFor([&] { return alive.isNull(); }));
    EXPECT_EQ(seen, "Invalid date: Jan  0  2020");
}

TEST(TBatchHandover, KeepsOrderFlushesWhenFullAndOnDemand)
{
    std::vector<std::vector<int>> delivered;
    TBatchHandover<int> batches([&](std::vector<int>&& b) { delivered.push_back(b); }, 3,
                                std::chrono::hours(1));
    for (int i = 0; i < 7; ++i)
        batches.Add(i);
    EXPECT_EQ(delivered.size(), 2u);
    EXPECT_EQ(batches.Pending(), 1u);
    batches.Flush();
    batches.Flush();  // nothing waiting: no empty batch
    EXPECT_EQ(delivered, (std::vector<std::vector<int>>{{0, 1, 2}, {3, 4, 5}, {6}}));
    batches.Add(9);
    batches.Discard();
    batches.Flush();
    EXPECT_EQ(delivered.size(), 3u);
}

TEST(TBatchHandover, ASmallFirstBatchThenFullOnes)
{
    std::vector<size_t> sizes;
    TBatchHandover<int> batches([&](std::vector<int>&& b) { sizes.push_back(b.size()); }, 5, std::chrono::hours(1), 2);
    for (int i = 0; i < 12; ++i)
        batches.Add(i);
    EXPECT_EQ(sizes, (std::vector<size_t>{2, 5, 5}));
}

TEST(TBatchHandover, AnOldItemGoesOutWithTheNextOneAfterTheDelay)
{
    std::vector<std::vector<int>> delivered;
    TBatchHandover<int> batches([&](std::vector<int>&& b) { delivered.push_back(b); }, 1000,
                                std::chrono::milliseconds(5));
    batches.Add(1);
    QThread::msleep(10);
    batches.Add(2);
    EXPECT_EQ(delivered, (std::vector<std::vector<int>>{{1, 2}}));
}

namespace {

// A producer that waits, after each of `stalls` items, on a semaphore the test holds, as a
// listing waits on a share that stopped answering. Its batches are far larger than what
// it yields before a stall, so only the delay can hand those items over.
class StallingProducer : public TWorkerThread {
public:
    StallingProducer(int count, std::vector<int> stalls) : m_count(count), m_stalls(std::move(stalls)) {}

    std::function<void(const std::vector<int>&)> OnItems;
    QSemaphore stalled;  // released as the producer begins to wait
    QSemaphore resume;

protected:
    void Execute() override
    {
        TBatchHandover<int> batches([this](std::vector<int>&& items) {
            SynchronizeUnlessStopped([&] {
                if (OnItems)
                    OnItems(items);
            });
        }, 1000, std::chrono::milliseconds(20));
        for (int i = 0; i < m_count; ++i) {
            if (std::find(m_stalls.begin(), m_stalls.end(), i) != m_stalls.end()) {
                stalled.release();
                resume.acquire();
            }
            batches.Add(i);
        }
        batches.Flush();
        CallCompletion();
    }
    void ClearHandlers() override { OnItems = nullptr; }

private:
    int m_count;
    std::vector<int> m_stalls;
};

} // namespace

TEST(TBatchHandover, WhatWaitsWhileTheProducerIsStuckIsHandedOverBeforeItGoesOn)
{
    const std::vector<int> stalls = {3, 8};
    auto* worker = new StallingProducer(12, stalls);
    std::vector<int> shown;
    worker->OnItems = [&](const std::vector<int>& batch) { shown.insert(shown.end(), batch.begin(), batch.end()); };
    bool completed = false;
    worker->OnTerminate = [&](TWorkerThread*) { completed = true; };
    QPointer<StallingProducer> alive(worker);
    worker->Resume();
    for (const int stall : stalls) {
        // The producer stays stuck until the test lets it go: the items before the stall
        // must reach the window all the same, and only those.
        const bool reachedStall = WaitFor([&] { return worker->stalled.tryAcquire(); });
        const bool handedOver = reachedStall && WaitFor([&] { return shown.size() >= size_t(stall); });
        std::vector<int> expected(static_cast<size_t>(stall));
        std::iota(expected.begin(), expected.end(), 0);
        const std::vector<int> before = shown;
        worker->resume.release();  // never left stuck, whatever the checks say
        ASSERT_TRUE(reachedStall);
        EXPECT_TRUE(handedOver) << "items before the stall at " << stall << " were not handed over";
        EXPECT_EQ(before, expected);
    }
    ASSERT_TRUE(WaitFor([&] { return alive.isNull(); }));
    EXPECT_TRUE(completed);
    std::vector<int> all(12);
    std::iota(all.begin(), all.end(), 0);
    EXPECT_EQ(shown, all);  // each item once, in order, the timer's batches and the worker's alike
}

TEST(TWorkerThread, AnInterruptionRequestStopsAWorkerHeldAsAPlainThread)
{
    FakeList list;
    auto* worker = new FakeLister(40, 10);
    list.attach(worker);
    int completions = 0;
    worker->OnTerminate = [&](TWorkerThread*) { ++completions; };
    QPointer<FakeLister> alive(worker);
    worker->Resume();
    ASSERT_TRUE(WaitFor([&] { return worker->reachedPause.tryAcquire(); }));
    QThread* slot = worker;
    slot->requestInterruption();
    EXPECT_TRUE(worker->Terminated());
    worker->resume.release();
    ASSERT_TRUE(WaitFor([&] { return alive.isNull(); }));
    EXPECT_EQ(list.items.size(), 10u);
    EXPECT_EQ(completions, 0);
    EXPECT_EQ(list.updateDepth, 0);
}
