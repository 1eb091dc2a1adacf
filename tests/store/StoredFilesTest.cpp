// Stored files against interrupted writes, full disks and things that are not files.
#include "support/ErrorOf.h"
#include "Generations.h"
#include "StoreFolder.h"
#include "platform/AtomicFile.h"
#include "platform/DriveMap.h"
#include "platform/FileAccess.h"
#include "platform/Win32Error.h"
#include "store/NodePaths.h"
#include "store/TLZHuff.h"
#include "support/PrivateMounts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace generations;

namespace {

// Entered before main(), while the program has one thread.
const PrivateMounts::Enter enterPrivateMounts;

// The id of a process that has ended, as a killed writer leaves it in its file names.
std::string deadPid()
{
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    return std::to_string(child);
}

std::vector<std::string> leftovers(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.path().filename().string().find(".tmp-") != std::string::npos || e.path().extension() == ".PAIR")
            names.push_back(e.path().string());
    return names;
}

// A tmpfs of a few hundred kilobytes of our own, filled on request; unmounted whatever
// the test does. Skipped only where neither root nor a user namespace may mount.
class SmallDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!PrivateMounts::available())
            GTEST_SKIP() << PrivateMounts::reason();
        if (mount("tamsel-test", m_dir.path().c_str(), "tmpfs", 0, "size=512k") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
        m_mounted = true;
    }
    void TearDown() override
    {
        if (m_mounted)
            umount2(m_dir.path().c_str(), MNT_DETACH);
    }
    // Fills what is left of the disk.
    void fill()
    {
        FILE* f = std::fopen(m_dir.path("filler").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        const std::string chunk(4096, 'f');
        while (std::fwrite(chunk.data(), 1, chunk.size(), f) == chunk.size() && std::fflush(f) == 0) {
        }
        std::fclose(f);
    }

    StoreFolder m_dir;
    StoreFolder m_outside;
    bool m_mounted = false;
};

} // namespace

TEST(ListingPair, ReplacedAndInterruptedSwitchesAreFinishedOrDiscarded)
{
    StoreFolder dir;
    ReplaceFolderListings(dir.win(), "PC", pairFolders(1));
    ASSERT_EQ(pairVerdict(dir.win(), "PC"), 1);
    ReplaceFolderListings(dir.win(), "NEW", pairFolders(2));
    const std::string newListing = dir.readFile("NEW.LST"), newIndex = dir.readFile("NEW.IDX");
    const std::string pid = deadPid();

    // Killed before its marker: the old pair stays, the temporaries go.
    dir.writeFile("PC.LST.tmp-" + pid, newListing);
    dir.writeFile("PC.IDX.tmp-" + pid, newIndex.substr(0, 7));
    EXPECT_EQ(pairVerdict(dir.win(), "PC"), 1);
    EXPECT_TRUE(leftovers(dir.path()).empty());

    // Killed after the marker, before either rename, and between the two renames.
    for (bool listingDone : {false, true}) {
        SCOPED_TRACE(listingDone);
        ReplaceFolderListings(dir.win(), "PC", pairFolders(1));
        if (listingDone)
            dir.writeFile("PC.LST", newListing);
        else
            dir.writeFile("PC.LST.tmp-" + pid, newListing);
        dir.writeFile("PC.IDX.tmp-" + pid, newIndex);
        dir.writeFile("PC.PAIR", pid);
        EXPECT_EQ(pairVerdict(dir.win(), "PC"), 2);
        EXPECT_TRUE(leftovers(dir.path()).empty());
    }

    // An append after an interrupted switch goes to the finished pair.
    dir.writeFile("PC.IDX.tmp-" + pid, dir.readFile("PC.IDX"));
    dir.writeFile("PC.PAIR", pid);
    TItemList more = pairFolders(2).back();
    for (TItemData& item : more)
        SetItemPath(item, "\\\\SRV\\SHARE\\EXTRA\\" + std::string(BareName(ItemPath(item))));
    WriteFolderListing(more, dir.win(), "PC", false);
    TItemList list;
    ReadFolderListing(list, dir.win(), "PC", "\\\\SRV\\SHARE\\EXTRA\\");
    EXPECT_EQ(list.size(), more.size());
    EXPECT_EQ(pairVerdict(dir.win(), "PC"), 2);

    // A marker that is not ours is damage, reported rather than guessed at.
    dir.writeFile("PC.PAIR", "garbage");
    EXPECT_NE(errorOf([&] { ReadFolderListing(list, dir.win(), "PC", folderPath(0)); }).find("PC.PAIR 已損壞"),
              std::string::npos);
    // Deleting the cache takes the marker with it.
    TNodeData pc;
    pc.StoreDir = dir.win();
    pc.Key = "PC";
    pc.NodeAttributes = Computer;
    dir.writeFile("PC.PAIR", pid);
    DeleteNodeCache(pc, false);
    EXPECT_FALSE(dir.exists("PC.LST") || dir.exists("PC.IDX") || dir.exists("PC.PAIR"));
}

TEST(ListingPair, AReaderHoldingTheIndexKeepsTheSwitchOut)
{
    StoreFolder dir;
    ReplaceFolderListings(dir.win(), "PC", pairFolders(1));
    {
        auto reader = OpenFileOrRaise(dir.win() + "PC.IDX", FileMode::Read);
        EXPECT_EQ(errorOf([&] { ReplaceFolderListings(dir.win(), "PC", pairFolders(2)); }),
                  Win32MessageText(Win32::SharingViolation));
    }
    EXPECT_EQ(pairVerdict(dir.win(), "PC"), 1);
    EXPECT_TRUE(leftovers(dir.path()).empty());
    ReplaceFolderListings(dir.win(), "PC", pairFolders(2));
    EXPECT_EQ(pairVerdict(dir.win(), "PC"), 2);
}

// The race that only a loop finds: a reader opens the index just before a switch and
// locks it just after, when the name already stands for the new index.
TEST(ListingPair, ReadersRacingSwitchesReadOneGenerationWhole)
{
    StoreFolder dir;
    ReplaceFolderListings(dir.win(), "PC", pairFolders(0));
    std::atomic<bool> done{false};
    std::atomic<int> reads{0}, mixes{0};
    std::string firstMix;
    std::thread reader([&] {
        const std::string busy = Win32MessageText(Win32::SharingViolation);
        while (!done) {
            TItemList list;
            try {
                ReadFolderListing(list, dir.win(), "PC", folderPath(0));
            } catch (const Exception& e) {
                if (e.message() != busy && mixes++ == 0)
                    firstMix = e.message();
                continue;
            }
            const int g = int(list.front().Size);
            const bool whole = list.size() == size_t(50 + g % 7) &&
                               std::all_of(list.begin(), list.end(), [&](const TItemData& i) { return int(i.Size) == g; });
            if (!whole && mixes++ == 0)
                firstMix = std::to_string(list.size()) + " entries read as generation " + std::to_string(g);
            reads++;
        }
    });
    // Readers keep many switches out: enough of them must get through, however slow the machine.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int switches = 0;
    for (int g = 1; switches < 200 && std::chrono::steady_clock::now() < until; g++) {
        try {
            ReplaceFolderListings(dir.win(), "PC", pairFolders(g));
            switches++;
        } catch (const Exception&) {
            // the reader held the index: this generation is skipped
        }
    }
    done = true;
    reader.join();
    EXPECT_EQ(mixes, 0) << firstMix;
    EXPECT_GT(reads, 20);
    EXPECT_GT(switches, 20);
}

TEST(NodeRecords, SeveralRecordsAsOneChange)
{
    StoreFolder dir;
    std::vector<TNodeData> list = nodes(dir.win(), 3);
    WriteNodeRecord(list[1]);  // one already there keeps its place
    std::vector<TNodeData*> records;
    for (TNodeData& d : list)
        records.push_back(&d);
    list[0].NodeAttributes = Domain | Container;
    WriteNodeRecords(records);
    EXPECT_EQ(list[1].RecordOffset, 0);
    EXPECT_EQ(list[0].RecordOffset, int32_t(NodeRecordSize));
    EXPECT_EQ(fs::file_size(dir.path("ALL.NOD")), NodeCount * NodeRecordSize);
    EXPECT_TRUE(fs::is_directory(dir.path("電腦0")));
    EXPECT_EQ(nodesVerdict(dir.win()), 3);
    EXPECT_TRUE(leftovers(dir.path()).empty());

    TNodeData elsewhere = nodes(dir.win("電腦0"), 1)[0];
    records.push_back(&elsewhere);
    EXPECT_NE(errorOf([&] { WriteNodeRecords(records); }), "(no error)");
}

TEST(SpecialFiles, RefusedAtOnceWhereAStoredFileShouldBe)
{
    StoreFolder dir;
    TNodeData site;
    site.StoreDir = dir.win();
    site.Key = "PC";
    unsigned char bytes[FtpSiteBlockSize];
    const std::vector<std::pair<std::string, std::function<void()>>> readers = {
        {"ALL.NOD", [&] { ReadStoredRecords(dir.win()); }},
        {"ALL.NOD", [&] { TNodeData d = nodes(dir.win(), 0)[0]; WriteNodeRecord(d); }},
        {"PC.IDX", [&] { TItemList l; ReadFolderListing(l, dir.win(), "PC", folderPath(0)); }},
        {"LIST.DAT", [&] { TItemList l; ReadListDat(dir.win() + "LIST.DAT", l); }},
        {"PC.ATT", [&] { ReadNodeAttachment(site, bytes, sizeof bytes); }},
    };
    for (const char* kind : {"fifo", "folder", "device"}) {
        for (const auto& [name, read] : readers) {
            SCOPED_TRACE(std::string(kind) + " as " + name);
            const std::string path = dir.path(name);
            if (std::string(kind) == "fifo")
                ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
            else if (std::string(kind) == "folder")
                fs::create_directory(path);
            else
                fs::create_symlink("/dev/zero", path);
            const auto begin = std::chrono::steady_clock::now();
            const std::string error = errorOf(read);
            EXPECT_NE(error.find("不是一般檔案"), std::string::npos) << error;
            EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
            fs::remove(path);
        }
    }
}

TEST(ArchiveDamage, AMemberLargerThanDeclaredIsNamedAndNothingChanges)
{
    StoreFolder dir;
    fs::create_directories(dir.path("src/Net"));
    for (TNodeData& d : nodes(dir.win("src/Net"), 7))
        WriteNodeRecord(d);
    WriteListDat(dir.win("src/Net") + "LIST.DAT", listDat(7));
    TLZHuff coder;
    ASSERT_TRUE(coder.ExportArchive(dir.win("src"), {dir.win("src") + "Net"}, dir.win() + "good.che"));
    std::string archive = dir.readFile("good.che");

    // The cache holds an older, good generation.
    fs::create_directories(dir.path("cache/Net"));
    for (TNodeData& d : nodes(dir.win("cache/Net"), 1))
        WriteNodeRecord(d);
    const std::string goodNodes = dir.readFile("cache/Net/ALL.NOD");

    // The members are ALL.NOD and LIST.DAT; the size field of ALL.NOD follows the name block.
    TLZHuff probe;
    std::vector<uint8_t> bytes(archive.begin(), archive.end()), names;
    size_t pos = 2;
    probe.DecodeBlock(bytes, pos, names);
    for (uint32_t declared : {uint32_t(NodeCount * NodeRecordSize - 100), uint32_t(NodeCount * NodeRecordSize - 1)}) {
        SCOPED_TRACE(declared);
        std::string damaged = archive;
        std::memcpy(&damaged[pos], &declared, 4);
        dir.writeFile("damaged.che", damaged);
        TLZHuff importer;
        const std::string error = errorOf([&] { importer.ImportArchive(dir.win() + "damaged.che", dir.win("cache")); });
        EXPECT_NE(error.find("Net\\ALL.NOD"), std::string::npos) << error;
        EXPECT_EQ(dir.readFile("cache/Net/ALL.NOD"), goodNodes);
        EXPECT_FALSE(dir.exists("cache/Net/LIST.DAT"));
        EXPECT_TRUE(leftovers(dir.path("cache")).empty());
    }
    // Bytes after the last member belong to no file: the last member is named.
    dir.writeFile("trailing.che", archive + "xyz");
    TLZHuff importer;
    EXPECT_NE(errorOf([&] { importer.ImportArchive(dir.win() + "trailing.che", dir.win("cache")); }).find("LIST.DAT"),
              std::string::npos);
    EXPECT_EQ(dir.readFile("cache/Net/ALL.NOD"), goodNodes);
    // The sound archive goes in whole.
    EXPECT_TRUE(importer.ImportArchive(dir.win() + "good.che", dir.win("cache")));
    EXPECT_EQ(nodesVerdict(dir.win("cache/Net")), 7);
    EXPECT_EQ(listDatVerdict(dir.win("cache/Net") + "LIST.DAT"), 7);
}

TEST(ArchiveDamage, AnExportThatFailsKeepsTheOldArchive)
{
    StoreFolder dir;
    fs::create_directories(dir.path("src/Net"));
    dir.writeFile("src/Net/a.txt", "a file before the one that cannot be read");
    // A pipe among the files: the export cannot read it, and must fail before it replaces anything.
    ASSERT_EQ(mkfifo(dir.path("src/Net/pipe").c_str(), 0600), 0);
    dir.writeFile("old.che", "old archive");
    TLZHuff coder;
    EXPECT_NE(errorOf([&] { coder.ExportArchive(dir.win("src"), {dir.win("src") + "Net"}, dir.win() + "old.che"); }),
              "(no error)");
    EXPECT_NE(errorOf([&] { coder.ExportArchive(dir.win("src"), {dir.win("src") + "Gone"}, dir.win() + "old.che"); }),
              "(no error)");
    EXPECT_EQ(dir.readFile("old.che"), "old archive");
    EXPECT_TRUE(leftovers(dir.path()).empty());
}

TEST_F(SmallDisk, FullDiskLeavesEveryOldFileWhole)
{
    const std::string win = m_dir.win();
    WriteListDat(win + "LIST.DAT", listDat(1));
    ReplaceFolderListings(win, "PC", pairFolders(1));
    TNodeData site;
    site.StoreDir = win;
    site.Key = "FTP";
    unsigned char block[FtpSiteBlockSize];
    EncodeFtpSiteBlock(siteBlock(1), block);
    WriteNodeAttachment(site, block, sizeof block);
    for (TNodeData& d : nodes(win, 1))
        WriteNodeRecord(d);
    m_dir.writeFile("old.che", "old archive");
    fs::create_directories(m_outside.path("Net"));
    WriteListDat(m_outside.win("Net") + "LIST.DAT", listDat(8));
    TLZHuff exporter;
    exporter.ExportArchive(m_outside.win(), {m_outside.win() + "Net"}, m_outside.win() + "big.che");
    fill();

    EXPECT_NE(errorOf([&] { WriteListDat(win + "LIST.DAT", listDat(8)); }), "(no error)");
    EXPECT_EQ(listDatVerdict(win + "LIST.DAT"), 1);
    EXPECT_NE(errorOf([&] { ReplaceFolderListings(win, "PC", pairFolders(4)); }), "(no error)");
    EXPECT_EQ(pairVerdict(win, "PC"), 1);
    std::vector<TNodeData> list = nodes(win, 2);
    std::vector<TNodeData*> records;
    for (TNodeData& d : list)
        records.push_back(&d);
    // The node file's replacement may still fit in what the filler left: either way whole.
    errorOf([&] { WriteNodeRecords(records); });
    EXPECT_GE(nodesVerdict(win), 1);
    TLZHuff coder;
    EXPECT_NE(errorOf([&] { coder.ExportArchive(m_outside.win(), {m_outside.win() + "Net"}, win + "old.che"); }),
              "(no error)");
    EXPECT_EQ(m_dir.readFile("old.che"), "old archive");
    TLZHuff importer;
    EXPECT_NE(errorOf([&] { importer.ImportArchive(m_outside.win() + "big.che", win); }), "(no error)");
    EXPECT_FALSE(m_dir.exists("Net"));
    EXPECT_TRUE(leftovers(m_dir.path()).empty());
    EXPECT_EQ(siteVerdict(site), 1);
}
