// Drag and drop with an FTP site of the main window, against pyftpdlib on loopback:
// desktop files dropped on the site are uploaded, the site's files dropped on a local
// folder are downloaded, and the desktop receives them through data fetched on request.
#include <gtest/gtest.h>

#include "mainwindow/FileMimeData.h"
#include "mainwindow/FtpDragData.h"
#include "network/FtpWindowFixture.h"
#include "platform/DriveMap.h"

#include <QAbstractItemView>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace {

constexpr Qt::DropActions kCopyOrMove = Qt::CopyAction | Qt::MoveAction;

class FtpDragDropTest : public FtpWindowFixture {
protected:
    QWidget* listViewport() const { return m_form->fileListView()->currentView()->viewport(); }
    QWidget* treeViewport() const { return m_form->FolderTreeView->viewport(); }

    static Qt::DropAction enter(QWidget* viewport, QPoint at, const QMimeData& data, Qt::KeyboardModifiers keys = {})
    {
        QDragEnterEvent event(at, kCopyOrMove, &data, Qt::LeftButton, keys);
        QApplication::sendEvent(viewport, &event);
        return event.isAccepted() ? event.dropAction() : Qt::IgnoreAction;
    }
    Qt::DropAction dropOnto(QWidget* viewport, QPoint at, const QMimeData& data, Qt::KeyboardModifiers keys = {})
    {
        enter(viewport, at, data, keys);
        QDropEvent event(QPointF(at), kCopyOrMove, &data, Qt::LeftButton, keys);
        QApplication::sendEvent(viewport, &event);
        waitUntil([this] { return m_form->UpdateAllowed; });
        return event.isAccepted() ? event.dropAction() : Qt::IgnoreAction;
    }
    QPoint drivePoint() const
    {
        m_form->FolderTreeView->scrollToItem(driveD());
        return m_form->FolderTreeView->visualItemRect(driveD()).center();
    }
    /// Drags the list item `caption` ten pixels, as the mouse would.
    void dragListItem(const char* caption)
    {
        QAbstractItemView* view = m_form->fileListView()->currentView();
        const TListModel* model = m_form->fileListView()->model();
        const QPoint at = view->visualRect(model->index(model->findCaption(QString::fromUtf8(caption)), 0)).center();
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), QPointF(view->viewport()->mapToGlobal(at)), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &press);
        const QPoint to = at + QPoint(10, 0);
        QMouseEvent move(QEvent::MouseMove, QPointF(to), QPointF(view->viewport()->mapToGlobal(to)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &move);
    }
    bool onDrive(const char* name) const { return std::filesystem::exists(m_drive.path(name)); }
};

TEST_F(FtpDragDropTest, DesktopFilesDroppedOnTheSiteAreUploadedAndListed)
{
    makeFolder("up/folder");
    m_drive.writeFile("up/u1.txt", "one");
    m_drive.writeFile("up/u2.txt", "two");
    TFTPEnumForm* window = connectSite();
    ASSERT_NE(window, nullptr) << m_errors.join('\n').toStdString();

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QString::fromStdString(m_drive.path("up/u1.txt"))),
                   QUrl::fromLocalFile(QString::fromStdString(m_drive.path("up/u2.txt"))),
                   QUrl::fromLocalFile(QString::fromStdString(m_drive.path("up/folder")))});
    // Below the last item: the shown site itself takes the drop, as a copy without a key.
    const QPoint empty = listViewport()->rect().bottomRight() - QPoint(4, 4);
    EXPECT_EQ(dropOnto(listViewport(), empty, files), Qt::CopyAction);
    EXPECT_EQ(m_drive.readFile("ftproot/u1.txt"), "one");
    EXPECT_EQ(m_drive.readFile("ftproot/u2.txt"), "two");
    // The site window carries folders over as well.
    EXPECT_TRUE(std::filesystem::is_directory(m_drive.path("ftproot/folder")));
    EXPECT_TRUE(onDrive("up/u1.txt"));
    EXPECT_TRUE(window->logText().contains(QStringLiteral("上傳:")));
    EXPECT_TRUE(waitUntil([this] { return listCaptions().contains(QStringLiteral("u2.txt")); }))
        << listCaptions().join(' ').toStdString();
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(FtpDragDropTest, SiteFilesDroppedOnALocalFolderAreDownloaded)
{
    TFTPEnumForm* window = connectSite();
    ASSERT_NE(window, nullptr) << m_errors.join('\n').toStdString();
    dragListItem("a.txt");
    ASSERT_EQ(m_form->dragEntries(), std::vector<std::string>{"1\\a.txt"});

    // The drag comes back into this window as the program's own entries: a download,
    // always a copy, through the site window the drag started from.
    const auto entries = FileMime::MakeFileData(m_form->dragEntries(), false);
    EXPECT_EQ(dropOnto(treeViewport(), drivePoint(), *entries, Qt::ShiftModifier), Qt::CopyAction);
    EXPECT_EQ(m_drive.readFile("a.txt"), "text");
    EXPECT_TRUE(onServer("a.txt"));
    EXPECT_TRUE(window->logText().contains(QStringLiteral("下載:")));

    // Another process's FTP entries name a site only that process is connected to.
    QMimeData foreign;
    foreign.setData(FileMime::EntriesType, QByteArray("1") + QByteArray(1, '\0') + "1\\b.txt");
    EXPECT_EQ(enter(treeViewport(), drivePoint(), foreign), Qt::IgnoreAction);
    EXPECT_TRUE(m_form->UpdateAllowed);
    EXPECT_FALSE(onDrive("b.txt"));
}

TEST_F(FtpDragDropTest, TheDesktopGetsTheItemsDownloadedWhenItAsksForThem)
{
    m_drive.writeFile("ftproot/docs/inner.txt", "deep");
    TFTPEnumForm* window = connectSite();
    ASSERT_NE(window, nullptr) << m_errors.join('\n').toStdString();

    TFtpDragData data({"1\\b.txt", "2\\docs"}, window, SetupInfo.TempPath);
    EXPECT_TRUE(data.hasUrls());
    EXPECT_TRUE(data.formats().contains(FileMime::EntriesType));
    // Nothing is fetched until the data is asked for.
    EXPECT_TRUE(data.downloadFolder().empty());
    EXPECT_EQ(FileMime::EntriesOf(data).entries, (std::vector<std::string>{"1\\b.txt", "2\\docs"}));
    EXPECT_TRUE(data.downloadFolder().empty());

    const QList<QUrl> urls = data.urls();
    ASSERT_EQ(urls.size(), 2) << m_errors.join('\n').toStdString();
    const std::string folder = NativePath(data.downloadFolder());
    const std::string temp = NativePath(SetupInfo.TempPath);
    EXPECT_EQ(folder.rfind(temp, 0), 0u) << folder;
    EXPECT_EQ(urls[0].toLocalFile().toStdString(), folder + "b.txt");
    EXPECT_EQ(urls[1].toLocalFile().toStdString(), folder + "docs");
    std::ifstream file(folder + "docs/inner.txt");
    std::string text;
    file >> text;
    EXPECT_EQ(text, "deep");

    // Asked again, the same files: no second download into a second folder.
    const std::string first = data.downloadFolder();
    EXPECT_EQ(data.urls(), urls);
    EXPECT_EQ(data.downloadFolder(), first);
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();

    // A later start clears the folders of drags done long ago and the files downloaded to
    // be opened more than a day ago, and nothing else.
    namespace fs = std::filesystem;
    const fs::path old = fs::path(temp) / "drag-old", keep = fs::path(temp) / "drag-keep";
    fs::create_directories(old / "inner");
    std::ofstream(old / "inner" / "x.txt") << "x";
    fs::create_directories(fs::path(temp) / "other");
    fs::create_symlink(old, fs::path(temp) / "drag-link");
    const auto longAgo = fs::file_time_type::clock::now() - std::chrono::hours(3);
    for (const fs::path& path : {old, fs::path(temp) / "other"})
        fs::last_write_time(path, longAgo);
    fs::create_directories(keep);
    const fs::path oldCopy = fs::path(temp) / "opened long ago.txt", newCopy = fs::path(temp) / "opened today.txt";
    std::ofstream(oldCopy) << "a";
    std::ofstream(newCopy) << "b";
    fs::last_write_time(oldCopy, fs::file_time_type::clock::now() - std::chrono::hours(25));
    fs::last_write_time(newCopy, longAgo);
    RemoveOldTempItems(SetupInfo.TempPath, std::chrono::hours(1), std::chrono::hours(24));
    EXPECT_FALSE(fs::exists(oldCopy));
    EXPECT_TRUE(fs::exists(newCopy));
    EXPECT_FALSE(fs::exists(old));
    EXPECT_TRUE(fs::exists(keep));
    EXPECT_TRUE(fs::exists(folder + "b.txt")) << "a drop of this hour";
    EXPECT_TRUE(fs::exists(fs::path(temp) / "other"));
    EXPECT_TRUE(fs::is_symlink(fs::path(temp) / "drag-link"));
}

} // namespace
