#include <gtest/gtest.h>

#include "BrowseFixture.h"
#include "local/UndoLog.h"
#include "mainwindow/FileMimeData.h"
#include "platform/Trash.h"
#include "resources/StringTable.h"
#include "support/PrivateMounts.h"
#include "support/SmbTestServer.h"
#include "ui/TStatusBar.h"

#include <QAction>
#include <QClipboard>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Entered before main(), while the program has one thread.
const PrivateMounts::Enter enterPrivateMounts;

// The Edit menu's clipboard and undo through the real window, on folders of drive D:.
class ClipboardTest : public BrowseFixture {
protected:
    void SetUp() override
    {
        BrowseFixture::SetUp();
        // Deletes with undo go to a trash of the test's own.
        setenv("XDG_DATA_HOME", m_drive.path("data").c_str(), 1);
        makeFolder("data");
        makeFolder("src/sub");
        m_drive.writeFile("src/a.txt", "alpha");
        m_drive.writeFile("src/sub/b.txt", "beta");
        makeFolder("dst");
        QGuiApplication::clipboard()->clear();
    }
    void TearDown() override
    {
        QGuiApplication::clipboard()->clear();
        BrowseFixture::TearDown();
    }

    QAction* entry(const char* name) const { return m_form->findChild<QAction*>(QString::fromLatin1(name)); }

    bool showFolder(const std::string& path)
    {
        if (!m_form->SelectLocalPath(path))
            return false;
        return waitUntil([this] { return m_form->statusBarPanels()->panelText(1).contains(QStringLiteral("資料夾,")); });
    }

    /// Selects list items as a click in the list does: the list takes the focus.
    void select(const QStringList& captions)
    {
        activate();
        m_form->fileListView()->currentView()->setFocus();
        QItemSelectionModel* selection = m_form->fileListView()->selectionModel();
        selection->clearSelection();
        for (const QString& caption : captions) {
            const int row = m_form->fileListView()->model()->findCaption(caption);
            ASSERT_GE(row, 0) << caption.toStdString();
            selection->select(m_form->fileListView()->model()->index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    /// Lets the queued enabled-state update and the jobs of the shell run out.
    bool settle()
    {
        return waitUntil([this] { return m_form->shell()->JobCount == 0 && !m_form->editUpdatePending(); });
    }

    static QList<QUrl> clipboardUrls()
    {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        return data ? data->urls() : QList<QUrl>();
    }

    bool exists(const std::string& name) const { return std::filesystem::exists(m_drive.path(name)); }

    void activate()
    {
        m_form->activateWindow();
        QApplication::setActiveWindow(m_form.get());
        QApplication::processEvents();
    }

    ScopedEnvironment m_trashEnvironment{"XDG_DATA_HOME"};
};

TEST_F(ClipboardTest, CopyAndPasteBetweenFolders)
{
    openForm();
    ASSERT_TRUE(showFolder("D:\\src"));
    select({});
    settle();
    EXPECT_FALSE(entry("C2")->isEnabled()) << "nothing selected";
    EXPECT_FALSE(entry("T3")->isEnabled());
    EXPECT_FALSE(entry("P1")->isEnabled()) << "nothing on the clipboard";

    select({"a.txt", "sub"});
    settle();
    ASSERT_TRUE(entry("C2")->isEnabled());
    EXPECT_TRUE(entry("T3")->isEnabled());
    entry("C2")->trigger();

    // The desktop's file managers read the copy: file URLs and their own list, marked "copy".
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    const QList<QUrl> urls = data->urls();
    ASSERT_EQ(urls.size(), 2);
    // In list order: folders first.
    EXPECT_EQ(urls[0].toLocalFile().toStdString(), m_drive.path("src/sub"));
    EXPECT_EQ(urls[1].toLocalFile().toStdString(), m_drive.path("src/a.txt"));
    EXPECT_TRUE(data->data(FileMime::GnomeCopiedFilesType).startsWith("copy\n"));
    settle();
    EXPECT_TRUE(entry("P1")->isEnabled());
    EXPECT_TRUE(entry("P1")->statusTip().contains(QLatin1Char('2'))) << entry("P1")->statusTip().toStdString();

    ASSERT_TRUE(showFolder("D:\\dst"));
    entry("P1")->trigger();
    ASSERT_TRUE(settle());
    EXPECT_EQ(m_drive.readFile("dst/a.txt"), "alpha");
    EXPECT_EQ(m_drive.readFile("dst/sub/b.txt"), "beta");
    EXPECT_TRUE(exists("src/a.txt")) << "a copy leaves the originals";
    EXPECT_FALSE(clipboardUrls().isEmpty()) << "a copy can be pasted again";
    EXPECT_FALSE(entry("U1")->isEnabled()) << "copies are not undone";
    EXPECT_TRUE(waitUntil([this] { return listCaptions().contains(QStringLiteral("a.txt")); }));

    // Into the folder the copies came from: the desktop's copy names, nothing replaced.
    ASSERT_TRUE(showFolder("D:\\src"));
    entry("P1")->trigger();
    ASSERT_TRUE(settle());
    const std::string suffix = LoadStr(44001);
    EXPECT_EQ(m_drive.readFile("src/a" + suffix + ".txt"), "alpha");
    EXPECT_EQ(m_drive.readFile("src/sub" + suffix + "/b.txt"), "beta");
    EXPECT_EQ(m_drive.readFile("src/a.txt"), "alpha");
    EXPECT_EQ(m_overwriteQuestions, 0);
}

TEST_F(ClipboardTest, CutPasteMovesOnceAndUndoMovesBack)
{
    openForm();
    ASSERT_TRUE(showFolder("D:\\src"));
    select({"a.txt", "sub"});
    settle();
    entry("T3")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data(FileMime::KdeCutType), QByteArray("1"));
    ASSERT_TRUE(showFolder("D:\\dst"));
    settle();
    EXPECT_TRUE(entry("P1")->statusTip().contains(QStringLiteral("剪下")));
    entry("P1")->trigger();
    ASSERT_TRUE(settle());
    EXPECT_EQ(m_drive.readFile("dst/a.txt"), "alpha");
    EXPECT_EQ(m_drive.readFile("dst/sub/b.txt"), "beta");
    EXPECT_FALSE(exists("src/a.txt"));
    EXPECT_FALSE(exists("src/sub"));
    EXPECT_TRUE(clipboardUrls().isEmpty()) << "cut files are pasted once";
    EXPECT_FALSE(entry("P1")->isEnabled());

    ASSERT_TRUE(entry("U1")->isEnabled());
    EXPECT_EQ(entry("U1")->statusTip(),
              QString::fromStdString(LoadStr(44302)).arg(2).arg(QStringLiteral("D:\\src\\")));
    entry("U1")->trigger();
    EXPECT_EQ(m_drive.readFile("src/a.txt"), "alpha");
    EXPECT_EQ(m_drive.readFile("src/sub/b.txt"), "beta");
    EXPECT_FALSE(exists("dst/a.txt"));
    EXPECT_FALSE(exists("dst/sub"));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    settle();
    EXPECT_FALSE(entry("U1")->isEnabled()) << "one step, used up";
    EXPECT_TRUE(waitUntil([this] { return listCaptions().isEmpty(); })) << "the shown folder is read again";
}

// Pasting into a folder of a share, on an smbd of the test's own on loopback, and back.
class ShareClipboardTest : public WithSmbServer<ClipboardTest> {
protected:
    static std::string onShare(const std::string& name) { return s_server->folder("public") + "/貼上/" + name; }
    bool showShareFolder()
    {
        go("\\\\127.0.0.1\\公開\\貼上");
        return waitUntil([this] { return shownFolder() == "\\\\127.0.0.1\\公開\\貼上\\"; });
    }
};

TEST_F(ShareClipboardTest, CutPasteIntoAShareFolderMovesThereAndUndoBringsItBack)
{
    std::filesystem::remove_all(onShare(""));
    std::filesystem::create_directories(onShare(""));
    openForm();
    ASSERT_TRUE(showFolder("D:\\src"));
    select({"a.txt", "sub"});
    settle();
    entry("T3")->trigger();
    ASSERT_TRUE(showShareFolder()) << m_errors.join('\n').toStdString();
    settle();
    ASSERT_TRUE(entry("P1")->isEnabled()) << entry("P1")->statusTip().toStdString();
    entry("P1")->trigger();
    ASSERT_TRUE(settle());
    EXPECT_TRUE(waitUntil([] { return std::filesystem::exists(onShare("sub/b.txt")); }));
    EXPECT_TRUE(std::filesystem::exists(onShare("a.txt")));
    EXPECT_FALSE(exists("src/a.txt"));
    EXPECT_FALSE(exists("src/sub"));
    EXPECT_TRUE(waitUntil([this] { return listCaptions().contains(QStringLiteral("a.txt")); }))
        << listCaptions().join(' ').toStdString();

    // The move is taken back from the share to the local folder.
    ASSERT_TRUE(entry("U1")->isEnabled()) << entry("U1")->statusTip().toStdString();
    entry("U1")->trigger();
    ASSERT_TRUE(settle());
    EXPECT_EQ(m_drive.readFile("src/a.txt"), "alpha");
    EXPECT_EQ(m_drive.readFile("src/sub/b.txt"), "beta");
    EXPECT_FALSE(std::filesystem::exists(onShare("a.txt")));
    EXPECT_FALSE(std::filesystem::exists(onShare("sub")));

    // A copy from the share pastes into a local folder.
    std::ofstream(onShare("c.txt")) << "gamma";
    ASSERT_TRUE(showFolder("D:\\dst"));
    ASSERT_TRUE(showShareFolder());
    EXPECT_TRUE(waitUntil([this] { return listCaptions().contains(QStringLiteral("c.txt")); }))
        << listCaptions().join(' ').toStdString();
    select({"c.txt"});
    settle();
    entry("C2")->trigger();
    ASSERT_TRUE(showFolder("D:\\dst"));
    settle();
    entry("P1")->trigger();
    ASSERT_TRUE(settle());
    EXPECT_EQ(m_drive.readFile("dst/c.txt"), "gamma");
    EXPECT_TRUE(std::filesystem::exists(onShare("c.txt")));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(ClipboardTest, ForeignCutPayloadMovesAndForeignPrivateEntriesAreRefused)
{
    openForm();
    ASSERT_TRUE(showFolder("D:\\dst"));
    // What a desktop file manager offers after a cut: its own list only, no URI list.
    auto* foreign = new QMimeData;
    foreign->setData(FileMime::GnomeCopiedFilesType,
                     "cut\n" + QUrl::fromLocalFile(QString::fromStdString(m_drive.path("src/a.txt"))).toEncoded());
    QGuiApplication::clipboard()->setMimeData(foreign);
    settle();
    ASSERT_TRUE(entry("P1")->isEnabled());
    entry("P1")->trigger();
    ASSERT_TRUE(settle());
    EXPECT_EQ(m_drive.readFile("dst/a.txt"), "alpha");
    EXPECT_FALSE(exists("src/a.txt"));

    // FTP items of another process mean nothing here.
    auto* other = new QMimeData;
    other->setData(FileMime::EntriesType, QByteArray("1") + '\0' + "1\\\\site\\file.txt");
    QGuiApplication::clipboard()->setMimeData(other);
    settle();
    EXPECT_FALSE(entry("P1")->isEnabled());
    EXPECT_EQ(entry("P1")->statusTip(), QString::fromStdString(LoadStr(44320)));

    auto* text = new QMimeData;
    text->setText(QStringLiteral("just words"));
    QGuiApplication::clipboard()->setMimeData(text);
    settle();
    EXPECT_FALSE(entry("P1")->isEnabled());
}

TEST_F(ClipboardTest, TreeFocusCopiesTheTreeFolderAndKeysFollowTheFocus)
{
    openForm();
    activate();
    ASSERT_TRUE(showFolder("D:\\src\\sub"));
    m_form->FolderTreeView->setFocus();
    settle();
    ASSERT_TRUE(m_form->FolderTreeView->hasFocus());
    ASSERT_TRUE(entry("C2")->isEnabled()) << "the selected tree folder";
    QTest::keyClick(m_form->FolderTreeView, Qt::Key_C, Qt::ControlModifier);
    const QList<QUrl> urls = clipboardUrls();
    ASSERT_EQ(urls.size(), 1);
    EXPECT_EQ(urls[0].toLocalFile().toStdString(), m_drive.path("src/sub"));

    // Ctrl+V in the list pastes into the shown folder.
    ASSERT_TRUE(showFolder("D:\\dst"));
    QWidget* list = m_form->fileListView()->currentView();
    list->setFocus();
    settle();
    QTest::keyClick(list, Qt::Key_V, Qt::ControlModifier);
    ASSERT_TRUE(settle());
    EXPECT_EQ(m_drive.readFile("dst/sub/b.txt"), "beta");

    // Delete with the tree's focus never takes the list's selection.
    ASSERT_TRUE(showFolder("D:\\src"));
    select({"a.txt"});
    m_form->FolderTreeView->setFocus();
    std::vector<std::string> asked;
    m_form->shell()->Questions.confirmDelete = [&asked](QWidget*, const std::vector<std::string>& paths, bool) {
        asked = paths;
        return false;
    };
    QTest::keyClick(m_form->FolderTreeView, Qt::Key_Delete);
    settle();
    EXPECT_EQ(asked, std::vector<std::string>{m_drive.path("src")}) << "the tree's folder is the one asked about";
    EXPECT_TRUE(exists("src/a.txt"));

    // Alt+Left goes back to the folder shown before, Backspace to the parent.
    QTest::keyClick(m_form->FolderTreeView, Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(shownFolder(), "D:\\dst\\");
    QTest::keyClick(m_form->FolderTreeView, Qt::Key_Backspace);
    EXPECT_EQ(shownFolder(), "D:\\");
}

TEST_F(ClipboardTest, UndoRenameAndRefusalWhenTheOldNameIsTaken)
{
    openForm();
    ASSERT_TRUE(showFolder("D:\\src"));
    select({"a.txt"});
    m_form->M1Click();
    TListModel* model = m_form->fileListView()->model();
    model->setData(model->index(model->findCaption(QStringLiteral("a.txt")), 0), QStringLiteral("z.txt"));
    ASSERT_TRUE(exists("src/z.txt"));
    settle();
    ASSERT_TRUE(entry("U1")->isEnabled());
    EXPECT_EQ(entry("U1")->statusTip(), QString::fromStdString(LoadStr(44301)).arg("z.txt", "a.txt"));

    // Someone put a new a.txt there meanwhile: nothing is touched, and the step stays.
    m_drive.writeFile("src/a.txt", "newcomer");
    entry("U1")->trigger();
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_EQ(m_errors.front(), QString::fromStdString(LoadStr(44305)).arg(QStringLiteral("D:\\src\\a.txt")));
    EXPECT_EQ(m_drive.readFile("src/a.txt"), "newcomer");
    EXPECT_EQ(m_drive.readFile("src/z.txt"), "alpha");
    EXPECT_TRUE(entry("U1")->isEnabled());

    std::filesystem::remove(m_drive.path("src/a.txt"));
    entry("U1")->trigger();
    EXPECT_EQ(m_drive.readFile("src/a.txt"), "alpha");
    EXPECT_FALSE(exists("src/z.txt"));
    EXPECT_TRUE(waitUntil([this] { return listCaptions().contains(QStringLiteral("a.txt")); }));
    EXPECT_FALSE(listCaptions().contains(QStringLiteral("z.txt")));
}

TEST_F(ClipboardTest, UndoOfATreeFolderRenameGivesTheTreeTheOldNameBack)
{
    openForm();
    ASSERT_TRUE(showFolder("D:\\src\\sub"));
    QTreeWidgetItem* sub = m_form->FolderTreeView->currentItem();
    QTreeWidgetItem* src = sub->parent();
    m_form->DNRenameClick();
    sub->setText(0, QStringLiteral("renamed"));
    ASSERT_TRUE(exists("src/renamed/b.txt"));
    settle();
    ASSERT_TRUE(entry("U1")->isEnabled());

    entry("U1")->trigger();
    EXPECT_EQ(m_drive.readFile("src/sub/b.txt"), "beta");
    EXPECT_FALSE(exists("src/renamed"));
    // The folder's node is read again under its old name and leads to the old place.
    QTreeWidgetItem* back = child(src, "sub");
    ASSERT_NE(back, nullptr) << captions(src).join(' ').toStdString();
    EXPECT_EQ(child(src, "renamed"), nullptr);
    EXPECT_EQ(GetNodeData(back)->RemoteName, "D:\\src\\sub\\");
}

TEST_F(ClipboardTest, UndoOfADeleteRestoresFromTheTrash)
{
    openForm();
    ASSERT_TRUE(showFolder("D:\\src"));
    select({"a.txt", "sub"});
    entry("N3")->trigger();
    ASSERT_TRUE(settle());
    ASSERT_FALSE(exists("src/a.txt"));
    EXPECT_EQ(ListTrash(HomeTrashDir()).size(), 2u);
    ASSERT_TRUE(entry("U1")->isEnabled());
    EXPECT_EQ(entry("U1")->statusTip(), QString::fromStdString(LoadStr(44303)).arg(2));

    entry("U1")->trigger();
    EXPECT_EQ(m_drive.readFile("src/a.txt"), "alpha");
    EXPECT_EQ(m_drive.readFile("src/sub/b.txt"), "beta");
    EXPECT_TRUE(ListTrash(HomeTrashDir()).empty());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_TRUE(waitUntil([this] { return listCaptions().contains(QStringLiteral("a.txt")); }));
}

// A move back that fails for some of the entries takes back the others and keeps the
// rest of the step, to be tried again once their folder can take them.
TEST_F(ClipboardTest, AnUndoThatFailsPartlyKeepsWhatDidNotGoBack)
{
    makeFolder("ro");
    const std::string readOnly = m_drive.path("ro");
    // The folder is made read-only by a volume of its own remounted read-only, which binds
    // root too; an ordinary user without mounts gets a folder without write permission.
    const bool byMount = PrivateMounts::available();
    if (!byMount && geteuid() == 0)
        GTEST_SKIP() << PrivateMounts::reason();
    if (byMount && mount("tamsel-test", readOnly.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    struct Unmount {
        std::string path;
        bool mounted;
        ~Unmount()
        {
            if (mounted)
                umount2(path.c_str(), MNT_DETACH);
            else
                chmod(path.c_str(), 0755);
        }
    } unmount{readOnly, byMount};
    auto makeReadOnly = [&](bool readOnlyNow) {
        if (byMount)
            return mount(nullptr, readOnly.c_str(), nullptr, MS_REMOUNT | (readOnlyNow ? MS_RDONLY : 0), nullptr) == 0;
        return chmod(readOnly.c_str(), readOnlyNow ? 0555 : 0755) == 0;
    };
    m_drive.writeFile("ro/c.txt", "gamma");
    openForm();
    ASSERT_TRUE(showFolder("D:\\dst"));

    // One move of entries from two folders, as from a search's results.
    m_form->shell()->FileOperation(FO_MOVE, {"D:\\src\\a.txt", "D:\\ro\\c.txt"}, QString(), FOF_ALLOWUNDO, false,
                                   "D:\\dst\\");
    ASSERT_TRUE(settle());
    ASSERT_TRUE(exists("dst/a.txt") && exists("dst/c.txt"));
    ASSERT_TRUE(entry("U1")->isEnabled());
    EXPECT_EQ(entry("U1")->statusTip(), QString::fromStdString(LoadStr(44308)).arg(2));

    ASSERT_TRUE(makeReadOnly(true)) << std::strerror(errno);
    entry("U1")->trigger();
    settle();
    EXPECT_EQ(m_drive.readFile("src/a.txt"), "alpha");
    EXPECT_FALSE(exists("dst/a.txt"));
    EXPECT_EQ(m_drive.readFile("dst/c.txt"), "gamma") << "nothing is lost when it cannot go back";
    EXPECT_FALSE(exists("ro/c.txt"));
    EXPECT_FALSE(m_shellErrors.isEmpty() && m_errors.isEmpty()) << "the failure is reported";
    ASSERT_TRUE(entry("U1")->isEnabled()) << "what did not go back stays to be undone";
    EXPECT_EQ(entry("U1")->statusTip(),
              QString::fromStdString(LoadStr(44302)).arg(1).arg(QStringLiteral("D:\\ro\\")));

    ASSERT_TRUE(makeReadOnly(false)) << std::strerror(errno);
    m_shellErrors.clear();
    m_errors.clear();
    entry("U1")->trigger();
    settle();
    EXPECT_EQ(m_drive.readFile("ro/c.txt"), "gamma");
    EXPECT_FALSE(exists("dst/c.txt"));
    EXPECT_TRUE(m_shellErrors.isEmpty() && m_errors.isEmpty()) << (m_shellErrors + m_errors).join('\n').toStdString();
    EXPECT_FALSE(entry("U1")->isEnabled());
}

TEST(UndoLogTest, StepsFollowWhatTheOperationsDid)
{
    UndoLog log;
    EXPECT_FALSE(log.CanUndo());
    EXPECT_EQ(log.Description(), QString::fromStdString(LoadStr(44300)));

    FileOperationOutcome renamed;
    renamed.moved = {{"/tmp/x/old", "/tmp/x/new"}};
    log.Record(FO_RENAME, renamed);
    EXPECT_EQ(log.kind(), UndoLog::Rename);

    // A copy changes nothing undo would take back; a cancelled delete did nothing.
    log.Record(FO_COPY, FileOperationOutcome());
    FileOperationOutcome cancelled;
    cancelled.aborted = true;
    log.Record(FO_DELETE, cancelled);
    EXPECT_EQ(log.kind(), UndoLog::Rename);
    // A move that only merged into folders that were there moved nothing as a whole.
    log.Record(FO_MOVE, FileOperationOutcome());
    EXPECT_EQ(log.kind(), UndoLog::Rename);

    // A delete that went for good cannot be undone, and the step before is gone too.
    log.Record(FO_DELETE, FileOperationOutcome());
    EXPECT_FALSE(log.CanUndo());
    EXPECT_EQ(log.Description(), QString::fromStdString(LoadStr(44304)));

    FileOperationOutcome moved;
    moved.moved = {{"/a/one", "/b/one"}, {"/c/two", "/b/two"}};
    log.Record(FO_MOVE, moved);
    EXPECT_TRUE(log.CanUndo());
    EXPECT_EQ(log.Description(), QString::fromStdString(LoadStr(44308)).arg(2)) << "two folders to go back to";
}

TEST_F(ClipboardTest, EveryShortcutIsUniqueAndTheCoreOnesExist)
{
    openForm();
    std::map<QString, QString> owners;
    for (const QAction* action : m_form->findChildren<QAction*>()) {
        for (const QKeySequence& key : action->shortcuts()) {
            const QString text = key.toString(QKeySequence::PortableText);
            const auto [place, fresh] = owners.emplace(text, action->objectName());
            EXPECT_TRUE(fresh) << text.toStdString() << " on " << place->second.toStdString() << " and "
                               << action->objectName().toStdString();
        }
    }
    const std::pair<const char*, const char*> core[] = {
        {"Ctrl+X", "T3"}, {"Ctrl+C", "C2"}, {"Ctrl+V", "P1"}, {"Ctrl+Z", "U1"}, {"Del", "N3"},
        {"F2", "N93"}, {"Shift+F2", "R1"}, {"F5", "Refresh"}, {"Alt+Left", "GoBack"}, {"Alt+Right", "GoForward"},
        {"Backspace", "GoParent"}, {"Alt+Up", "GoParent"}, {"Ctrl+L", "GoAddress"}, {"Alt+Return", "C1"},
        {"Ctrl+A", "A3"}, {"Ctrl+D", "N99"}, {"Ctrl+F", "N28"}, {"Ctrl+Shift+N", "N1"},
    };
    for (const auto& [key, name] : core)
        EXPECT_EQ(owners[QString::fromLatin1(key)], QString::fromLatin1(name)) << key;
}

} // namespace
