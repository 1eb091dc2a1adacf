#include <gtest/gtest.h>

#include "BrowseFixture.h"
#include "local/TImageLists.h"
#include "store/CacheListing.h"
#include "store/NodeFile.h"
#include "store/NodePaths.h"
#include "store/DialogDriver.h"
#include "store/TContentForm.h"
#include "store/TEditForm.h"
#include "ui/TListView.h"
#include "ui/TStatusBar.h"

#include <QAction>
#include <QAbstractItemView>
#include <QMouseEvent>
#include <QLabel>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>

namespace {

// A cache as the updater leaves it: the network's domain WORKGROUP with a sub-domain and
// two computers, PC1 with shares and folders in its listing; an expanded-network computer;
// a bookmark folder.
class CachedViewTest : public BrowseFixture {
protected:
    void SetUp() override
    {
        BrowseFixture::SetUp();
        m_workgroup = SetupInfo.CachePath + "Net\\WORKGROUP\\";
        record(SetupInfo.CachePath + "Net\\", "WORKGROUP", NetRoot, Domain, TImageLists::TreeDomain);
        record(m_workgroup, "ZDOM", NetRoot, Domain, TImageLists::TreeDomain);
        record(m_workgroup, "PC1", NetRoot, Computer, TImageLists::TreeComputer, "\\\\PC1", {120, 5, 3, 0});
        record(m_workgroup, "pc0", NetRoot, Computer, TImageLists::TreeComputer, "\\\\pc0", {7, 0, 0, 0});
        record(m_workgroup, "PC2", NetRoot, Computer, TImageLists::TreeComputer, "\\\\PC2", {1, 0, 0, 2});
        record(m_workgroup, "PC3", NetRoot, Computer, TImageLists::TreeComputer, "\\\\PC3", {0, 0, 0, 0});
        WriteFolderListing({folderItem("\\\\PC1\\SHARE"), folderItem("\\\\PC1\\docs"), fileItem("\\\\PC1\\top.txt", 3)},
                           m_workgroup, "PC1", true);
        WriteFolderListing({fileItem("\\\\PC1\\SHARE\\a.txt", 1536), folderItem("\\\\PC1\\SHARE\\Sub"),
                            fileItem("\\\\PC1\\SHARE\\b.zzqq", 10)},
                           m_workgroup, "PC1", false);
        // PC3's index knows another folder only; PC2 has no listing at all.
        WriteFolderListing({fileItem("\\\\PC3\\ELSE\\x.txt", 1)}, m_workgroup, "PC3", true);

        record(SetupInfo.CachePath + "Expanded\\", "HOST1", ExpandedRoot, Computer, TImageLists::TreeComputer,
               "\\\\HOST1\\", {9, 1, 0, 0});
        WriteFolderListing({folderItem("\\\\HOST1\\PUB")}, SetupInfo.CachePath + "Expanded\\", "HOST1", true);

        record(SetupInfo.CachePath + "Bookmark\\", "Work", BookmarkRoot, Domain | Bookmark, TImageLists::TreeFolder);
        record(SetupInfo.CachePath + "Bookmark\\Work\\", "Doc", BookmarkRoot, Bookmark | Folder, TImageLists::TreeFolder,
               "\\\\PC1\\SHARE\\");
        // An FTP site kept among the bookmarks, with a cached listing of its own.
        record(SetupInfo.CachePath + "Bookmark\\Work\\", "site", FtpRoot, Computer, TImageLists::TreeComputer, "/");
        WriteFolderListing({folderItem("/pub")}, SetupInfo.CachePath + "Bookmark\\Work\\", "site", true);
    }

    static void record(const std::string& storeDir, const char* caption, uint8_t rootKind, uint16_t attributes,
                       int image, const char* remoteName = "", std::array<int32_t, 4> counts = {})
    {
        std::filesystem::create_directories(NativePath(storeDir));
        TNodeData data;
        data.StoreDir = storeDir;
        data.Caption = caption;
        data.Key = SafeFileName(caption);
        data.RootKind = rootKind;
        data.NodeAttributes = attributes;
        data.ImageIndex = data.SelectedIndex = image;
        data.RemoteName = remoteName;
        data.State = Idle;
        data.FileCount = counts[0];
        data.ImageCount = counts[1];
        data.AudioCount = counts[2];
        data.VideoCount = counts[3];
        WriteNodeRecord(data);
    }

    static TItemData fileItem(const std::string& path, uint32_t size)
    {
        TItemData item;
        SetItemPath(item, path);
        item.Size = size;
        item.Attributes = 0x20;
        item.Modified = 45000;
        return item;
    }

    static TItemData folderItem(const std::string& path)
    {
        TItemData item;
        SetItemPath(item, path);
        item.Attributes = FileAttributeDirectory;
        return item;
    }

    QAction* entry(const char* name) const { return m_form->findChild<QAction*>(QString::fromLatin1(name)); }

    // Expands a node the way a click on its button does.
    static QTreeWidgetItem* expand(QTreeWidgetItem* node)
    {
        node->setExpanded(false);
        node->setExpanded(true);
        return node;
    }

    std::string m_workgroup;
};

TEST_F(CachedViewTest, SwitchingOnAndOffWithCheckMarkButtonAndHint)
{
    TMainForm& form = openForm();
    QTreeWidgetItem* net = form.netRoot();
    EXPECT_FALSE(form.CacheMode);
    EXPECT_EQ(form.CacheToolButton->toolTip(), QStringLiteral("開啟快取"));

    entry("N91")->trigger();
    EXPECT_TRUE(form.CacheMode);
    EXPECT_TRUE(entry("N91")->isChecked());
    EXPECT_TRUE(form.CacheToolButton->isChecked());
    EXPECT_EQ(form.CacheToolButton->toolTip(), QStringLiteral("關閉快取"));
    ASSERT_EQ(net->childCount(), 1);
    EXPECT_EQ(GetNodeData(net->child(0)), nullptr);
    EXPECT_EQ(GetNodeData(net)->State, Idle | FromCache);

    expand(net);
    ASSERT_EQ(captions(net), QStringList{"WORKGROUP"});
    EXPECT_TRUE(GetNodeData(net->child(0))->State & FromCache);
    // Domains first, then computers by caption without regard to case, with their counters.
    QTreeWidgetItem* workgroup = expand(net->child(0));
    EXPECT_EQ(captions(workgroup),
              (QStringList{"ZDOM", "pc0(共7)", "PC1(共120,圖5,音3)", "PC2(共1,影2)", "PC3(共0)"}));
    // The counters are shown, never stored into the node's own caption.
    EXPECT_EQ(GetNodeData(workgroup->child(2))->Caption, "PC1");

    form.CacheToolButton->click();
    EXPECT_FALSE(form.CacheMode);
    EXPECT_FALSE(entry("N91")->isChecked());
    EXPECT_FALSE(form.CacheToolButton->isChecked());
    EXPECT_EQ(form.CacheToolButton->toolTip(), QStringLiteral("開啟快取"));
    // Live again: the network root holds its provider, nothing looked up yet.
    ASSERT_EQ(net->childCount(), 1);
    EXPECT_EQ(net->child(0)->text(0), QStringLiteral("Microsoft Windows Network"));
    EXPECT_TRUE(GetNodeData(net)->State & Expanded);
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(CachedViewTest, ComputersSharesAndFoldersFromTheListing)
{
    TMainForm& form = openForm();
    form.N91Click();
    QTreeWidgetItem* pc1 = child(expand(child(expand(form.netRoot()), "WORKGROUP")), "PC1(共120,圖5,音3)");
    ASSERT_NE(pc1, nullptr);
    expand(pc1);
    // Folders only, sorted without regard to case; each one's cache is its computer's.
    ASSERT_EQ(captions(pc1), (QStringList{"docs", "SHARE"}));
    const TNodeData* share = GetNodeData(pc1->child(1));
    EXPECT_EQ(share->RemoteName, "\\\\PC1\\SHARE\\");
    EXPECT_EQ(share->Key, "PC1");
    EXPECT_EQ(share->StoreDir, m_workgroup);
    EXPECT_EQ(share->RootKind, NetRoot);
    EXPECT_EQ(share->NodeAttributes, Folder);
    EXPECT_EQ(share->State, Idle | FromCache);
    EXPECT_EQ(expand(pc1->child(1))->childCount(), 1);
    EXPECT_EQ(pc1->child(1)->child(0)->text(0), QStringLiteral("Sub"));
    // A folder the index does not hold has no children and no expand button left.
    EXPECT_EQ(expand(pc1->child(0))->childCount(), 0);
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(CachedViewTest, UnreadableListingGoesToTheStatusBarAndListsNothing)
{
    TMainForm& form = openForm();
    form.N91Click();
    QTreeWidgetItem* workgroup = child(expand(form.netRoot()), "WORKGROUP");
    expand(workgroup);
    QTreeWidgetItem* pc3 = expand(child(workgroup, "PC3(共0)"));
    EXPECT_EQ(pc3->childCount(), 0);
    EXPECT_EQ(form.statusBarPanels()->panelText(1), QStringLiteral("快取檔中沒有 \\\\PC3\\ 的資料"));
    QTreeWidgetItem* pc2 = expand(child(workgroup, "PC2(共1,影2)"));
    EXPECT_EQ(pc2->childCount(), 0);
    EXPECT_FALSE(form.statusBarPanels()->panelText(1).isEmpty());
    EXPECT_TRUE(GetNodeData(pc2)->State & Expanded);
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(CachedViewTest, ExpandedNetworkAndBookmarksByTheirRules)
{
    TMainForm& form = openForm();
    // The expanded network's container always reads its stored computers; without the
    // cached view they carry no counters and their folders come from the live network.
    QTreeWidgetItem* expanded = expand(form.expandedRoot());
    ASSERT_EQ(captions(expanded), QStringList{"HOST1"});
    QTreeWidgetItem* host = expanded->child(0);
    EXPECT_TRUE(GetNodeData(host)->State & FromCache);
    expand(host);
    // Live, it has no address to be reached at: its cached folders stand in on the node.
    // The node is idle before the expansion window starts too: wait for its answer.
    ASSERT_TRUE(waitUntil([&] {
        return (GetNodeData(host)->State & Idle) && host->text(0) == QStringLiteral("HOST1(快取)");
    }));
    EXPECT_EQ(captions(host), QStringList{"PUB"});
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();

    form.N91Click();
    expand(host);
    ASSERT_EQ(captions(host), QStringList{"PUB"});
    EXPECT_EQ(GetNodeData(host->child(0))->RemoteName, "\\\\HOST1\\PUB\\");

    // Bookmarks come from their node folders, not marked as cached; the desktop entries stay.
    QTreeWidgetItem* bookmarks = expand(form.bookmarkRoot());
    EXPECT_TRUE(captions(bookmarks).contains(QStringLiteral("桌面")));
    QTreeWidgetItem* work = child(bookmarks, "Work");
    ASSERT_NE(work, nullptr);
    EXPECT_FALSE(GetNodeData(work)->State & FromCache);
    expand(work);
    // Computers come before the other records; an FTP site is not counted by the crawl, so it
    // shows no counters.
    ASSERT_EQ(captions(work), (QStringList{"site", "Doc"}));
    EXPECT_EQ(GetNodeData(work->child(1))->StoreDir, SetupInfo.CachePath + "Bookmark\\Work\\");
    // An FTP site read from a node file carries the site's state image; not marked as cached,
    // it connects through its site window even while the cached view is on. This one has no
    // site block: the window says so, closes, and leaves the site collapsed as it was.
    QTreeWidgetItem* site = work->child(0);
    EXPECT_EQ(site->data(0, StateIndexRole).toInt(), 1);
    expand(site);
    QApplication::processEvents();
    EXPECT_FALSE(GetNodeData(site)->State & Expanded);
    EXPECT_EQ(GetNodeData(site)->SiteWindow, nullptr);
    EXPECT_EQ(site->childCount(), 1);
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors[0].startsWith(site->text(0) + QStringLiteral("\r\n"))) << m_errors[0].toStdString();
}

// The counters and "(快取)" belong to the cached view: they never reach a stored caption or a
// dialog, and they go when the view is switched off, in every branch and in the panels.
TEST_F(CachedViewTest, CountersStayOutOfCaptionsAndGoWithTheView)
{
    TMainForm& form = openForm();
    form.N91Click();
    QTreeWidgetItem* expanded = expand(form.expandedRoot());
    ASSERT_EQ(captions(expanded), QStringList{"HOST1(共9,圖1)"});
    QTreeWidgetItem* host = expanded->child(0);

    // A bookmark made of the counted computer offers its name, not the shown text.
    QString offered;
    QTimer::singleShot(0, [&] {
        if (auto* editor = qobject_cast<TEditForm*>(QApplication::activeModalWidget())) {
            offered = editor->BookmarkCaptionEdit->text();
            editor->reject();
        }
    });
    form.FolderTreeView->setCurrentItem(host);
    form.ToolButton3Click();
    EXPECT_EQ(offered, QStringLiteral("HOST1"));

    // Edit offers the name and stores it unchanged, however often it is confirmed; the tree
    // goes on showing the counters while the view is on.
    for (int round = 0; round < 2; ++round) {
        QString editedCaption;
        ModalDriver<TContentForm> content([&editedCaption](TContentForm& shown) {
            ModalDriver<TEditForm> editor([&editedCaption](TEditForm& edit) {
                editedCaption = edit.NetCaptionEdit->text();
                edit.NetOKButton->click();
            });
            shown.EditBitBtn->click();
            EXPECT_TRUE(editor.opened());
            shown.OKBitBtn->click();
        });
        form.FolderTreeView->setCurrentItem(host);
        form.findChild<QAction*>(QStringLiteral("DNContent"))->trigger();
        ASSERT_TRUE(content.opened());
        EXPECT_EQ(editedCaption, QStringLiteral("HOST1")) << round;
        TNodeList stored;
        LoadNodeFile(SetupInfo.CachePath + "Expanded\\", stored, false);
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(stored[0]->Caption, "HOST1") << round;
        EXPECT_EQ(host->text(0), QStringLiteral("HOST1(共9,圖1)")) << round;
    }

    form.FolderTreeView->setCurrentItem(expanded);
    ASSERT_TRUE(form.TreePanel->text().endsWith(QStringLiteral("(快取)")));
    form.N91Click();
    EXPECT_FALSE(form.CacheMode);
    EXPECT_EQ(host->text(0), QStringLiteral("HOST1"));
    EXPECT_EQ(GetNodeData(host)->Caption, "HOST1");
    EXPECT_FALSE(form.TreePanel->text().contains(QStringLiteral("快取"))) << form.TreePanel->text().toStdString();
    EXPECT_FALSE(form.AddressComboBox->currentText().contains(QStringLiteral("共")))
        << form.AddressComboBox->currentText().toStdString();
}

// Numbers in names count as people count in the cached tree and list too; the listing file
// keeps its own order.
TEST_F(CachedViewTest, NumbersInCachedNamesSortAsPeopleCount)
{
    WriteFolderListing({folderItem("\\\\HOST1\\第10章"), folderItem("\\\\HOST1\\第2章"),
                        fileItem("\\\\HOST1\\卷10.txt", 1), fileItem("\\\\HOST1\\卷9.txt", 1)},
                       SetupInfo.CachePath + "Expanded\\", "HOST1", true);
    TMainForm& form = openForm();
    form.N91Click();
    QTreeWidgetItem* host = expand(expand(form.expandedRoot())->child(0));
    EXPECT_EQ(captions(host), (QStringList{"第2章", "第10章"}));
    form.FolderTreeView->setCurrentItem(host);
    ASSERT_TRUE(waitUntil([&] { return form.fileListView()->model()->rowCount() == 4; }));
    QStringList listed;
    for (int row = 0; row < 4; ++row)
        listed << form.fileListView()->model()->item(row).Caption;
    EXPECT_EQ(listed, (QStringList{"第2章", "第10章", "卷9.txt", "卷10.txt"}));
}

TEST_F(CachedViewTest, ShowingACachedFolderListsItAndGivesTheImages)
{
    TMainForm& form = openForm();
    form.N91Click();
    QTreeWidgetItem* pc1 = child(expand(child(expand(form.netRoot()), "WORKGROUP")), "PC1(共120,圖5,音3)");
    QTreeWidgetItem* share = child(expand(pc1), "SHARE");
    form.FolderTreeView->setCurrentItem(share);
    TListModel* model = form.fileListView()->model();
    // The pictures of the file types come after the summary, in the lister's icon pass.
    ASSERT_TRUE(waitUntil([&] {
        return model->rowCount() == 3 && form.statusBarPanels()->panelText(1).contains("Bytes")
            && model->item(1).ImageIndex == form.IconIndexFor(QStringLiteral("a.txt"));
    }));
    EXPECT_EQ(form.ListMode, 3);
    EXPECT_EQ(model->item(0).Caption, QStringLiteral("Sub"));
    EXPECT_EQ(model->item(0).ImageIndex, TImageLists::Folder);
    EXPECT_EQ(model->item(1).Caption, QStringLiteral("a.txt"));
    EXPECT_EQ(model->item(1).ImageIndex, form.IconIndexFor(QStringLiteral("a.txt")));
    EXPECT_EQ(model->item(2).ImageIndex, TImageLists::File);
    EXPECT_EQ(form.statusBarPanels()->panelText(1), TMainForm::ListingSummary(1, 2, 1546));
    EXPECT_TRUE(form.TreePanel->text().endsWith(QStringLiteral("(快取)")));
    EXPECT_EQ(form.fileListView()->updateCount(), 0);

    // Names in the cache cannot be changed from here.
    form.fileListView()->selectionModel()->select(model->index(1, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    form.M1Click();
    model->setData(model->index(1, 0), QStringLiteral("renamed.txt"));
    EXPECT_EQ(m_informations, QList<int>{33105});
    EXPECT_EQ(model->item(1).Caption, QStringLiteral("a.txt"));
}

TEST_F(CachedViewTest, FlatListingOfACachedShareReadsTheCache)
{
    TMainForm& form = openForm();
    form.N91Click();
    QTreeWidgetItem* pc1 = child(expand(child(expand(form.netRoot()), "WORKGROUP")), "PC1(共120,圖5,音3)");
    form.FolderTreeView->setCurrentItem(child(expand(pc1), "SHARE"));
    ASSERT_TRUE(waitUntil([&] { return form.statusBarPanels()->panelText(1).contains("Bytes"); }));

    form.ExpandToolButton->click();
    ASSERT_TRUE(waitUntil([&] { return !form.statusBarPanels()->isBusy(); }));
    QStringList rows;
    for (const TListItem& item : form.fileListView()->model()->items())
        rows << item.Caption;
    // Sub is a folder of the share that the index does not hold: its row comes, nothing under it.
    EXPECT_EQ(rows, (QStringList{"<SHARE>", "Sub", "a.txt", "b.zzqq", "<Sub>"}));
    EXPECT_EQ(form.fileListView()->model()->item(4).SubItems.value(1), QStringLiteral("\\\\PC1\\SHARE\\Sub\\"));
    EXPECT_EQ(form.statusBarPanels()->panelText(1), TMainForm::ListingSummary(1, 2, 1546));
    EXPECT_EQ(form.fileListView()->model()->item(2).ImageIndex, form.IconIndexFor(QStringLiteral("a.txt")));
    EXPECT_EQ(form.ListMode, 3);
}

TEST_F(CachedViewTest, OpeningAFileOfAnUnreachableComputerSaysSoAtOnce)
{
    TMainForm& form = openForm();
    form.N91Click();
    QTreeWidgetItem* pc1 = child(expand(child(expand(form.netRoot()), "WORKGROUP")), "PC1(共120,圖5,音3)");
    form.FolderTreeView->setCurrentItem(child(expand(pc1), "SHARE"));
    TListModel* model = form.fileListView()->model();
    ASSERT_TRUE(waitUntil([&] { return model->rowCount() == 3 && !form.fileListView()->updateCount(); }));
    // The file is chosen by a click in the list style, which shows the model's first column only.
    ASSERT_EQ(form.fileListView()->viewStyle(), TListView::List);
    QAbstractItemView* view = form.fileListView()->currentView();
    ASSERT_TRUE(view->visualRect(model->index(1, 0)).isValid());
    const QPoint at = view->visualRect(model->index(1, 0)).center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent click(type, at, view->viewport()->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &click);
    }
    ASSERT_EQ(form.fileListView()->selectionModel()->selectedRows().size(), 1);
    // At once: the error is there when the command returns, no event having run, and no
    // job was started to wait on the network.
    entry("NetOpen")->trigger();
    EXPECT_EQ(form.shell()->JobCount, 0);
    EXPECT_EQ(m_errors, QStringList{QStringLiteral("找不到網路路徑。\r\n")});
    EXPECT_TRUE(m_questions.isEmpty());
}

TEST_F(CachedViewTest, SwitchRefusedWhileANodeIsBusy)
{
    TMainForm& form = openForm();
    QStringList informations;
    form.ShowInformationText = [&](const QString& text) { informations << text; };
    QTreeWidgetItem* drive = driveD();
    GetNodeData(drive)->State &= ~uint32_t(Idle);
    entry("N91")->trigger();
    EXPECT_FALSE(form.CacheMode);
    EXPECT_FALSE(entry("N91")->isChecked());
    EXPECT_FALSE(form.CacheToolButton->isChecked());
    ASSERT_EQ(informations.size(), 1);
    EXPECT_EQ(informations[0], QStringLiteral("節點 %1 正被其它行程使用中\r\n請先等待此行程結束").arg(drive->text(0)));
    GetNodeData(drive)->State |= Idle;
    entry("N91")->trigger();
    EXPECT_TRUE(form.CacheMode);
}

TEST_F(CachedViewTest, IconIndexByExtensionOrOwnName)
{
    TMainForm& form = openForm();
    form.images()->IconKeys = {".TXT", "prog.exe", "link.lnk", ".DOC"};
    EXPECT_EQ(form.IconIndexFor("a.txt"), 6);
    EXPECT_EQ(form.IconIndexFor("b.doc"), 9);
    EXPECT_EQ(form.IconIndexFor("noext"), 1);
    EXPECT_EQ(form.IconIndexFor("c.pdf"), 1);
    EXPECT_EQ(form.IconIndexFor("PROG.EXE"), 7);
    EXPECT_EQ(form.IconIndexFor("other.exe"), 2);
    EXPECT_EQ(form.IconIndexFor("link.lnk"), 8);
    EXPECT_EQ(form.IconIndexFor("x.lnk"), 1);
    EXPECT_EQ(form.IconIndexFor("pic.ico"), 1);
}

// The place another program asks for on the command line: a cached folder in the cached
// view, found by its path in whichever branch holds its computer; a live folder directly.
TEST_F(CachedViewTest, StartSelectionOpensCachedFoldersOfEitherBranchAndLiveFolders)
{
    makeFolder("start/here");
    TMainForm& form = openForm();
    // Case differs from the listing's: paths of a computer compare without regard to case.
    form.SelectOnStart("\\\\pc1\\share\\SUB", true, "");
    EXPECT_TRUE(form.CacheMode);
    EXPECT_EQ(shownFolder(), "\\\\PC1\\SHARE\\Sub\\");
    EXPECT_TRUE(GetNodeData(form.FolderTreeView->currentItem())->State & FromCache);
    EXPECT_EQ(form.FolderTreeView->currentItem()->parent()->text(0), QStringLiteral("SHARE"));

    form.SelectOnStart("\\\\HOST1\\PUB\\", true, "");
    EXPECT_EQ(shownFolder(), "\\\\HOST1\\PUB\\");
    EXPECT_EQ(form.FolderTreeView->currentItem()->parent()->parent(), form.expandedRoot());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();

    // The computer named must be the one that holds it; a folder no index knows stops at
    // the nearest folder and says so.
    EXPECT_FALSE(form.SelectCachedPath("\\\\PC1\\SHARE\\", "PC3"));
    form.SelectOnStart("\\\\PC1\\SHARE\\Sub\\Deeper\\", true, "PC1");
    EXPECT_EQ(shownFolder(), "\\\\PC1\\SHARE\\Sub\\");
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors[0].contains(QStringLiteral("Deeper"))) << m_errors[0].toStdString();

    form.SelectOnStart("D:\\start\\here", false, "");
    EXPECT_EQ(shownFolder(), "D:\\start\\here\\");
}

} // namespace

namespace {

class EmptyCacheTest : public BrowseFixture {};

TEST_F(EmptyCacheTest, TheCachedViewWithNoCacheSaysHowToMakeOne)
{
    openForm();
    m_form->findChild<QAction*>(QStringLiteral("N91"))->trigger();
    ASSERT_TRUE(m_form->CacheMode);
    QTreeWidgetItem* net = m_form->netRoot();
    m_form->FolderTreeView->setCurrentItem(net);
    net->setExpanded(false);
    net->setExpanded(true);
    QApplication::processEvents();
    TStatusBar* bar = m_form->statusBarPanels();
    EXPECT_EQ(bar->panelText(0), QStringLiteral("還沒有快取"));
    EXPECT_TRUE(bar->panelText(1).contains(QStringLiteral("更新快取"))) << bar->panelText(1).toStdString();
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

}  // namespace
