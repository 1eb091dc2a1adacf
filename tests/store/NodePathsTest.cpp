#include "store/NodePaths.h"
#include "store/TItemData.h"
#include "store/TNodeData.h"
#include "platform/Exception.h"
#include "StoreFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(NodePaths, BackslashHelpers)
{
    EXPECT_EQ(AddBackslash(""), "");
    EXPECT_EQ(AddBackslash("C:\\a"), "C:\\a\\");
    EXPECT_EQ(AddBackslash("C:\\a\\"), "C:\\a\\");
    EXPECT_EQ(RemoveBackslash("C:\\a\\"), "C:\\a");
    EXPECT_EQ(RemoveBackslash("C:\\a"), "C:\\a");
    EXPECT_EQ(CountBackslashes("\\\\SRV\\功能\\"), 4);  // 功 is A5 5C in CP950, not here
    EXPECT_EQ(PathPart("SERVER\\SHARE\\DIR", 2), "SHARE");
    EXPECT_EQ(PathPart("SERVER\\SHARE\\DIR", 3), "DIR");
    EXPECT_EQ(PathPart("SERVER\\SHARE\\DIR", 4), "");
    EXPECT_EQ(PathPart("\\\\SRV\\功能\\", 3), "SRV");
    EXPECT_EQ(PathPart("\\\\SRV\\功能\\", 4), "功能");
    EXPECT_EQ(BareName("\\\\SRV\\功能\\說明.txt"), "說明.txt");
    EXPECT_EQ(FolderPart("\\\\SRV\\功能\\說明.txt"), "\\\\SRV\\功能\\");
}

TEST(NodePaths, SafeFileName)
{
    EXPECT_EQ(SafeFileName("A(1):B"), "A1B");
    EXPECT_EQ(SafeFileName(""), "EMPTY_NAME");
    EXPECT_EQ(SafeFileName("\\/?*:\"<>()"), "EMPTY_NAME");
    EXPECT_EQ(SafeFileName("  \t"), "EMPTY_NAME");
    EXPECT_EQ(SafeFileName("a|b  \r\n"), "a|b");
    EXPECT_EQ(SafeFileName(" lead"), " lead");
    EXPECT_EQ(SafeFileName("功能表"), "功能表");
    const std::string longName(300, 'x');
    EXPECT_EQ(SafeFileName(longName).size(), 254u);
    std::string wide;
    for (int k = 0; k < 300; k++)
        wide += "網";
    EXPECT_EQ(SafeFileName(wide).size(), 254u * 3);
}

TEST(NodePaths, IpTextBothWays)
{
    EXPECT_EQ(IpToText(0xC0A8010A), "192.168.1.10");
    EXPECT_EQ(IpToText(0), "0.0.0.0");
    EXPECT_EQ(TextToIp("192.168.1.10"), 0xC0A8010Au);
    EXPECT_EQ(TextToIp(" 10. 0. 0. 1"), 0x0A000001u);  // blanks are below "0": skipped
    EXPECT_EQ(TextToIp("1.2.3"), 0x01020300u);
    EXPECT_EQ(TextToIp("a.2.b.4"), 0x00020004u);
    EXPECT_EQ(TextToIp(""), 0u);
    EXPECT_EQ(TextToIp("1.2.3.4.5"), 0x0102032Du);  // the fourth run is "4.5": the dot is skipped
    EXPECT_EQ(TextToIp(IpToText(0xFEDCBA98)), 0xFEDCBA98u);
}

TEST(NodePaths, SortOrders)
{
    TNodeData dom, pc, share, pc2;
    dom.NodeAttributes = Domain;
    dom.Caption = "zeta";
    pc.NodeAttributes = Computer;
    pc.Caption = "beta";
    pc2.NodeAttributes = Computer;
    pc2.Caption = "ALPHA";
    share.NodeAttributes = Share;
    share.Caption = "aaa";
    EXPECT_LT(CompareNodes(dom, pc), 0);
    EXPECT_LT(CompareNodes(pc, share), 0);
    EXPECT_LT(CompareNodes(pc2, pc), 0);  // case does not count
    EXPECT_EQ(CompareTextNoCase("Ｆｕｌｌ", "ｆｕｌｌ"), 0);
    EXPECT_EQ(CompareTextNoCase("ΑΒΓ", "αβγ"), 0);
    EXPECT_LT(CompareTextNoCase("abc", "ABCD"), 0);
    EXPECT_NE(CompareTextNoCase("功", "功能"), 0);

    TItemData folder, file, file2;
    folder.Attributes = FileAttributeDirectory;
    SetItemPath(folder, "\\\\S\\z");
    SetItemPath(file, "\\\\S\\B.txt");
    SetItemPath(file2, "\\\\S\\a.txt");
    EXPECT_LT(CompareItems(folder, file), 0);
    EXPECT_GT(CompareItems(file, file2), 0);
}

TEST(NodePaths, ItemPathIsCutOnACharacterBoundary)
{
    TItemData item;
    std::string path = "\\\\S\\";
    while (path.size() < 400)
        path += "功";
    SetItemPath(item, path);
    const std::string_view bytes = ItemPathBytes(item);
    EXPECT_LE(bytes.size(), 255u);
    EXPECT_EQ(item.Path[255], 0);
    EXPECT_EQ(ItemPath(item).substr(0, 10), path.substr(0, 10));
    EXPECT_EQ(ItemPath(item).back() & 0xC0, 0x80);  // ends in a whole character
}

TEST(NodePaths, NewFolderAndDeleteFolderTree)
{
    StoreFolder dir;
    const std::string made = NewFolder(dir.win(), "書籤");
    EXPECT_EQ(made, dir.win() + "書籤\\");
    EXPECT_TRUE(dir.exists("書籤"));
    try {
        NewFolder(dir.win(), "書籤");
        ADD_FAILURE() << "a folder that exists was made again";
    } catch (const Exception& e) {
        EXPECT_EQ(e.message(), "重複的名稱");
    }
    EXPECT_EQ(NewFolder(dir.win(), ""), dir.win() + "新資料夾\\");
    EXPECT_EQ(NewFolder(dir.win(), ""), dir.win() + "新資料夾0\\");
    EXPECT_EQ(NewFolder(dir.win(), ""), dir.win() + "新資料夾1\\");

    // A link inside the tree is removed, never followed.
    StoreFolder outside;
    outside.writeFile("keep.txt", "keep");
    std::filesystem::create_directories(dir.path("書籤/a/b"));
    dir.writeFile("書籤/a/b/f.txt", "x");
    std::filesystem::create_directory_symlink(outside.path(), dir.path("書籤/a/link"));
    EXPECT_TRUE(DeleteFolderTree(dir.win("書籤")));
    EXPECT_FALSE(dir.exists("書籤"));
    EXPECT_TRUE(outside.exists("keep.txt"));
    EXPECT_FALSE(DeleteFolderTree(dir.win() + "missing\\"));
}

TEST(NodePaths, MakeChildDataInheritsWhereItShould)
{
    TNodeData parent;
    parent.StoreDir = "C:\\Cache\\";
    parent.Key = "Net";
    parent.NodeAttributes = Domain | Sys;
    parent.Created = 45000.5;
    parent.RootKind = NetRoot;
    parent.State = Expanded | Idle;
    parent.Caption = "網路";
    TNodeData child = MakeChildData(parent);
    EXPECT_EQ(child.StoreDir, "C:\\Cache\\Net\\");
    EXPECT_EQ(child.State, uint32_t(Idle));
    EXPECT_EQ(child.RecordOffset, -1);
    EXPECT_EQ(child.Created, 45000.5);
    EXPECT_EQ(child.RootKind, NetRoot);
    EXPECT_EQ(child.Caption, "");
    EXPECT_EQ(child.NodeAttributes, 0);
    parent.NodeAttributes = Computer;
    EXPECT_EQ(MakeChildData(parent).StoreDir, "C:\\Cache\\");
}

TEST(NodePaths, FoldedKeysOrderAsTheCaseInsensitiveCompare)
{
    // Every pair of these texts orders the same by their folded keys as by the compare:
    // ASCII, Latin-1 letters, Greek, Cyrillic (both ranges), full-width letters, CP950 text,
    // prefixes, and the characters just around the folded ranges.
    const std::vector<std::string> texts = {
        "", "a", "A", "abc", "ABCD", "Z", "_", "[", "`", "{", "\xC3\x80", "\xC3\xA0", "\xC3\x97", "\xC3\x9F",
        "ΑΒΓ", "αβγ", "Ω", "ω", "Ѐ", "ѐ", "Я", "я", "Ｆｕｌｌ", "ｆｕｌｌ", "功", "功能", "公用", "a功", "A功能"};
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (const std::string& a : texts)
        for (const std::string& b : texts)
            EXPECT_EQ(sign(FoldTextCase(a).compare(FoldTextCase(b))), sign(CompareTextNoCase(a, b))) << a << " / " << b;
    EXPECT_EQ(FoldTextCase("ÀΓЯＦx功"), "àγяｆx功");
    // Characters that never fold are copied in threes; the full-width letter (EF BC ..)
    // right after them still folds, and so does one of the last private-use range.
    EXPECT_EQ(FoldTextCase("北\xEE\x80\x80ＡΩ\xEF\xBC\xBA"), "北\xEE\x80\x80ａω\xEF\xBD\x9A");
}
