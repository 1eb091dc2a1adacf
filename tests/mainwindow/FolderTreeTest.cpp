#include <gtest/gtest.h>

#include "BrowseFixture.h"
#include "store/NodeFile.h"
#include "ui/TStatusBar.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>

namespace {

class FolderTreeTest : public BrowseFixture {};

TEST_F(FolderTreeTest, RootsAreBuiltAndTheirRecordsWritten)
{
    TMainForm& form = openForm();
    QTreeWidgetItem* top = form.topRoot();
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->text(0), QStringLiteral("檔案管理員"));
    EXPECT_EQ(captions(top), (QStringList{"書籤", "我的電腦", "網路芳鄰", "擴大網路芳鄰"}));
    const TNodeData* topData = GetNodeData(top);
    EXPECT_EQ(topData->StoreDir, SetupInfo.ExePath);
    EXPECT_EQ(topData->Key, "Cache");
    EXPECT_EQ(topData->State, Expanded | Idle);
    EXPECT_GT(topData->Created, 0.0);
    for (QTreeWidgetItem* root : {form.bookmarkRoot(), form.localRoot(), form.netRoot(), form.expandedRoot()}) {
        const TNodeData* data = GetNodeData(root);
        EXPECT_EQ(data->NodeAttributes, Sys | Domain | Container) << data->Caption;
        EXPECT_EQ(data->StoreDir, SetupInfo.CachePath) << data->Caption;
    }

    // Every root but the local one has its record in the node file of the cache folder.
    TNodeList stored;
    LoadNodeFile(SetupInfo.CachePath, stored, false);
    QStringList keys;
    for (const auto& data : stored)
        keys << QString::fromStdString(data->Key);
    EXPECT_EQ(keys, (QStringList{"Bookmark", "Net", "Expanded"}));

    // The network is not browsed yet: its root holds the provider, nothing looked up.
    ASSERT_EQ(form.netRoot()->childCount(), 1);
    EXPECT_EQ(form.netRoot()->child(0)->childCount(), 1);
    EXPECT_EQ(form.expandedRoot()->childCount(), 1);
    EXPECT_EQ(GetNodeData(form.expandedRoot()->child(0)), nullptr) << "a placeholder only";
}

TEST_F(FolderTreeTest, DrivesAndTheDesktopEntries)
{
    TMainForm& form = openForm();
    QTreeWidgetItem* d = driveD();
    ASSERT_NE(d, nullptr);
    const TNodeData* data = GetNodeData(d);
    EXPECT_EQ(data->RemoteName, "D:\\");
    EXPECT_EQ(data->NodeAttributes, Drive | Folder);
    EXPECT_EQ(data->ImageIndex, 3);
    EXPECT_TRUE(GetNodeData(form.localRoot())->State & Expanded);

    QTreeWidgetItem* desktop = child(form.bookmarkRoot(), "桌面");
    ASSERT_NE(desktop, nullptr);
    const TNodeData* desktopData = GetNodeData(desktop);
    EXPECT_EQ(desktopData->RemoteName, "D:\\home\\Desktop\\");
    EXPECT_EQ(desktopData->RootKind, LocalRoot);
    EXPECT_EQ(desktopData->NodeAttributes, Sys | Folder);
    EXPECT_EQ(desktop->childCount(), 1) << "it has a sub-folder, so it can be expanded";
    QTreeWidgetItem* documents = child(form.bookmarkRoot(), "我的文件");
    ASSERT_NE(documents, nullptr);
    EXPECT_EQ(GetNodeData(documents)->RemoteName, "D:\\home\\");
    desktop->setExpanded(true);
    EXPECT_EQ(captions(desktop), QStringList{"inside"});
}

TEST_F(FolderTreeTest, ExpandingListsSubfoldersSortedWithoutFiles)
{
    makeFolder("data/beta/deeper");
    makeFolder("data/Alpha");
    makeFolder("data/gamma");
    m_drive.writeFile("data/file.txt", "x");
    TMainForm& form = openForm();
    QTreeWidgetItem* d = driveD();
    d->setExpanded(true);
    QTreeWidgetItem* data = child(d, "data");
    ASSERT_NE(data, nullptr);
    data->setExpanded(true);
    EXPECT_EQ(captions(data), (QStringList{"Alpha", "beta", "gamma"}));
    EXPECT_EQ(child(data, "beta")->childCount(), 1);
    EXPECT_EQ(child(data, "gamma")->childCount(), 0);
    const TNodeData* beta = GetNodeData(child(data, "beta"));
    EXPECT_EQ(beta->RemoteName, "D:\\data\\beta\\");
    EXPECT_EQ(beta->Host, "beta");
    EXPECT_EQ(beta->NodeAttributes, Folder);
    EXPECT_EQ(form.NodeToPath(child(data, "beta")), "local:\\" + d->text(0).toStdString() + "\\data\\beta\\");
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(FolderTreeTest, PathsOfRootsAndTheSelectionRules)
{
    makeFolder("a/b");
    TMainForm& form = openForm();
    EXPECT_EQ(form.NodeToPath(form.localRoot()), "local:\\");
    EXPECT_EQ(form.NodeToPath(form.netRoot()), "nethood:\\");
    EXPECT_EQ(form.NodeToPath(form.expandedRoot()), "expanded:\\");
    EXPECT_EQ(form.NodeToPath(form.bookmarkRoot()), "bookmark:\\");
    EXPECT_EQ(form.NodeToPath(form.topRoot()), "檔案管理員\\");

    form.SelectPath("LOCAL:\\");
    EXPECT_EQ(form.FolderTreeView->currentItem(), form.localRoot()) << "the prefix ignores case";
    const std::string drive = driveD()->text(0).toStdString();
    form.SelectPath("local:\\" + drive + "\\");
    EXPECT_EQ(form.FolderTreeView->currentItem(), driveD());
    form.SelectPath("local:\\" + QString::fromStdString(drive).toLower().toStdString() + "\\");
    EXPECT_EQ(form.FolderTreeView->currentItem(), form.localRoot()) << "captions compare with case";

    // Under a node whose children are not loaded: they are loaded on the way, and a
    // path past what exists stops at the last node found.
    ClearNodeChildren(driveD());
    AddPlaceholderChild(driveD());
    makeFolder("a/b");
    EXPECT_TRUE(form.SelectPath("local:\\" + drive + "\\a\\b\\"));
    EXPECT_EQ(form.FolderTreeView->currentItem(), child(child(driveD(), "a"), "b"));
    EXPECT_TRUE(GetNodeData(driveD())->State & Expanded);
    EXPECT_FALSE(form.SelectPath("local:\\" + drive + "\\a\\none\\"));
    EXPECT_EQ(form.FolderTreeView->currentItem(), child(driveD(), "a"));
    form.SelectPath("local:\\" + drive + "\\");

    form.SelectPath("ftp:\\site\\");
    EXPECT_EQ(form.FolderTreeView->currentItem(), driveD()) << "the FTP prefix does nothing";
    form.SelectPath("nowhere\\");
    EXPECT_EQ(form.FolderTreeView->currentItem(), driveD());
}

TEST_F(FolderTreeTest, StartDirectoryOpensTheDeepestExistingFolder)
{
    makeFolder("one/two");
    SetupInfo.StartDirectory = "d:\\ONE\\two\\missing\\more";
    TMainForm& form = openForm();
    QTreeWidgetItem* current = form.FolderTreeView->currentItem();
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(GetNodeData(current)->RemoteName, "D:\\one\\two\\") << "drive and folder names match without case";
    EXPECT_EQ(form.shownNode(), current);

    EXPECT_FALSE(form.SelectLocalPath("Q:\\nothing"));
    EXPECT_EQ(form.FolderTreeView->currentItem(), form.localRoot());
    EXPECT_TRUE(form.SelectLocalPath("D:\\one"));
    EXPECT_EQ(GetNodeData(form.FolderTreeView->currentItem())->RemoteName, "D:\\one\\");
}

TEST_F(FolderTreeTest, RefreshKeepsWhatWasOpenAndShowsNewFolders)
{
    makeFolder("top/open/leaf");
    makeFolder("top/closed");
    TMainForm& form = openForm();
    ASSERT_TRUE(form.SelectLocalPath("D:\\top\\open\\leaf"));
    QTreeWidgetItem* top = form.FolderTreeView->currentItem()->parent()->parent();
    makeFolder("top/new");
    makeFolder("top/open/second");
    form.RefreshNode(top, true);
    EXPECT_EQ(captions(top), (QStringList{"closed", "new", "open"}));
    QTreeWidgetItem* open = child(top, "open");
    EXPECT_TRUE(open->isExpanded());
    EXPECT_EQ(captions(open), (QStringList{"leaf", "second"}));
    // The shown folder went with the old nodes; its new node is shown.
    ASSERT_NE(form.shownNode(), nullptr);
    EXPECT_EQ(GetNodeData(form.shownNode())->RemoteName, "D:\\top\\open\\leaf\\");

    // A busy node refuses the refresh.
    GetNodeData(open)->State &= ~Idle;
    form.RefreshNode(top, true);
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors.first().contains(QStringLiteral("open"))) << m_errors.first().toStdString();
    GetNodeData(open)->State |= Idle;
}

TEST_F(FolderTreeTest, NewFoldersDeepInALoadedBranchReachTheTreeByThemselves)
{
    makeFolder("watch/inner/leaf");
    TMainForm& form = openForm();
    ASSERT_TRUE(form.SelectLocalPath("D:\\watch\\inner"));
    QTreeWidgetItem* inner = form.FolderTreeView->currentItem();
    inner->setExpanded(true);
    ASSERT_EQ(captions(inner), (QStringList{"leaf"}));
    makeFolder("watch/inner/made-later");
    // The drive's branch is loaded again; what was open stays open and shows the new folder.
    EXPECT_TRUE(waitUntil([&] {
        QTreeWidgetItem* node = form.FolderTreeView->currentItem();
        return node && captions(node) == QStringList{"leaf", "made-later"};
    })) << "the drive watcher saw no change two levels below the drive root";
}

TEST_F(FolderTreeTest, RenamingAFolderInTheTree)
{
    makeFolder("ren/old/sub");
    makeFolder("ren/taken");
    TMainForm& form = openForm();
    ASSERT_TRUE(form.SelectLocalPath("D:\\ren\\old"));
    QTreeWidgetItem* node = form.FolderTreeView->currentItem();
    node->setExpanded(true);
    form.DNRenameClick();
    node->setText(0, QStringLiteral("新名"));
    EXPECT_TRUE(std::filesystem::is_directory(m_drive.path("ren/新名/sub")));
    EXPECT_EQ(GetNodeData(node)->RemoteName, "D:\\ren\\新名\\");
    EXPECT_EQ(GetNodeData(node)->Caption, "新名");
    // The loaded sub-folder is loaded again with its new path.
    ASSERT_EQ(node->childCount(), 1);
    ASSERT_NE(GetNodeData(node->child(0)), nullptr);
    EXPECT_EQ(GetNodeData(node->child(0))->RemoteName, "D:\\ren\\新名\\sub\\");
    EXPECT_FALSE(node->flags() & Qt::ItemIsEditable) << "read-only again after the edit";
    EXPECT_TRUE(form.SelectLocalPath("D:\\ren\\新名\\sub"));

    // A name that is taken fails, and the caption goes back.
    ASSERT_TRUE(form.SelectLocalPath("D:\\ren\\新名"));
    node = form.FolderTreeView->currentItem();
    form.DNRenameClick();
    node->setText(0, QStringLiteral("taken"));
    EXPECT_EQ(node->text(0), QStringLiteral("新名"));
    EXPECT_EQ(GetNodeData(node)->RemoteName, "D:\\ren\\新名\\");
    EXPECT_TRUE(std::filesystem::is_directory(m_drive.path("ren/新名")));

    // A name with a separator would move the folder: refused.
    form.DNRenameClick();
    node->setText(0, QStringLiteral("../escape"));
    EXPECT_EQ(node->text(0), QStringLiteral("新名"));
    EXPECT_FALSE(std::filesystem::exists(m_drive.path("escape")));
    EXPECT_FALSE(m_errors.isEmpty());

    // A root takes a new caption but an empty one is refused.
    m_errors.clear();
    form.FolderTreeView->setCurrentItem(form.netRoot());
    form.DNRenameClick();
    form.netRoot()->setText(0, QString());
    EXPECT_EQ(form.netRoot()->text(0), QStringLiteral("網路芳鄰"));
    EXPECT_EQ(m_errors, QStringList{QStringLiteral("不允許空白名稱")});
}

TEST_F(FolderTreeTest, TreeMenuRulesAndTheMultiLevelExpansion)
{
    makeFolder("m/x/y");
    TMainForm& form = openForm();
    auto* rename = form.findChild<QAction*>(QStringLiteral("DNRename"));
    form.FolderTreeView->setCurrentItem(form.netRoot());
    emit form.FolderTreeViewPopupMenu->aboutToShow();
    EXPECT_FALSE(rename->isEnabled());
    form.FolderTreeView->setCurrentItem(driveD());
    emit form.FolderTreeViewPopupMenu->aboutToShow();
    EXPECT_TRUE(rename->isEnabled());

    // Load m and x without leaving them open; the expansion opens only what is loaded.
    ASSERT_TRUE(form.SelectLocalPath("D:\\m\\x"));
    form.localRoot()->setExpanded(false);
    for (QTreeWidgetItem* node = form.FolderTreeView->currentItem(); node != form.localRoot(); node = node->parent())
        node->setExpanded(false);
    form.findChild<QAction*>(QStringLiteral("N63"))->trigger();
    QTreeWidgetItem* m = child(driveD(), "m");
    EXPECT_TRUE(form.localRoot()->isExpanded());
    EXPECT_TRUE(driveD()->isExpanded());
    EXPECT_TRUE(m->isExpanded());
    QTreeWidgetItem* x = child(m, "x");
    EXPECT_TRUE(x->isExpanded());
    QTreeWidgetItem* y = child(x, "y");
    ASSERT_NE(y, nullptr);
    EXPECT_FALSE(y->isExpanded()) << "y's children were never loaded";
    EXPECT_FALSE(GetNodeData(y)->State & Expanded);
}

} // namespace
