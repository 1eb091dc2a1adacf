#include "support/ErrorOf.h"
#include "store/CacheListing.h"
#include "store/TNodeData.h"
#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "platform/TextCodec.h"
#include "platform/Win32Error.h"
#include "MiniJson.h"
#include "StoreFolder.h"
#include "VectorFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using namespace std::string_literals;

namespace {

std::string hex(std::string_view bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

TItemData item(const std::string& path, uint32_t size, uint32_t attributes = 0x20, double modified = 45000.5)
{
    TItemData it;
    SetItemPath(it, path);
    it.Size = size;
    it.Attributes = attributes;
    it.Modified = modified;
    return it;
}

// One listing entry as the files store it.
std::string entry(uint32_t size, uint32_t attributes, double modified, uint16_t n, const std::string& name)
{
    std::string e(18, '\0');
    std::memcpy(&e[0], &size, 4);
    std::memcpy(&e[4], &attributes, 4);
    std::memcpy(&e[8], &modified, 8);
    std::memcpy(&e[16], &n, 2);
    return e + name;
}

std::string indexEntry(int32_t offset, int32_t count, const std::string& folder)
{
    std::string e(10, '\0');
    const uint16_t m = uint16_t(folder.size() + 1);
    std::memcpy(&e[0], &offset, 4);
    std::memcpy(&e[4], &count, 4);
    std::memcpy(&e[8], &m, 2);
    return e + folder + '\0';
}

class Listing : public ::testing::Test {
protected:
    StoreFolder dir;
    TItemList read(const std::string& folder)
    {
        TItemList list;
        ReadFolderListing(list, dir.win(), "SRV", folder);
        return list;
    }
    std::string readError(const std::string& folder)
    {
        TItemList list;
        const std::string error = errorOf([&] { ReadFolderListing(list, dir.win(), "SRV", folder); });
        EXPECT_TRUE(list.empty()) << "entries appended despite: " << error;
        return error;
    }
};

} // namespace

TEST_F(Listing, VectorFoldersAreReadAsDescribed)
{
    dir.copyFrom(vectors::root() / "listing/SRV.LST", "SRV.LST");
    dir.copyFrom(vectors::root() / "listing/SRV.IDX", "SRV.IDX");
    const json::Value v = json::parse(vectors::readText(vectors::root() / "listing/SRV.json"));
    const json::Value& expected = v["ReadFolderListing"];
    ASSERT_GE(expected.size(), 3u);
    for (const auto& [folder, entries] : expected.members) {
        SCOPED_TRACE(folder);
        const TItemList list = read(folder);
        ASSERT_EQ(list.size(), entries.size());
        for (size_t k = 0; k < list.size(); k++) {
            EXPECT_EQ(list[k].Size, uint32_t(entries[k]["Size"].number));
            EXPECT_EQ(list[k].Attributes, uint32_t(entries[k]["Attributes"].number));
            EXPECT_EQ(list[k].Modified, entries[k]["Modified"].number);
            EXPECT_EQ(hex(ItemPathBytes(list[k])), entries[k]["Path_hex"].text);
            EXPECT_EQ(ItemPath(list[k]), entries[k]["Path"].text);
        }
    }
    for (const auto& missing : v["not_found"].items)
        EXPECT_EQ(readError(missing.text), "快取檔中沒有 " + missing.text + " 的資料");
}

TEST_F(Listing, WritingGivesTheVectorBytes)
{
    // The first folder of the vector, written by us: the same bytes.
    const TItemList shares = {item("\\\\SRV\\SHARE", 0, 16, 45000.0), item("\\\\SRV\\公用", 0, 16, 45000.0),
                              item("\\\\SRV\\印表機", 0, 16, 45001.5)};
    WriteFolderListing(shares, dir.win(), "SRV", false);  // missing files are created
    const std::string lst = vectors::readText(vectors::root() / "listing/SRV.LST");
    const std::string idx = vectors::readText(vectors::root() / "listing/SRV.IDX");
    EXPECT_EQ(dir.readFile("SRV.LST"), lst.substr(0, 72));
    EXPECT_EQ(dir.readFile("SRV.IDX"), idx.substr(0, 17));
    // Start new empties both files.
    WriteFolderListing({item("\\\\SRV\\X", 1)}, dir.win(), "SRV", true);
    EXPECT_EQ(dir.readFile("SRV.IDX").size(), 10u + 7u);
    EXPECT_EQ(read("\\\\SRV\\").size(), 1u);
}

TEST_F(Listing, TrailBackslashBytesAndCaseAndDuplicates)
{
    // 功 and 許 end in the byte 0x5C: names and folders are split only after decoding.
    const std::string folder = "\\\\SRV\\功能\\許可\\";
    WriteFolderListing({item(folder + "功.txt", 5), item(folder + "餐廳", 0, 16)}, dir.win(), "SRV", true);
    WriteFolderListing({item("\\\\SRV\\Share\\a", 1)}, dir.win(), "SRV", false);
    WriteFolderListing({item("\\\\SRV\\SHARE\\b", 2), item("\\\\SRV\\SHARE\\c", 3)}, dir.win(), "SRV", false);
    const TItemList list = read(folder);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(ItemPath(list[0]), folder + "功.txt");
    EXPECT_EQ(ItemPath(list[1]), folder + "餐廳");
    EXPECT_NE(dir.readFile("SRV.LST").find(EncodeCP950("功.txt")), std::string::npos);

    const TItemList share = read("\\\\srv\\SHARE\\");  // the first of two entries wins
    ASSERT_EQ(share.size(), 1u);
    EXPECT_EQ(ItemPath(share[0]), "\\\\srv\\SHARE\\a");
    EXPECT_EQ(readError("\\\\SRV\\SHARE"), "快取檔中沒有 \\\\SRV\\SHARE 的資料");
    EXPECT_EQ(readError("\\\\SRV\\功能\\許\\"), "快取檔中沒有 \\\\SRV\\功能\\許\\ 的資料");
}

TEST_F(Listing, LongNamesAtTheLimitAndBeyond)
{
    const std::string name255(255, 'n');
    std::string lst = entry(1, 0x20, 1.0, 256, name255 + '\0');                  // 255 bytes + NUL
    lst += entry(2, 0x20, 1.0, 260, std::string(259, 'm') + '\0');               // the buffer exactly
    dir.writeFile("SRV.LST", lst + entry(3, 0x20, 1.0, 261, std::string(260, 'o') + '\0'));
    dir.writeFile("SRV.IDX", indexEntry(0, 2, "\\\\SRV\\A\\") + indexEntry(0, 3, "\\\\SRV\\B\\"));
    const TItemList ok = read("\\\\SRV\\A\\");
    ASSERT_EQ(ok.size(), 2u);
    EXPECT_EQ(ItemPathBytes(ok[0]).size(), 255u);  // folder + name, cut to 255
    EXPECT_EQ(ItemPath(ok[0]), "\\\\SRV\\A\\" + name255.substr(0, 255 - 8));
    const std::string error = readError("\\\\SRV\\B\\");
    EXPECT_NE(error.find("261"), std::string::npos) << error;
    EXPECT_NE(error.find("260"), std::string::npos) << error;
}

TEST_F(Listing, DamagedFilesGiveAClearErrorAndNoEntries)
{
    const std::string good = entry(1, 0x20, 1.0, 2, "a\0"s) + entry(2, 0x20, 1.0, 2, "b\0"s);
    dir.writeFile("SRV.LST", good);
    dir.writeFile("SRV.IDX", indexEntry(0, 2, "\\\\SRV\\OK\\") + indexEntry(0, 0, "\\\\SRV\\EMPTY\\")
                                 + indexEntry(0, 3, "\\\\SRV\\SHORT\\") + indexEntry(0, 0x7FFFFFFF, "\\\\SRV\\HUGE\\")
                                 + indexEntry(5000, 1, "\\\\SRV\\FAR\\") + indexEntry(-4, 1, "\\\\SRV\\NEG\\")
                                 + indexEntry(0, 1, "\\\\SRV\\CUT\\").substr(0, 14));
    EXPECT_EQ(read("\\\\SRV\\OK\\").size(), 2u);
    EXPECT_TRUE(read("\\\\SRV\\EMPTY\\").empty());
    for (const char* folder : {"\\\\SRV\\SHORT\\", "\\\\SRV\\HUGE\\", "\\\\SRV\\FAR\\", "\\\\SRV\\NEG\\", "\\\\SRV\\CUT\\"}) {
        const std::string error = readError(folder);
        EXPECT_NE(error.find("已損壞"), std::string::npos) << folder << ": " << error;
    }
    // A cut inside a name.
    dir.writeFile("SRV.LST", good.substr(0, good.size() - 1));
    EXPECT_NE(readError("\\\\SRV\\OK\\").find("已損壞"), std::string::npos);
    // Missing files: the system's text.
    dir.writeFile("SRV.LST", "");
    std::filesystem::remove(dir.path("SRV.LST"));
    EXPECT_EQ(readError("\\\\SRV\\OK\\"), Win32MessageText(Win32::FileNotFound));
    std::filesystem::remove(dir.path("SRV.IDX"));
    EXPECT_EQ(readError("\\\\SRV\\OK\\"), Win32MessageText(Win32::FileNotFound));
}

// Entries compared as the files store them: every field and the path's bytes.
void expectSameEntries(const TItemList& got, const TItemList& expected)
{
    ASSERT_EQ(got.size(), expected.size());
    for (size_t k = 0; k < got.size(); k++) {
        SCOPED_TRACE(ItemPath(expected[k]));
        EXPECT_EQ(got[k].Size, expected[k].Size);
        EXPECT_EQ(got[k].Attributes, expected[k].Attributes);
        EXPECT_EQ(got[k].Modified, expected[k].Modified);
        EXPECT_EQ(hex(ItemPathBytes(got[k])), hex(ItemPathBytes(expected[k])));
    }
}

TEST_F(Listing, JustWrittenEntriesAreWhatTheReaderGivesBack)
{
    // Trail bytes 0x5C, a name cut at the path's limit, a folder asked in another case.
    const std::string folder = "\\\\SRV\\功能\\許可\\";
    const std::string longName = "長" + std::string(300, 'n');
    const TItemList written = {item(folder + "功.txt", 5), item(folder + "餐廳", 0, 16, 45001.25),
                               item(folder + longName, 7, 0x23), item(folder + "a b", 0xFFFFFFFFu)};
    WriteFolderListing(written, dir.win(), "SRV", true);
    for (const std::string& asked : {folder, "\\\\srv\\功能\\許可\\"s}) {
        SCOPED_TRACE(asked);
        TItemList asRead;
        ASSERT_TRUE(FolderListingAsRead(TItemList(written), asked, asRead));
        expectSameEntries(asRead, read(asked));
    }
    // Entries the reader would not give back so must be read: none, or entries of a folder
    // other than the one asked for.
    TItemList asRead;
    EXPECT_FALSE(FolderListingAsRead({}, folder, asRead));
    EXPECT_FALSE(FolderListingAsRead(TItemList(written), "\\\\SRV\\功能\\", asRead));
    EXPECT_FALSE(FolderListingAsRead(TItemList(written), "\\\\SRV\\功能\\許可", asRead));
    EXPECT_TRUE(asRead.empty());
}

TEST_F(Listing, EntriesMadeAsReadInPlaceHaveTheReadersBytes)
{
    const std::string folder = "\\\\SRV\\功能\\";
    TItemList written = {item(folder + "功.txt", 5), item(folder + "a b", 7, 0x20, 45001.5)};
    // A field that held a longer path before: bytes after its NUL, which no reader gives.
    std::memset(written[1].Path + ItemPathBytes(written[1]).size() + 1, 'x', 8);
    WriteFolderListing(written, dir.win(), "SRV", true);
    TItemList asRead;
    ASSERT_TRUE(FolderListingAsRead(TItemList(written), folder, asRead));
    const TItemList back = read(folder);
    ASSERT_EQ(asRead.size(), back.size());
    for (size_t k = 0; k < back.size(); k++)
        EXPECT_EQ(std::memcmp(&asRead[k], &back[k], sizeof(TItemData)), 0) << k;
}

TEST_F(Listing, ReplacedPairHasTheBytesOfFoldersAppendedOneByOne)
{
    // Enough folders that the replacement writes in several parts.
    std::vector<TItemList> folders;
    for (int f = 0; f < 400; f++) {
        TItemList& entries = folders.emplace_back();
        const std::string path = "\\\\SRV\\資料" + std::to_string(f) + "\\";
        for (int k = 0; k < 60 + f % 7; k++)
            entries.push_back(item(path + "報告" + std::string(size_t(k * 7 % 150), 'x') + std::to_string(k), uint32_t(k)));
    }
    folders.insert(folders.begin() + 5, TItemList());  // an empty folder is left out
    for (const TItemList& entries : folders)
        WriteFolderListing(entries, dir.win(), "SRV", false);
    const std::string lst = dir.readFile("SRV.LST"), idx = dir.readFile("SRV.IDX");
    ASSERT_GT(lst.size(), size_t(2) << 20);
    std::filesystem::remove(dir.path("SRV.LST"));
    std::filesystem::remove(dir.path("SRV.IDX"));
    ReplaceFolderListings(dir.win(), "SRV", folders);
    EXPECT_TRUE(dir.readFile("SRV.LST") == lst);
    EXPECT_TRUE(dir.readFile("SRV.IDX") == idx);
    size_t next = 0;
    ReplaceFolderListings(dir.win(), "SRV", [&](TItemList& folder) {
        if (next == folders.size())
            return false;
        folder = folders[next++];
        return true;
    });
    EXPECT_TRUE(dir.readFile("SRV.LST") == lst);
    EXPECT_TRUE(dir.readFile("SRV.IDX") == idx);
    expectSameEntries(read("\\\\SRV\\資料399\\"), folders.back());
}

TEST_F(Listing, WriterExcludesReaders)
{
    WriteFolderListing({item("\\\\SRV\\A\\x", 1)}, dir.win(), "SRV", true);
    int error = 0;
    auto writer = OpenFile(dir.win("SRV.IDX"), FileMode::ReadWrite, &error);
    ASSERT_TRUE(writer);
    EXPECT_EQ(readError("\\\\SRV\\A\\"), Win32MessageText(Win32::SharingViolation));
    EXPECT_EQ(errorOf([&] { WriteFolderListing({item("\\\\SRV\\B\\y", 1)}, dir.win(), "SRV", false); }),
              Win32MessageText(Win32::SharingViolation));
}

TEST(CacheAttachment, ExactSizesOnly)
{
    StoreFolder dir;
    TNodeData site;
    site.StoreDir = dir.win();
    site.Key = "ftp.example";
    FtpSiteBlock block;
    block.Host = "ftp.example.com";
    block.User = "anonymous";
    block.Password = "密碼";
    block.Port = 2121;
    unsigned char bytes[FtpSiteBlockSize];
    EncodeFtpSiteBlock(block, bytes);
    WriteNodeAttachment(site, bytes, sizeof bytes);
    unsigned char back[FtpSiteBlockSize] = {};
    ReadNodeAttachment(site, back, sizeof back);
    const FtpSiteBlock decoded = DecodeFtpSiteBlock(back);
    EXPECT_EQ(decoded.Host, "ftp.example.com");
    EXPECT_EQ(decoded.Password, "密碼");
    EXPECT_EQ(decoded.Port, 2121);
    EXPECT_EQ(decoded.ProxyPort, 21);

    dir.writeFile("ftp.example.ATT", std::string(391, 'x'));
    EXPECT_EQ(errorOf([&] { ReadNodeAttachment(site, back, sizeof back); }), "Read Error");
    site.Key = "missing";
    EXPECT_EQ(errorOf([&] { ReadNodeAttachment(site, back, sizeof back); }), Win32MessageText(Win32::FileNotFound));
}

TEST(ListDat, WholeRecordsOnlyAndPathsAlwaysEnded)
{
    StoreFolder dir;
    TItemList items = {item("C:\\a\\功能.txt", 10), item("C:\\a\\b", 0, 16)};
    WriteListDat(dir.win("LIST.DAT"), items);
    TItemData raw = item("", 1);
    for (size_t k = 0; k < sizeof raw.Path; k += 2) {  // 一 (A4 40) to the end, no NUL
        raw.Path[k] = char(0xA4);
        raw.Path[k + 1] = 0x40;
    }
    std::string data = dir.readFile("LIST.DAT");
    data.append(reinterpret_cast<const char*>(&raw), sizeof raw);
    dir.writeFile("LIST.DAT", data + std::string(100, 'z'));
    TItemList list;
    ReadListDat(dir.win("LIST.DAT"), list);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(ItemPath(list[0]), "C:\\a\\功能.txt");
    EXPECT_TRUE(list[1].isFolder());
    EXPECT_LT(ItemPathBytes(list[2]).size(), 256u);
    EXPECT_EQ(ItemPathBytes(list[2]).size(), 255u);  // ended where the NUL belongs
    EXPECT_EQ(EncodeCP950(ItemPath(list[2])), ItemPathBytes(list[2]));
}
