#include <gtest/gtest.h>

#include "BrowseFixture.h"
#include "local/TObjShell.h"
#include "local/TObjWatchDisk.h"
#include "local/TWorkerThread.h"
#include "ui/TListView.h"
#include "ui/TStatusBar.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QTreeView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QToolButton>

#include <QPointer>

#include <fstream>
#include <functional>

namespace {

class FileListTest : public BrowseFixture {
protected:
    void SetUp() override
    {
        BrowseFixture::SetUp();
        QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::TraditionalHanScript, QLocale::Taiwan));
    }

    void writeSized(const std::string& name, size_t size) const { m_drive.writeFile(name, std::string(size, 'x')); }

    QStringList listCaptions() const
    {
        QStringList texts;
        const TListModel* model = m_form->fileListView()->model();
        for (int row = 0; row < model->rowCount(); ++row)
            texts << model->item(row).Caption;
        return texts;
    }

    QString panel(int number) const { return m_form->statusBarPanels()->panelText(number); }

    /// Shows a folder of D: and waits until its listing has ended.
    bool showFolder(const std::string& path)
    {
        if (!m_form->SelectLocalPath(path))
            return false;
        return waitUntil([this] { return panel(1).contains(QStringLiteral("資料夾,")); });
    }

    /// Row of the item with this caption, or -1.
    int rowNamed(const QString& caption) const { return m_form->fileListView()->model()->findCaption(caption); }
    QString cell(int row, int column) const
    {
        const TListModel* model = m_form->fileListView()->model();
        return model->data(model->index(row, column)).toString();
    }
    /// What the view's editor does when the user types a new caption and presses Enter.
    void typeCaption(const QString& caption, const QString& typed) const
    {
        TListModel* model = m_form->fileListView()->model();
        ASSERT_GE(rowNamed(caption), 0) << caption.toStdString();
        model->setData(model->index(rowNamed(caption), 0), typed);
    }

    void selectOnly(const QString& caption) const
    {
        const int row = rowNamed(caption);
        ASSERT_GE(row, 0) << caption.toStdString();
        m_form->fileListView()->selectionModel()->select(
            m_form->fileListView()->model()->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
};

TEST_F(FileListTest, SummaryTexts)
{
    EXPECT_EQ(TMainForm::ListingSummary(0, 1, 2047), QStringLiteral("0 資料夾,1 檔案(2047Bytes)"));
    EXPECT_EQ(TMainForm::ListingSummary(2, 3, 2048), QStringLiteral("2 資料夾,3 檔案(2.00KB)"));
    EXPECT_EQ(TMainForm::ListingSummary(0, 0, 2097151), QStringLiteral("0 資料夾,0 檔案(2,048.00KB)"));
    EXPECT_EQ(TMainForm::ListingSummary(0, 0, 2097152), QStringLiteral("0 資料夾,0 檔案(2.00MB)"));
    // Files of 4 GiB and more are summed and shown whole.
    EXPECT_EQ(TMainForm::ListingSummary(0, 1, 5ull << 30), QStringLiteral("0 資料夾,1 檔案(5,120.00MB)"));
}

TEST_F(FileListTest, ColourGroups)
{
    SetupInfo.AsExt1 = true;
    SetupInfo.Ext1 = ".JPG;.BMP.;.GIF";
    SetupInfo.Color1 = 0x0000FF;
    SetupInfo.AsExt2 = true;
    SetupInfo.Ext2 = ".TXT;.GIF";
    SetupInfo.Color2 = 0x00FF00;
    const QColor red(255, 0, 0), green(0, 255, 0), black(Qt::black);
    EXPECT_EQ(TMainForm::itemColor("A.JP", 1), red) << "a part of a listed extension matches";
    EXPECT_EQ(TMainForm::itemColor("photo.jpg", 1), red) << "the extension is upper-cased first";
    EXPECT_EQ(TMainForm::itemColor("x.GIF", 1), red) << "the first group that matches wins";
    EXPECT_EQ(TMainForm::itemColor("notes.txt", 1), green);
    EXPECT_EQ(TMainForm::itemColor("README", 1), black) << "no extension, no group";
    EXPECT_EQ(TMainForm::itemColor("pictures.jpg", 0), black) << "folders stay black";
    SetupInfo.AsExt1 = false;
    EXPECT_EQ(TMainForm::itemColor("x.GIF", 1), green);
    EXPECT_EQ(TMainForm::itemColor("A.JP", 1), black);
}

TEST_F(FileListTest, ListingTextsAndTheSummary)
{
    SetupInfo.ViewStyle = TListView::Details;
    makeFolder("list/sub");
    writeSized("list/b.txt", 2047);
    writeSized("list/a.dat", 0);
    openForm();
    ASSERT_TRUE(showFolder("D:\\list"));
    EXPECT_EQ(listCaptions(), (QStringList{"sub", "a.dat", "b.txt"})) << "folders first, then by name";
    EXPECT_EQ(panel(1), TMainForm::ListingSummary(1, 2, 2047));
    EXPECT_EQ(m_form->ListMode, 1);
    EXPECT_FALSE(m_form->statusBarPanels()->isBusy());
    EXPECT_TRUE(panel(0).startsWith(QStringLiteral("磁碟空間"))) << panel(0).toStdString();
    EXPECT_TRUE(panel(0).contains(QStringLiteral("GB,可用空間")));
    const int row = rowNamed("b.txt");
    EXPECT_EQ(cell(row, 1), QStringLiteral(".txt"));
    EXPECT_EQ(cell(row, 2), QStringLiteral("D:\\list\\"));
    EXPECT_FALSE(cell(row, 3).isEmpty());
    EXPECT_EQ(m_form->currentAddress(), "local:\\" + driveD()->text(0).toStdString() + "\\list\\");
    EXPECT_EQ(m_form->AddressComboBox->currentText().toStdString(), m_form->currentAddress());

    // The selection summary counts what is selected, and falls back to the listing's.
    selectOnly("b.txt");
    EXPECT_EQ(panel(1), TMainForm::ListingSummary(0, 1, 2047));
    m_form->fileListView()->selectAll();
    EXPECT_EQ(panel(1), TMainForm::ListingSummary(1, 2, 2047));
    m_form->fileListView()->selectionModel()->clearSelection();
    EXPECT_EQ(panel(1), TMainForm::ListingSummary(1, 2, 2047));
}

TEST_F(FileListTest, SortingFlipsOneDirectionForAllColumns)
{
    SetupInfo.ViewStyle = TListView::Details;
    makeFolder("sort/dir");
    writeSized("sort/five", 5);
    writeSized("sort/hundred", 100);
    writeSized("sort/twenty", 20);
    openForm();
    ASSERT_TRUE(showFolder("D:\\sort"));
    m_form->FileListViewColumnClick(3);
    const QStringList bySize = listCaptions();
    EXPECT_LT(bySize.indexOf("hundred"), bySize.indexOf("twenty")) << "the first click sorts descending";
    EXPECT_LT(bySize.indexOf("twenty"), bySize.indexOf("five"));
    m_form->FileListViewColumnClick(0);
    EXPECT_EQ(listCaptions(), (QStringList{"dir", "five", "hundred", "twenty"})) << "folders first when ascending";
    m_form->FileListViewColumnClick(0);
    EXPECT_EQ(listCaptions(), (QStringList{"twenty", "hundred", "five", "dir"}));

    // The details header shows which column the list is sorted by, and which way.
    auto* details = m_form->fileListView()->findChild<QTreeView*>();
    ASSERT_NE(details, nullptr);
    EXPECT_TRUE(details->header()->isSortIndicatorShown());
    EXPECT_EQ(details->header()->sortIndicatorSection(), 0);
    EXPECT_EQ(details->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    m_form->FileListViewColumnClick(3);
    EXPECT_EQ(details->header()->sortIndicatorSection(), 3);
    EXPECT_EQ(details->header()->sortIndicatorOrder(), Qt::AscendingOrder);
    ASSERT_TRUE(showFolder("D:\\sort\\dir"));
    EXPECT_FALSE(details->header()->isSortIndicatorShown()) << "a new listing is in the lister's order";
}

// Names whose order by code point differs from the locale's (Latin after Han, accents,
// case, punctuation, a Big5 name): the tree, the listing and a click on the name column
// show the folders in one order.
TEST_F(FileListTest, TheTreeAndTheListOrderTheSameFoldersAlike)
{
    const std::vector<std::string> names = {"Zeta", "alpha", "_under", "\xC3\x84rger", "\xC3\xA9" "clair", "\xE8\xB3\x87\xE6\x96\x99",
                                            "\xE6\xAA\x94\xE6\xA1\x88", "b10", "B2", std::string("dir_\xB3\x5C")};
    for (const std::string& name : names)
        makeFolder("order/" + name);
    writeSized("order/file", 1);
    SetupInfo.ViewStyle = TListView::Details;
    openForm();
    ASSERT_TRUE(showFolder("D:\\order"));
    const QStringList tree = captions(child(driveD(), "order"));
    ASSERT_EQ(tree.size(), static_cast<int>(names.size()));
    QStringList listed = listCaptions();
    listed.removeAll("file");
    EXPECT_EQ(listed, tree);

    m_form->FileListViewColumnClick(0);  // descending
    m_form->FileListViewColumnClick(0);  // ascending
    listed = listCaptions();
    listed.removeAll("file");
    EXPECT_EQ(listed, tree);
}

// Numbers in names count as people count, in the tree and in the list, as filled and as
// sorted by a click on the name column.
TEST_F(FileListTest, NumbersInNamesSortAsPeopleCount)
{
    for (const char* name : {"第10章", "第2章", "v1.10", "v1.9", "B10", "b2"})
        makeFolder(std::string("count/") + name);
    writeSized("count/第10章.txt", 1);
    writeSized("count/第2章.txt", 1);
    SetupInfo.ViewStyle = TListView::Details;
    openForm();
    ASSERT_TRUE(showFolder("D:\\count"));
    const auto before = [](const QStringList& names, const char* first, const char* second) {
        return names.indexOf(QString::fromUtf8(first)) >= 0
            && names.indexOf(QString::fromUtf8(first)) < names.indexOf(QString::fromUtf8(second));
    };
    const QStringList tree = captions(child(driveD(), "count"));
    EXPECT_TRUE(before(tree, "第2章", "第10章")) << tree.join(' ').toStdString();
    EXPECT_TRUE(before(tree, "v1.9", "v1.10")) << tree.join(' ').toStdString();
    EXPECT_TRUE(before(tree, "b2", "B10")) << tree.join(' ').toStdString();
    for (int click = 0; click < 3; ++click) {
        const QStringList listed = listCaptions();
        if (click != 1) {  // the first click sorts descending
            EXPECT_TRUE(before(listed, "第2章", "第10章")) << listed.join(' ').toStdString();
            EXPECT_TRUE(before(listed, "第2章.txt", "第10章.txt")) << listed.join(' ').toStdString();
        }
        m_form->FileListViewColumnClick(0);
    }
}

TEST_F(FileListTest, HistoryAndAddressLimits)
{
    for (int i = 0; i < 35; ++i)
        makeFolder("h/f" + std::to_string(100 + i));
    openForm();
    EXPECT_FALSE(m_form->PriorToolButton->isEnabled());
    for (int i = 0; i < 35; ++i)
        ASSERT_TRUE(m_form->SelectLocalPath("D:\\h\\f" + std::to_string(100 + i)));
    EXPECT_EQ(m_form->PriorPopupMenu->actions().size(), TMainForm::kBackLimit);
    EXPECT_EQ(m_form->AddressComboBox->count(), TMainForm::kAddressLimit);
    const std::string prefix = "local:\\" + driveD()->text(0).toStdString() + "\\h\\";
    EXPECT_EQ(m_form->PriorPopupMenu->actions().first()->text().toStdString(), prefix + "f133\\");
    EXPECT_TRUE(m_form->PriorToolButton->isEnabled());
    EXPECT_FALSE(m_form->NextToolButton->isEnabled());

    // Back twice, then forward once: each step lands where it says.
    m_form->PriorToolButton->click();
    m_form->PriorToolButton->click();
    EXPECT_EQ(m_form->currentAddress(), prefix + "f132\\");
    EXPECT_EQ(m_form->NextPopupMenu->actions().size(), 2);
    m_form->NextToolButton->click();
    EXPECT_EQ(m_form->currentAddress(), prefix + "f133\\");
    ASSERT_EQ(m_form->NextPopupMenu->actions().size(), 1);
    EXPECT_EQ(m_form->NextPopupMenu->actions().first()->text().toStdString(), prefix + "f134\\");

    // A new step removes only the first forward entry and disables the button.
    m_form->PriorToolButton->click();
    EXPECT_EQ(m_form->NextPopupMenu->actions().size(), 2);
    ASSERT_TRUE(m_form->SelectLocalPath("D:\\h\\f100"));
    EXPECT_EQ(m_form->NextPopupMenu->actions().size(), 1);
    EXPECT_FALSE(m_form->NextToolButton->isEnabled());

    // Showing the same place again is no step.
    const int back = m_form->PriorPopupMenu->actions().size();
    m_form->findChild<QAction*>(QStringLiteral("N36"))->trigger();
    EXPECT_EQ(m_form->PriorPopupMenu->actions().size(), back);

    // The address box takes a path and goes there; an unknown one goes nowhere.
    m_form->AddressComboBox->setEditText(QString::fromStdString(prefix + "f120\\"));
    emit m_form->AddressComboBox->activated(0);
    EXPECT_EQ(m_form->currentAddress(), prefix + "f120\\");
    m_form->AddressComboBox->setEditText(QStringLiteral("local:\\nothing\\"));
    emit m_form->AddressComboBox->activated(0);
    EXPECT_EQ(m_form->currentAddress(), "local:\\");
}

TEST_F(FileListTest, SwitchingFoldersStopsTheOldListing)
{
    makeFolder("big");
    for (int i = 0; i < 20000; ++i)
        std::ofstream(m_drive.path("big/file" + std::to_string(i) + ".bin"));
    makeFolder("small");
    for (const char* name : {"one", "two", "three"})
        m_drive.writeFile(std::string("small/") + name, "x");
    openForm();
    ASSERT_TRUE(waitListingEnded(m_form->listingGeneration()));
    // The switch is asked for from inside the big folder's first insertion, and runs right
    // after it: the old lister waits in its hand-over meanwhile, and every later step of
    // it queues behind the switch, so it is certainly mid-listing when it is stopped.
    TListModel* model = m_form->fileListView()->model();
    QPointer<TWorkerThread> old;
    bool armed = true;
    bool oldRunningAtSwitch = false;
    bool switched = false;
    QObject::connect(model, &QAbstractItemModel::rowsInserted, m_form.get(), [&](const QModelIndex&, int first) {
        if (!armed || !model->item(first).Caption.startsWith(QStringLiteral("file")))
            return;
        armed = false;
        old = m_form->worker(TMainForm::LocalDirSlot);
        QMetaObject::invokeMethod(m_form.get(), [&] {
            oldRunningAtSwitch = !old.isNull() && old->isRunning();
            switched = m_form->SelectLocalPath("D:\\small");
        }, Qt::QueuedConnection);
    });
    ASSERT_TRUE(m_form->SelectLocalPath("D:\\big"));
    ASSERT_TRUE(waitUntil([&] { return switched; }));
    EXPECT_TRUE(oldRunningAtSwitch);
    const quint64 generation = m_form->listingGeneration();
    // Nothing of the old folder arrives later: checked once the old lister has ended.
    ASSERT_TRUE(waitUntil([&] { return old.isNull(); }));
    ASSERT_TRUE(waitListingEnded(generation));
    EXPECT_EQ(listCaptions(), (QStringList{"one", "three", "two"}));
    EXPECT_EQ(panel(1), TMainForm::ListingSummary(0, 3, 3));
}

TEST_F(FileListTest, ABurstOfChangesOnDiskCausesOneRefresh)
{
    makeFolder("burst");
    openForm();
    ASSERT_TRUE(showFolder("D:\\burst"));
    QPointer<TObjWatchDisk> watcher = static_cast<TObjWatchDisk*>(m_form->worker(TMainForm::WatchDiskSlot));
    ASSERT_FALSE(watcher.isNull());
    // Each change is made once the window has taken the one before: the burst reaches the
    // window as separate notifications, which its update timer merges.
    int notifications = 0;
    const std::function<void()> windowsHandler = watcher->OnChange;
    watcher->OnChange = [&] {
        windowsHandler();
        ++notifications;
    };
    const quint64 before = m_form->listingGeneration();
    for (int i = 0; i < 20; ++i) {
        m_drive.writeFile("burst/f" + std::to_string(i), "x");
        ASSERT_TRUE(waitUntil([&] { return notifications > i; })) << i;
        ASSERT_EQ(m_form->listingGeneration(), before) << "refreshed within the burst, after change " << i;
        EXPECT_TRUE(m_form->UpdateTimer->isActive());
    }
    ASSERT_TRUE(waitUntil([&] { return m_form->listingGeneration() != before; }, 10000));
    EXPECT_EQ(m_form->listingGeneration(), before + 1);
    ASSERT_TRUE(waitListingEnded(before + 1));
    EXPECT_EQ(listCaptions().size(), 20);
    // The refresh watches the folder anew: once the old watcher has ended and the new one
    // waits with nothing unread, no change is left to refresh for.
    QPointer<TObjWatchDisk> fresh = static_cast<TObjWatchDisk*>(m_form->worker(TMainForm::WatchDiskSlot));
    ASSERT_FALSE(fresh.isNull());
    ASSERT_TRUE(waitUntil([&] { return watcher.isNull(); }));
    ASSERT_TRUE(waitUntil([&] { return fresh && fresh->Waiting(); }));
    EXPECT_FALSE(m_form->UpdateTimer->isActive());
    EXPECT_EQ(m_form->listingGeneration(), before + 1);
}

TEST_F(FileListTest, TheListFollowsChangesOnDisk)
{
    makeFolder("live");
    m_drive.writeFile("live/first", "x");
    openForm();
    ASSERT_TRUE(showFolder("D:\\live"));
    EXPECT_EQ(listCaptions(), QStringList{"first"});
    m_drive.writeFile("live/second", "yy");
    EXPECT_TRUE(waitUntil([this] { return listCaptions() == QStringList{"first", "second"}; }));
    EXPECT_TRUE(waitUntil([this] { return panel(1) == TMainForm::ListingSummary(0, 2, 3); }));
    const int back = m_form->PriorPopupMenu->actions().size();
    std::filesystem::remove(m_drive.path("live/first"));
    EXPECT_TRUE(waitUntil([this] { return listCaptions() == QStringList{"second"}; }));
    EXPECT_EQ(m_form->PriorPopupMenu->actions().size(), back) << "a refresh is no step in the history";
}

TEST_F(FileListTest, RenamingInTheList)
{
    makeFolder("rl");
    m_drive.writeFile("rl/old.txt", "1");
    m_drive.writeFile("rl/taken.txt", "2");
    openForm();
    ASSERT_TRUE(showFolder("D:\\rl"));
    selectOnly("old.txt");
    m_form->M1Click();
    // The user types over the base name; the extension stays unless chosen.
    auto* editor = m_form->fileListView()->currentView()->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->selectedText(), QStringLiteral("old"));
    typeCaption("old.txt", QStringLiteral("新.txt"));
    EXPECT_TRUE(std::filesystem::exists(m_drive.path("rl/新.txt")));
    EXPECT_FALSE(std::filesystem::exists(m_drive.path("rl/old.txt")));
    // The renamed item stays the one selected.
    const QModelIndexList selected = m_form->fileListView()->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(m_form->fileListView()->model()->item(selected[0].row()).Caption, QStringLiteral("新.txt"));

    ASSERT_TRUE(waitUntil([this] { return rowNamed(QStringLiteral("新.txt")) >= 0; }));
    selectOnly(QStringLiteral("新.txt"));
    m_form->M1Click();
    typeCaption(QStringLiteral("新.txt"), QStringLiteral("taken.txt"));
    EXPECT_GE(rowNamed(QStringLiteral("新.txt")), 0) << "the caption stays";
    EXPECT_EQ(m_drive.readFile("rl/taken.txt"), "2");
    EXPECT_TRUE(std::filesystem::exists(m_drive.path("rl/新.txt")));

    selectOnly(QStringLiteral("新.txt"));
    m_form->M1Click();
    typeCaption(QStringLiteral("新.txt"), QStringLiteral("../out.txt"));
    EXPECT_GE(rowNamed(QStringLiteral("新.txt")), 0);
    EXPECT_FALSE(std::filesystem::exists(m_drive.path("out.txt")));
}

TEST_F(FileListTest, ChildNodesAndOpeningAFolderItem)
{
    makeFolder("open/inner");
    openForm();
    m_form->FolderTreeView->setCurrentItem(m_form->localRoot());
    EXPECT_EQ(m_form->ListMode, 2);
    EXPECT_TRUE(listCaptions().contains(driveD()->text(0)));
    EXPECT_EQ(panel(1), QStringLiteral("%1 項目").arg(m_form->localRoot()->childCount()));

    ASSERT_TRUE(showFolder("D:\\open"));
    selectOnly("inner");
    m_form->OpenItem();
    EXPECT_EQ(GetNodeData(m_form->shownNode())->RemoteName, "D:\\open\\inner\\");
}

} // namespace
