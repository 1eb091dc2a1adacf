// A server that answers without end, drips, breaks off, dates its files as no calendar
// does, or stops answering (SIGSTOP) halfway: every answer is bounded, each bad line is
// refused alone, and the next command works once the server answers again.
#include "network/FtpSite.h"
#include "platform/DateTime.h"
#include "platform/Win32Error.h"
#include "local/TempTree.h"
#include "network/FtpServers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Sets the client's cancel flag when a command runs past `limit`, so that a fault makes
// the test fail instead of hanging it.
class Watchdog {
public:
    Watchdog(FtpClient& client, std::chrono::seconds limit)
        : m_thread([this, &client, limit] {
              std::unique_lock lock(m_mutex);
              if (!m_done.wait_for(lock, limit, [this] { return m_finished; }))
                  client.cancel = true;
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;
};

bool waitForFile(const std::string& path)
{
    // Bounded only so that a server that never pauses fails the case instead of hanging it.
    for (int i = 0; i < 12000; ++i) {
        if (std::filesystem::exists(path))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

double seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

class UnrulySite : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tree.valid());
        ASSERT_TRUE(server.startUnruly(tree.root()));
        settings.host = "127.0.0.1";
        settings.port = server.port();
        settings.passive = true;
        settings.timeoutMs = 2000;
        ASSERT_TRUE(site.connect(settings, FtpEncoding::Auto).ok);
    }
    FtpResult list(const std::string& folder, std::chrono::seconds limit = std::chrono::seconds(20))
    {
        Watchdog watchdog(site.client(), limit);
        return site.listFolder(folder, NowDateTime(), entries, refused, &badDates);
    }
    // The server still works: the plain root listing.
    void expectRootListed()
    {
        const FtpResult again = list("/");
        ASSERT_TRUE(again.ok) << again.error;
        ASSERT_EQ(entries.size(), 3u);
        EXPECT_EQ(entries[0].name, "good.txt");
    }
    TempTree tree;
    FtpTestServer server;
    FtpSettings settings;
    FtpSite site;
    std::vector<FtpEntry> entries;
    std::vector<std::string> refused, badDates;
};

TEST_F(UnrulySite, ListingsThatNeverEndAreCutOffBySizeAndByLines)
{
    // A time-out long enough that the limits, not the time, end the listing.
    settings.timeoutMs = 90000;
    ASSERT_TRUE(site.connect(settings, FtpEncoding::Auto).ok);
    for (const char* folder : {"/endless", "/flood"}) {
        SCOPED_TRACE(folder);
        const FtpResult result = list(folder, std::chrono::seconds(60));
        EXPECT_FALSE(result.ok);
        EXPECT_FALSE(result.cancelled) << "the watchdog had to end it";
        EXPECT_FALSE(result.timedOut);
        EXPECT_NE(result.error.find("目錄清單太長"), std::string::npos) << result.error;
        EXPECT_TRUE(entries.empty());
        expectRootListed();
    }
}

TEST_F(UnrulySite, ADrippedListingEndsWithTheTimeOutAsAWhole)
{
    const Clock::time_point start = Clock::now();
    const FtpResult result = list("/drip");
    const double took = seconds(Clock::now() - start);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.cancelled) << "the watchdog had to end it";
    EXPECT_TRUE(result.timedOut);
    EXPECT_EQ(result.error, Win32MessageLine(Win32::ServerStoppedAnswering));
    // Loose: the fault is a listing that lives as long as the server keeps dripping.
    EXPECT_LT(took, 10.0);
    expectRootListed();
}

TEST_F(UnrulySite, ImpossibleDatesRefuseTheirLinesAndTheRestStands)
{
    const FtpResult result = list("/dates");
    ASSERT_TRUE(result.ok) << result.error;
    std::vector<std::string> names;
    for (const FtpEntry& entry : entries)
        names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<std::string>{"good.txt", "sub"}));
    EXPECT_EQ(badDates, (std::vector<std::string>{"zero.txt", "feb30.txt", "hour25.txt"}));

    // A folder download lists the same way: the good file arrives, each bad line is logged.
    std::vector<std::string> log;
    const FtpResult copied = site.downloadTree("/dates", tree.path("into"), NowDateTime(),
                                               [&](const std::string& line) { log.push_back(line); }, {});
    EXPECT_TRUE(copied.ok) << copied.error;
    EXPECT_TRUE(std::filesystem::exists(tree.path("into/good.txt")));
    EXPECT_TRUE(std::filesystem::exists(tree.path("into/sub/good.txt")));
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& line) { return line.find("zero.txt") != std::string::npos; }),
              1);
}

TEST_F(UnrulySite, BreakingOffMidListingOrMidDownloadIsAFailureInOurWords)
{
    const FtpResult listed = list("/breaks");
    EXPECT_FALSE(listed.ok);
    EXPECT_EQ(listed.error, "伺服器中斷了連線。");
    EXPECT_TRUE(entries.empty());

    const std::string target = tree.path("breaks.bin");
    FtpResult copied;
    {
        Watchdog watchdog(site.client(), std::chrono::seconds(20));
        copied = site.download("/breaks.bin", target, 100000, false, {});
    }
    EXPECT_FALSE(copied.ok);
    EXPECT_EQ(copied.error, "伺服器中斷了連線。");
    EXPECT_FALSE(std::filesystem::exists(target));
    expectRootListed();
}

// The server is stopped (SIGSTOP) halfway through a listing and halfway through a download:
// each ends with the time-out saying so, a Stop ends one at once, no partial file takes
// the final name, and once the server runs again (SIGCONT) the next command works.
TEST_F(UnrulySite, AServerStoppedHalfwayIsAFaultNotAFreeze)
{
    auto stopWhenPaused = [this] {
        EXPECT_TRUE(waitForFile(server.pausedMarker()));
        ::kill(server.pid(), SIGSTOP);
        std::filesystem::remove(server.pausedMarker());
    };
    std::thread stopper(stopWhenPaused);
    const FtpResult listed = list("/pause");
    stopper.join();
    EXPECT_FALSE(listed.ok);
    EXPECT_TRUE(listed.timedOut);
    EXPECT_EQ(listed.error, Win32MessageLine(Win32::ServerStoppedAnswering));
    EXPECT_TRUE(entries.empty());
    ::kill(server.pid(), SIGCONT);
    expectRootListed();

    const std::string target = tree.path("pause.bin");
    stopper = std::thread(stopWhenPaused);
    FtpResult copied;
    {
        Watchdog watchdog(site.client(), std::chrono::seconds(20));
        copied = site.download("/pause.bin", target, 100000, false, {});
    }
    stopper.join();
    EXPECT_FALSE(copied.ok);
    EXPECT_TRUE(copied.timedOut);
    EXPECT_EQ(copied.error, Win32MessageLine(Win32::ServerStoppedAnswering));
    EXPECT_FALSE(std::filesystem::exists(target));
    ::kill(server.pid(), SIGCONT);
    expectRootListed();

    // Stop while the server is stopped: the command ends at once, not with the time-out.
    settings.timeoutMs = 60000;
    ASSERT_TRUE(site.connect(settings, FtpEncoding::Auto).ok);
    Clock::time_point stopped;
    stopper = std::thread([&] {
        stopWhenPaused();
        stopped = Clock::now();
        site.client().cancel = true;
    });
    copied = site.download("/pause.bin", target, 100000, false, {});
    stopper.join();
    // The server stays stopped until the command has returned, and its silence limit is a
    // minute out: a command that waited for the server would end timed out, not cancelled.
    EXPECT_TRUE(copied.cancelled);
    EXPECT_FALSE(copied.timedOut);
    RecordProperty("ended_after_stop_ms", int(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - stopped).count()));
    EXPECT_FALSE(std::filesystem::exists(target));
    ::kill(server.pid(), SIGCONT);
    site.client().cancel = false;
    expectRootListed();
}

} // namespace
