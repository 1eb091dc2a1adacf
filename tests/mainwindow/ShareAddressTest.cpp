#include <gtest/gtest.h>

#include "BrowseFixture.h"
#include "local/TFileOperationDialog.h"
#include "platform/SmbContext.h"
#include "support/SmbTestServer.h"
#include "support/StallMeter.h"
#include "resources/UiText.h"
#include "ui/TListView.h"
#include "ui/TStatusBar.h"

#include <QAction>
#include <QComboBox>

#include <filesystem>
#include <fstream>

namespace {

// A share's folder typed into the address box: the tree gets the share under the network
// root, loaded down to the folder, and the list shows the folder through its network path.
using ShareAddressTest = WithSmbServer<BrowseFixture>;

TEST_F(ShareAddressTest, ATypedShareFolderIsShownInTheTreeAndTheList)
{
    const std::string root = s_server->folder("public") + "/位址/下層";
    std::filesystem::create_directories(root + "/子");
    std::ofstream(root + "/報告.txt") << "report";
    openForm();

    go("\\\\127.0.0.1\\公開\\位址\\下層");
    ASSERT_TRUE(waitUntil([this] { return listCaptions().size() == 2; })) << m_errors.join('\n').toStdString();
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_EQ(shownFolder(), "\\\\127.0.0.1\\公開\\位址\\下層\\");
    EXPECT_EQ(listCaptions(), (QStringList{QStringLiteral("子"), QStringLiteral("報告.txt")}));
    // The way there is in the tree: share, then each folder, under the network root.
    const QTreeWidgetItem* shown = m_form->FolderTreeView->currentItem();
    ASSERT_TRUE(shown->parent() && shown->parent()->parent());
    EXPECT_EQ(shown->parent()->parent()->parent(), m_form->netRoot());

    // The same share again reuses its node; a file's address opens its folder.
    const int shares = m_form->netRoot()->childCount();
    go("\\\\127.0.0.1\\公開\\位址\\下層\\報告.txt");
    EXPECT_EQ(m_form->netRoot()->childCount(), shares);
    EXPECT_EQ(shownFolder(), "\\\\127.0.0.1\\公開\\位址\\下層\\");

    // The share's root, and a folder the share does not have.
    go("\\\\127.0.0.1\\公開");
    EXPECT_EQ(shownFolder(), "\\\\127.0.0.1\\公開\\");
    m_errors.clear();
    go("\\\\127.0.0.1\\公開\\沒有這個");
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors.front().contains(QStringLiteral("沒有這個")));
}

// The share's smbd stopped (SIGSTOP): showing a folder of it fails, saying the server
// stopped answering, while the window thread goes on; once smbd runs again (SIGCONT) the
// next listing works without a restart.
TEST_F(ShareAddressTest, AStoppedServerIsAFaultNotAFreeze)
{
    std::filesystem::create_directories(s_server->folder("public") + "/停/內");
    openForm();
    go("\\\\127.0.0.1\\公開\\停");
    ASSERT_TRUE(waitUntil([this] { return listCaptions() == QStringList{QStringLiteral("內")}; }))
        << m_errors.join('\n').toStdString();
    QTreeWidgetItem* folder = m_form->FolderTreeView->currentItem();
    QTreeWidgetItem* share = folder->parent();
    ASSERT_NE(share, nullptr);

    const auto status = [this] { return m_form->StatusBar->panelText(1); };
    StallMeter meter;
    s_server->pause();
    m_form->FolderTreeView->setCurrentItem(share);
    // A listing's failure goes to the status bar. An event posted once the listing has
    // started must be handled before that failure: a window thread that stood still while
    // the server was silent would handle it only afterwards.
    const QString before = status(), reading = UiString(33010);
    const auto hasFailed = [&] { return status() != before && status() != reading && !status().isEmpty(); };
    bool handledWhileWaiting = false;
    QTimer::singleShot(0, m_form.get(), [&] { handledWhileWaiting = !hasFailed(); });
    const bool failed = waitUntil(hasFailed, 30000);
    const QString said = status();
    s_server->resume();
    ASSERT_TRUE(failed) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("伺服器停止回應"))) << said.toStdString();
    EXPECT_TRUE(handledWhileWaiting) << "the window thread stood still while the server was silent";
    RecordProperty("longest_stall_ms", int(meter.longestMs()));

    m_errors.clear();
    m_form->FolderTreeView->setCurrentItem(folder);
    EXPECT_TRUE(waitUntil([this] { return listCaptions() == QStringList{QStringLiteral("內")}; }, 40000))
        << m_errors.join('\n').toStdString();
}

// Deletes on a share: the list's Delete key and File › 刪除, and the tree's delete, all ask
// the permanent question about \\SERVER\SHARE paths, really delete, and leave the tree
// and the list agreeing; the share itself is never deleted.
TEST_F(ShareAddressTest, DeletesOnAShareAskThePermanentQuestionAndTheTreeAndListFollow)
{
    const std::string root = s_server->folder("public") + "/刪除";
    std::filesystem::create_directories(root + "/子");
    std::filesystem::create_directories(root + "/丙");
    std::ofstream(root + "/子/內.txt") << "inner";
    std::ofstream(root + "/甲.txt") << "a";
    std::ofstream(root + "/乙.txt") << "b";
    openForm();
    QStringList informations;
    m_form->ShowInformationText = [&informations](const QString& text) { informations << text; };
    struct Asked {
        QString path;
        size_t count;
        bool toTrash;
    };
    QList<Asked> asked;
    bool answer = false;
    m_form->shell()->Questions.confirmDelete = [&](QWidget*, const std::vector<std::string>& paths, bool toTrash) {
        asked << Asked{TFileOperationDialog::DisplayPath(paths.front()), paths.size(), toTrash};
        return answer;
    };
    auto trigger = [this](const char* name) { m_form->findChild<QAction*>(QString::fromLatin1(name))->trigger(); };
    auto selectRow = [this](const QString& caption) {
        QApplication::setActiveWindow(m_form.get());
        m_form->fileListView()->currentView()->setFocus();
        TListModel* model = m_form->fileListView()->model();
        QItemSelectionModel* selection = m_form->fileListView()->selectionModel();
        selection->clearSelection();
        for (int row = 0; row < model->rowCount(); ++row)
            if (model->item(row).Caption == caption)
                selection->select(model->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QApplication::processEvents();
    };

    go("\\\\127.0.0.1\\公開\\刪除");
    auto listed = [this] {
        QStringList names = listCaptions();
        names.sort();
        return names.join(QLatin1Char(' '));
    };
    ASSERT_TRUE(waitUntil([this] { return listCaptions().size() == 4; })) << m_errors.join('\n').toStdString();
    QTreeWidgetItem* folder = m_form->FolderTreeView->currentItem();

    // The Delete key (File › 刪除) in the list: asked about the share's path, for good.
    selectRow(QStringLiteral("甲.txt"));
    trigger("N3");
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].path, QStringLiteral("\\\\127.0.0.1\\公開\\刪除\\甲.txt"));
    EXPECT_FALSE(asked[0].toTrash);
    EXPECT_TRUE(std::filesystem::exists(root + "/甲.txt")) << "answered No";
    ASSERT_TRUE(waitUntil([this] { return listCaptions().size() == 4; }));
    answer = true;
    selectRow(QStringLiteral("甲.txt"));
    trigger("N3");
    EXPECT_FALSE(std::filesystem::exists(root + "/甲.txt")) << m_shellErrors.join('\n').toStdString();
    EXPECT_TRUE(waitUntil([&] { return listed() == QStringLiteral("丙 乙.txt 子"); })) << listed().toStdString();

    // The list's menu deletes a folder the tree shows, and the tree follows.
    folder->setExpanded(true);
    ASSERT_TRUE(waitUntil([&] { return child(folder, "子") != nullptr; }));
    selectRow(QStringLiteral("子"));
    trigger("NetDelete");
    EXPECT_FALSE(std::filesystem::exists(root + "/子"));
    EXPECT_EQ(child(folder, "子"), nullptr);
    EXPECT_TRUE(waitUntil([&] { return listed() == QStringLiteral("丙 乙.txt"); })) << listed().toStdString();

    // The tree's delete on a share folder: the same question, the node goes, the parent shows.
    ASSERT_NE(child(folder, "丙"), nullptr);
    m_form->FolderTreeView->setCurrentItem(child(folder, "丙"));
    asked.clear();
    trigger("DNDel");
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].path, QStringLiteral("\\\\127.0.0.1\\公開\\刪除\\丙"));
    EXPECT_FALSE(asked[0].toTrash);
    EXPECT_FALSE(std::filesystem::exists(root + "/丙"));
    EXPECT_EQ(child(folder, "丙"), nullptr);
    EXPECT_EQ(m_form->FolderTreeView->currentItem(), folder);

    // The share is never deleted, nor anything in it.
    QTreeWidgetItem* share = folder->parent();
    m_form->FolderTreeView->setCurrentItem(share);
    asked.clear();
    trigger("DNDel");
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_EQ(informations.size(), 1);
    EXPECT_TRUE(std::filesystem::exists(root + "/乙.txt"));
}

} // namespace
