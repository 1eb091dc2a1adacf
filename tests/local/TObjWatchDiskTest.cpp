#include <gtest/gtest.h>

#include "local/TObjWatchDisk.h"
#include "local/UpdateTimerRule.h"
#include "local/TempTree.h"
#include "local/WaitFor.h"
#include "platform/DriveMap.h"
#include "support/TestDrives.h"

#include <QPointer>
#include <QTimer>

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
    m_tree.write("file-only.txt", "x");
    SpinEvents(300);
    EXPECT_EQ(calls, 0);
    m_tree.mkdir("a-folder");
    EXPECT_TRUE(WaitFor([&] { return calls > 0; }));
    stop(watcher);
}

TEST_F(WatchTest, ABurstOfChangesCausesOneRefreshThroughTheTimerRule)
{
    auto* watcher = new TObjWatchDisk(windows(m_tree.root()), false, 3);
    QTimer updateTimer;
    updateTimer.setSingleShot(true);
    int refreshes = 0;
    int notifications = 0;
    QObject::connect(&updateTimer, &QTimer::timeout, [&] { ++refreshes; });
    watcher->OnChange = [&] {
        ++notifications;
        updateTimer.start(ShownFolderChangeInterval(updateTimer.isActive(), updateTimer.interval()));
    };
    for (int i = 0; i < 20; ++i) {
        m_tree.write("burst" + std::to_string(i), "x");
        SpinEvents(20);
    }
    ASSERT_TRUE(WaitFor([&] { return refreshes > 0; }, 10000));
    SpinEvents(600);
    EXPECT_EQ(refreshes, 1);
    EXPECT_GT(notifications, 1);
    stop(watcher);
}

TEST_F(WatchTest, AWokenWatcherEndsAtOnceAndAPendingChangeCallsNothing)
{
    auto* watcher = new TObjWatchDisk(windows(m_tree.root()), false, 3);
    int calls = 0;
    watcher->OnChange = [&] { ++calls; };
    // The change reaches the watcher while the window thread is busy: its procedure
    // waits; then the window stops the watcher.
    m_tree.write("pending.txt", "x");
    QThread::msleep(200);
    stop(watcher);
    EXPECT_EQ(calls, 0);

    // Blocked in its wait with nothing happening: the wake ends it.
    auto* idle = new TObjWatchDisk(windows(m_tree.root()), false, 3);
    SpinEvents(50);
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

    m_tree.mkdir("collapsed/x");
    SpinEvents(300);
    EXPECT_EQ(calls, 0);
    m_tree.mkdir("expanded/y");
    ASSERT_TRUE(WaitFor([&] { return calls > 0; }));

    watcher->RemoveFolder(windows(m_tree.path("expanded")));
    SpinEvents(100);
    calls = 0;
    m_tree.mkdir("expanded/z");
    SpinEvents(300);
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
