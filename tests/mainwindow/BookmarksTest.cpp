#include <gtest/gtest.h>

#include "FormFixture.h"
#include "app/SetupInfo.h"
#include "local/TImageLists.h"
#include "mainwindow/TMainForm.h"
#include "store/DialogDriver.h"
#include "platform/DriveMap.h"
#include "store/ImportedComputers.h"
#include "store/NameTable.h"
#include "store/NodeFile.h"
#include "store/NodePaths.h"
#include "store/NodeTree.h"
#include "store/StoredNodes.h"
#include "store/TEditForm.h"
#include "ui/TIPEdit.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

class BookmarksTest : public FormFixture {
protected:
    std::string bookmarkFolder() const { return SetupInfo.CachePath + "Bookmark\\"; }

    // Bookmarks the selected node through the bookmark dialog under `caption`.
    void addBookmark(const QString& caption)
    {
        ModalDriver<TEditForm> driver([&caption](TEditForm& edit) {
            edit.BookmarkCaptionEdit->setText(caption);
            edit.BookmarkOKButton->click();
        });
        form->findChild<QAction*>(QStringLiteral("N99"))->trigger();
        EXPECT_TRUE(driver.opened());
    }

    // A record written straight into the bookmark folder, as an earlier session left it.
    void storeBookmark(const char* caption, int image, uint16_t attributes, const std::string& folder = {})
    {
        TNodeData data;
        data.Caption = data.Key = caption;
        data.ImageIndex = data.SelectedIndex = image;
        data.NodeAttributes = attributes;
        data.RootKind = BookmarkRoot;
        data.StoreDir = folder.empty() ? bookmarkFolder() : folder;
        data.State = Idle;
        WriteNodeRecord(data);
    }

    QStringList storedEntries() const
    {
        QStringList captions;
        const QList<QAction*> entries = form->BookmarkPopupMenu->actions();
        for (qsizetype i = 4; i < entries.size(); ++i)
            captions << entries[i]->text();
        return captions;
    }

    QStringList bookmarkChildren() const
    {
        QStringList captions;
        for (int i = 0; i < form->bookmarkRoot()->childCount(); ++i)
            if (const TNodeData* data = GetNodeData(form->bookmarkRoot()->child(i)); data && !data->has(Sys))
                captions << form->bookmarkRoot()->child(i)->text(0);
        return captions;
    }

};

} // namespace

TEST_F(BookmarksTest, ABookmarkIsStoredAsACopyOfTheNodeAndComesBackOnReload)
{
    QTreeWidgetItem* drive = form->localRoot()->child(0);
    ASSERT_NE(drive, nullptr);
    const TNodeData original = *GetNodeData(drive);
    form->FolderTreeView->setCurrentItem(drive);
    addBookmark(QStringLiteral("系統 碟"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();

    TNodeList stored;
    LoadNodeFile(bookmarkFolder(), stored, false);
    ASSERT_EQ(stored.size(), 1u);
    const TNodeData& record = *stored[0];
    EXPECT_EQ(record.Caption, "系統 碟");
    EXPECT_EQ(record.Key, SafeFileName("系統 碟"));
    EXPECT_EQ(record.RemoteName, original.RemoteName);
    EXPECT_EQ(record.RootKind, original.RootKind);
    EXPECT_EQ(record.NodeAttributes, original.NodeAttributes | Bookmark);
    EXPECT_EQ(record.ImageIndex, original.ImageIndex);
    // The new node is in the tree at once; the drop-down waits for the reload.
    EXPECT_EQ(bookmarkChildren(), QStringList{QStringLiteral("系統 碟")});
    EXPECT_TRUE(storedEntries().isEmpty());

    // The same caption again would overwrite the first record: it is refused.
    addBookmark(QStringLiteral("系統 碟"));
    EXPECT_EQ(errors.size(), 1);
    stored.clear();
    LoadNodeFile(bookmarkFolder(), stored, false);
    EXPECT_EQ(stored.size(), 1u);
    addBookmark(QStringLiteral("  "));
    EXPECT_EQ(errors.size(), 2) << errors.join(QLatin1Char('\n')).toStdString();

    form->findChild<QAction*>(QStringLiteral("R2"))->trigger();
    form->findChild<QAction*>(QStringLiteral("R2"))->trigger();
    EXPECT_EQ(storedEntries(), QStringList{QStringLiteral("系統 碟")});
    EXPECT_EQ(form->BookmarkPopupMenu->actions().first()->objectName(), QStringLiteral("N99"));
    ASSERT_EQ(bookmarkChildren().size(), 1);

    // The entry selects its node, which expands like the drive itself.
    form->BookmarkPopupMenu->actions().at(4)->trigger();
    QTreeWidgetItem* current = form->FolderTreeView->currentItem();
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(current->parent(), form->bookmarkRoot());
    EXPECT_EQ(GetNodeData(current)->RemoteName, original.RemoteName);
    EXPECT_TRUE(errors.size() == 2) << errors.join(QLatin1Char('\n')).toStdString();
}

TEST_F(BookmarksTest, ReloadSortsTheBranchAndBuildsSubmenusForBookmarkFolders)
{
    storeBookmark("file", TImageLists::TreeFixed, Bookmark | Folder);
    storeBookmark("pc", TImageLists::TreeComputer, Bookmark | Computer);
    storeBookmark("folder", TImageLists::TreeDomain, Domain | Container);
    storeBookmark("inner", TImageLists::TreeFolder, Bookmark | Folder, bookmarkFolder() + "folder\\");
    form->ReloadBookmarks();
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();

    EXPECT_EQ(bookmarkChildren(), (QStringList{"folder", "pc", "file"}));
    const QList<QAction*> entries = form->BookmarkPopupMenu->actions();
    ASSERT_EQ(entries.size(), 7);
    QMenu* submenu = nullptr;
    for (QAction* entry : entries)
        if (entry->text() == QLatin1String("folder"))
            submenu = entry->menu();
    ASSERT_NE(submenu, nullptr);
    ASSERT_EQ(submenu->actions().size(), 1);
    EXPECT_EQ(submenu->actions().first()->text(), QStringLiteral("inner"));

    // The entry of a node deleted since the reload says so and selects nothing.
    QAction* inner = submenu->actions().first();
    QTreeWidgetItem* folder = nullptr;
    for (int i = 0; i < form->bookmarkRoot()->childCount(); ++i)
        if (form->bookmarkRoot()->child(i)->text(0) == QLatin1String("folder"))
            folder = form->bookmarkRoot()->child(i);
    ASSERT_NE(folder, nullptr);
    ASSERT_EQ(folder->childCount(), 1);
    QTreeWidgetItem* gone = folder->child(0);
    FreeNodeTree(gone);
    delete gone;
    inner->trigger();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.first().startsWith(QStringLiteral("讀取書籤資訊時發生錯誤")));
}

TEST_F(BookmarksTest, NewComputerOfTheExpandedNetworkIsStoredWithNameAndAddress)
{
    form->FolderTreeView->setCurrentItem(form->expandedRoot());
    ModalDriver<TEditForm> driver([](TEditForm& edit) {
        typeInto(edit.NetNameEdit, QStringLiteral("FILESRV"));
        edit.NetIPEdit->setValue(TextToIp("10.1.2.3"));
        edit.NetOKButton->click();
    });
    form->findChild<QAction*>(QStringLiteral("DNNewComputer"))->trigger();
    ASSERT_TRUE(driver.opened());
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(form->UpdateRunning);

    TNodeList stored;
    LoadNodeFile(SetupInfo.CachePath + "Expanded\\", stored, false);
    ASSERT_EQ(stored.size(), 1u);
    const TNodeData& record = *stored[0];
    EXPECT_EQ(record.Caption, "FILESRV");
    EXPECT_EQ(record.RemoteName, "\\\\FILESRV\\");
    EXPECT_EQ(record.Host, "10.1.2.3");
    EXPECT_EQ(record.RootKind, ExpandedRoot);
    EXPECT_TRUE(record.has(Computer));
    EXPECT_EQ(record.ResourceType, 1);
    EXPECT_EQ(record.DisplayType, 2);
    EXPECT_EQ(record.Scope, 2);
    EXPECT_EQ(record.Usage, 2);

    bool inTree = false;
    for (int i = 0; i < form->expandedRoot()->childCount(); ++i)
        inTree = inTree || form->expandedRoot()->child(i)->text(0) == QLatin1String("FILESRV");
    EXPECT_TRUE(inTree);

    // A second computer under the same caption would share the first one's cache.
    ModalDriver<TEditForm> again([](TEditForm& edit) {
        typeInto(edit.NetNameEdit, QStringLiteral("FILESRV"));
        edit.NetOKButton->click();
    });
    form->FolderTreeView->setCurrentItem(form->expandedRoot());
    form->findChild<QAction*>(QStringLiteral("DNNewComputer"))->trigger();
    ASSERT_TRUE(again.opened());
    EXPECT_EQ(errors.size(), 1);
    stored.clear();
    LoadNodeFile(SetupInfo.CachePath + "Expanded\\", stored, false);
    EXPECT_EQ(stored.size(), 1u);
    EXPECT_FALSE(form->UpdateRunning);

    // Not a folder of the expanded network: nothing to add a computer to.
    form->FolderTreeView->setCurrentItem(form->localRoot());
    ModalDriver<TEditForm> none([](TEditForm& edit) { edit.NetCancelButton->click(); });
    form->findChild<QAction*>(QStringLiteral("DNNewComputer"))->trigger();
    EXPECT_FALSE(none.opened());
}

TEST_F(BookmarksTest, RebuildingTheNameTableAsksForARepeatedNameAndSaysWhenDone)
{
    const std::string expanded = SetupInfo.CachePath + "Expanded\\";
    std::vector<TNodeData> computers{ExpandedComputerRecord(expanded, "SRV", "SRV", "10.0.0.1", 6),
                                     ExpandedComputerRecord(expanded, "Lab", "LAB", "10.0.0.4", 6)};
    AddStoredNodes(computers);
    // The same computer bookmarked under another address.
    TNodeData bookmark = ExpandedComputerRecord(bookmarkFolder(), "srv", "SRV", "10.0.0.2", 6);
    bookmark.NodeAttributes |= Bookmark;
    std::vector<TNodeData> bookmarks{bookmark};
    AddStoredNodes(bookmarks);

    QStringList questions;
    form->AskQuestionText = [&questions](const QString& text) {
        questions << text;
        return false;
    };
    QStringList information;
    form->ShowInformationText = [&information](const QString& text) { information << text; };
    form->findChild<QAction*>(QStringLiteral("N89"))->trigger();

    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(questions.size(), 1);
    EXPECT_EQ(questions[0], QStringLiteral("10.0.0.2     srv與原來的電腦名稱(10.0.0.1     SRV)相同,\n您要取代原來的電腦嗎?\n"
                                           "取代後10.0.0.1     SRV的電腦將無法連接."));
    ASSERT_EQ(information.size(), 1);
    EXPECT_TRUE(information[0].startsWith(QStringLiteral("完成"))) << information[0].toStdString();
    // The table lies in the program folder.
    EXPECT_EQ(NameTablePath(SetupInfo.ExePath), SetupInfo.ExePath + "lmhosts");
    std::ifstream in(config.home() + "/lmhosts");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "10.0.0.1     SRV\n10.0.0.4     Lab\n");
}

TEST_F(BookmarksTest, RebuildingAsksBeforeItTrustsTheAddressesOfAnImportedArchive)
{
    const std::string expanded = SetupInfo.CachePath + "Expanded\\";
    std::vector<TNodeData> computers{ExpandedComputerRecord(expanded, "Mine", "MINE", "10.0.0.1", 6),
                                     ExpandedComputerRecord(expanded, "FILESRV", "FILESRV", "10.6.6.6", 6)};
    AddStoredNodes(computers);
    // What an import of someone else's archive noted.
    {
        std::ofstream list(NativePath(ImportedComputersPath(SetupInfo.CachePath)));
        list << "10.6.6.6     FILESRV\n";
    }
    const auto read = [this](const char* name) {
        std::ifstream in(config.home() + "/" + name);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    QStringList questions;
    bool answer = false;
    form->AskQuestionText = [&](const QString& text) {
        questions << text;
        return answer;
    };
    form->ShowInformationText = [](const QString&) {};
    form->findChild<QAction*>(QStringLiteral("N89"))->trigger();
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].contains(QStringLiteral("FILESRV    10.6.6.6"))) << questions[0].toStdString();
    EXPECT_FALSE(questions[0].contains(QStringLiteral("MINE"))) << "the user's own computer is not in question";
    EXPECT_EQ(read("lmhosts"), "10.0.0.1     Mine\n");
    EXPECT_EQ(read("lmhosts.unverified"), "10.6.6.6     FILESRV\n") << "still reachable, but not trusted";

    // Vouched for: into the table, and never asked about again.
    answer = true;
    form->findChild<QAction*>(QStringLiteral("N89"))->trigger();
    EXPECT_EQ(read("lmhosts"), "10.0.0.1     Mine\n10.6.6.6     FILESRV\n");
    EXPECT_EQ(read("lmhosts.unverified"), "");
    form->findChild<QAction*>(QStringLiteral("N89"))->trigger();
    EXPECT_EQ(questions.size(), 2);
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
}

TEST_F(BookmarksTest, NewFolderOfAStoredBranchIsAStoredFolderWithItsRecord)
{
    for (QTreeWidgetItem* branch : {form->bookmarkRoot(), form->expandedRoot()}) {
        form->FolderTreeView->setCurrentItem(branch);
        form->findChild<QAction*>(QStringLiteral("DNNewDir"))->trigger();
        form->findChild<QAction*>(QStringLiteral("DNNewDir"))->trigger();
    }
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(form->UpdateRunning);
    EXPECT_TRUE(form->UpdateAllowed);
    for (const char* branch : {"Bookmark", "Expanded"}) {
        TNodeList stored;
        LoadNodeFile(SetupInfo.CachePath + branch + "\\", stored, false);
        ASSERT_EQ(stored.size(), 2u) << branch;
        EXPECT_NE(stored[0]->Key, stored[1]->Key);
        for (const auto& record : stored) {
            EXPECT_TRUE(record->has(Domain) && record->has(Container)) << branch;
            EXPECT_EQ(record->Caption, record->Key);
            EXPECT_TRUE(std::filesystem::is_directory(config.home() + "/Cache/" + branch + "/" + record->Key))
                << record->Key;
        }
    }
    EXPECT_EQ(bookmarkChildren().size(), 2);
}

TEST_F(BookmarksTest, RenamingAStoredFolderMovesTheRecordsLoadedBelowIt)
{
    storeBookmark("甲", TImageLists::TreeDomain, Domain | Container);
    storeBookmark("乙", TImageLists::TreeDomain, Domain | Container, bookmarkFolder() + "甲\\");
    storeBookmark("丙", TImageLists::TreeFolder, Bookmark | Folder, bookmarkFolder() + "甲\\乙\\");
    form->ReloadBookmarks();
    QTreeWidgetItem* outer = nullptr;
    for (int i = 0; i < form->bookmarkRoot()->childCount(); ++i)
        if (form->bookmarkRoot()->child(i)->text(0) == QStringLiteral("甲"))
            outer = form->bookmarkRoot()->child(i);
    ASSERT_NE(outer, nullptr);
    outer->setExpanded(true);
    ASSERT_EQ(outer->childCount(), 1);
    QTreeWidgetItem* inner = outer->child(0);
    inner->setExpanded(true);
    ASSERT_EQ(inner->childCount(), 1);

    form->FolderTreeView->setCurrentItem(outer);
    form->DNRenameClick();
    outer->setText(0, QStringLiteral("丁"));
    ASSERT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(GetNodeData(inner)->StoreDir, bookmarkFolder() + "丁\\");
    EXPECT_EQ(GetNodeData(inner->child(0))->StoreDir, bookmarkFolder() + "丁\\乙\\");

    // The loaded records are written where they now lie: renaming the inner folder works,
    // and its bookmark goes with it.
    form->FolderTreeView->setCurrentItem(inner);
    form->DNRenameClick();
    inner->setText(0, QStringLiteral("戊"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(inner->text(0), QStringLiteral("戊"));
    TNodeList stored;
    LoadNodeFile(bookmarkFolder() + "丁\\", stored, false);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0]->Caption, "戊");
    stored.clear();
    LoadNodeFile(bookmarkFolder() + "丁\\戊\\", stored, false);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0]->Caption, "丙");
    EXPECT_EQ(GetNodeData(inner->child(0))->StoreDir, bookmarkFolder() + "丁\\戊\\");
    EXPECT_FALSE(std::filesystem::exists(config.home() + "/Cache/Bookmark/甲"));
    stored.clear();
    LoadNodeFile(bookmarkFolder(), stored, false);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0]->Caption, "丁");
}

TEST_F(BookmarksTest, ANewFtpSiteFromEachMenuAppearsAtOnceInTheTreeAndTheDropDown)
{
    storeBookmark("sites", TImageLists::TreeDomain, Domain | Container);
    form->ReloadBookmarks();
    auto addSite = [this](const char* entryName, const QString& caption) {
        ModalDriver<TEditForm> driver([&caption](TEditForm& edit) {
            edit.FTPCaptionEdit->setText(caption);
            edit.FTPHostEdit->setText(QStringLiteral("ftp.example.lan"));
            edit.FTPUserNameEdit->setText(QStringLiteral("anonymous"));
            edit.FTPOKButton->click();
        });
        QAction* entry = form->findChild<QAction*>(QString::fromLatin1(entryName));
        EXPECT_NE(entry, nullptr) << entryName;
        if (!entry)
            return;
        EXPECT_TRUE(entry->isEnabled()) << entryName;
        entry->trigger();
        EXPECT_TRUE(driver.opened()) << entryName;
    };

    // The File menu's entry, with the bookmark root selected.
    form->FolderTreeView->setCurrentItem(form->bookmarkRoot());
    addSite("NewFtpSite", QStringLiteral("公司FTP"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(bookmarkChildren().contains(QStringLiteral("公司FTP")));
    EXPECT_TRUE(storedEntries().contains(QStringLiteral("公司FTP"))) << storedEntries().join(',').toStdString();
    QTreeWidgetItem* site = form->FolderTreeView->currentItem();
    ASSERT_NE(site, nullptr);
    EXPECT_EQ(site->text(0), QStringLiteral("公司FTP"));
    EXPECT_EQ(GetNodeData(site)->RootKind, FtpRoot);
    EXPECT_EQ(site->childCount(), 1) << "expandable, to connect";
    // Its own image, not a computer's.
    EXPECT_EQ(site->icon(0).pixmap(16).toImage(), TImageLists::ftpSiteIcon().pixmap(16).toImage());
    EXPECT_NE(site->icon(0).pixmap(16).toImage(), TImageLists::treeIcon(TImageLists::TreeComputer).pixmap(16).toImage());

    // The bookmark drop-down's entry, into the selected bookmark folder.
    QTreeWidgetItem* sites = nullptr;
    for (int i = 0; i < form->bookmarkRoot()->childCount(); ++i)
        if (form->bookmarkRoot()->child(i)->text(0) == QStringLiteral("sites"))
            sites = form->bookmarkRoot()->child(i);
    ASSERT_NE(sites, nullptr);
    form->FolderTreeView->setCurrentItem(sites);
    addSite("BookmarkNewFtpSite", QStringLiteral("鏡像站"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(sites->childCount(), 1);
    EXPECT_EQ(sites->child(0)->text(0), QStringLiteral("鏡像站"));
    QMenu* submenu = nullptr;
    for (QAction* entry : form->BookmarkPopupMenu->actions())
        if (entry->text() == QLatin1String("sites"))
            submenu = entry->menu();
    ASSERT_NE(submenu, nullptr);
    ASSERT_EQ(submenu->actions().size(), 1);
    EXPECT_EQ(submenu->actions().first()->text(), QStringLiteral("鏡像站"));
    // The entry leads to the new site.
    form->FolderTreeView->setCurrentItem(form->bookmarkRoot());
    submenu->actions().first()->trigger();
    EXPECT_EQ(form->FolderTreeView->currentItem(), sites->child(0));

    TNodeList stored;
    LoadNodeFile(bookmarkFolder() + "sites\\", stored, false);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0]->RootKind, FtpRoot);
    EXPECT_EQ(stored[0]->Host, "ftp.example.lan");

    // "新增電腦" on a folder of FTP sites asks for a site, not a computer.
    TNodeData ftpFolder;
    ftpFolder.Caption = ftpFolder.Key = "ftpfolder";
    ftpFolder.RootKind = FtpRoot;
    ftpFolder.NodeAttributes = Domain | Container;
    ftpFolder.StoreDir = bookmarkFolder();
    ftpFolder.State = Idle;
    WriteNodeRecord(ftpFolder);
    form->ReloadBookmarks();
    QTreeWidgetItem* folder = nullptr;
    for (int i = 0; i < form->bookmarkRoot()->childCount(); ++i)
        if (form->bookmarkRoot()->child(i)->text(0) == QStringLiteral("ftpfolder"))
            folder = form->bookmarkRoot()->child(i);
    ASSERT_NE(folder, nullptr);
    form->FolderTreeView->setCurrentItem(folder);
    addSite("DNNewComputer", QStringLiteral("第三站"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(folder->childCount(), 1);
    EXPECT_EQ(folder->child(0)->text(0), QStringLiteral("第三站"));
    stored.clear();
    LoadNodeFile(bookmarkFolder() + "ftpfolder\\", stored, false);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0]->Caption, "第三站");
}
