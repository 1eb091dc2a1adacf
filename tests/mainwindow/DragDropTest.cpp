// Drags from the list and the tree of the real window, and drops onto them as the desktop
// or the window itself delivers them: files copied and moved through the file operation
// engine, records moved and copied between bookmark folders through the node store.
#include <gtest/gtest.h>

#include "mainwindow/BrowseFixture.h"
#include "mainwindow/DragCursors.h"
#include "mainwindow/FileMimeData.h"
#include "platform/DriveMap.h"
#include "platform/FileAccess.h"
#include "store/NodeFile.h"
#include "store/TNodeData.h"
#include "support/SmbTestServer.h"

#include <QAbstractItemView>
#include <QDrag>
#include <QScrollBar>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QTimer>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

#include <algorithm>
#include <fstream>

namespace {

constexpr Qt::DropActions kCopyOrMove = Qt::CopyAction | Qt::MoveAction;

struct DragAnswer {
    bool accepted = false;
    Qt::DropAction action = Qt::IgnoreAction;
};

class DragDropTest : public BrowseFixture {
protected:
    QWidget* listViewport() const { return m_form->fileListView()->currentView()->viewport(); }
    QWidget* treeViewport() const { return m_form->FolderTreeView->viewport(); }

    static void mouse(QWidget* viewport, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QMouseEvent event(type, QPointF(at), QPointF(viewport->mapToGlobal(at)), button, held, Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    }
    static void press(QWidget* viewport, QPoint at) { mouse(viewport, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton); }
    static void moveHeld(QWidget* viewport, QPoint at) { mouse(viewport, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton); }

    QPoint rowPoint(const char* caption) const
    {
        const TListModel* model = m_form->fileListView()->model();
        const int row = model->findCaption(QString::fromUtf8(caption));
        EXPECT_GE(row, 0) << caption;
        // A view that was just filled lays its rows out on a later pass of the event loop.
        QAbstractItemView* view = m_form->fileListView()->currentView();
        QElapsedTimer waited;
        waited.start();
        while (view->visualRect(model->index(row, 0)).isEmpty() && waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return view->visualRect(model->index(row, 0)).center();
    }
    QPoint nodePoint(QTreeWidgetItem* node) const
    {
        m_form->FolderTreeView->scrollToItem(node);
        return m_form->FolderTreeView->visualItemRect(node).center();
    }

    static DragAnswer enter(QWidget* viewport, QPoint at, const QMimeData& data, Qt::KeyboardModifiers keys = {})
    {
        QDragEnterEvent event(at, kCopyOrMove, &data, Qt::LeftButton, keys);
        QApplication::sendEvent(viewport, &event);
        return {event.isAccepted(), event.dropAction()};
    }
    static DragAnswer drop(QWidget* viewport, QPoint at, const QMimeData& data, Qt::KeyboardModifiers keys = {})
    {
        QDropEvent event(QPointF(at), kCopyOrMove, &data, Qt::LeftButton, keys);
        QApplication::sendEvent(viewport, &event);
        return {event.isAccepted(), event.dropAction()};
    }
    /// Enters, drops and waits until the window has carried out the drop.
    DragAnswer dropOnto(QWidget* viewport, QPoint at, const QMimeData& data, Qt::KeyboardModifiers keys = {})
    {
        enter(viewport, at, data, keys);
        const DragAnswer answer = drop(viewport, at, data, keys);
        waitUntil([this] { return m_form->UpdateAllowed && m_form->shell()->JobCount == 0; });
        return answer;
    }

    /// Files as the desktop drags them: file URLs only.
    std::unique_ptr<QMimeData> desktopFiles(std::initializer_list<const char*> names) const
    {
        auto data = std::make_unique<QMimeData>();
        QList<QUrl> urls;
        for (const char* name : names)
            urls << QUrl::fromLocalFile(QString::fromStdString(m_drive.path(name)));
        data->setUrls(urls);
        return data;
    }
    bool exists(const char* name) const { return std::filesystem::exists(m_drive.path(name)); }

    void showFolder(QTreeWidgetItem* node, const char* expected)
    {
        m_form->FolderTreeView->setCurrentItem(node);
        ASSERT_TRUE(waitUntil([&] { return listCaptions().contains(QString::fromUtf8(expected)); }, 15000))
            << listCaptions().join(' ').toStdString();
        // Rows still arriving move the ones already shown, and a press aimed at one would
        // land beside it: wait for the whole folder.
        const TNodeData* data = GetNodeData(node);
        const std::string native = data->RootKind == LocalRoot ? NativePath(data->RemoteName) : std::string();
        if (!native.empty()) {
            const auto entries = std::distance(std::filesystem::directory_iterator(native), {});
            ASSERT_TRUE(waitUntil([&] { return listCaptions().size() == entries; }, 15000))
                << listCaptions().join(' ').toStdString();
        }
        QCoreApplication::processEvents();
    }
};

TEST_F(DragDropTest, AListDragStartsAtTenPixelsAndCarriesTheSelectedPaths)
{
    makeFolder("src/inner");
    m_drive.writeFile("src/a.txt", "a");
    m_drive.writeFile("src/b.txt", "b");
    openForm();
    driveD()->setExpanded(true);
    showFolder(child(driveD(), "src"), "a.txt");

    const QPoint start = rowPoint("a.txt");
    press(listViewport(), start);
    moveHeld(listViewport(), start + QPoint(9, 0));
    moveHeld(listViewport(), start + QPoint(0, -9));
    EXPECT_TRUE(m_form->dragEntries().empty());
    moveHeld(listViewport(), start + QPoint(0, 10));
    EXPECT_EQ(m_form->dragEntries(), std::vector<std::string>{"D:\\src\\a.txt"});

    // A press on one of several selected items drags them all, in list order.
    QItemSelectionModel* selection = m_form->fileListView()->selectionModel();
    const TListModel* model = m_form->fileListView()->model();
    for (const char* name : {"b.txt", "a.txt"})
        selection->select(model->index(model->findCaption(QString::fromLatin1(name)), 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    press(listViewport(), rowPoint("b.txt"));
    moveHeld(listViewport(), rowPoint("b.txt") + QPoint(10, 0));
    EXPECT_EQ(m_form->dragEntries(), (std::vector<std::string>{"D:\\src\\a.txt", "D:\\src\\b.txt"}));

    // From the tree, the pressed node's folder, without its separator.
    const QPoint node = nodePoint(child(driveD(), "src"));
    press(treeViewport(), node);
    moveHeld(treeViewport(), node + QPoint(-12, 3));
    EXPECT_EQ(m_form->dragEntries(), std::vector<std::string>{"D:\\src"});
}

TEST_F(DragDropTest, DesktopFilesDroppedOnAFolderNodeAreCopiedOrMovedByTheKeys)
{
    makeFolder("src");
    makeFolder("dst");
    m_drive.writeFile("src/a.txt", "alpha");
    m_drive.writeFile("src/b.txt", "beta");
    openForm();
    driveD()->setExpanded(true);
    QTreeWidgetItem* target = child(driveD(), "dst");
    ASSERT_NE(target, nullptr);
    const QPoint at = nodePoint(target);

    // Ctrl copies; the target is marked and the update timer held while the drag is over.
    auto files = desktopFiles({"src/a.txt"});
    const DragAnswer over = enter(treeViewport(), at, *files, Qt::ControlModifier);
    EXPECT_TRUE(over.accepted);
    EXPECT_EQ(over.action, Qt::CopyAction);
    EXPECT_EQ(m_form->treeDropMark(), target);
    EXPECT_FALSE(m_form->UpdateAllowed);
    const DragAnswer copied = drop(treeViewport(), at, *files, Qt::ControlModifier);
    EXPECT_TRUE(copied.accepted);
    EXPECT_EQ(m_form->treeDropMark(), nullptr);
    ASSERT_TRUE(waitUntil([this] { return exists("dst/a.txt") && m_form->shell()->JobCount == 0; }));
    EXPECT_EQ(m_drive.readFile("dst/a.txt"), "alpha");
    EXPECT_TRUE(exists("src/a.txt"));
    EXPECT_TRUE(m_form->UpdateAllowed);

    // No key moves.
    files = desktopFiles({"src/b.txt"});
    EXPECT_EQ(dropOnto(treeViewport(), nodePoint(target), *files).action, Qt::MoveAction);
    ASSERT_TRUE(waitUntil([this] { return exists("dst/b.txt") && !exists("src/b.txt"); }));
    EXPECT_EQ(m_drive.readFile("dst/b.txt"), "beta");
    EXPECT_TRUE(m_shellErrors.isEmpty()) << m_shellErrors.join('\n').toStdString();

    // Back onto the folder they are in: nothing to do, so nothing is offered.
    files = desktopFiles({"dst/a.txt"});
    EXPECT_EQ(enter(treeViewport(), nodePoint(target), *files).action, Qt::IgnoreAction);
    EXPECT_FALSE(drop(treeViewport(), nodePoint(target), *files).accepted);
    // Onto a drive: a copy even without a key.
    files = desktopFiles({"dst/a.txt"});
    EXPECT_EQ(dropOnto(treeViewport(), nodePoint(driveD()), *files).action, Qt::CopyAction);
    ASSERT_TRUE(waitUntil([this] { return exists("a.txt"); }));
    EXPECT_TRUE(exists("dst/a.txt"));
}

TEST_F(DragDropTest, AFolderItemOfTheListTakesDropsBeforeTheTreeHasLoadedIt)
{
    makeFolder("src/inner");
    makeFolder("other");
    m_drive.writeFile("other/c.txt", "gamma");
    openForm();
    driveD()->setExpanded(true);
    // The folder is listed, its subfolders are not nodes of the tree yet.
    showFolder(child(driveD(), "src"), "inner");
    ASSERT_EQ(child(child(driveD(), "src"), "inner"), nullptr);

    const auto files = desktopFiles({"other/c.txt"});
    const DragAnswer answer = dropOnto(listViewport(), rowPoint("inner"), *files, Qt::ShiftModifier);
    EXPECT_EQ(answer.action, Qt::CopyAction);
    ASSERT_TRUE(waitUntil([this] { return exists("src/inner/c.txt"); }));
    EXPECT_TRUE(exists("other/c.txt"));
    EXPECT_EQ(m_form->listDropMark(), -1);
}

TEST_F(DragDropTest, ADragHeldNearAnEdgeOfTheTreeKeepsItScrollingUntilItLeaves)
{
    for (int k = 0; k < 80; k++)
        makeFolder("many/f" + std::to_string(100 + k));
    openForm();
    driveD()->setExpanded(true);
    QTreeWidgetItem* many = child(driveD(), "many");
    ASSERT_NE(many, nullptr);
    many->setExpanded(true);
    ASSERT_TRUE(waitUntil([&] { return many->childCount() == 80; }, 15000));
    m_form->FolderTreeView->scrollToTop();
    QScrollBar* bar = m_form->FolderTreeView->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 10);

    const auto files = desktopFiles({"many/f100"});
    const QPoint nearBottom(treeViewport()->width() / 2, treeViewport()->height() - 5);
    ASSERT_TRUE(enter(treeViewport(), nearBottom, *files).accepted);
    const int afterEvent = bar->value();
    EXPECT_GT(afterEvent, 0);
    // No further events: the drag stays where it is, and the tree goes on scrolling.
    ASSERT_TRUE(waitUntil([&] { return bar->value() >= afterEvent + 3; }, 5000)) << bar->value();
    QDragLeaveEvent leave;
    QApplication::sendEvent(treeViewport(), &leave);
    const int atLeave = bar->value();
    // The leave stops the timers that scroll: nothing is left to move the tree.
    auto* dragScroll = m_form->findChild<QTimer*>(QStringLiteral("DragScrollTimer"));
    ASSERT_NE(dragScroll, nullptr);
    EXPECT_FALSE(dragScroll->isActive());
    EXPECT_FALSE(m_form->findChild<QTimer*>(QStringLiteral("ScrollTimer"))->isActive());
    QCoreApplication::processEvents();
    EXPECT_EQ(bar->value(), atLeave);
    EXPECT_TRUE(m_form->UpdateAllowed);
}

TEST(DragCursors, SixPicturesAndTheScrollingFormsWhileTheTreeScrolls)
{
    const TDragCursors cursors;
    for (int kind = 0; kind < TDragCursors::Count; ++kind) {
        const QPixmap& picture = cursors.picture(TDragCursors::Kind(kind));
        ASSERT_FALSE(picture.isNull()) << kind;
        EXPECT_EQ(picture.size(), QSize(48, 48));
        // The arrow's tip is where a cursor made from a picture points: its centre.
        EXPECT_GT(qAlpha(picture.toImage().pixel(24, 24)), 0) << kind;
        for (int other = 0; other < kind; ++other)
            EXPECT_NE(picture.toImage(), cursors.picture(TDragCursors::Kind(other)).toImage()) << kind << " " << other;
    }

    QObject owner;
    auto* drag = new QDrag(&owner);
    cursors.applyTo(*drag, false);
    EXPECT_EQ(drag->dragCursor(Qt::CopyAction).toImage(), cursors.picture(TDragCursors::Copy).toImage());
    EXPECT_EQ(drag->dragCursor(Qt::MoveAction).toImage(), cursors.picture(TDragCursors::Move).toImage());
    EXPECT_EQ(drag->dragCursor(Qt::LinkAction).toImage(), cursors.picture(TDragCursors::Link).toImage());
    cursors.applyTo(*drag, true);
    EXPECT_EQ(drag->dragCursor(Qt::CopyAction).toImage(), cursors.picture(TDragCursors::CopyScroll).toImage());
    EXPECT_EQ(drag->dragCursor(Qt::MoveAction).toImage(), cursors.picture(TDragCursors::MoveScroll).toImage());
    EXPECT_EQ(drag->dragCursor(Qt::LinkAction).toImage(), cursors.picture(TDragCursors::LinkScroll).toImage());
}

// Drops onto a folder of a share, on an smbd of the test's own on loopback.
class ShareDropTest : public WithSmbServer<DragDropTest> {
protected:
    static std::string onShare(const std::string& name) { return s_server->folder("public") + "/拖放/" + name; }
};

TEST_F(ShareDropTest, FilesDroppedOnAShareFolderAreCopiedAndMovedThere)
{
    std::filesystem::create_directories(onShare(""));
    m_drive.writeFile("a.txt", "alpha");
    m_drive.writeFile("b.txt", "beta");
    openForm();
    go("\\\\127.0.0.1\\公開\\拖放");
    ASSERT_TRUE(waitUntil([this] { return shownFolder() == "\\\\127.0.0.1\\公開\\拖放\\"; }))
        << m_errors.join('\n').toStdString();
    QTreeWidgetItem* folder = m_form->FolderTreeView->currentItem();

    auto files = desktopFiles({"a.txt"});
    EXPECT_EQ(dropOnto(treeViewport(), nodePoint(folder), *files, Qt::ControlModifier).action, Qt::CopyAction);
    EXPECT_TRUE(waitUntil([] { return std::filesystem::exists(onShare("a.txt")); }));
    EXPECT_TRUE(exists("a.txt"));

    // Onto the list of the shown share folder, a move.
    files = desktopFiles({"b.txt"});
    const QPoint empty = listViewport()->rect().bottomRight() - QPoint(4, 4);
    EXPECT_EQ(dropOnto(listViewport(), empty, *files).action, Qt::MoveAction);
    EXPECT_TRUE(waitUntil([this] { return std::filesystem::exists(onShare("b.txt")) && !exists("b.txt"); }));
    std::ifstream moved(onShare("b.txt"));
    std::string text;
    moved >> text;
    EXPECT_EQ(text, "beta");
    EXPECT_TRUE(m_shellErrors.isEmpty()) << m_shellErrors.join('\n').toStdString();
}

class RecordDragTest : public DragDropTest {
protected:
    std::string bookmarkFolder() const { return SetupInfo.CachePath + "Bookmark\\"; }

    void storeRecord(const char* caption, uint16_t attributes, const std::string& folder)
    {
        TNodeData data;
        data.Caption = data.Key = caption;
        data.NodeAttributes = attributes;
        data.RootKind = BookmarkRoot;
        data.RemoteName = "D:\\";
        data.StoreDir = folder;
        data.State = Idle;
        ForceDirectories(folder);
        WriteNodeRecord(data);
    }
    static std::vector<std::string> liveKeys(const std::string& folder)
    {
        TNodeList records;
        LoadNodeFile(folder, records, false);
        std::vector<std::string> keys;
        for (const auto& record : records)
            keys.push_back(record->Key);
        std::sort(keys.begin(), keys.end());
        return keys;
    }
    QTreeWidgetItem* bookmark(const char* caption) const { return child(m_form->bookmarkRoot(), caption); }
};

TEST_F(RecordDragTest, ARecordMovesAndCopiesBetweenBookmarkFoldersWithItsCache)
{
    storeRecord("A", Domain, bookmarkFolder());
    storeRecord("B", Domain, bookmarkFolder());
    storeRecord("X", Domain, bookmarkFolder() + "A\\");
    storeRecord("Y", Bookmark | Folder, bookmarkFolder() + "A\\X\\");
    openForm();
    ASSERT_NE(bookmark("A"), nullptr);
    bookmark("A")->setExpanded(true);
    showFolder(bookmark("A"), "X");

    // Dragged from the list of its folder, the record travels with its node.
    const QPoint start = rowPoint("X");
    press(listViewport(), start);
    moveHeld(listViewport(), start + QPoint(10, 10));
    ASSERT_EQ(m_form->dragEntries(), std::vector<std::string>{"5" + bookmarkFolder() + "A\\X"});
    auto records = FileMime::MakeFileData(m_form->dragEntries(), false);

    // Not onto a local folder, not into the folder it is in.
    EXPECT_EQ(enter(treeViewport(), nodePoint(driveD()), *records).action, Qt::IgnoreAction);
    EXPECT_EQ(enter(treeViewport(), nodePoint(bookmark("A")), *records).action, Qt::IgnoreAction);
    EXPECT_FALSE(drop(treeViewport(), nodePoint(bookmark("A")), *records).accepted);
    m_form->FolderTreeView->scrollToTop();

    EXPECT_EQ(dropOnto(treeViewport(), nodePoint(bookmark("B")), *records).action, Qt::MoveAction);
    EXPECT_EQ(liveKeys(bookmarkFolder() + "B\\"), std::vector<std::string>{"X"});
    EXPECT_TRUE(liveKeys(bookmarkFolder() + "A\\").empty());
    EXPECT_EQ(liveKeys(bookmarkFolder() + "B\\X\\"), std::vector<std::string>{"Y"});
    EXPECT_FALSE(DirectoryExists(bookmarkFolder() + "A\\X"));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();

    // The branch was read again: the tree shows the record in its new folder.
    ASSERT_NE(bookmark("B"), nullptr);
    bookmark("B")->setExpanded(true);
    bookmark("A")->setExpanded(true);
    EXPECT_NE(child(bookmark("B"), "X"), nullptr);
    EXPECT_EQ(child(bookmark("A"), "X"), nullptr);

    // From the tree with Ctrl it is copied back: both folders hold it, each with its cache.
    const QPoint node = nodePoint(child(bookmark("B"), "X"));
    press(treeViewport(), node);
    moveHeld(treeViewport(), node + QPoint(0, 11));
    ASSERT_EQ(m_form->dragEntries(), std::vector<std::string>{"5" + bookmarkFolder() + "B\\X"});
    records = FileMime::MakeFileData(m_form->dragEntries(), false);
    EXPECT_EQ(dropOnto(treeViewport(), nodePoint(bookmark("A")), *records, Qt::ControlModifier).action, Qt::CopyAction);
    EXPECT_EQ(liveKeys(bookmarkFolder() + "A\\"), std::vector<std::string>{"X"});
    EXPECT_EQ(liveKeys(bookmarkFolder() + "B\\"), std::vector<std::string>{"X"});
    EXPECT_EQ(liveKeys(bookmarkFolder() + "A\\X\\"), std::vector<std::string>{"Y"});
    EXPECT_EQ(liveKeys(bookmarkFolder() + "B\\X\\"), std::vector<std::string>{"Y"});

    // A third drop onto a folder that holds the key already leaves both records alone.
    records = FileMime::MakeFileData(m_form->dragEntries(), false);
    dropOnto(treeViewport(), nodePoint(bookmark("A")), *records);
    EXPECT_EQ(liveKeys(bookmarkFolder() + "A\\"), std::vector<std::string>{"X"});
    EXPECT_EQ(liveKeys(bookmarkFolder() + "B\\"), std::vector<std::string>{"X"});
}

TEST_F(RecordDragTest, RecordsFromAnotherProcessAreRefused)
{
    storeRecord("A", Domain, bookmarkFolder());
    storeRecord("B", Domain, bookmarkFolder());
    openForm();
    QMimeData foreign;
    foreign.setData(FileMime::EntriesType, QByteArray("1") + QByteArray(1, '\0') + "5" + QByteArray::fromStdString(bookmarkFolder()) + "A");
    ASSERT_NE(bookmark("B"), nullptr);
    EXPECT_FALSE(enter(treeViewport(), nodePoint(bookmark("B")), foreign).accepted);
    // Not taken, so nothing holds the update timer.
    EXPECT_TRUE(m_form->UpdateAllowed);
    EXPECT_FALSE(drop(treeViewport(), nodePoint(bookmark("B")), foreign).accepted);
    QApplication::processEvents();
    EXPECT_EQ(liveKeys(bookmarkFolder()), (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(liveKeys(bookmarkFolder() + "B\\").empty());
}

} // namespace
