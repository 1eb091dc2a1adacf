#include "local/TImageLists.h"
#include "store/CacheListing.h"
#include "store/TObjCacheDir.h"
#include "ui/TListView.h"

#include "local/WaitFor.h"
#include "store/StoreFolder.h"
#include "store/VectorFiles.h"

#include <gtest/gtest.h>

#include <QPointer>

#include <filesystem>

namespace {

TItemData entry(const std::string& path, uint32_t size = 0, uint32_t attributes = 0x20, double modified = 45100.5)
{
    TItemData item;
    SetItemPath(item, path);
    item.Size = size;
    item.Attributes = attributes;
    item.Modified = modified;
    return item;
}

TItemData folder(const std::string& path)
{
    return entry(path, 0, FileAttributeDirectory);
}

class CacheDirTest : public ::testing::Test {
protected:
    // Runs a lister over the store and waits until it has freed itself.
    void run(const std::string& folderPath, const std::function<void(TObjCacheDir*)>& prepare = {})
    {
        auto* worker = new TObjCacheDir(store.win(), &images, &view, folderPath, "PC");
        QPointer<TObjCacheDir> watch(worker);
        worker->OnStatus = [this](TObjCacheDir* w) { states << w->RunState.load(); };
        worker->OnTerminate = [this](TWorkerThread* w) {
            auto* lister = static_cast<TObjCacheDir*>(w);
            ++completions;
            completed = lister->Completed;
            errorText = lister->ErrorText;
            folderPaths = lister->FolderPaths;
            files = lister->FileTotal;
            folders = lister->FolderTotal;
            bytes = lister->ByteTotal;
        };
        if (prepare)
            prepare(worker);
        worker->StartListing();
        ASSERT_TRUE(WaitFor([&] { return watch.isNull(); }, 20000));
    }

    void writeListing(const TItemList& items, bool startNew = true)
    {
        WriteFolderListing(items, store.win(), "PC", startNew);
    }

    QStringList rowCaptions() const
    {
        QStringList captions;
        for (const TListItem& item : view.model()->items())
            captions << item.Caption;
        return captions;
    }

    StoreFolder store;
    TImageLists images;
    TListView view;
    QList<int> states;
    int completions = 0;
    bool completed = false;
    QString errorText;
    std::vector<std::string> folderPaths;
    int files = 0, folders = 0;
    uint64_t bytes = 0;
};

TEST_F(CacheDirTest, FoldersFirstThenNamesWithoutRegardToCase)
{
    writeListing({entry("\\\\PC\\S\\0.txt", 10), folder("\\\\PC\\S\\b"), folder("\\\\PC\\S\\A"), entry("\\\\PC\\S\\Z.txt", 5),
                  entry("\\\\PC\\S\\a.txt", 1)});
    view.setViewStyle(TListView::SmallIcons);
    run("\\\\pc\\s\\");
    EXPECT_EQ(rowCaptions(), (QStringList{"A", "b", "0.txt", "a.txt", "Z.txt"}));
    // Entries carry the path the folder was asked by.
    EXPECT_EQ(folderPaths, (std::vector<std::string>{"\\\\pc\\s\\A\\", "\\\\pc\\s\\b\\"}));
    EXPECT_EQ(folders, 2);
    EXPECT_EQ(files, 3);
    EXPECT_EQ(bytes, 16u);
    EXPECT_TRUE(completed);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(states, (QList<int>{3, 5}));
    EXPECT_EQ(view.updateCount(), 0);
    // Outside the details view only the folder column is filled.
    const TListItem& first = view.model()->item(2);
    EXPECT_EQ(first.SubItems, (QStringList{QString(), QStringLiteral("\\\\pc\\s\\")}));
    EXPECT_EQ(first.ImageIndex, TImageLists::File);
    EXPECT_EQ(first.StateIndex, 10u);
    EXPECT_EQ(view.model()->item(0).ImageIndex, TImageLists::Folder);
}

// Names the order takes for equal keep the order they were stored in, whether the rest of
// the listing came in order or not.
TEST_F(CacheDirTest, EqualNamesKeepTheirStoredOrderInOrderedAndUnorderedListings)
{
    writeListing({folder("\\\\PC\\S\\d"), entry("\\\\PC\\S\\b.txt", 1), entry("\\\\PC\\S\\B.TXT", 2),
                  entry("\\\\PC\\S\\c.txt", 3)});
    view.setViewStyle(TListView::SmallIcons);
    run("\\\\PC\\S\\");
    EXPECT_EQ(rowCaptions(), (QStringList{"d", "b.txt", "B.TXT", "c.txt"}));

    view.model()->clear();
    writeListing({entry("\\\\PC\\S\\c.txt", 3), entry("\\\\PC\\S\\B.TXT", 2), folder("\\\\PC\\S\\d"),
                  entry("\\\\PC\\S\\b.txt", 1)});
    run("\\\\PC\\S\\");
    EXPECT_EQ(rowCaptions(), (QStringList{"d", "B.TXT", "b.txt", "c.txt"}));
}

TEST_F(CacheDirTest, EntriesGivenAsReadShowWhatReadingTheFilesShows)
{
    const TItemList written = {entry("\\\\PC\\S\\許\\b.TXT", 1536, 0x23), folder("\\\\PC\\S\\許\\子"),
                               entry("\\\\PC\\S\\許\\A.txt", 0, 0x20, 45000.25), folder("\\\\PC\\S\\許\\B")};
    writeListing(written);
    view.setViewStyle(TListView::Details);
    run("\\\\PC\\S\\許\\");
    const std::vector<TListItem> fromFiles = view.model()->items();
    const std::vector<std::string> foldersFromFiles = folderPaths;
    ASSERT_EQ(fromFiles.size(), written.size());

    view.model()->clear();
    TItemList asRead;
    ASSERT_TRUE(FolderListingAsRead(TItemList(written), "\\\\PC\\S\\許\\", asRead));
    // Given entries are listed even with the files gone.
    std::filesystem::remove(store.path("PC.LST"));
    run("\\\\PC\\S\\許\\", [&](TObjCacheDir* lister) { lister->UseListedItems(std::move(asRead)); });
    EXPECT_TRUE(completed);
    EXPECT_EQ(folderPaths, foldersFromFiles);
    const std::vector<TListItem>& given = view.model()->items();
    ASSERT_EQ(given.size(), fromFiles.size());
    for (size_t k = 0; k < given.size(); k++) {
        EXPECT_EQ(given[k].Caption, fromFiles[k].Caption);
        EXPECT_EQ(given[k].SubItems, fromFiles[k].SubItems);
        EXPECT_EQ(given[k].ImageIndex, fromFiles[k].ImageIndex);
        EXPECT_EQ(given[k].StateIndex, fromFiles[k].StateIndex);
    }
}

TEST_F(CacheDirTest, DetailTextsOfSizesAttributesAndDates)
{
    writeListing({entry("\\\\PC\\S\\empty.dat", 0, 0), entry("\\\\PC\\S\\half.bin", 1536, 0x2 | 0x1),
                  entry("\\\\PC\\S\\sys.cfg", 4, 0x4 | 0x100 | 0x800), entry("\\\\PC\\S\\old.TXT", 7, 0x20, 1e9),
                  folder("\\\\PC\\S\\sub")});
    view.setViewStyle(TListView::Details);
    run("\\\\PC\\S\\");
    ASSERT_EQ(view.model()->rowCount(), 5);
    auto texts = [&](int row) { return view.model()->item(row).SubItems; };
    EXPECT_EQ(view.model()->item(0).Caption, QStringLiteral("sub"));
    EXPECT_EQ(texts(0), (QStringList{QString(), "\\\\PC\\S\\", "0.00KB", "一般", "2023/06/23 12:00:00"}));
    EXPECT_EQ(texts(1), (QStringList{".dat", "\\\\PC\\S\\", "0.00KB", "一般", "2023/06/23 12:00:00"}));
    EXPECT_EQ(texts(2), (QStringList{".bin", "\\\\PC\\S\\", "1.50KB", "隱藏,唯讀", "2023/06/23 12:00:00"}));
    // The extension keeps the case it is written in; a date beyond the calendar is unknown.
    EXPECT_EQ(texts(3), (QStringList{".TXT", "\\\\PC\\S\\", "0.01KB", "一般", "未知"}));
    EXPECT_EQ(texts(4), (QStringList{".cfg", "\\\\PC\\S\\", "0.00KB", "系統,暫存,壓縮", "2023/06/23 12:00:00"}));
    EXPECT_EQ(view.model()->item(2).StateIndex, 1536u);
}

TEST_F(CacheDirTest, SharedVectorFolderFoundWithoutRegardToCase)
{
    store.copyFrom(vectors::root() / "listing" / "SRV.IDX", "PC.IDX");
    store.copyFrom(vectors::root() / "listing" / "SRV.LST", "PC.LST");
    view.setViewStyle(TListView::Details);
    run("\\\\srv\\share\\dir\\");
    ASSERT_TRUE(completed);
    const QStringList captions = rowCaptions();
    ASSERT_EQ(captions.size(), 4);
    EXPECT_EQ(captions[0], QStringLiteral("子資料夾"));
    EXPECT_TRUE(captions[1].startsWith(QStringLiteral("A長檔名")));
    EXPECT_EQ(captions.mid(2), (QStringList{"readme.TXT", "功能說明.txt"}));
    // Sizes of 4 GiB less one byte add up without wrapping.
    EXPECT_EQ(bytes, 4294967295ull + 1234 + 77);
    EXPECT_EQ(view.model()->item(2).SubItems.value(1), QStringLiteral("\\\\srv\\share\\dir\\"));
    EXPECT_EQ(view.model()->item(2).SubItems.value(3), QStringLiteral("隱藏,唯讀"));
}

TEST_F(CacheDirTest, FolderMissingFromTheIndexListsNothingAndSaysSo)
{
    writeListing({entry("\\\\PC\\S\\a.txt")});
    run("\\\\PC\\S\\NOPE\\");
    EXPECT_FALSE(completed);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(errorText, QStringLiteral("快取檔中沒有 \\\\PC\\S\\NOPE\\ 的資料"));
    EXPECT_EQ(view.model()->rowCount(), 0);
    EXPECT_EQ(view.updateCount(), 0);
}

TEST_F(CacheDirTest, ListDatWholeRecordsOnlyAndMissingFileNamed)
{
    const std::string listDat = store.win() + "LIST.DAT";
    WriteListDat(listDat, {entry("\\\\A\\x\\one.txt", 1), entry("\\\\B\\y\\two.txt", 2), folder("\\\\C\\z\\three")});
    run("");
    EXPECT_EQ(rowCaptions(), (QStringList{"three", "one.txt", "two.txt"}));
    // Each entry shows the folder it lies in.
    EXPECT_EQ(view.model()->item(2).SubItems.value(1), QStringLiteral("\\\\B\\y\\"));

    std::filesystem::resize_file(store.path("LIST.DAT"), 600);
    view.model()->clear();
    run("");
    EXPECT_EQ(rowCaptions(), (QStringList{"one.txt", "two.txt"}));
    EXPECT_TRUE(completed);

    std::filesystem::remove(store.path("LIST.DAT"));
    view.model()->clear();
    run("");
    EXPECT_FALSE(completed);
    EXPECT_EQ(completions, 3);
    EXPECT_EQ(errorText, QStringLiteral("快取檔 %1 無法開啟").arg(QString::fromStdString(listDat)));
    EXPECT_EQ(view.model()->rowCount(), 0);
}

TEST_F(CacheDirTest, AppendsAfterTheRowsAlreadyThere)
{
    writeListing({entry("\\\\PC\\S\\x.txt"), folder("\\\\PC\\S\\sub")});
    writeListing({entry("\\\\PC\\S\\sub\\y.txt")}, false);
    run("\\\\PC\\S\\");
    ASSERT_EQ(folderPaths, (std::vector<std::string>{"\\\\PC\\S\\sub\\"}));
    run(folderPaths[0]);
    EXPECT_EQ(rowCaptions(), (QStringList{"sub", "x.txt", "y.txt"}));
    EXPECT_EQ(view.model()->item(2).SubItems.value(1), QStringLiteral("\\\\PC\\S\\sub\\"));
    EXPECT_EQ(completions, 2);
}

TEST_F(CacheDirTest, StoppedDuringTheItemsBalancedAndWithoutCompletion)
{
    TItemList items;
    for (int i = 0; i < 20000; ++i)
        items.push_back(entry("\\\\PC\\S\\file" + std::to_string(100000 + i) + ".txt", uint32_t(i)));
    writeListing(items);
    view.setViewStyle(TListView::Details);
    QPointer<TObjCacheDir> lister;
    int updatesSeenOpen = 0;
    QObject::connect(view.model(), &QAbstractItemModel::rowsInserted, [&] {
        updatesSeenOpen = view.updateCount();
        if (lister)
            lister->Terminate();
    });
    run("\\\\PC\\S\\", [&](TObjCacheDir* worker) { lister = worker; });
    EXPECT_EQ(updatesSeenOpen, 1);
    EXPECT_EQ(completions, 0);
    EXPECT_GT(view.model()->rowCount(), 0);
    EXPECT_LT(view.model()->rowCount(), 20000);
    EXPECT_EQ(view.updateCount(), 0);
    // Nothing of a stopped listing reaches the icon key list either.
    EXPECT_TRUE(images.IconKeys.isEmpty());
}

TEST_F(CacheDirTest, IconsOncePerExtensionAndNoneForOwnIconFiles)
{
    TItemList items;
    for (int i = 0; i < 10; ++i)
        items.push_back(entry("\\\\PC\\S\\note" + std::to_string(i) + ".txt"));
    items.push_back(entry("\\\\PC\\S\\setup.exe"));
    items.push_back(entry("\\\\PC\\S\\app.EXE"));
    items.push_back(entry("\\\\PC\\S\\noext"));
    writeListing(items);
    run("\\\\PC\\S\\");
    EXPECT_EQ(images.IconKeys.count(QStringLiteral(".TXT")), 1);
    EXPECT_EQ(images.IconKeys.filter(QStringLiteral("EXE"), Qt::CaseInsensitive).size(), 0);
    EXPECT_EQ(images.SImageList.count(), TImageLists::kFixedImages + images.IconKeys.size());
    // A second listing finds the key and adds no image.
    const int imagesBefore = images.SImageList.count();
    view.model()->clear();
    run("\\\\PC\\S\\");
    EXPECT_EQ(images.SImageList.count(), imagesBefore);
    EXPECT_EQ(images.IconKeys.count(QStringLiteral(".TXT")), 1);
}

} // namespace
