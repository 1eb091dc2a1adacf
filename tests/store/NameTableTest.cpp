#include <gtest/gtest.h>

#include "store/ImportedComputers.h"
#include "store/NameTable.h"
#include "store/TLZHuff.h"
#include "store/NodeFile.h"
#include "store/StoredNodes.h"

#include "StoreFolder.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

void store(const std::string& folder, const char* caption, uint8_t rootKind, uint16_t attributes, const char* host)
{
    TNodeData data;
    data.Caption = data.Key = caption;
    data.StoreDir = folder;
    data.RootKind = rootKind;
    data.NodeAttributes = attributes;
    data.Host = host;
    data.State = Idle;
    WriteNodeRecord(data);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

TEST(NameTable, CollectsStoredComputersDepthFirstExpandedBeforeBookmarks)
{
    StoreFolder cache;
    std::filesystem::create_directories(cache.path("Expanded"));
    std::filesystem::create_directories(cache.path("Bookmark"));
    const std::string expanded = cache.win() + "Expanded\\";
    const std::string bookmarks = cache.win() + "Bookmark\\";
    std::vector<TNodeData> computers{ExpandedComputerRecord(expanded, "PC1", "PC1", "10.0.0.1", 6)};
    AddStoredNodes(computers);
    store(expanded, "Lab", ExpandedRoot, Domain | Container, "");
    store(expanded + "Lab\\", "PC2", ExpandedRoot, Computer, "10.0.0.2");
    store(expanded, "PC3", ExpandedRoot, Computer, "10.0.0.3");
    // A bookmarked computer counts; a bookmarked folder or a computer of the live network
    // that was never bookmarked does not.
    store(bookmarks, "BM", NetRoot, Computer | Bookmark, "10.0.0.9");
    store(bookmarks, "Docs", LocalRoot, Folder | Bookmark, "");
    store(bookmarks, "Live", NetRoot, Computer, "10.0.0.8");

    int records = 0;
    const std::vector<StoredComputer> found = CollectStoredComputers(cache.win(), [&records] { ++records; });
    std::vector<std::string> seen;
    for (const StoredComputer& computer : found)
        seen.push_back(computer.host + " " + computer.name);
    EXPECT_EQ(seen, (std::vector<std::string>{"10.0.0.1 PC1", "10.0.0.2 PC2", "10.0.0.3 PC3", "10.0.0.9 BM"}));
    EXPECT_EQ(records, 7);
}

TEST(NameTable, DuplicateNamesAskOnceAndTheAnswerDecidesTheAddress)
{
    const std::vector<StoredComputer> computers{
        {"10.0.0.1", "SERVER"}, {"10.0.0.5", "OTHER"}, {"10.0.0.2", "server"}, {"", "BLANK"}, {"10.0.0.7", "a\nb"}};
    std::vector<std::pair<std::string, std::string>> asked;
    const auto keepOld = BuildNameTable(computers, [&asked](const std::string& fresh, const std::string& old) {
        asked.emplace_back(fresh, old);
        return false;
    });
    EXPECT_EQ(keepOld, (std::vector<std::string>{"10.0.0.1     SERVER", "10.0.0.5     OTHER"}));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], (std::pair<std::string, std::string>{"10.0.0.2     server", "10.0.0.1     SERVER"}));

    const auto takeNew = BuildNameTable(computers, [](const std::string&, const std::string&) { return true; });
    EXPECT_EQ(takeNew, (std::vector<std::string>{"10.0.0.2     server", "10.0.0.5     OTHER"}));
}

TEST(NameTable, SavingReplacesTheWholeTableAndFailsInItsOwnWords)
{
    StoreFolder folder;
    const std::string path = NameTablePath(folder.win());
    SaveNameTable(path, {"10.0.0.1     OLD", "10.0.0.2     GONE"});
    SaveNameTable(path, {"10.0.0.3     NEW"});
    EXPECT_EQ(readFile(folder.path("lmhosts")), "10.0.0.3     NEW\n");
    // Written in the OEM code page, as the name resolvers read it.
    SaveNameTable(path, {"10.0.0.4     會計室"});
    EXPECT_EQ(readFile(folder.path("lmhosts")), "10.0.0.4     \xB7\x7C\xAD\x70\xAB\xC7\n");

    try {
        SaveNameTable(folder.win() + "missing\\lmhosts", {"10.0.0.3     NEW"});
        ADD_FAILURE() << "a table in a missing folder was reported as saved";
    } catch (const std::exception& error) {
        EXPECT_FALSE(std::string(error.what()).empty());
    }
    EXPECT_EQ(readFile(folder.path("lmhosts")), "10.0.0.4     \xB7\x7C\xAD\x70\xAB\xC7\n");
}

// An archive made elsewhere names computers and addresses of its writer's choosing: the
// import notes which ones it brought, and the rebuild tells them from the user's own.
TEST(NameTable, ComputersAnImportBroughtAreToldFromTheUsersOwn)
{
    StoreFolder elsewhere;
    StoreFolder cache;
    for (const StoreFolder* folder : {&elsewhere, &cache})
        std::filesystem::create_directories(folder->path("Expanded"));
    std::vector<TNodeData> theirs{ExpandedComputerRecord(elsewhere.win() + "Expanded\\", "FILESRV", "FILESRV", "10.6.6.6", 6),
                                  ExpandedComputerRecord(elsewhere.win() + "Expanded\\", "Lab", "LAB", "10.0.0.4", 6)};
    AddStoredNodes(theirs);
    const std::string archive = elsewhere.win() + "net.lzh";
    TLZHuff exporter;
    ASSERT_TRUE(exporter.ExportArchive(elsewhere.win(), {elsewhere.win() + "Expanded"}, archive));
    // The user's own store already knows LAB at the same address.
    std::vector<TNodeData> mine{ExpandedComputerRecord(cache.win() + "Expanded\\", "Lab", "LAB", "10.0.0.4", 6)};
    AddStoredNodes(mine);

    TLZHuff importer;
    ASSERT_TRUE(ImportArchiveIntoCache(importer, archive, cache.win()));
    EXPECT_EQ(readFile(cache.path("lmhosts.imported")), "10.6.6.6     FILESRV\n");
    SortedComputers sorted = SortByOrigin(CollectStoredComputers(cache.win()), cache.win());
    ASSERT_EQ(sorted.imported.size(), 1u);
    EXPECT_EQ(sorted.imported[0].name, "FILESRV");
    ASSERT_EQ(sorted.vouched.size(), 1u);
    EXPECT_EQ(sorted.vouched[0].name, "Lab");

    // Importing it again adds nothing twice; an address the user changes since is the user's.
    TLZHuff again;
    ASSERT_TRUE(ImportArchiveIntoCache(again, archive, cache.win()));
    EXPECT_EQ(readFile(cache.path("lmhosts.imported")), "10.6.6.6     FILESRV\n");
    sorted = SortByOrigin({{"10.0.0.9", "filesrv"}, {"10.6.6.6", "filesrv"}}, cache.win());
    ASSERT_EQ(sorted.vouched.size(), 1u);
    EXPECT_EQ(sorted.vouched[0].host, "10.0.0.9");
    ASSERT_EQ(sorted.imported.size(), 1u) << "names compare without case";

    ForgetImportedComputers(cache.win());
    EXPECT_FALSE(cache.exists("lmhosts.imported"));
    EXPECT_TRUE(SortByOrigin(CollectStoredComputers(cache.win()), cache.win()).imported.empty());
}
