#include "support/ErrorOf.h"
#include "store/CacheListing.h"
#include "store/TNodeData.h"
#include "store/TLZHuff.h"
#include "platform/Exception.h"
#include "platform/TextCodec.h"
#include "MiniJson.h"
#include "StoreFolder.h"
#include "VectorFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

// Copies a vector's input tree into `dir` (the shared vectors are read-only).
void copyTree(const fs::path& from, const StoreFolder& dir)
{
    fs::copy(from, dir.path(), fs::copy_options::recursive);
    for (const auto& e : fs::recursive_directory_iterator(dir.path()))
        fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add);
}

std::vector<uint8_t> archiveOf(const std::vector<std::string>& names, const std::vector<std::vector<uint8_t>>& files)
{
    std::vector<uint8_t> header;
    for (const auto& n : names) {
        const std::string b = EncodeCP950(n);
        header.insert(header.end(), b.begin(), b.end());
        header.push_back(0);
    }
    TLZHuff coder;
    std::vector<uint8_t> out = {0xE1, 0xE1};
    coder.EncodeBlock(header, out);
    for (const auto& f : files)
        coder.EncodeBlock(f, out);
    return out;
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Everything under a folder, as relative names and contents.
std::map<std::string, std::string> treeOf(const std::string& root)
{
    std::map<std::string, std::string> tree;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            tree[fs::relative(e.path(), root).string()] = vectors::readText(e.path());
    return tree;
}

} // namespace

TEST(ArchiveVectors, ExportGivesTheVectorAndImportRestoresItsFiles)
{
    for (const auto& name : vectors::archiveVectors()) {
        SCOPED_TRACE(name);
        const fs::path dir = vectors::root() / "archives" / name;
        const json::Value v = json::parse(vectors::readText(dir / "vector.json"));
        StoreFolder base, out;
        copyTree(dir / "input", base);
        std::vector<std::string> items;
        for (const auto& item : v["items"].items)
            items.push_back(base.win() + item.text);
        TLZHuff exporter;
        EXPECT_TRUE(exporter.ExportArchive(base.win(), items, out.win() + "x.che"));
        EXPECT_EQ(out.readFile("x.che"), vectors::readText(dir / "expected.che"));
        EXPECT_EQ(exporter.fileCount(), int(v["names"].size()));

        StoreFolder restored;
        TLZHuff importer;
        int blocks = 0;
        importer.OnBlockDecoded = [&](TLZHuff&) { ++blocks; };
        EXPECT_TRUE(importer.ImportArchive(WindowsPath((dir / "expected.che").string()), restored.win()));
        EXPECT_EQ(treeOf(restored.path()), treeOf((dir / "input").string()));
        int nonEmpty = 0;
        for (const auto& b : v["blocks"].items)
            nonEmpty += b["size"].integer() > 0;
        EXPECT_EQ(blocks, nonEmpty);
    }
}

TEST(Archive, ImportOverwritesAndKeepsOtherFiles)
{
    StoreFolder dir;
    writeBytes(dir.path("a.che"), archiveOf({"Net\\a.txt"}, {{'n', 'e', 'w'}}));
    fs::create_directories(dir.path("cache/Net"));
    dir.writeFile("cache/Net/a.txt", "old content");
    dir.writeFile("cache/Net/b.txt", "kept");
    TLZHuff coder;
    coder.ImportArchive(dir.win("a.che"), dir.win("cache"));
    EXPECT_EQ(dir.readFile("cache/Net/a.txt"), "new");
    EXPECT_EQ(dir.readFile("cache/Net/b.txt"), "kept");
}

TEST(Archive, NamesThatLeaveTheBaseFolderAreRefused)
{
    for (const std::string bad : {"..\\evil.txt", "Net\\..\\..\\evil.txt", "\\evil.txt", "C:\\evil.txt", "Net\\\\evil.txt",
                                  "Net\\a/../../evil.txt", "Net\\.\\evil.txt", "Net\\evil:stream", "",
                                  // The same faults spelled with the escapes of the name codec.
                                  "Net\\\xC2\xA4~..\\\xC2\xA4~..\\evil.txt", "Net\\a\xC2\xA4" "00\\evil.txt"}) {
        SCOPED_TRACE(bad);
        StoreFolder dir;
        fs::create_directories(dir.path("a/b/cache"));
        writeBytes(dir.path("x.che"), archiveOf({"Net\\fine.txt", bad}, {{'o', 'k'}, {'b', 'a', 'd'}}));
        TLZHuff coder;
        const std::string error = errorOf([&] { coder.ImportArchive(dir.win("x.che"), dir.win("a/b/cache")); });
        EXPECT_NE(error.find("不能還原"), std::string::npos) << error;
        // Nothing at all was written, inside or outside.
        EXPECT_EQ(treeOf(dir.path("a")).size(), 0u);
        EXPECT_FALSE(dir.exists("evil.txt"));
        EXPECT_FALSE(dir.exists("a/evil.txt"));
    }
}

// Escapes the codec never writes stay text: "¤2E¤2E" is a folder of that name inside the
// cache, never its parent.
TEST(Archive, EscapedDotsStayInsideTheBaseFolder)
{
    const std::string dots = "\xC2\xA4" "2E" "\xC2\xA4" "2E";
    StoreFolder dir;
    fs::create_directories(dir.path("a/b/cache"));
    writeBytes(dir.path("x.che"), archiveOf({dots + "\\" + dots + "\\X", "Net\\" + dots + "\\Y"}, {{'o', 'n', 'e'}, {'t', 'w', 'o'}}));
    TLZHuff coder;
    EXPECT_EQ(errorOf([&] { coder.ImportArchive(dir.win("x.che"), dir.win("a/b/cache")); }), "(no error)");
    EXPECT_FALSE(dir.exists("X"));
    EXPECT_FALSE(dir.exists("a/X"));
    EXPECT_FALSE(dir.exists("a/b/Y"));
    const std::map<std::string, std::string> tree = treeOf(dir.path("a"));
    EXPECT_EQ(tree, (std::map<std::string, std::string>{{"b/cache/" + dots + "/" + dots + "/X", "one"}, {"b/cache/Net/" + dots + "/Y", "two"}}));
}

// An FTP site's block holds its password: written, or restored from an archive, it is
// readable by its owner only, in a folder only its owner can enter.
TEST(Archive, SiteBlocksAreKeptSecretWrittenOrImported)
{
    const auto modeOf = [](const std::string& path) {
        struct stat st {};
        EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
        return st.st_mode & 07777;
    };
    StoreFolder dir;
    fs::create_directories(dir.path("cache/Ftp"));
    fs::permissions(dir.path("cache/Ftp"), fs::perms(0755));
    TNodeData site;
    site.StoreDir = dir.win("cache/Ftp");
    site.Key = "site1";
    const std::vector<uint8_t> block(392, 'p');
    WriteNodeAttachment(site, block.data(), block.size());
    EXPECT_EQ(modeOf(dir.path("cache/Ftp/site1.ATT")), 0600u);
    EXPECT_EQ(modeOf(dir.path("cache/Ftp")), 0700u);

    writeBytes(dir.path("x.che"), archiveOf({"Net\\a.txt", "Sites\\site2.ATT"}, {{'a'}, block}));
    TLZHuff coder;
    EXPECT_EQ(errorOf([&] { coder.ImportArchive(dir.win("x.che"), dir.win("cache")); }), "(no error)");
    EXPECT_EQ(modeOf(dir.path("cache/Sites/site2.ATT")), 0600u);
    EXPECT_EQ(modeOf(dir.path("cache/Sites")), 0700u);
}

TEST(Archive, LinksInTheCacheDoNotLeadOutOfIt)
{
    StoreFolder dir, outside;
    fs::create_directories(dir.path("cache"));
    fs::create_directory_symlink(outside.path(), dir.path("cache/Net"));
    fs::create_symlink(outside.path("target.txt"), dir.path("cache/file.txt"));
    outside.writeFile("target.txt", "outside");
    for (const std::string name : {"Net\\a.txt", "file.txt"}) {
        writeBytes(dir.path("x.che"), archiveOf({name}, {{'b', 'a', 'd'}}));
        TLZHuff coder;
        EXPECT_NE(errorOf([&] { coder.ImportArchive(dir.win("x.che"), dir.win("cache")); }).find("符號連結"),
                  std::string::npos);
    }
    EXPECT_FALSE(outside.exists("a.txt"));
    EXPECT_EQ(outside.readFile("target.txt"), "outside");
}

TEST(Archive, CutArchivesRestoreNothingAndSaySo)
{
    const std::vector<uint8_t> first(5000, 'a'), second = {'x', 'y', 'z'};
    std::vector<uint8_t> third;
    for (int k = 0; k < 30000; k++)
        third.push_back(uint8_t(k * 7919 >> 3));
    const auto full = archiveOf({"T\\1.bin", "T\\2.bin", "T\\3.bin"}, {first, second, third});
    for (size_t cut : {size_t(1), size_t(3), size_t(10), full.size() / 2, full.size() - 1}) {
        SCOPED_TRACE(cut);
        StoreFolder dir;
        writeBytes(dir.path("cut.che"), std::vector<uint8_t>(full.begin(), full.begin() + cut));
        TLZHuff coder;
        const std::string error = errorOf([&] { coder.ImportArchive(dir.win("cut.che"), dir.win()); });
        if (cut < 2) {
            EXPECT_EQ(error, "Not Support Type");
            continue;
        }
        EXPECT_NE(error.find("不完整"), std::string::npos) << error;
        // All or nothing: not even the folder the members would have gone to is left.
        EXPECT_FALSE(dir.exists("T")) << error;
        if (cut == full.size() - 1)
            EXPECT_NE(error.find("T\\3.bin"), std::string::npos) << error;
    }
    // Missing size fields after the last file's block: an error too.
    StoreFolder dir;
    auto shortNames = archiveOf({"T\\1.bin", "T\\2.bin"}, {first});
    writeBytes(dir.path("x.che"), shortNames);
    TLZHuff coder;
    EXPECT_NE(errorOf([&] { coder.ImportArchive(dir.win("x.che"), dir.win()); }).find("不完整"), std::string::npos);
    EXPECT_FALSE(dir.exists("T"));
}

TEST(Archive, ForeignFilesAndLyingSizes)
{
    StoreFolder dir;
    dir.writeFile("foreign.che", "PK\x03\x04 not ours");
    TLZHuff coder;
    EXPECT_EQ(errorOf([&] { coder.ImportArchive(dir.win("foreign.che"), dir.win("cache")); }), "Not Support Type");
    EXPECT_FALSE(dir.exists("cache"));
    EXPECT_EQ(errorOf([&] { coder.ImportArchive(dir.win("missing.che"), dir.win()); }).empty(), false);

    // A name block that claims 4 GiB, followed by 30 bytes.
    std::vector<uint8_t> lying = {0xE1, 0xE1, 0xFF, 0xFF, 0xFF, 0xFF};
    for (int k = 0; k < 30; k++)
        lying.push_back(uint8_t(0xFF));
    writeBytes(dir.path("lying.che"), lying);
    EXPECT_NE(errorOf([&] { coder.ImportArchive(dir.win("lying.che"), dir.win("cache")); }).find("不完整"),
              std::string::npos);
    EXPECT_FALSE(dir.exists("cache"));
}

TEST(Archive, ExportErrorsAndStop)
{
    StoreFolder dir;
    TLZHuff coder;
    EXPECT_EQ(errorOf([&] { coder.ExportArchive(dir.win(), {dir.win() + "nothing"}, dir.win() + "x.che"); }),
              "Not Exists File or Directory " + dir.win() + "nothing");

    fs::create_directories(dir.path("tree/sub"));
    std::string big;
    for (int k = 0; k < 400000; k++)
        big += char('a' + (k * 31 % 26));
    dir.writeFile("tree/sub/big.txt", big);
    dir.writeFile("tree/small.txt", "small");
    dir.writeFile("single.txt", "one file");
    TLZHuff stopper;
    stopper.OnProgress = [](TLZHuff& c) { c.Cancel(); };
    dir.writeFile("s.che", "the archive of yesterday");
    EXPECT_FALSE(stopper.ExportArchive(dir.win(), {dir.win() + "tree", dir.win() + "single.txt"}, dir.win() + "s.che"));
    // A stopped export keeps the old archive and leaves no partial file beside it.
    EXPECT_EQ(dir.readFile("s.che"), "the archive of yesterday");
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename().string().find(".tmp-"), std::string::npos) << e.path();

    TLZHuff whole;
    EXPECT_TRUE(whole.ExportArchive(dir.win(), {dir.win() + "tree", dir.win() + "single.txt"}, dir.win() + "w.che"));
    TLZHuff back;
    EXPECT_TRUE(back.ImportArchive(dir.win("w.che"), dir.win("back2")));
    EXPECT_EQ(dir.readFile("back2/tree/sub/big.txt"), big);
    EXPECT_EQ(dir.readFile("back2/single.txt"), "one file");
    EXPECT_EQ(treeOf(dir.path("back2")).size(), 3u);
}
