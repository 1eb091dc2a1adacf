#include <gtest/gtest.h>

#include "local/TObjWatchDisk.h"
#include "local/UpdateTimerRule.h"
#include "local/TempTree.h"
#include "local/WaitFor.h"
#include "platform/DriveMap.h"
#include "support/TestDrives.h"

#include <QElapsedTimer>
#include <QPointer>

#include <functional>

namespace {

// The watchers take Windows-style paths: the test's temporary folders lie on C:, mapped to "/".
class WatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MapTestDrives();
    }
    void TearDown() override { RefreshDriveMap(); }

    static std::string windows(const std::string& native)
    {
        std::string path = "C:" + native;
        for (char& ch : path)
            if (ch == '/')
                ch = '\\';
        return path + "\\";
    }

    static void stop(TObjWatchDisk* watcher)
    {
        QPointer<TObjWatchDisk> alive(watcher);
        watcher->Terminate();
        watcher->Wake();
        ASSERT_TRUE(WaitFor([&] { return alive.isNull(); }));
    }

    /// Waits until the watcher has dealt with everything so far and returns its count of
    /// waits then: once the count grows past it, a later change has been read and, if it
    /// was to be reported, reported. "Nothing was reported" is checked against that, not
    /// against a pause.
    static uint64_t caughtUp(TObjWatchDisk* watcher)
    {
        EXPECT_TRUE(WaitFor([&] { return watcher->Waiting(); }));
        return watcher->Waits();
    }
    static bool dealtWith(TObjWatchDisk* watcher, uint64_t before)
    {
        return WaitFor([&] { return watcher->Waits() > before; });
    }

    /// Waits for `done` without running the window thread's events.
    static bool holdWindowThreadUntil(const std::function<bool()>& done)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > 10000)
                return false;
            QThread::msleep(1);
        }
        return true;
    }

    TempTree m_tree;
};

} // namespace

TEST_F(WatchTest, ANameChangeInTheShownFolderReachesTheHandlerOnTheWindowThread)
{
    auto* watcher = new TObjWatchDisk(windows(m_tree.root()), false, 3);
    int calls = 0;
    bool inHandler = false;
    bool onWindowThread = false;
    watcher->OnChange = [&] {
        ++calls;
        inHandler = watcher->InHandler;
        onWindowThread = QThread::currentThread() == qApp->thread();
    };
    m_tree.write("new.txt", "x");
    ASSERT_TRUE(WaitFor([&] { return calls > 0; }));
    EXPECT_TRUE(inHandler);
    EXPECT_FALSE(watcher->InHandler);
    EXPECT_TRUE(onWindowThread);
    stop(watcher);
}

TEST_F(WatchTest, TheFilterChoosesFileOrFolderNames)
{
    auto* watcher = new TObjWatchDisk(windows(m_tree.root()), false, TObjWatchDisk::ChangeDirName);
    int calls = 0;
    watcher->OnChange = [&] { ++calls; };
    const uint64_t before = caughtUp(watcher);
    m_tree.write("file-only.txt", "x");
    ASSERT_TRUE(dealtWith(watcher, before));
    EXPECT_EQ(calls, 0);
    m_tree.mkdir("a-folder");
    EXPECT_TRUE(WaitFor([&] { return calls > 0; }));
    stop(watcher);
}

TEST_F(WatchTest, AWokenWatcherEndsAtOnceAndAPendingChangeCallsNothing)
{
    auto* watcher = new TObjWatchDisk(windows(m_tree.root()), false, 3);
    int calls = 0;
    watcher->OnChange = [&] { ++calls; };
    // The change reaches the watcher while the window thread is busy: its report waits
    // on the window thread; then the window stops the watcher.
    caughtUp(watcher);
    m_tree.write("pending.txt", "x");
    ASSERT_TRUE(holdWindowThreadUntil([] { return TWorkerThread::WaitingCalls() == 1; }));
    stop(watcher);
    EXPECT_EQ(calls, 0);

    // Blocked in its wait with nothing happening: only the wake can end it, since the
    // terminate flag is read before the wait.
    auto* idle = new TObjWatchDisk(windows(m_tree.root()), false, 3);
    ASSERT_TRUE(WaitFor([&] { return idle->Waiting(); }));
    stop(idle);
}

TEST_F(WatchTest, AFolderThatCannotBeWatchedEndsSilently)
{
    auto* watcher = new TObjWatchDisk(windows(m_tree.path("missing")), false, 3);
    int calls = 0;
    watcher->OnChange = [&] { ++calls; };
    QPointer<TObjWatchDisk> alive(watcher);
    ASSERT_TRUE(WaitFor([&] { return alive.isNull(); }));
    EXPECT_EQ(calls, 0);
    auto* unc = new TObjWatchDisk("\\\\SERVER\\SHARE\\", false, 3);
    QPointer<TObjWatchDisk> uncAlive(unc);
    EXPECT_TRUE(WaitFor([&] { return uncAlive.isNull(); }));
}

TEST_F(WatchTest, ADriveWatcherReportsChangesInTheFoldersItWasGiven)
{
    m_tree.mkdir("expanded/inner");
    m_tree.mkdir("collapsed");
    auto* watcher = new TObjWatchDisk(windows(m_tree.root()), true, TObjWatchDisk::ChangeDirName);
    int calls = 0;
    watcher->OnChange = [&] { ++calls; };
    ASSERT_TRUE(watcher->AddFolder(windows(m_tree.path("expanded"))));
    EXPECT_FALSE(watcher->AddFolder(windows(m_tree.path("nothing-here"))));

    // A file at the root reaches the watcher but is reported by none of its filters: once
    // it has been dealt with, so has the folder made before it, had that been watched.
    uint64_t before = caughtUp(watcher);
    m_tree.mkdir("collapsed/x");
    m_tree.write("marker1", "x");
    ASSERT_TRUE(dealtWith(watcher, before));
    EXPECT_EQ(calls, 0);
    m_tree.mkdir("expanded/y");
    ASSERT_TRUE(WaitFor([&] { return calls > 0; }));

    // The removal itself reaches the watcher (as an ignored event); then the folder is quiet.
    before = caughtUp(watcher);
    watcher->RemoveFolder(windows(m_tree.path("expanded")));
    ASSERT_TRUE(dealtWith(watcher, before));
    before = caughtUp(watcher);
    calls = 0;
    m_tree.mkdir("expanded/z");
    m_tree.write("marker2", "x");
    ASSERT_TRUE(dealtWith(watcher, before));
    EXPECT_EQ(calls, 0);
    m_tree.mkdir("at-the-root");
    EXPECT_TRUE(WaitFor([&] { return calls > 0; }));
    stop(watcher);
}

TEST(UpdateTimerRule, GrowsAndCaps)
{
    EXPECT_EQ(ShownFolderChangeInterval(false, 4000), 500);
    EXPECT_EQ(ShownFolderChangeInterval(true, 500), 1000);
    EXPECT_EQ(ShownFolderChangeInterval(true, 4800), 5000);
    EXPECT_EQ(DriveChangeInterval(false, 3000), 100);
    EXPECT_EQ(DriveChangeInterval(true, 100), 1000);
    EXPECT_EQ(DriveChangeInterval(true, 1500), 3000);
    EXPECT_EQ(DriveChangeInterval(true, 4000), 5000);
}
