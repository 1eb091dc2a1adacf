#include "local/TImageLists.h"
#include "local/TObjLocalDir.h"
#include "ui/TListView.h"

#include "support/TestDrives.h"
#include "local/TempTree.h"
#include "local/WaitFor.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QRegularExpression>

#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class LocalDirTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        MapTestDrives(tree.root());
    }
    void TearDown() override { RefreshDriveMap(); }

    // Lists `relative` (a folder of the tree) and waits for the end; the worker frees itself.
    bool list(const std::string& relative, int style = TListView::Details)
    {
        view.setViewStyle(style);
        runState = 0;
        auto* worker = new TObjLocalDir(&view, &images, QString::fromStdString(windowsPath(relative)));
        worker->OnStatus = [this](TObjLocalDir* w) {
            runState = w->RunState;
            if (w->RunState == 5) {
                completed = w->Completed;
                files = w->FileTotal;
                folders = w->FolderTotal;
                bytes = w->ByteTotal;
                errorText = w->ErrorText;
            }
        };
        worker->OnItemImage = [this](int item, int image) { view.model()->setImageIndex(item, image); };
        QPointer<TObjLocalDir> alive(worker);
        worker->StartListing();
        // Its end: every call it makes to the window thread, its release, has been made.
        return WaitFor([this] { return runState == 5; }, 20000) && WaitFor([&] { return alive.isNull(); }, 20000);
    }
    std::string windowsPath(const std::string& relative) const
    {
        return relative.empty() ? std::string("D:\\") : "D:\\" + relative + "\\";
    }
    QString text(int row, int column) const
    {
        const TListModel* model = view.model();
        return column == 0 ? model->item(row).Caption : model->item(row).SubItems.value(column - 1);
    }
    int image(int row) const { return view.model()->item(row).ImageIndex; }

    TempTree tree;
    TListView view;
    TImageLists images;
    int runState = 0;
    bool completed = false;
    int files = -1, folders = -1;
    uint64_t bytes = 0;
    QString errorText;
};

TEST_F(LocalDirTest, DetailsTextsOrderAndTotals)
{
    tree.write("f/C.txt", std::string(1536, 'x'));
    tree.write("f/b.txt", "");
    tree.write("f/noext", "1");
    tree.mkdir("f/zeta");
    tree.mkdir("f/Alpha");
    tree.write("f/.hidden.txt", "ab");
    chmod(tree.path("f/.hidden.txt").c_str(), 0444);
    ASSERT_TRUE(list("f"));
    EXPECT_TRUE(completed);
    EXPECT_EQ(folders, 2);
    EXPECT_EQ(files, 4);
    EXPECT_EQ(bytes, 1539u);
    const TListModel* model = view.model();
    ASSERT_EQ(model->rowCount(), 6);
    EXPECT_EQ(view.updateCount(), 0);
    // Folders first whatever their letters; b before C; the locale's collation for the rest.
    EXPECT_EQ(text(0, 0), "Alpha");
    EXPECT_EQ(text(1, 0), "zeta");
    QStringList names;
    for (int r = 2; r < 6; ++r)
        names << text(r, 0);
    EXPECT_LT(names.indexOf("b.txt"), names.indexOf("C.txt"));
    const int c = names.indexOf("C.txt") + 2, hidden = names.indexOf(".hidden.txt") + 2, noext = names.indexOf("noext") + 2;
    EXPECT_EQ(text(c, 1), ".txt");
    EXPECT_EQ(text(c, 2), QString::fromStdString(windowsPath("f")));
    EXPECT_EQ(text(c, 3), "1.50KB");
    EXPECT_EQ(text(c, 4), "一般");
    EXPECT_EQ(text(hidden, 4), "隱藏,唯讀");
    EXPECT_EQ(text(0, 1), "");
    EXPECT_EQ(text(0, 3), "0.00KB");
    EXPECT_EQ(text(0, 4), "一般");
    EXPECT_EQ(text(noext, 1), "");
    EXPECT_EQ(image(noext), TImageLists::File);
    EXPECT_EQ(image(0), TImageLists::Folder);
    EXPECT_EQ(model->item(c).StateIndex, 1536u);
    EXPECT_EQ(text(c, 5).size(), 19);
    EXPECT_EQ(text(c, 5)[4], '/');
}

TEST_F(LocalDirTest, OtherStylesCarryNameEmptyAndFolder)
{
    tree.write("g/a.txt", "x");
    ASSERT_TRUE(list("g", TListView::List));
    ASSERT_EQ(view.model()->rowCount(), 1);
    EXPECT_EQ(view.model()->item(0).SubItems.size(), 2);
    EXPECT_EQ(text(0, 1), "");
    EXPECT_EQ(text(0, 2), QString::fromStdString(windowsPath("g")));
}

TEST_F(LocalDirTest, TextsOfAttributesDatesAndSizes)
{
    EXPECT_EQ(TObjLocalDir::AttributeText(0x10), "一般");
    EXPECT_EQ(TObjLocalDir::AttributeText(0x2 | 0x1 | 0x4 | 0x100 | 0x800), "隱藏,唯讀,系統,暫存,壓縮");
    EXPECT_EQ(TObjLocalDir::DateText(1e9), "未知");
    EXPECT_EQ(TObjLocalDir::DateText(36526.5), "2000/01/01 12:00:00");
    EXPECT_EQ(TObjLocalDir::SizeText(5ull << 30), "5,242,880.00KB");
    EXPECT_EQ(TObjLocalDir::Extension("a.tar.GZ"), ".GZ");
    EXPECT_EQ(TObjLocalDir::Extension("README"), "");
}

TEST_F(LocalDirTest, FilesOfFourGibibytesAndMoreShowAndAddUpWhole)
{
    const std::string path = tree.path("big/sparse.bin");
    tree.write("big/sparse.bin", "");
    tree.write("big/small.bin", std::string(1024, 'x'));
    ASSERT_EQ(truncate(path.c_str(), 5ll << 30), 0);
    ASSERT_TRUE(list("big"));
    EXPECT_EQ(bytes, (5ull << 30) + 1024);
    for (int r = 0; r < 2; ++r)
        if (text(r, 0) == "sparse.bin") {
            EXPECT_EQ(text(r, 3), "5,242,880.00KB");
            EXPECT_EQ(view.model()->item(r).StateIndex, 5ull << 30);
        }
}

TEST_F(LocalDirTest, EmptyAndMissingFolders)
{
    tree.mkdir("empty");
    ASSERT_TRUE(list("empty"));
    EXPECT_TRUE(completed);
    EXPECT_EQ(files, 0);
    EXPECT_EQ(folders, 0);
    ASSERT_TRUE(list("missing"));
    EXPECT_FALSE(completed);
    EXPECT_FALSE(errorText.isEmpty());
    EXPECT_EQ(view.model()->rowCount(), 0);
}

TEST_F(LocalDirTest, LongPathsAreCutTo255Characters)
{
    const std::string name(250, 'n');
    tree.write("l/" + name, "x");
    ASSERT_TRUE(list("l"));
    ASSERT_EQ(view.model()->rowCount(), 1);
    EXPECT_EQ(text(0, 2).size() + text(0, 0).size(), 255);
}

TEST_F(LocalDirTest, IconsKeyedOncePerExtensionAndShortcutsByName)
{
    tree.write("i/a.txt", "1");
    tree.write("i/b.TXT", "2");
    tree.write("i/c.txt", "3");
    tree.write("i/d.zzqq", "4");
    tree.write("i/prog.exe", "MZ");
    tree.write("i/run", "#!/bin/sh\n");
    chmod(tree.path("i/run").c_str(), 0755);
    ASSERT_EQ(symlink("a.txt", tree.path("i/link-to-a").c_str()), 0);
    ASSERT_EQ(symlink("prog.exe", tree.path("i/link-to-prog").c_str()), 0);
    tree.write("i/z.md", "# t");
    ASSERT_EQ(symlink("z.md", tree.path("i/0link").c_str()), 0);
    tree.write("i/app.desktop", "[Desktop Entry]\nType=Application\nName=App\nExec=true\nIcon=folder\n");
    ASSERT_TRUE(list("i"));
    // One key for all three text files; the link keyed by its own name with the same picture.
    EXPECT_EQ(images.IconKeys.filter(QRegularExpression("^\\.txt$", QRegularExpression::CaseInsensitiveOption)).size(), 1);
    const int txt = images.findKey(".TXT") + TImageLists::kFixedImages;
    std::map<QString, int> byName;
    for (int r = 0; r < view.model()->rowCount(); ++r)
        byName[text(r, 0)] = image(r);
    EXPECT_EQ(byName["a.txt"], txt);
    EXPECT_EQ(byName["b.TXT"], txt);
    EXPECT_EQ(byName["c.txt"], txt);
    EXPECT_EQ(byName["d.zzqq"], TImageLists::File);
    EXPECT_EQ(byName["prog.exe"], TImageLists::Program);
    EXPECT_EQ(byName["link-to-prog"], TImageLists::Shortcut);
    // A link to a type already known takes the known picture; one that meets its type
    // first keeps the picture under its own name.
    EXPECT_EQ(byName["link-to-a"], txt);
    EXPECT_EQ(images.findKey("link-to-a"), -1);
    EXPECT_GE(images.findKey("0link"), 0);
    EXPECT_EQ(byName["0link"], images.findKey("0link") + TImageLists::kFixedImages);
    EXPECT_EQ(byName["z.md"], TImageLists::kFixedImages + images.findKey(".md"));
    // The launcher's own picture replaces the shortcut picture in the second pass.
    EXPECT_EQ(byName["app.desktop"], images.findKey(QString::fromStdString(windowsPath("i")) + "app.desktop") + TImageLists::kFixedImages);
    EXPECT_GE(byName["app.desktop"], TImageLists::kFixedImages);
    EXPECT_EQ(byName["run"], TImageLists::Program);
    // Every key came with exactly one image of the view's size.
    EXPECT_EQ(images.SImageList.count(), images.IconKeys.size() + TImageLists::kFixedImages);
    EXPECT_EQ(images.SImageList.updateCount(), 0);
}

// A shell link file with only a link information block naming a local target.
std::string ShellLink(const std::string& target)
{
    auto le32 = [](std::string& out, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out += char((v >> (8 * i)) & 0xFF);
    };
    std::string link;
    le32(link, 0x4C);
    link.resize(20, '\0');
    le32(link, 0x2);  // link information present, no item id list
    link.resize(76, '\0');
    const uint32_t header = 0x1C;
    const uint32_t size = header + uint32_t(target.size()) + 2;
    le32(link, size);
    le32(link, header);
    le32(link, 0x1);     // local base path present
    le32(link, header);  // volume id (not read)
    le32(link, header);  // local base path
    le32(link, 0);
    le32(link, size - 1);  // empty common suffix
    link += target;
    link += '\0';
    link += '\0';
    return link;
}

TEST_F(LocalDirTest, LinkFilesShowTheirTargetsPicture)
{
    tree.write("k/a.txt", "1");
    tree.write("k/doc.lnk", ShellLink("C:\\dir\\readme.txt"));
    tree.write("k/prog.lnk", ShellLink("C:\\dir\\setup.exe"));
    tree.write("k/bad.lnk", "damaged");
    ASSERT_TRUE(list("k"));
    std::map<QString, int> byName;
    for (int r = 0; r < view.model()->rowCount(); ++r)
        byName[text(r, 0)] = image(r);
    EXPECT_EQ(byName["doc.lnk"], images.findKey(".txt") + TImageLists::kFixedImages);
    EXPECT_GE(byName["doc.lnk"], TImageLists::kFixedImages);
    EXPECT_EQ(byName["prog.lnk"], TImageLists::Shortcut);
    EXPECT_EQ(byName["bad.lnk"], TImageLists::Shortcut);
}

TEST_F(LocalDirTest, IconFilesShowTheirOwnPicture)
{
    QImage picture(16, 16, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    tree.mkdir("ico");
    ASSERT_TRUE(picture.save(QString::fromStdString(tree.path("ico/red.ico")), "ICO"));
    tree.write("ico/broken.ico", "not an icon");
    ASSERT_TRUE(list("ico", TListView::SmallIcons));
    for (int r = 0; r < 2; ++r) {
        if (text(r, 0) == "broken.ico")
            EXPECT_EQ(image(r), TImageLists::IconFile);
        else
            EXPECT_EQ(image(r), images.findKey(QString::fromStdString(windowsPath("ico")) + "red.ico") + TImageLists::kFixedImages);
    }
    EXPECT_EQ(images.SImageList.count(), TImageLists::kFixedImages + 1);
}

TEST_F(LocalDirTest, StoppedListerPutsNothingMoreAndSwitchShowsOnlyTheNewFolder)
{
    tree.mkdir("many");
    for (int i = 0; i < 20000; ++i)
        tree.write("many/file" + std::to_string(i) + ".dat", "");
    tree.write("other/only.txt", "x");
    view.setViewStyle(TListView::Details);
    auto* old = new TObjLocalDir(&view, &images, QString::fromStdString(windowsPath("many")));
    bool oldDone = false;
    old->OnTerminate = [&](TWorkerThread*) { oldDone = true; };
    QPointer<TObjLocalDir> watch(old);
    // Stopped from inside its first insertion, while it waits there for the window thread:
    // certainly mid-listing.
    bool armed = true;
    bool stoppedWhileRunning = false;
    QObject::connect(view.model(), &QAbstractItemModel::rowsInserted, [&] {
        if (!armed)
            return;
        armed = false;
        stoppedWhileRunning = old->isRunning();
        old->Terminate();
    });
    old->StartListing();
    ASSERT_TRUE(WaitFor([&] { return !armed; }, 20000));
    EXPECT_TRUE(stoppedWhileRunning);
    EXPECT_LT(view.model()->rowCount(), 20000);
    // The window's switch: clear the list and the per-folder images, then list the new one.
    view.model()->clear();
    images.resetListImages();
    ASSERT_TRUE(list("other"));
    ASSERT_TRUE(WaitFor([&] { return watch.isNull(); }, 20000));
    ASSERT_EQ(view.model()->rowCount(), 1);
    EXPECT_EQ(text(0, 0), "only.txt");
    EXPECT_FALSE(oldDone);
    EXPECT_EQ(view.updateCount(), 0);
    EXPECT_EQ(images.SImageList.count(), images.IconKeys.size() + TImageLists::kFixedImages);
}

TEST_F(LocalDirTest, ListClosedWhileListingIsLeftAlone)
{
    tree.mkdir("closing");
    for (int i = 0; i < 5000; ++i)
        tree.write("closing/f" + std::to_string(i) + ".txt", "");
    auto* list = new TListView;
    list->setViewStyle(TListView::Details);
    auto* worker = new TObjLocalDir(list, &images, QString::fromStdString(windowsPath("closing")));
    bool finished = false;
    worker->OnTerminate = [&](TWorkerThread*) { finished = true; };
    QPointer<TObjLocalDir> watch(worker);
    // The list goes right after the first insertion, before any later step of the worker.
    bool closed = false;
    bool closedWhileRunning = false;
    QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, list, [&] {
        if (closed)
            return;
        closed = true;
        closedWhileRunning = worker->isRunning();
        QMetaObject::invokeMethod(qApp, [&] { delete list; }, Qt::QueuedConnection);
    });
    worker->StartListing();
    ASSERT_TRUE(WaitFor([&] { return closed; }, 20000));
    EXPECT_TRUE(closedWhileRunning);
    ASSERT_TRUE(WaitFor([&] { return watch.isNull(); }, 20000));
    EXPECT_FALSE(finished);
    EXPECT_EQ(images.SImageList.updateCount(), 0);
}

} // namespace
