// What a site's connection knows of its listings: the sizes a download is held to, the
// site's listing pair as folders are listed and listed again, and the rule that only the
// conversation's thread touches any of it.
#include "network/FtpListingBook.h"

#include "local/TempTree.h"
#include "store/TItemData.h"
#include "support/TestDrives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

namespace {

FtpEntry file(const std::string& name, int64_t size)
{
    FtpEntry entry;
    entry.name = name;
    entry.size = size;
    entry.modified = 45000;
    return entry;
}

FtpEntry folder(const std::string& name)
{
    FtpEntry entry;
    entry.name = name;
    entry.folder = true;
    entry.modified = 45000;
    return entry;
}

class ListingBookTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tree.valid());
        std::filesystem::create_directories(tree.path("store"));
        MapTestDrives(tree.root());
        book.claim();
    }
    void TearDown() override { RefreshDriveMap(); }

    std::vector<std::string> stored(const std::string& siteFolder) const
    {
        TItemList items;
        ReadFolderListing(items, storeDir, "SITE", siteFolder);
        std::vector<std::string> paths;
        for (const TItemData& item : items)
            paths.push_back(ItemPath(item));
        std::sort(paths.begin(), paths.end());
        return paths;
    }

    TempTree tree;
    const std::string storeDir = "D:\\store\\";
    FtpListingBook book;
};

TEST_F(ListingBookTest, TheSizeADownloadIsHeldToIsTheLatestTheSiteSaid)
{
    EXPECT_EQ(book.knownSize("/docs/a.txt"), -1) << "nothing listed yet";
    book.record("\\docs\\", storeDir, "SITE", {file("a.txt", 10), folder("sub"), file("b.txt", -1)});
    EXPECT_EQ(book.knownSize("/docs/a.txt"), 10);
    EXPECT_EQ(book.knownSize("/docs/b.txt"), -1) << "a size the listing did not give";
    EXPECT_EQ(book.knownSize("/docs/sub"), -1) << "a folder has no size to hold to";
    EXPECT_EQ(book.knownSize("/docs/c.txt"), -1);
    EXPECT_EQ(book.knownSize("/a.txt"), -1) << "another folder's entry of the same name";
    // A look at the file alone after the listing counts over it, and a later listing over that.
    book.noteSize("/docs/a.txt", 20);
    EXPECT_EQ(book.knownSize("/docs/a.txt"), 20);
    book.record("\\docs\\", storeDir, "SITE", {file("a.txt", 30)});
    EXPECT_EQ(book.knownSize("/docs/a.txt"), 30);
    // The root's entries are found under "/".
    book.record("\\", storeDir, "SITE", {file("top.txt", 7)});
    EXPECT_EQ(book.knownSize("/top.txt"), 7);
}

TEST_F(ListingBookTest, FoldersListedAgainReplaceTheirOwnEntriesInTheListingPair)
{
    FtpListingBook::Recorded root = book.record("\\", storeDir, "SITE", {folder("docs"), file("a.txt", 1)});
    EXPECT_TRUE(root.writeError.empty()) << root.writeError;
    ASSERT_NE(root.listing, nullptr);
    ASSERT_NE(root.listing->find("a.txt"), nullptr);
    EXPECT_EQ(root.listing->find("a.txt")->size, 1);
    EXPECT_EQ(root.listing->find("b.txt"), nullptr);
    // The entries as the pair's reader gives them back, so the window need not read it.
    ASSERT_EQ(root.asRead.size(), 2u);
    book.record("\\docs\\", storeDir, "SITE", {file("x.txt", 2)});
    EXPECT_EQ(stored("\\"), (std::vector<std::string>{"\\a.txt", "\\docs"}));
    EXPECT_EQ(stored("\\docs\\"), std::vector<std::string>{"\\docs\\x.txt"});

    // Listed again: its entries now, the other folder's as they were, and the listing
    // handed over before stays as it was for whoever keeps it.
    const FtpListingBook::Recorded again =
        book.record("\\", storeDir, "SITE", {folder("docs"), file("new.txt", 3)});
    EXPECT_EQ(stored("\\"), (std::vector<std::string>{"\\docs", "\\new.txt"}));
    EXPECT_EQ(stored("\\docs\\"), std::vector<std::string>{"\\docs\\x.txt"});
    EXPECT_NE(root.listing->find("a.txt"), nullptr);
    EXPECT_EQ(again.listing->find("a.txt"), nullptr);
    EXPECT_EQ(again.asRead.size(), 2u);
    // A folder empty now loses its entries.
    book.record("\\docs\\", storeDir, "SITE", {});
    EXPECT_THROW(stored("\\docs\\"), std::exception);
    EXPECT_EQ(stored("\\").size(), 2u);

    book.dropStored(storeDir, "SITE");
    EXPECT_FALSE(std::filesystem::exists(tree.path("store/SITE.LST")));
    EXPECT_FALSE(std::filesystem::exists(tree.path("store/SITE.IDX")));
    // After the drop a folder is appended afresh, not looked for in a pair that is gone.
    const FtpListingBook::Recorded fresh = book.record("\\docs\\", storeDir, "SITE", {file("y.txt", 4)});
    EXPECT_TRUE(fresh.writeError.empty()) << fresh.writeError;
    EXPECT_EQ(stored("\\docs\\"), std::vector<std::string>{"\\docs\\y.txt"});
}

// The book is its thread's: a touch from any other is counted, one from its own is not.
TEST(ListingBookThread, ATouchFromAnotherThreadIsCounted)
{
    FtpListingBook book;
    std::thread owner([&] {
        book.claim();
        book.noteSize("/a", 1);
    });
    owner.join();
    const int before = ThreadOwner::violations();
    EXPECT_EQ(book.knownSize("/a"), 1);
    EXPECT_EQ(ThreadOwner::violations(), before + 1);
    std::thread again([&] {
        book.claim();
        book.knownSize("/a");
    });
    again.join();
    EXPECT_EQ(ThreadOwner::violations(), before + 1) << "a claim makes the thread the owner";
}

} // namespace
