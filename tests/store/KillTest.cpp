// Every writer of a stored file killed with SIGKILL at a random moment, many times over;
// after each kill the reader must find the old content or the new one, whole, never a mix.
// TAMSEL_KILL_RUNS sets the number of kills per writer (20 by default); the seed is printed
// so that a failing sequence can be repeated with TAMSEL_KILL_SEED.
#include "Generations.h"
#include "StoreFolder.h"
#include "store/TLZHuff.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace generations;

namespace {

int envNumber(const char* name, int fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? std::atoi(value) : fallback;
}

// Writes generation 0, then per run starts a child that writes generations next, next + 1,
// ... until it is killed after a random delay of up to three writes' time, and asks the
// verdict. With `rising`, a later verdict may never be older than an earlier one.
void killWhileWriting(const std::function<void(int)>& write, const std::function<int()>& verdict, bool rising = true)
{
    const auto begin = std::chrono::steady_clock::now();
    write(0);
    const auto once = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - begin);
    ASSERT_EQ(verdict(), 0);

    const unsigned seed = unsigned(envNumber("TAMSEL_KILL_SEED", int(std::random_device{}())));
    std::mt19937 random(seed);
    std::uniform_int_distribution<long> delay(0, 3 * once.count() + 2000);
    const int runs = envNumber("TAMSEL_KILL_RUNS", 20);
    int last = 0;
    int next = 1;
    int killedMidway = 0;
    for (int run = 0; run < runs; run++) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", run " + std::to_string(run));
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            try {
                for (int g = next;; g++)
                    write(g);
            } catch (...) {
                _exit(3);
            }
        }
        usleep(useconds_t(delay(random)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer failed on its own, status " << status;
        const int now = verdict();
        ASSERT_GE(now, 0) << "the stored file reads as a mix or damaged";
        if (rising) {
            ASSERT_GE(now, last);
        }
        if (now != last)
            killedMidway++;
        last = now;
        next += 100000;
    }
    ::testing::Test::RecordProperty("changed", killedMidway);
    std::printf("%d of %d kills came after a new generation was stored\n", killedMidway, runs);
}

// The point of the pair switch at which the writer of the next run kills itself.
PairSwitchStep s_killAt = PairSwitchStep::TemporariesWritten;

std::map<std::string, std::string> filesUnder(const std::string& root)
{
    std::map<std::string, std::string> files;
    if (!fs::exists(root))
        return files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file() && e.path().filename().string().find(".tmp-") == std::string::npos) {
            std::ifstream in(e.path(), std::ios::binary);
            files[fs::relative(e.path(), root).string()] = std::string(std::istreambuf_iterator<char>(in), {});
        }
    return files;
}

// Two cache trees of the same names with different content, to export or import in turn.
void makeTree(const StoreFolder& dir, const std::string& name, int g)
{
    fs::create_directories(dir.path(name + "/Net/WG"));
    for (TNodeData& d : nodes(dir.win(name + "/Net"), g))
        WriteNodeRecord(d);
    ReplaceFolderListings(dir.win(name + "/Net/WG"), "PC", pairFolders(g));
    WriteListDat(dir.win(name + "/Net") + "LIST.DAT", listDat(g));
}

} // namespace

TEST(KillWhileWriting, ListingPair)
{
    StoreFolder dir;
    killWhileWriting([&](int g) { ReplaceFolderListings(dir.win(), "PC", pairFolders(g)); },
                     [&] { return pairVerdict(dir.win(), "PC"); });
}

// The kills above land wherever the clock puts them, often before or after a switch. These
// land at each point of the switch itself: before the marker the old pair must be read,
// from the marker on the new one, and the next open leaves nothing of the dead writer.
TEST(KillWhileWriting, ListingPairAtEachPointOfTheSwitch)
{
    StoreFolder dir;
    int stored = 0;
    ReplaceFolderListings(dir.win(), "PC", pairFolders(stored));
    for (const PairSwitchStep step : {PairSwitchStep::TemporariesWritten, PairSwitchStep::MarkerWritten,
                                      PairSwitchStep::ListingReplaced, PairSwitchStep::IndexReplaced}) {
        SCOPED_TRACE("point " + std::to_string(int(step)));
        const int next = stored + 1;
        s_killAt = step;
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            PairSwitchStepReached = [](PairSwitchStep reached) {
                if (reached == s_killAt)
                    raise(SIGKILL);
            };
            try {
                ReplaceFolderListings(dir.win(), "PC", pairFolders(next));
            } catch (...) {
                _exit(3);
            }
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "the writer never reached the point, status " << status;
        const int expected = step == PairSwitchStep::TemporariesWritten ? stored : next;
        EXPECT_EQ(pairVerdict(dir.win(), "PC"), expected);
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            const std::string name = entry.path().filename().string();
            EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name;
            EXPECT_EQ(name.find(".PAIR"), std::string::npos) << name;
        }
        stored = expected;
    }
}

TEST(KillWhileWriting, ListDat)
{
    StoreFolder dir;
    const std::string path = dir.win() + "LIST.DAT";
    killWhileWriting([&](int g) { WriteListDat(path, listDat(g)); }, [&] { return listDatVerdict(path); });
}

TEST(KillWhileWriting, SiteBlock)
{
    StoreFolder dir;
    TNodeData site;
    site.StoreDir = dir.win();
    site.Key = "FTP1";
    killWhileWriting(
        [&](int g) {
            unsigned char bytes[FtpSiteBlockSize];
            EncodeFtpSiteBlock(siteBlock(g), bytes);
            WriteNodeAttachment(site, bytes, sizeof bytes);
        },
        [&] { return siteVerdict(site); });
}

TEST(KillWhileWriting, NodeRecordsAsOneChange)
{
    StoreFolder dir;
    killWhileWriting(
        [&](int g) {
            std::vector<TNodeData> list = nodes(dir.win(), g);
            std::vector<TNodeData*> records;
            for (TNodeData& d : list)
                records.push_back(&d);
            WriteNodeRecords(records);
        },
        [&] { return nodesVerdict(dir.win()); });
}

TEST(KillWhileWriting, Settings)
{
    StoreFolder dir;
    const std::string path = dir.path("registry.reg");
    setenv("TAMSEL_CONFIG", path.c_str(), 1);
    killWhileWriting([](int g) { writeSettings(g); }, [&] { return settingsVerdict(dir.readFile("registry.reg")); });
    unsetenv("TAMSEL_CONFIG");
}

TEST(KillWhileWriting, ArchiveExport)
{
    StoreFolder dir;
    makeTree(dir, "a", 1);
    makeTree(dir, "b", 2);
    const std::vector<std::map<std::string, std::string>> trees = {filesUnder(dir.path("a")), filesUnder(dir.path("b"))};
    const std::string archive = dir.win() + "cache.che";
    killWhileWriting(
        [&](int g) {
            const std::string base = dir.win(g % 2 ? "b" : "a");
            TLZHuff coder;
            coder.ExportArchive(base, {base + "Net"}, archive);
        },
        [&] {
            StoreFolder back;
            try {
                TLZHuff coder;
                coder.ImportArchive(archive, back.win());
            } catch (const Exception&) {
                return -1;
            }
            const auto got = filesUnder(back.path());
            return got == trees[0] ? 0 : got == trees[1] ? 1 : -1;
        },
        false);
}

TEST(KillWhileWriting, ArchiveImport)
{
    StoreFolder dir;
    makeTree(dir, "a", 1);
    makeTree(dir, "b", 2);
    const std::vector<std::map<std::string, std::string>> trees = {filesUnder(dir.path("a")), filesUnder(dir.path("b"))};
    for (const char* name : {"a", "b"}) {
        TLZHuff coder;
        coder.ExportArchive(dir.win(name), {dir.win(name) + "Net"}, dir.win() + name + ".che");
    }
    // Each file of the cache is whole: the one of either archive.
    killWhileWriting(
        [&](int g) {
            TLZHuff coder;
            coder.ImportArchive(dir.win() + (g % 2 ? "b.che" : "a.che"), dir.win("cache"));
        },
        [&] {
            // 0 or 1: all the files of one archive; 2: whole files of both.
            const auto got = filesUnder(dir.path("cache"));
            if (got == trees[0] || got == trees[1])
                return got == trees[0] ? 0 : 1;
            if (got.size() != trees[0].size())
                return -1;
            for (const auto& [name, content] : got) {
                const auto a = trees[0].find(name);
                if (a == trees[0].end() || (content != a->second && content != trees[1].at(name)))
                    return -1;
            }
            return 2;
        },
        false);
}
