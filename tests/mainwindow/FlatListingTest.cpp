#include <gtest/gtest.h>

#include "BrowseFixture.h"

#include "local/TWorkerThread.h"

#include <QPointer>
#include "ui/TListView.h"
#include "ui/TStatusBar.h"

#include <QToolButton>

#include <filesystem>

namespace {

class FlatListingTest : public BrowseFixture {
protected:
    QStringList listCaptions() const
    {
        QStringList texts;
        for (const TListItem& item : m_form->fileListView()->model()->items())
            texts << item.Caption;
        return texts;
    }
    QString panel(int number) const { return m_form->statusBarPanels()->panelText(number); }
    bool expandAndWait()
    {
        m_form->ExpandToolButton->click();
        return waitUntil([this] { return !m_form->statusBarPanels()->isBusy(); }, 10000);
    }
};

TEST_F(FlatListingTest, EveryFileBelowTheFolderFolderByFolder)
{
    makeFolder("flat/sub/deeper");
    makeFolder("flat/empty");
    m_drive.writeFile("flat/a.txt", "12345");
    m_drive.writeFile("flat/sub/b.txt", "123");
    m_drive.writeFile("flat/sub/deeper/c.txt", "1");
    // A link back up the tree is listed but not followed, or the listing would never end.
    std::filesystem::create_directory_symlink(m_drive.path("flat"), m_drive.path("flat/sub/loop"));
    openForm();
    ASSERT_TRUE(m_form->SelectLocalPath("D:\\flat"));
    ASSERT_TRUE(waitUntil([this] { return panel(1).contains(QLatin1Char(',')); }));

    ASSERT_TRUE(expandAndWait());
    EXPECT_EQ(listCaptions(), (QStringList{"<flat>", "empty", "sub", "a.txt", "<empty>", "<sub>", "deeper", "loop",
                                           "b.txt", "<deeper>", "c.txt"}));
    // Folder rows carry the folder's full path and no size.
    const TListModel* model = m_form->fileListView()->model();
    EXPECT_EQ(model->item(5).SubItems.value(1), QStringLiteral("D:\\flat\\sub\\"));
    EXPECT_EQ(model->item(5).ImageIndex, 0);
    EXPECT_EQ(model->item(10).SubItems.value(1), QStringLiteral("D:\\flat\\sub\\deeper\\"));
    // The folder entries found: empty, sub, deeper and the link.
    EXPECT_EQ(panel(1), TMainForm::ListingSummary(4, 3, 9));

    // Commands on an item act on the folder it was found in, not on the shown folder.
    m_form->fileListView()->selectionModel()->select(model->index(8, 0),
                                                     QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_form->findChild<QAction*>(QStringLiteral("N16"))->trigger();
    EXPECT_TRUE(waitUntil([this] { return !std::filesystem::exists(m_drive.path("flat/sub/b.txt")); }));
    EXPECT_TRUE(std::filesystem::exists(m_drive.path("flat/a.txt")));
}

TEST_F(FlatListingTest, NodesThatCannotBeListedFlat)
{
    openForm();
    // The local root is a system node.
    m_form->FolderTreeView->setCurrentItem(m_form->FolderTreeView->topLevelItem(0)->child(1));
    ASSERT_EQ(GetNodeData(m_form->shownNode())->RootKind, LocalRoot);
    m_form->ExpandToolButton->click();
    EXPECT_EQ(m_informations, QList<int>{33056});
    EXPECT_EQ(m_form->fileListView()->model()->rowCount(), 0);
    // The bookmark root is neither a file system node nor a folder.
    m_form->FolderTreeView->setCurrentItem(m_form->FolderTreeView->topLevelItem(0)->child(0));
    m_form->ExpandToolButton->click();
    EXPECT_EQ(m_informations, (QList<int>{33056, 33058}));
}

TEST_F(FlatListingTest, ShowingAnotherFolderEndsTheFlatListing)
{
    makeFolder("wide");
    for (int i = 0; i < 200; ++i)
        makeFolder("wide/d" + std::to_string(i));
    makeFolder("other");
    m_drive.writeFile("other/only.txt", "x");
    openForm();
    ASSERT_TRUE(m_form->SelectLocalPath("D:\\wide"));
    ASSERT_TRUE(waitListingEnded(m_form->listingGeneration()));
    // The other folder is shown right after the flat listing's first lister has handed
    // over its first rows: that lister is then certainly mid-listing.
    TListModel* model = m_form->fileListView()->model();
    QPointer<TWorkerThread> flat;
    bool armed = true;
    bool flatRunningAtSwitch = false;
    bool switched = false;
    QObject::connect(model, &QAbstractItemModel::rowsInserted, m_form.get(), [&](const QModelIndex&, int first) {
        if (!armed || model->item(first).Caption != QStringLiteral("d0"))
            return;
        armed = false;
        flat = m_form->worker(TMainForm::FlatLocalDirSlot);
        QMetaObject::invokeMethod(m_form.get(), [&] {
            flatRunningAtSwitch = !flat.isNull() && flat->isRunning();
            switched = m_form->SelectLocalPath("D:\\other");
        }, Qt::QueuedConnection);
    });
    m_form->ExpandToolButton->click();
    ASSERT_TRUE(waitUntil([&] { return switched; }));
    EXPECT_TRUE(flatRunningAtSwitch);
    const quint64 generation = m_form->listingGeneration();
    // Nothing of the stopped flat listing arrives: checked once its lister has ended.
    ASSERT_TRUE(waitListingEnded(generation));
    ASSERT_TRUE(waitUntil([&] { return flat.isNull(); }));
    EXPECT_EQ(panel(1), TMainForm::ListingSummary(0, 1, 1));
    EXPECT_EQ(listCaptions(), QStringList{"only.txt"});
    EXPECT_FALSE(m_form->statusBarPanels()->isBusy());
}

} // namespace
