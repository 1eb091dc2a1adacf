// What drags from the list and the tree carry for each branch of the tree.
#include <gtest/gtest.h>

#include "mainwindow/DragEntries.h"
#include "store/NodeTree.h"
#include "store/TNodeData.h"

#include <QTreeWidget>

#include <string>
#include <vector>

namespace {

using Entries = std::vector<std::string>;

class DragEntriesTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (int i = 0; i < m_view.topLevelItemCount(); ++i)
            FreeNodeTree(m_view.topLevelItem(i));
    }

    QTreeWidgetItem* node(QTreeWidgetItem* parent, const char* caption, uint8_t rootKind, uint16_t attributes,
                          const std::string& remoteName = {}, const std::string& storeDir = "D:\\Cache\\")
    {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(&m_view);
        auto* data = new TNodeData;
        data->Caption = caption;
        data->Key = std::string(caption) + "Key";
        data->RootKind = rootKind;
        data->NodeAttributes = attributes;
        data->RemoteName = remoteName;
        data->StoreDir = storeDir;
        data->State = Idle;
        ShowNodeData(data, item);
        return item;
    }
    static std::vector<ListPick> picks(std::initializer_list<const char*> captions, bool folders = false)
    {
        std::vector<ListPick> list;
        for (const char* caption : captions)
            list.push_back({QString::fromUtf8(caption), {}, folders});
        return list;
    }

    QTreeWidget m_view;
};

TEST_F(DragEntriesTest, ListItemsOfRealFoldersTravelAsTheirPaths)
{
    QTreeWidgetItem* local = node(nullptr, "work", LocalRoot, Folder, "D:\\work\\");
    DragSelection drag = ListDragEntries(local, picks({"a.txt", "文件"}));
    EXPECT_EQ(drag.entries, (Entries{"D:\\work\\a.txt", "D:\\work\\文件"}));
    EXPECT_TRUE(drag.nodes.empty());
    EXPECT_FALSE(drag.fromFtp);

    // The flat listing's items name their own folders.
    drag = ListDragEntries(local, {{QStringLiteral("deep.txt"), "D:\\work\\sub\\", false}});
    EXPECT_EQ(drag.entries, (Entries{"D:\\work\\sub\\deep.txt"}));

    QTreeWidgetItem* share = node(nullptr, "SHARE", NetRoot, Share | Folder, "\\\\PC\\SHARE\\");
    EXPECT_EQ(ListDragEntries(share, picks({"x.doc"})).entries, (Entries{"\\\\PC\\SHARE\\x.doc"}));
    // A network computer lists its shares: nothing to carry.
    QTreeWidgetItem* computer = node(nullptr, "PC", NetRoot, Computer, "\\\\PC");
    EXPECT_TRUE(ListDragEntries(computer, picks({"SHARE"})).entries.empty());

    QTreeWidgetItem* expandedShare = node(nullptr, "DATA", ExpandedRoot, Share | Folder, "\\\\HOST\\DATA\\");
    EXPECT_EQ(ListDragEntries(expandedShare, picks({"y.txt"})).entries, (Entries{"\\\\HOST\\DATA\\y.txt"}));
}

TEST_F(DragEntriesTest, ListItemsOfStoredFoldersTravelAsRecordsWithTheirNodes)
{
    QTreeWidgetItem* bookmarks = node(nullptr, "Bookmarks", BookmarkRoot, Domain, {}, "D:\\Cache\\");
    QTreeWidgetItem* mark = node(bookmarks, "mark", BookmarkRoot, Bookmark | Folder, "D:\\x\\", "D:\\Cache\\BookmarksKey\\");
    node(bookmarks, "桌面", LocalRoot, Sys | Folder, "D:\\home\\Desktop\\");
    DragSelection drag = ListDragEntries(bookmarks, picks({"mark", "桌面", "not loaded"}));
    // The desktop entry is the program's own, not a stored record; an item the tree does not
    // hold as a node has no record either.
    EXPECT_EQ(drag.entries, (Entries{"5D:\\Cache\\BookmarksKey\\markKey"}));
    ASSERT_EQ(drag.nodes.size(), 1u);
    EXPECT_EQ(drag.nodes[0], mark);

    QTreeWidgetItem* expanded = node(nullptr, "Expanded", ExpandedRoot, Sys | Domain | Container);
    QTreeWidgetItem* host = node(expanded, "HOST", ExpandedRoot, Computer | Container, "\\\\HOST", "D:\\Cache\\ExpandedKey\\");
    drag = ListDragEntries(expanded, picks({"HOST"}));
    EXPECT_EQ(drag.entries, (Entries{"4D:\\Cache\\ExpandedKey\\HOSTKey"}));
    EXPECT_EQ(drag.nodes, std::vector<QTreeWidgetItem*>{host});
}

TEST_F(DragEntriesTest, ListItemsOfFtpTravelAsFilesFoldersOrSiteRecords)
{
    QTreeWidgetItem* site = node(nullptr, "site", FtpRoot, Computer | Folder, "\\pub\\");
    std::vector<ListPick> chosen = picks({"a.txt"});
    chosen.push_back({QStringLiteral("docs"), {}, true});
    const DragSelection drag = ListDragEntries(site, chosen);
    EXPECT_EQ(drag.entries, (Entries{"1\\pub\\a.txt", "2\\pub\\docs"}));
    EXPECT_TRUE(drag.fromFtp);
    EXPECT_TRUE(drag.nodes.empty());

    QTreeWidgetItem* sites = node(nullptr, "sites", FtpRoot, Domain, {}, "D:\\Cache\\");
    QTreeWidgetItem* child = node(sites, "one", FtpRoot, Computer | Folder, "\\", "D:\\Cache\\sitesKey\\");
    const DragSelection records = ListDragEntries(sites, picks({"one"}));
    EXPECT_EQ(records.entries, (Entries{"3D:\\Cache\\sitesKey\\oneKey"}));
    EXPECT_EQ(records.nodes, std::vector<QTreeWidgetItem*>{child});
    EXPECT_TRUE(records.fromFtp);
}

TEST_F(DragEntriesTest, TreeNodesTravelAsTheirFolderOrTheirRecord)
{
    QTreeWidgetItem* drive = node(nullptr, "D", LocalRoot, Drive | Folder, "D:\\");
    QTreeWidgetItem* folder = node(drive, "work", LocalRoot, Folder, "D:\\work\\");
    EXPECT_EQ(TreeDragEntries(folder).entries, (Entries{"D:\\work"}));
    // Whole volumes, shares and the desktop's own folders stay put.
    EXPECT_TRUE(TreeDragEntries(drive).entries.empty());
    EXPECT_TRUE(TreeDragEntries(node(nullptr, "SHARE", NetRoot, Share | Folder, "\\\\PC\\SHARE\\")).entries.empty());
    EXPECT_TRUE(TreeDragEntries(node(nullptr, "桌面", LocalRoot, Sys | Folder, "D:\\home\\Desktop\\")).entries.empty());
    EXPECT_EQ(TreeDragEntries(node(nullptr, "dir", NetRoot, Folder, "\\\\PC\\SHARE\\dir\\")).entries,
              (Entries{"\\\\PC\\SHARE\\dir"}));

    QTreeWidgetItem* bookmarkFolder = node(nullptr, "folder", BookmarkRoot, Domain, {}, "D:\\Cache\\Bookmark\\");
    DragSelection drag = TreeDragEntries(bookmarkFolder);
    EXPECT_EQ(drag.entries, (Entries{"5D:\\Cache\\Bookmark\\folderKey"}));
    EXPECT_EQ(drag.nodes, std::vector<QTreeWidgetItem*>{bookmarkFolder});
    // The roots are not records to move.
    EXPECT_TRUE(TreeDragEntries(node(nullptr, "Bookmarks", BookmarkRoot, Sys | Domain | Container)).entries.empty());
    EXPECT_TRUE(TreeDragEntries(node(nullptr, "Expanded", ExpandedRoot, Sys | Domain | Container)).entries.empty());

    QTreeWidgetItem* expandedFolder = node(nullptr, "group", ExpandedRoot, Domain | Container, {}, "D:\\Cache\\Expanded\\");
    EXPECT_EQ(TreeDragEntries(expandedFolder).entries, (Entries{"4D:\\Cache\\Expanded\\groupKey"}));
    EXPECT_EQ(TreeDragEntries(node(nullptr, "d", ExpandedRoot, Folder, "\\\\HOST\\DATA\\d\\")).entries,
              (Entries{"\\\\HOST\\DATA\\d"}));

    QTreeWidgetItem* ftpFolder = node(nullptr, "docs", FtpRoot, Folder, "\\pub\\docs\\");
    drag = TreeDragEntries(ftpFolder);
    EXPECT_EQ(drag.entries, (Entries{"2\\pub\\docs"}));
    EXPECT_TRUE(drag.fromFtp);
    EXPECT_TRUE(drag.nodes.empty());
    // A site's root is the whole site: no folder entry for it.
    EXPECT_TRUE(TreeDragEntries(node(nullptr, "site", FtpRoot, Computer | Folder, "\\")).entries.empty());
    QTreeWidgetItem* ftpDomain = node(nullptr, "sites", FtpRoot, Domain, {}, "D:\\Cache\\Bookmark\\");
    EXPECT_EQ(TreeDragEntries(ftpDomain).entries, (Entries{"3D:\\Cache\\Bookmark\\sitesKey"}));
}

} // namespace
