#include <gtest/gtest.h>

#include "BrowseFixture.h"
#include "local/TImageLists.h"
#include "store/NodeFile.h"
#include "store/StoredNodes.h"

#include <QAction>
#include <QItemSelectionModel>

#include <filesystem>

namespace {

// The commands of the main window on the nodes the program stores itself: bookmarks, the
// expanded network's folders and computers. Each of them acts, or says why it cannot.
class StoredNodeCommandsTest : public BrowseFixture {
protected:
    static std::string expandedFolder() { return SetupInfo.CachePath + "Expanded\\"; }
    static std::string bookmarkFolder() { return SetupInfo.CachePath + "Bookmark\\"; }

    static void storeComputer(const std::string& folder, const char* caption)
    {
        std::vector<TNodeData> records{ExpandedComputerRecord(folder, caption, caption, "10.0.0.9",
                                                              TImageLists::TreeComputer)};
        AddStoredNodes(records);
    }

    // A record written straight into the bookmark folder, as another session leaves it.
    static void storeBookmark(const char* caption)
    {
        TNodeData data;
        data.Caption = data.Key = caption;
        data.ImageIndex = data.SelectedIndex = TImageLists::TreeDomain;
        data.NodeAttributes = Bookmark | Domain | Container;
        data.RootKind = BookmarkRoot;
        data.StoreDir = bookmarkFolder();
        data.State = Idle;
        WriteNodeRecord(data);
    }

    static QStringList liveRecords(const std::string& folder)
    {
        TNodeList records;
        LoadNodeFile(folder, records, false);
        QStringList captions;
        for (const auto& record : records)
            captions << QString::fromStdString(record->Caption);
        captions.sort();
        return captions;
    }

    void trigger(const char* name) { m_form->findChild<QAction*>(QString::fromLatin1(name))->trigger(); }

    void show(QTreeWidgetItem* node)
    {
        m_form->FolderTreeView->setCurrentItem(node);
        node->setExpanded(true);
        m_form->ShowNode(node);
    }

    // Selects the list's rows with these captions, the list holding the focus as after a click.
    void selectRows(const QStringList& wanted)
    {
        QApplication::setActiveWindow(m_form.get());
        m_form->fileListView()->currentView()->setFocus();
        TListModel* model = m_form->fileListView()->model();
        QItemSelectionModel* selection = m_form->fileListView()->selectionModel();
        selection->clearSelection();
        for (int row = 0; row < model->rowCount(); ++row)
            if (wanted.contains(model->item(row).Caption))
                selection->select(model->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QApplication::processEvents();
    }

    QStringList sortedList() const
    {
        QStringList names = listCaptions();
        names.sort();
        return names;
    }
};

// The list's delete (the Delete key, File › 刪除, the network list's 刪除) on stored nodes
// asks the node question, deletes the chosen records and shows the branch read again; the
// File menu's new folder makes a stored folder there. Live nodes are never deleted: it says so.
TEST_F(StoredNodeCommandsTest, TheListDeletesAndMakesStoredNodes)
{
    openForm();
    storeComputer(expandedFolder(), "PC甲");
    storeComputer(expandedFolder(), "PC乙");
    QTreeWidgetItem* root = m_form->expandedRoot();
    show(root);
    ASSERT_EQ(sortedList(), (QStringList{"PC乙", "PC甲"}));

    // File › 新資料夾 where the list shows a stored branch.
    trigger("N1");
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_EQ(liveRecords(expandedFolder()), (QStringList{"PC乙", "PC甲", "新資料夾"}));
    EXPECT_NE(child(root, "新資料夾"), nullptr);
    EXPECT_EQ(sortedList(), (QStringList{"PC乙", "PC甲", "新資料夾"}));

    // Two nodes, answered No: the several-nodes question, nothing goes.
    m_answer = IdNo;
    selectRows({"PC甲", "新資料夾"});
    trigger("N3");
    EXPECT_EQ(m_questions, QList<int>{33040});
    EXPECT_EQ(liveRecords(expandedFolder()).size(), 3);

    m_answer = IdYes;
    m_questions.clear();
    selectRows({"PC甲", "新資料夾"});
    trigger("N3");
    EXPECT_EQ(m_questions, QList<int>{33040});
    EXPECT_EQ(liveRecords(expandedFolder()), QStringList{"PC乙"});
    EXPECT_FALSE(std::filesystem::exists(NativePath(expandedFolder() + "新資料夾")));
    EXPECT_EQ(captions(root), QStringList{"PC乙"});
    EXPECT_EQ(listCaptions(), QStringList{"PC乙"});
    EXPECT_EQ(m_form->shownNode(), root);

    // The network list's own 新資料夾 and 刪除 on a stored folder.
    trigger("NetNewDir");
    QTreeWidgetItem* folder = child(root, "新資料夾");
    ASSERT_NE(folder, nullptr);
    storeComputer(expandedFolder() + "新資料夾\\", "PC丙");
    show(folder);
    ASSERT_EQ(listCaptions(), QStringList{"PC丙"});
    m_questions.clear();
    selectRows({"PC丙"});
    trigger("NetDelete");
    EXPECT_EQ(m_questions, QList<int>{33041});
    EXPECT_TRUE(liveRecords(expandedFolder() + "新資料夾\\").isEmpty());
    EXPECT_TRUE(listCaptions().isEmpty());

    // Drives are not the list's to delete: it says so instead of doing nothing.
    QStringList told;
    m_form->ShowInformationText = [&told](const QString& text) { told << text; };
    show(m_form->localRoot());
    selectRows({driveD()->text(0)});
    trigger("N3");
    EXPECT_EQ(told, QStringList{"您不能刪除此節點"});
}

// A bookmark deleted from the bookmark list goes from the store and the tree.
TEST_F(StoredNodeCommandsTest, TheBookmarkListDeletesABookmark)
{
    openForm();
    storeBookmark("公文");
    storeBookmark("照片");
    trigger("R2");
    show(m_form->bookmarkRoot());
    ASSERT_TRUE(listCaptions().contains("公文"));
    selectRows({"公文"});
    trigger("N3");
    EXPECT_EQ(m_questions, QList<int>{33041});
    EXPECT_EQ(liveRecords(bookmarkFolder()), QStringList{"照片"});
    EXPECT_EQ(child(m_form->bookmarkRoot(), "公文"), nullptr);
    EXPECT_FALSE(listCaptions().contains("公文"));
    EXPECT_TRUE(listCaptions().contains("照片"));
}

// Refresh on the bookmark root reads the bookmarks again, and a reload while a bookmark or
// the root is shown lists the new nodes, never the ones it replaced.
TEST_F(StoredNodeCommandsTest, RefreshAndReloadOfTheBookmarksLeaveALiveList)
{
    openForm();
    QTreeWidgetItem* root = m_form->bookmarkRoot();
    show(root);
    storeBookmark("公文");
    QApplication::setActiveWindow(m_form.get());
    m_form->FolderTreeView->setFocus();
    trigger("N34");
    EXPECT_NE(child(root, "公文"), nullptr) << captions(root).join(',').toStdString();
    EXPECT_TRUE(listCaptions().contains("公文"));
    // The drop-down's four entries of its own (add, reload, new FTP site, separator), then it.
    EXPECT_EQ(m_form->BookmarkPopupMenu->actions().size(), 5);

    // A reload with the root shown lists what the store holds now.
    storeBookmark("照片");
    trigger("R2");
    EXPECT_EQ(m_form->shownNode(), root);
    EXPECT_TRUE(listCaptions().contains("照片"));

    // With a bookmark shown, the same bookmark is shown again from its new node.
    ASSERT_NE(child(root, "公文"), nullptr);
    show(child(root, "公文"));
    trigger("R2");
    QTreeWidgetItem* shown = m_form->shownNode();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown, child(root, "公文"));
    EXPECT_EQ(m_form->FolderTreeView->currentItem(), shown);
}

// "新增電腦" works on the expanded network and its folders only: elsewhere it is greyed
// and its hint says where it works.
TEST_F(StoredNodeCommandsTest, NewComputerIsGreyedWhereItCannotApply)
{
    openForm();
    QAction* entry = m_form->findChild<QAction*>(QStringLiteral("DNNewComputer"));
    for (QTreeWidgetItem* node : {m_form->localRoot(), m_form->bookmarkRoot(), m_form->netRoot()}) {
        m_form->FolderTreeView->setCurrentItem(node);
        EXPECT_FALSE(entry->isEnabled()) << node->text(0).toStdString();
        EXPECT_TRUE(entry->statusTip().contains("擴大網路芳鄰")) << entry->statusTip().toStdString();
    }
    m_form->FolderTreeView->setCurrentItem(m_form->expandedRoot());
    EXPECT_TRUE(entry->isEnabled());
    EXPECT_TRUE(entry->statusTip().isEmpty());
}

} // namespace
