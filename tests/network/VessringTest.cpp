#include "support/SmbTestServer.h"
#include "support/TempConfig.h"
#include "network/CacheCrawler.h"
#include "network/CrawlWorker.h"
#include "network/NetPassword.h"
#include "platform/DriveMap.h"
#include "platform/Exception.h"
#include "platform/Win32Error.h"
#include "store/CacheListing.h"
#include "store/CrawlChanges.h"
#include "store/NodeFile.h"
#include "store/NodePaths.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <map>
#include <filesystem>
#include <fstream>
#include <set>
#include <csignal>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

ToolRun Vessring(const std::string& arguments, const std::string& input = {})
{
    TempFolder io;
    std::ofstream(io.path("in"), std::ios::binary) << input;
    const std::string command = std::string("'") + VESSRING_TOOL + "' " + arguments + " <" + io.path("in") + " >"
                                + io.path("out") + " 2>" + io.path("err");
    ToolRun run;
    const int status = std::system(command.c_str());
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = io.readFile("out");
    run.err = io.readFile("err");
    return run;
}

void write(const std::string& path, const std::string& content)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::set<std::string> names(const TItemList& list)
{
    std::set<std::string> out;
    for (const TItemData& item : list)
        out.insert(std::string(BareName(ItemPath(item))));
    return out;
}

// The test computer as the expanded network stores it: named TAMSELSRV, reached at
// 127.0.0.1, so the listing's paths carry the name while the crawl uses the address.
class Crawl : public SmbServerTest {
protected:
    void SetUp() override
    {
        SmbServerTest::SetUp();
        for (const char* share : {"public", "private-share"})
            for (const auto& entry : fs::directory_iterator(s_server->folder(share)))
                fs::remove_all(entry.path());
        fs::create_directories(config.home() + "/Cache/Expanded");
        cache = WindowsPath(config.home()) + "\\Cache\\";
        computer.Caption = "測試機";
        computer.Key = "測試機";
        computer.RemoteName = "\\\\TAMSELSRV\\";
        computer.Host = "127.0.0.1";
        computer.RootKind = ExpandedRoot;
        computer.NodeAttributes = Computer | Container;
        computer.State = Idle;
        computer.StoreDir = cache + "Expanded\\";
        WriteNodeRecord(computer);
    }

    std::string pub(const std::string& rest) const { return s_server->folder("public") + "/" + rest; }
    TItemList listing(const std::string& folder) const
    {
        TItemList list;
        ReadFolderListing(list, computer.StoreDir, computer.Key, folder);
        return list;
    }
    TNodeData stored() const
    {
        TNodeData data = computer;
        data.RecordOffset = -1;
        ReadNodeRecord(data);
        return data;
    }
    void storePassword() const
    {
        StoreNetPassword("\\\\127.0.0.1", SmbTestServer::User, SmbTestServer::Password);
    }

    TempConfig config;
    std::string cache;
    TNodeData computer;
};

TEST_F(Crawl, CrawlsNestedChineseFoldersCountsMediaAndReportsTheRefusedShare)
{
    write(pub("照片/2024/夏天.JPG"), "12345");
    write(pub("照片/2024/b.png"), "1");
    write(pub("照片/說明.txt"), "x");
    write(pub("音樂/歌.mp3"), "ab");
    write(pub("影片/片.MKV"), "abc");
    write(pub("深/一/二/三/四/底.txt"), "deep");
    write(s_server->folder("private-share") + "/秘密.txt", "s");

    ToolRun run = Vessring("-N --json");
    EXPECT_EQ(run.status, 1) << run.err;  // a refused share is not a complete crawl
    EXPECT_NE(run.out.find("\"refused\": \"\\\\\\\\TAMSELSRV\\\\私人\", \"error\": 1326"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"state\": \"partial\", \"files\": 6, \"images\": 2, \"audio\": 1, \"video\": 1"),
              std::string::npos) << run.out;

    const TItemList top = listing("\\\\TAMSELSRV\\");
    EXPECT_EQ(names(top), (std::set<std::string>{"公開", "私人"}));  // the hidden share is left out
    const TItemList summer = listing("\\\\tamselsrv\\公開\\照片\\2024\\");
    ASSERT_EQ(summer.size(), 2u);
    for (const TItemData& item : summer) {
        if (ItemPath(item) == "\\\\TAMSELSRV\\公開\\照片\\2024\\夏天.JPG") {
            EXPECT_EQ(item.Size, 5u);
        }
    }
    EXPECT_EQ(names(listing("\\\\TAMSELSRV\\公開\\深\\一\\二\\三\\四\\")), std::set<std::string>{"底.txt"});
    EXPECT_EQ(names(listing("\\\\TAMSELSRV\\公開\\")), (std::set<std::string>{"照片", "音樂", "影片", "深"}));

    TNodeData data = stored();
    EXPECT_EQ(data.FileCount, 6);
    EXPECT_EQ(data.ImageCount, 2);
    EXPECT_EQ(data.AudioCount, 1);
    EXPECT_EQ(data.VideoCount, 1);
    EXPECT_TRUE(data.State & OtherWriterFlag);
    CrawlRecord record;
    ASSERT_TRUE(ReadCrawlRecord(computer.StoreDir, computer.Key, record));
    EXPECT_TRUE(record.Partial);
    ASSERT_EQ(record.Refused.size(), 1u);
    EXPECT_EQ(record.Refused[0].Code, Win32::LogonFailure);
    std::ifstream log(config.home() + "/vessring.log");
    const std::string logText((std::istreambuf_iterator<char>(log)), {});
    EXPECT_NE(logText.find("\\\\TAMSELSRV\\私人 拒絕存取 (1326)"), std::string::npos) << logText;

    // With the password in the store the protected share is read too, and the mark goes.
    storePassword();
    run = Vessring("-N");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(names(listing("\\\\TAMSELSRV\\私人\\")), std::set<std::string>{"秘密.txt"});
    data = stored();
    EXPECT_EQ(data.FileCount, 7);
    EXPECT_FALSE(data.State & OtherWriterFlag);
    EXPECT_EQ(data.Caption, "測試機");  // the rest of the record is left as it was
    EXPECT_EQ(data.Host, "127.0.0.1");
}

// The password typed after a refusal reaches that one share for that one crawl: the share is
// read, the other shares keep what the crawl before found, and nothing is stored.
TEST_F(Crawl, ARefusedShareIsCrawledAloneWithAPasswordGivenForIt)
{
    write(pub("照片/夏天.jpg"), "12345");
    write(s_server->folder("private-share") + "/秘密.txt", "s");
    ToolRun run = Vessring("-N --json");
    ASSERT_EQ(run.status, 1) << run.out << run.err;
    // The public share changes meanwhile: a crawl of the private one alone does not see it.
    write(pub("後來.txt"), "later");

    run = Vessring("--share 私人 --user " + std::string(SmbTestServer::User) + " --password-stdin --json '\\\\TAMSELSRV'",
                   std::string(SmbTestServer::Password) + "\n");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out.find("refused"), std::string::npos) << run.out;
    EXPECT_EQ(names(listing("\\\\TAMSELSRV\\私人\\")), std::set<std::string>{"秘密.txt"});
    EXPECT_EQ(names(listing("\\\\TAMSELSRV\\公開\\")), std::set<std::string>{"照片"});
    EXPECT_EQ(names(listing("\\\\TAMSELSRV\\公開\\照片\\")), std::set<std::string>{"夏天.jpg"});
    EXPECT_EQ(names(listing("\\\\TAMSELSRV\\")), (std::set<std::string>{"公開", "私人"}));
    EXPECT_EQ(stored().FileCount, 2);
    CrawlRecord record;
    ASSERT_TRUE(ReadCrawlRecord(computer.StoreDir, computer.Key, record));
    EXPECT_FALSE(record.Partial);
    std::string user, password;
    EXPECT_FALSE(LookupNetPassword("\\\\TAMSELSRV\\私人\\", user, password));
    EXPECT_FALSE(LookupNetPassword("\\\\127.0.0.1\\私人\\", user, password));

    // A wrong password is a refusal again, and what was read before stays.
    run = Vessring("--share 私人 --user " + std::string(SmbTestServer::User) + " --password-stdin --json '\\\\TAMSELSRV'",
                   "wrong\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("\"refused\": \"\\\\\\\\TAMSELSRV\\\\私人\""), std::string::npos) << run.out;
    EXPECT_EQ(names(listing("\\\\TAMSELSRV\\私人\\")), std::set<std::string>{"秘密.txt"});
    // The password is for one share only: without --share it is refused as a usage error.
    EXPECT_EQ(Vessring("--user x --password-stdin '\\\\TAMSELSRV'", "pw\n").status, 2);
}

// The listing stores the folders share by share, each share level by level in its folders'
// order, the order in which a folder's view and the search come upon them.
TEST_F(Crawl, StoresFoldersShareByShareLevelByLevel)
{
    storePassword();
    for (int a = 0; a < 4; a++)
        for (int b = 0; b < 4; b++)
            for (int c = 0; c < 3; c++)
                write(pub("層" + std::to_string(a) + "/夾" + std::to_string(b) + "/" + std::to_string(c) + "/f.txt"), "x");
    write(s_server->folder("private-share") + "/內/秘密.txt", "s");
    ToolRun run = Vessring("--full '\\\\TAMSELSRV\\'");
    ASSERT_EQ(run.status, 0) << run.out << run.err;

    std::vector<std::string> order;
    std::map<std::string, std::vector<std::string>> subfolders;
    ForEachListingEntry(computer.StoreDir, computer.Key, [&](std::string_view folder, const ListingEntry& entry) {
        if (order.empty() || order.back() != folder)
            order.emplace_back(folder);
        if (entry.Attributes & FileAttributeDirectory)
            subfolders[std::string(folder)].push_back(std::string(folder) + std::string(entry.Name) + "\\");
    });
    ASSERT_EQ(order.size(), 1 + (1 + 4 + 16 + 48) + 2);
    std::vector<std::string> expected{order.front()};
    for (const std::string& share : subfolders[order.front()]) {
        std::deque<std::string> level{share};
        while (!level.empty()) {
            expected.push_back(level.front());
            for (const std::string& below : subfolders[level.front()])
                level.push_back(below);
            level.pop_front();
        }
    }
    EXPECT_EQ(order, expected);
}

TEST_F(Crawl, ReusesUnchangedFoldersAndRecordsWhatChanged)
{
    storePassword();
    write(pub("a/keep.txt"), "1");
    write(pub("a/gone.txt"), "22");
    write(pub("b/grow.txt"), "333");
    write(pub("c/d/same.txt"), "4444");
    write(pub("c/d/e/f.txt"), "5");
    ToolRun run = Vessring("'\\\\TAMSELSRV\\' --json");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("\"folders\": 7, \"reused\": 0, \"new\": 0, \"removed\": 0, \"changed\": 0"), std::string::npos)
        << run.out;

    fs::remove(pub("a/gone.txt"));
    write(pub("a/新.txt"), "new");
    fs::remove(pub("b/grow.txt"));  // made again: its folder's date moves
    write(pub("b/grow.txt"), "333333");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    run = Vessring("'\\\\TAMSELSRV\\' --json");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    // a and b are read again, and so is the share: one listing of it costs the server less
    // than the dates of its three subfolders. c, d and e are taken from the previous listing
    // (the private share's root is empty: there is nothing stored to take).
    EXPECT_NE(run.out.find("\"folders\": 7, \"reused\": 3, \"new\": 1, \"removed\": 1, \"changed\": 1"), std::string::npos)
        << run.out;
    EXPECT_EQ(names(listing("\\\\TAMSELSRV\\公開\\a\\")), (std::set<std::string>{"keep.txt", "新.txt"}));
    EXPECT_EQ(names(listing("\\\\TAMSELSRV\\公開\\c\\d\\e\\")), std::set<std::string>{"f.txt"});

    // A new file deep below reused folders is still found: each subfolder's date is looked at.
    write(pub("c/d/e/g.txt"), "6");
    run = Vessring("'\\\\TAMSELSRV\\' --json");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(names(listing("\\\\TAMSELSRV\\公開\\c\\d\\e\\")), (std::set<std::string>{"f.txt", "g.txt"}));

    run = Vessring("--changes 測試機");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"change\": \"new\", \"path\": \"\\\\\\\\TAMSELSRV\\\\公開\\\\c\\\\d\\\\e\\\\g.txt\", \"size\": 1"),
              std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("grow.txt"), std::string::npos);  // only the last crawl's changes

    CrawlRecord record;
    ASSERT_TRUE(ReadCrawlRecord(computer.StoreDir, computer.Key, record));
    EXPECT_GT(record.Previous, 0);
    EXPECT_EQ(Vessring("--changes 沒有這台").status, 1);
}

TEST_F(Crawl, AnAddressOrNameNotStoredIsAddedOnce)
{
    computer.State |= Deleted;  // no stored computer has the address
    WriteNodeRecord(computer);
    write(pub("x.txt"), "x");
    ToolRun run = Vessring("127.0.0.1");
    EXPECT_EQ(run.status, 1) << run.err;  // the private share refuses
    run = Vessring("127.0.0.1 --json");
    TNodeList expanded;
    LoadNodeFile(cache + "Expanded\\", expanded, false);
    ASSERT_EQ(expanded.size(), 1u);
    EXPECT_EQ(expanded[0]->Caption, "127.0.0.1");
    EXPECT_EQ(expanded[0]->RemoteName, "\\\\127.0.0.1\\");
    EXPECT_EQ(expanded[0]->FileCount, 1);
    TItemList list;
    ReadFolderListing(list, cache + "Expanded\\", "127.0.0.1", "\\\\127.0.0.1\\公開\\");
    EXPECT_EQ(names(list), std::set<std::string>{"x.txt"});

    // A name that no server answers to is stored under its workgroup and reported.
    run = Vessring("'\\\\NOSUCHPC' --workgroup 工作組 --json");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("\"computer\": \"NOSUCHPC\", \"state\": \"failed\""), std::string::npos) << run.out;
    TNodeList group;
    LoadNodeFile(cache + "Net\\工作組\\", group, false);
    ASSERT_EQ(group.size(), 1u);
    EXPECT_EQ(group[0]->RemoteName, "\\\\NOSUCHPC");
    EXPECT_EQ(group[0]->Host, "工作組");
    EXPECT_FALSE(fs::exists(config.home() + "/Cache/Net/工作組/NOSUCHPC.IDX"));
    EXPECT_EQ(Vessring("").status, 2);
    EXPECT_EQ(Vessring("--jobs 0 -N").status, 2);
}

// Crawls in the background, killed or stopped at its first progress line.
void stopAtFirstProgress(int signal, pid_t& group, std::string& seen)
{
    TempFolder io;
    const std::string out = io.path("out");
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        const std::string redirect = out;
        freopen(redirect.c_str(), "w", stdout);
        execl(VESSRING_TOOL, VESSRING_TOOL, "-N", "--json", "--full", static_cast<char*>(nullptr));
        _exit(127);
    }
    setpgid(pid, pid);
    group = pid;
    for (int k = 0; k < 2000; k++) {
        seen = io.readFile("out");
        if (seen.find("\"state\": \"running\"") != std::string::npos)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    kill(signal == SIGKILL ? -pid : pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    // The children of a killed parent go with their group.
    for (int k = 0; k < 200 && kill(-pid, 0) == 0; k++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    seen = io.readFile("out");
}

TEST_F(Crawl, AStoppedOrKilledCrawlLeavesThePreviousPair)
{
    storePassword();
    for (int k = 0; k < 150; k++)
        write(pub("many/" + std::to_string(k) + "/f.txt"), "f");
    ASSERT_EQ(Vessring("-N").status, 0);
    std::ifstream idx(config.home() + "/Cache/Expanded/測試機.IDX", std::ios::binary);
    const std::string before((std::istreambuf_iterator<char>(idx)), {});
    for (int k = 0; k < 150; k++)
        write(pub("many/" + std::to_string(k) + "/g.txt"), "g");

    for (int signal : {SIGKILL, SIGTERM}) {
        pid_t group = 0;
        std::string seen;
        stopAtFirstProgress(signal, group, seen);
        ASSERT_NE(seen.find("\"state\": \"running\""), std::string::npos) << seen;
        if (signal == SIGTERM) {
            EXPECT_NE(seen.find("\"state\": \"cancelled\""), std::string::npos) << seen;
        }
        EXPECT_EQ(kill(-group, 0), -1) << "a crawler of the stopped run is still there";
        const TItemList folder = listing("\\\\TAMSELSRV\\公開\\many\\7\\");
        EXPECT_EQ(names(folder), std::set<std::string>{"f.txt"}) << "signal " << signal;
        std::ifstream again(config.home() + "/Cache/Expanded/測試機.IDX", std::ios::binary);
        EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), {}), before);
    }
    ASSERT_EQ(Vessring("-N").status, 0);
    EXPECT_EQ(names(listing("\\\\TAMSELSRV\\公開\\many\\7\\")), (std::set<std::string>{"f.txt", "g.txt"}));
    for (const auto& entry : fs::directory_iterator(config.home() + "/Cache/Expanded"))
        EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << entry.path();
}

TEST_F(Crawl, AShareOverItsTimeLimitIsPartialAndKeepsWhatWasKnown)
{
    storePassword();
    for (int k = 0; k < 40; k++)
        write(pub("t/" + std::to_string(k) + "/f.txt"), "f");
    ASSERT_EQ(Vessring("-N").status, 0);
    ToolRun run = Vessring("-N --full --share-timeout 0.001 --json");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("走訪時限"), std::string::npos) << run.out;
    EXPECT_TRUE(stored().State & OtherWriterFlag);
    // Folders the short walk did not reach keep their listing from the crawl before.
    EXPECT_EQ(names(listing("\\\\TAMSELSRV\\公開\\t\\39\\")), std::set<std::string>{"f.txt"});
    EXPECT_EQ(stored().FileCount, 40);
}

TEST_F(Crawl, AReaderDuringCrawlsSeesTheOldOrTheNewListingNeverAMix)
{
    storePassword();
    const auto fill = [&](const std::string& prefix, int count) {
        fs::remove_all(pub("flip"));
        for (int k = 0; k < count; k++)
            write(pub("flip/" + prefix + std::to_string(k)), "x");
    };
    fill("a", 60);
    ASSERT_EQ(Vessring("-N").status, 0);
    std::atomic<bool> done{false};
    std::atomic<int> reads{0}, bad{0};
    std::string badText;
    std::thread reader([&] {
        const std::string shared = Win32MessageText(Win32::SharingViolation);
        while (!done) {
            TItemList list;
            try {
                ReadFolderListing(list, computer.StoreDir, computer.Key, "\\\\TAMSELSRV\\公開\\flip\\");
            } catch (const Exception& e) {
                if (e.message() != shared && bad++ == 0)
                    badText = e.message();
                continue;
            }
            const size_t a = size_t(std::count_if(list.begin(), list.end(), [](const TItemData& i) {
                return BareName(ItemPath(i))[0] == 'a';
            }));
            if (!((a == 60 && list.size() == 60) || (a == 0 && list.size() == 90)) && bad++ == 0)
                badText = "mixed listing of " + std::to_string(list.size());
            reads++;
        }
    });
    for (int round = 0; round < 4; round++) {
        fill(round % 2 ? "a" : "b", round % 2 ? 60 : 90);
        EXPECT_EQ(Vessring("-N").status, 0);
    }
    done = true;
    reader.join();
    EXPECT_EQ(bad, 0) << badText;
    EXPECT_GT(reads, 0);
}

} // namespace

namespace {

std::string fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// The crawl run in this process, its workers started through a script of the test's: the
// cache updater's worker mode by default, each started worker's process id noted in "pids".
class CrawlHere : public Crawl {
protected:
    void SetUp() override
    {
        Crawl::SetUp();
        UseNetPasswordsForSmb();
        storePassword();
        useWorker("echo $$ >> '" + scripts.path("pids") + "'\nexec '" + VESSRING_TOOL + "' --crawl-worker\n");
    }
    void TearDown() override
    {
        SetCrawlWorkerProgram({});  // the scripts go with the test
        Crawl::TearDown();
    }
    void useWorker(const std::string& body)
    {
        const std::string script = scripts.path("worker" + std::to_string(++m_scripts));
        scripts.writeFile("worker" + std::to_string(m_scripts), "#!/bin/sh\n" + body);
        ::chmod(script.c_str(), 0700);
        SetCrawlWorkerProgram(script);
    }
    std::vector<pid_t> workers() const
    {
        std::vector<pid_t> pids;
        std::ifstream in(scripts.path("pids"));
        for (pid_t pid; in >> pid;)
            pids.push_back(pid);
        return pids;
    }
    CrawlOutcome crawl(int connections, bool full, const std::function<void(const CrawlProgress&)>& progress = {})
    {
        CrawlOptions options;
        options.Connections = connections;
        options.Full = full;
        return CrawlComputer(computer, options, m_cancel, progress);
    }
    std::string pair() const
    {
        const std::string base = config.home() + "/Cache/Expanded/測試機";
        return fileBytes(base + ".IDX") + "|" + fileBytes(base + ".LST");
    }
    void makeTree()
    {
        for (int a = 0; a < 3; a++)
            for (int b = 0; b < 4; b++)
                write(pub("層" + std::to_string(a) + "/夾" + std::to_string(b) + "/報告" + std::to_string(b) + ".txt"),
                      std::string(size_t(a + b), 'x'));
        write(pub("根.jpg"), "jpg");
        for (int k = 0; k < 5; k++)
            write(s_server->folder("private-share") + "/內/秘密" + std::to_string(k) + ".txt", "s");
    }

    TempFolder scripts;
    std::atomic<bool> m_cancel{false};
    int m_scripts = 0;
};

TEST_F(CrawlHere, SharesWalkedByWorkersStoreTheSameBytesAsSharesWalkedOneAfterAnother)
{
    makeTree();
    const CrawlOutcome alone = crawl(1, true);
    ASSERT_TRUE(alone.Written) << alone.ErrorText;
    EXPECT_TRUE(workers().empty()) << "one connection: no worker";
    const std::string first = pair();

    const CrawlOutcome apart = crawl(0, true);
    ASSERT_TRUE(apart.Written) << apart.ErrorText;
    EXPECT_GE(workers().size(), 2u) << "a worker for each of the two shares";
    EXPECT_EQ(pair(), first);
    EXPECT_FALSE(apart.Record.Partial) << (apart.Record.Reasons.empty() ? "" : apart.Record.Reasons[0]);
    EXPECT_EQ(apart.Folders, alone.Folders);
    EXPECT_EQ(apart.Counters.Files, 3 * 4 + 1 + 5);
    EXPECT_EQ(apart.Counters.Images, 1);

    // A re-crawl: the workers get the previous listing of their shares and reuse as this
    // process would, and the protected share is reached with its stored password.
    write(pub("層1/夾2/新.txt"), "n");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::string base = config.home() + "/Cache/Expanded/測試機";
    std::map<std::string, std::string> before;
    for (const char* ext : {".IDX", ".LST", ".CHG"})
        before[base + ext] = fileBytes(base + ext);
    const CrawlOutcome again = crawl(0, false);
    ASSERT_TRUE(again.Written);
    EXPECT_GT(again.ReusedFolders, 0);
    const std::string reused = pair();
    for (const auto& [path, bytes] : before)  // the same crawl once more, one share after another
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    const CrawlOutcome againAlone = crawl(1, false);
    EXPECT_EQ(againAlone.ReusedFolders, again.ReusedFolders);
    EXPECT_EQ(againAlone.Folders, again.Folders);
    EXPECT_EQ(pair(), reused);
    EXPECT_EQ(names(listing("\\\\TAMSELSRV\\公開\\層1\\夾2\\")), (std::set<std::string>{"報告2.txt", "新.txt"}));
    EXPECT_EQ(again.Record.Refused.size(), 0u);
    EXPECT_EQ(againAlone.Record.Changes.size(), again.Record.Changes.size());
    ASSERT_EQ(again.Record.Changes.size(), 1u);
    EXPECT_EQ(again.Record.Changes[0].Path, "\\\\TAMSELSRV\\公開\\層1\\夾2\\新.txt");
}

TEST_F(CrawlHere, AWorkerThatFailsLeavesItsShareAsThePreviousCrawlHadIt)
{
    makeTree();
    ASSERT_TRUE(crawl(0, true).Written);
    write(pub("層0/夾0/後來.txt"), "later");
    const std::vector<std::pair<std::string, std::string>> failures{
        {"head -c 4 >/dev/null\nexit 3\n", "爬行程序未回報結果便結束"},
        {"head -c 4 >/dev/null\nprintf 'nonsense'\nexec sleep 30\n", "爬行程序送回的資料無效"},
        {"head -c 4 >/dev/null\nkill -9 $$\n", "爬行程序因訊號 9 結束"},
    };
    for (const auto& [body, reason] : failures) {
        useWorker(body);
        const auto started = std::chrono::steady_clock::now();
        const CrawlOutcome outcome = crawl(0, true);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20)) << "no wait for the worker";
        ASSERT_TRUE(outcome.Written) << reason;
        EXPECT_TRUE(outcome.Record.Partial) << reason;
        EXPECT_EQ(std::set<std::string>(outcome.Record.Reasons.begin(), outcome.Record.Reasons.end()),
                  (std::set<std::string>{"無法讀取 \\\\TAMSELSRV\\公開\\：" + reason,
                                         "無法讀取 \\\\TAMSELSRV\\私人\\：" + reason}));
        EXPECT_EQ(outcome.Folders, 0) << "what a failed worker sent does not count";
        // Everything the first crawl found is still there, and nothing it did not.
        EXPECT_EQ(names(listing("\\\\TAMSELSRV\\公開\\層0\\夾0\\")), std::set<std::string>{"報告0.txt"}) << reason;
        EXPECT_EQ(names(listing("\\\\TAMSELSRV\\私人\\內\\")).size(), 5u) << reason;
        EXPECT_EQ(outcome.Counters.Files, 3 * 4 + 1 + 5) << reason;
    }
}

TEST_F(CrawlHere, AStoppedCrawlEndsItsWorkers)
{
    for (int k = 0; k < 150; k++)
        write(pub("many/" + std::to_string(k) + "/f.txt"), "f");
    for (int k = 0; k < 150; k++)
        write(s_server->folder("private-share") + "/many/" + std::to_string(k) + "/f.txt", "f");
    int heard = 0;
    const CrawlOutcome outcome = crawl(0, true, [&](const CrawlProgress&) {
        heard++;
        m_cancel = true;
    });
    EXPECT_TRUE(outcome.Cancelled);
    EXPECT_FALSE(outcome.Written);
    EXPECT_GE(heard, 1);
    ASSERT_GE(workers().size(), 2u);
    for (pid_t pid : workers())
        EXPECT_EQ(::kill(pid, 0), -1) << "worker " << pid << " is still there, or not reaped";
    EXPECT_FALSE(fs::exists(config.home() + "/Cache/Expanded/測試機.IDX"));
}

} // namespace
