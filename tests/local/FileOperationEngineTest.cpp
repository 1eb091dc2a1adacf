#include <gtest/gtest.h>

#include "local/FileOperationEngine.h"
#include "platform/Trash.h"
#include "platform/Win32Error.h"
#include "local/RefusingFileSystem.h"
#include "local/ScriptedUi.h"
#include "local/TempTree.h"
#include "support/FileSystemContract.h"
#include "support/PrivateMounts.h"
#include "support/ScopedEnvironment.h"

#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <optional>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Entered before main(), while the program has one thread.
const PrivateMounts::Enter enterPrivateMounts;

// A folder on another volume than `near`: in /dev/shm when that is one, else on a tmpfs
// of the test's own.
class OtherVolume {
public:
    explicit OtherVolume(const std::string& near)
    {
        struct stat a, b;
        if (std::filesystem::is_directory("/dev/shm")) {
            m_shm.emplace("/dev/shm");
            if (m_shm->valid() && stat(near.c_str(), &a) == 0 && stat(m_shm->root().c_str(), &b) == 0 && a.st_dev != b.st_dev) {
                m_tree = &*m_shm;
                return;
            }
        }
        if (!PrivateMounts::available()) {
            m_why = "no second volume to move to: " + PrivateMounts::reason();
            return;
        }
        if (mount("tamsel-test", m_mountPoint.root().c_str(), "tmpfs", 0, "size=16m") != 0) {
            m_why = std::string("no second volume to move to: ") + std::strerror(errno);
            return;
        }
        m_mounted = true;
        m_inside = std::make_unique<TempTree>(m_mountPoint.root());
        m_tree = m_inside.get();
    }
    ~OtherVolume()
    {
        m_inside.reset();
        if (m_mounted)
            umount2(m_mountPoint.root().c_str(), MNT_DETACH);
    }
    /// The folder, or null with the reason in why().
    TempTree* tree() const { return m_tree; }
    const std::string& why() const { return m_why; }

private:
    std::optional<TempTree> m_shm;
    TempTree m_mountPoint;
    std::unique_ptr<TempTree> m_inside;
    TempTree* m_tree = nullptr;
    bool m_mounted = false;
    std::string m_why;
};

bool hasPartFiles(const std::set<std::string>& listing)
{
    for (const std::string& name : listing)
        if (name.find(".tamsel-part-") != std::string::npos)
            return true;
    return false;
}

void makeNestedTree(const TempTree& t)
{
    t.write("src/top/a.txt", "alpha");
    t.write("src/top/sub/b.bin", std::string(5000, '\x7f'));
    t.write("src/top/sub/deeper/c.txt", "gamma");
    t.mkdir("src/top/empty");
    t.write("src/single.txt", "single");
    t.mkdir("dst");
}

const std::set<std::string> kTopListing = {"a.txt", "sub/", "sub/b.bin", "sub/deeper/", "sub/deeper/c.txt", "empty/"};

} // namespace

TEST(SourceList, BuildsAndSplitsTheDoubleZeroBlock)
{
    const std::string block = FileOperationEngine::MakeSourceList({"C:\\TEMP\\OLD"});
    EXPECT_EQ(block.size(), 13u);
    EXPECT_EQ(block, std::string("C:\\TEMP\\OLD\0\0", 13));
    const std::string three = FileOperationEngine::MakeSourceList({"C:\\a", "C:\\b", "C:\\c"});
    EXPECT_EQ(FileOperationEngine::SplitSourceList(three.data(), three.size()),
              (std::vector<std::string>{"C:\\a", "C:\\b", "C:\\c"}));
    // A block cut short ends the last path at the size given, never reads beyond it.
    EXPECT_EQ(FileOperationEngine::SplitSourceList("C:\\x\0C:\\yy", 8), (std::vector<std::string>{"C:\\x", "C:\\"}));
    EXPECT_TRUE(FileOperationEngine::SplitSourceList("\0\0", 2).empty());
}

TEST(FileOperationEngine, CopiesNestedFoldersAndFilesAndLeavesSourcesWhole)
{
    TempTree t;
    makeNestedTree(t);
    ScriptedUi ui;
    FileOperationEngine engine(ui);
    const auto outcome = engine.Run(FO_COPY, {t.path("src/top"), t.path("src/single.txt")}, t.path("dst"), FOF_ALLOWUNDO);
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(t.listing("dst/top"), kTopListing);
    EXPECT_EQ(t.read("dst/top/sub/b.bin"), std::string(5000, '\x7f'));
    EXPECT_EQ(t.read("dst/single.txt"), "single");
    EXPECT_EQ(t.listing("src/top"), kTopListing);
    EXPECT_FALSE(hasPartFiles(t.listing()));
    EXPECT_TRUE(ui.begun && ui.ended);
    EXPECT_EQ(ui.totalBytes, 5u + 5000 + 5 + 6);
    EXPECT_EQ(ui.lastProgress, ui.totalBytes);
}

TEST(FileOperationEngine, CopyIntoItsOwnFolderMakesANamedCopy)
{
    TempTree t;
    t.write("f/a.txt", "x");
    ScriptedUi ui;
    FileOperationEngine engine(ui);
    EXPECT_EQ(engine.Run(FO_COPY, {t.path("f/a.txt")}, t.path("f"), 0).code, 0);
    EXPECT_EQ(engine.Run(FO_COPY, {t.path("f/a.txt")}, t.path("f"), 0).code, 0);
    EXPECT_EQ(t.listing("f"), (std::set<std::string>{"a.txt", "a - 複本.txt", "a - 複本 (2).txt"}));
}

TEST(FileOperationEngine, AFolderIntoItselfFailsAndChangesNothing)
{
    TempTree t;
    makeNestedTree(t);
    ScriptedUi ui;
    FileOperationEngine engine(ui);
    for (uint32_t op : {FO_COPY, FO_MOVE}) {
        const auto outcome = engine.Run(op, {t.path("src/top")}, t.path("src/top/sub"), 0);
        EXPECT_EQ(outcome.code, FileOpDestinationInside);
        EXPECT_EQ(t.listing("src/top"), kTopListing);
    }
}

TEST(FileOperationEngine, MovesNestedFoldersOnOneVolume)
{
    TempTree t;
    makeNestedTree(t);
    ScriptedUi ui;
    FileOperationEngine engine(ui);
    const auto outcome = engine.Run(FO_MOVE, {t.path("src/top"), t.path("src/single.txt")}, t.path("dst"), 0);
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(t.listing("dst/top"), kTopListing);
    EXPECT_FALSE(t.exists("src/top"));
    EXPECT_FALSE(t.exists("src/single.txt"));
}

TEST(FileOperationEngine, MovesAcrossVolumesAndMergesIntoExistingFolders)
{
    TempTree t;
    const OtherVolume volume(t.root());
    if (!volume.tree())
        GTEST_SKIP() << volume.why();
    TempTree& other = *volume.tree();
    makeNestedTree(t);
    other.write("top/sub/kept.txt", "kept");
    ScriptedUi ui;
    FileOperationEngine engine(ui);
    const auto outcome = engine.Run(FO_MOVE, {t.path("src/top")}, other.root(), 0);
    EXPECT_EQ(outcome.code, 0);
    std::set<std::string> expected = kTopListing;
    expected.insert("sub/kept.txt");
    EXPECT_EQ(other.listing("top"), expected);
    EXPECT_EQ(other.read("top/sub/b.bin"), std::string(5000, '\x7f'));
    EXPECT_FALSE(t.exists("src/top"));
}

TEST(FileOperationEngine, CancelMidCopyLeavesSourceWholeAndNoHalfTarget)
{
    TempTree t;
    const std::string big(3 * FileOperationEngine::kCopyChunk + 17, 'q');
    t.write("src/big.dat", big);
    t.write("src/small.txt", "s");
    t.mkdir("dst");
    ScriptedUi ui;
    ui.cancelAfterBytes = FileOperationEngine::kCopyChunk;  // after the first chunk
    FileOperationEngine engine(ui);
    const auto outcome = engine.Run(FO_COPY, {t.path("src/big.dat"), t.path("src/small.txt")}, t.path("dst"), 0);
    EXPECT_TRUE(outcome.aborted);
    EXPECT_EQ(outcome.code, Win32::Cancelled);
    EXPECT_EQ(t.read("src/big.dat"), big);
    EXPECT_TRUE(t.listing("dst").empty());  // neither the half file nor its temporary
}

TEST(FileOperationEngine, CancelMidMoveAcrossVolumesKeepsTheSource)
{
    TempTree t;
    const OtherVolume volume(t.root());
    if (!volume.tree())
        GTEST_SKIP() << volume.why();
    TempTree& other = *volume.tree();
    const std::string big(2 * FileOperationEngine::kCopyChunk + 5, 'm');
    t.write("src/dir/first.txt", "first");
    t.write("src/dir/zbig.dat", big);
    ScriptedUi ui;
    ui.cancelAfterBytes = 6;  // once the first small file is over
    FileOperationEngine engine(ui);
    const auto outcome = engine.Run(FO_MOVE, {t.path("src/dir")}, other.root(), 0);
    EXPECT_TRUE(outcome.aborted);
    // Whatever went is complete at the target; whatever did not is still at the source.
    for (const std::string name : {"first.txt", "zbig.dat"}) {
        const bool atSource = t.exists("src/dir/" + name);
        const bool atTarget = other.exists("dir/" + name);
        EXPECT_NE(atSource, atTarget) << name;
    }
    EXPECT_EQ(t.read("src/dir/zbig.dat"), big);
    EXPECT_FALSE(hasPartFiles(other.listing()));
}

TEST(FileOperationEngine, OverwriteQuestionsAnsweredEachWay)
{
    TempTree t;
    for (const char* name : {"1", "2", "3", "4"}) {
        t.write(std::string("src/") + name, std::string("new") + name);
        t.write(std::string("dst/") + name, std::string("old") + name);
    }
    const std::vector<std::string> sources = {t.path("src/1"), t.path("src/2"), t.path("src/3"), t.path("src/4")};
    {
        ScriptedUi ui;
        ui.answers = {OverwriteAnswer::Yes, OverwriteAnswer::No, OverwriteAnswer::YesToAll};
        FileOperationEngine engine(ui);
        EXPECT_EQ(engine.Run(FO_COPY, sources, t.path("dst"), 0).code, 0);
        EXPECT_EQ(ui.askedFor.size(), 3u);  // "for all" answers the fourth
        EXPECT_EQ(t.read("dst/1"), "new1");
        EXPECT_EQ(t.read("dst/2"), "old2");
        EXPECT_EQ(t.read("dst/3"), "new3");
        EXPECT_EQ(t.read("dst/4"), "new4");
    }
    for (const char* name : {"1", "2", "3", "4"})
        t.write(std::string("dst/") + name, std::string("old") + name);
    {
        ScriptedUi ui;
        ui.answers = {OverwriteAnswer::NoToAll};
        FileOperationEngine engine(ui);
        EXPECT_EQ(engine.Run(FO_MOVE, sources, t.path("dst"), 0).code, 0);
        EXPECT_EQ(ui.askedFor.size(), 1u);
        EXPECT_EQ(t.read("dst/4"), "old4");
        EXPECT_EQ(t.read("src/4"), "new4");  // a skipped move keeps its source
    }
    {
        ScriptedUi ui;
        ui.answers = {OverwriteAnswer::Yes, OverwriteAnswer::Cancel};
        FileOperationEngine engine(ui);
        const auto outcome = engine.Run(FO_MOVE, sources, t.path("dst"), 0);
        EXPECT_TRUE(outcome.aborted);
        EXPECT_EQ(t.read("dst/1"), "new1");
        EXPECT_FALSE(t.exists("src/1"));
        EXPECT_EQ(t.read("dst/2"), "old2");
        EXPECT_EQ(t.read("src/2"), "new2");
    }
    {
        ScriptedUi ui;  // no question at all without confirmation
        FileOperationEngine engine(ui);
        EXPECT_EQ(engine.Run(FO_COPY, {t.path("src/2")}, t.path("dst"), FOF_NOCONFIRMATION).code, 0);
        EXPECT_TRUE(ui.askedFor.empty());
        EXPECT_EQ(t.read("dst/2"), "new2");
    }
}

TEST(FileOperationEngine, AFileNeverReplacesAFolder)
{
    TempTree t;
    t.write("src/name", "file");
    t.write("dst/name/inside.txt", "kept");
    ScriptedUi ui;
    ui.answers = {OverwriteAnswer::Yes};
    FileOperationEngine engine(ui);
    EXPECT_EQ(engine.Run(FO_COPY, {t.path("src/name")}, t.path("dst"), 0).code, Win32::AlreadyExists);
    EXPECT_EQ(t.read("dst/name/inside.txt"), "kept");
}

TEST(FileOperationEngine, RenameOntoAnExistingNameFailsAndKeepsTheOldName)
{
    TempTree t;
    t.write("old.txt", "old");
    t.write("taken.txt", "taken");
    ScriptedUi ui;
    FileOperationEngine engine(ui);
    EXPECT_EQ(engine.Run(FO_RENAME, {t.path("old.txt")}, t.path("taken.txt"), FOF_ALLOWUNDO).code, Win32::AlreadyExists);
    EXPECT_EQ(t.read("old.txt"), "old");
    EXPECT_EQ(t.read("taken.txt"), "taken");
    EXPECT_EQ(engine.Run(FO_RENAME, {t.path("old.txt")}, t.path("新名.txt"), FOF_ALLOWUNDO).code, 0);
    EXPECT_FALSE(t.exists("old.txt"));
    EXPECT_EQ(t.read("新名.txt"), "old");
    EXPECT_EQ(engine.Run(FO_RENAME, {t.path("gone.txt")}, t.path("x.txt"), 0).code, Win32::FileNotFound);
}

TEST(FileOperationEngine, ReadOnlyTargetFolderFailsWithAccessDeniedAndLosesNothing)
{
    TempTree t;
    t.write("src/a.txt", "a");
    t.mkdir("ro");
    chmod(t.root().c_str(), 0755);
    chmod(t.path("src").c_str(), 0777);
    chmod(t.path("src/a.txt").c_str(), 0666);
    chmod(t.path("ro").c_str(), 0555);
    // Root passes every permission check: run the operation as an ordinary user.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && setresuid(65534, 65534, 65534) != 0)
            _exit(100);
        ScriptedUi ui;
        FileOperationEngine engine(ui);
        const auto copy = engine.Run(FO_COPY, {t.path("src/a.txt")}, t.path("ro"), 0);
        const auto move = engine.Run(FO_MOVE, {t.path("src/a.txt")}, t.path("ro"), 0);
        _exit(copy.code == Win32::AccessDenied && move.code == Win32::AccessDenied ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(t.read("src/a.txt"), "a");
    EXPECT_TRUE(t.listing("ro").empty());
}

class TrashTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A data folder that does not exist yet: the trash must make it, not trash elsewhere.
        setenv("XDG_DATA_HOME", m_data.path("share").c_str(), 1);
    }
    ScopedEnvironment m_env{"XDG_DATA_HOME"};
    TempTree m_data;
};

TEST_F(TrashTest, DeleteWithUndoMovesIntoTheTrashWithRestoreInformation)
{
    m_data.write("work/doc 1.txt", "one");
    m_data.write("work/folder/inner.txt", "inner");
    ScriptedUi ui;
    FileOperationEngine engine(ui);
    const auto outcome = engine.Run(FO_DELETE, {m_data.path("work/doc 1.txt"), m_data.path("work/folder")}, {}, FOF_ALLOWUNDO);
    ASSERT_EQ(outcome.code, 0);
    EXPECT_EQ(ui.confirmAsked, 1);
    EXPECT_FALSE(m_data.exists("work/doc 1.txt"));
    EXPECT_FALSE(m_data.exists("work/folder"));
    EXPECT_EQ(HomeTrashDir(), m_data.path("share/Trash"));
    EXPECT_EQ(m_data.read("share/Trash/files/doc 1.txt"), "one");
    const std::string info = m_data.read("share/Trash/info/doc 1.txt.trashinfo");
    EXPECT_EQ(info.rfind("[Trash Info]\nPath=", 0), 0u);
    EXPECT_NE(info.find("Path=" + TrashEncodePath(m_data.path("work/doc 1.txt")) + "\n"), std::string::npos);
    EXPECT_NE(info.find("%20"), std::string::npos);
    EXPECT_NE(info.find("DeletionDate=20"), std::string::npos);

    const auto items = ListTrash(HomeTrashDir());
    ASSERT_EQ(items.size(), 2u);
    ASSERT_EQ(outcome.trashed.size(), 2u);
    for (const TrashItem& item : outcome.trashed)
        ASSERT_TRUE(RestoreFromTrash(item));
    EXPECT_EQ(m_data.read("work/doc 1.txt"), "one");
    EXPECT_EQ(m_data.read("work/folder/inner.txt"), "inner");
    EXPECT_TRUE(ListTrash(HomeTrashDir()).empty());
}

TEST_F(TrashTest, SameNameTwiceGetsTwoEntriesAndRestoreNeverOverwrites)
{
    ScriptedUi ui;
    FileOperationEngine engine(ui);
    m_data.write("w/a.txt", "first");
    ASSERT_EQ(engine.Run(FO_DELETE, {m_data.path("w/a.txt")}, {}, FOF_ALLOWUNDO | FOF_NOCONFIRMATION).code, 0);
    m_data.write("w/a.txt", "second");
    const auto outcome = engine.Run(FO_DELETE, {m_data.path("w/a.txt")}, {}, FOF_ALLOWUNDO | FOF_NOCONFIRMATION);
    ASSERT_EQ(outcome.code, 0);
    EXPECT_EQ(ui.confirmAsked, 0);
    EXPECT_EQ(ListTrash(HomeTrashDir()).size(), 2u);
    m_data.write("w/a.txt", "third");
    int error = 0;
    EXPECT_FALSE(RestoreFromTrash(outcome.trashed.front(), &error));
    EXPECT_EQ(error, Win32::FileExists);
    EXPECT_EQ(m_data.read("w/a.txt"), "third");
    EXPECT_TRUE(EmptyTrashDir(HomeTrashDir()));
    EXPECT_TRUE(ListTrash(HomeTrashDir()).empty());
}

TEST_F(TrashTest, DeleteAnsweredNoOrWithoutUndo)
{
    m_data.write("w/tree/x.txt", "x");
    ScriptedUi ui;
    ui.confirmAnswer = false;
    FileOperationEngine engine(ui);
    EXPECT_TRUE(engine.Run(FO_DELETE, {m_data.path("w/tree")}, {}, FOF_ALLOWUNDO).aborted);
    EXPECT_TRUE(m_data.exists("w/tree/x.txt"));
    ui.confirmAnswer = true;
    EXPECT_EQ(engine.Run(FO_DELETE, {m_data.path("w/tree")}, {}, 0).code, 0);
    EXPECT_FALSE(m_data.exists("w/tree"));
    EXPECT_FALSE(m_data.exists("share/Trash/files/tree"));
}

TEST(TrashInfo, PathEncodingRoundTrips)
{
    const std::string path = "/home/u/新 資料夾/a%b#c.txt";
    EXPECT_EQ(TrashDecodePath(TrashEncodePath(path)), path);
    EXPECT_EQ(TrashEncodePath("/a b"), "/a%20b");
    EXPECT_EQ(TrashDecodePath("/bad%zz%4"), "/bad%zz%4");
}

TEST(FileOperationEngine, AMissingTargetFolderIsMadeButAFileInItsPlaceFails)
{
    TempTree t;
    t.write("src/a.txt", "a");
    t.write("blocker", "file");
    ScriptedUi ui;
    FileOperationEngine engine(ui);
    EXPECT_EQ(engine.Run(FO_COPY, {t.path("src/a.txt")}, t.path("new/deeper"), FOF_NOCONFIRMMKDIR).code, 0);
    EXPECT_EQ(t.read("new/deeper/a.txt"), "a");
    EXPECT_NE(engine.Run(FO_MOVE, {t.path("src/a.txt")}, t.path("blocker"), 0).code, 0);
    EXPECT_EQ(t.read("src/a.txt"), "a");
    EXPECT_EQ(t.read("blocker"), "file");
}

namespace {

struct timespec modifiedOf(const std::string& path)
{
    struct stat st {};
    lstat(path.c_str(), &st);
    return st.st_mtim;
}

unsigned modeOf(const std::string& path)
{
    struct stat st {};
    lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

bool sameTime(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// A tree whose entries carry dates and modes a copy must not take from the moment it is
// made: dates in 2001 with a fraction of a second, no umask-shaped modes.
void makeDatedTree(const TempTree& t)
{
    t.write("src/top/run.sh", "#!/bin/sh\n");
    t.write("src/top/sub/notes.txt", "notes");
    const struct timespec old[2] = {{1000000000, 250000000}, {1000000000, 123456789}};
    for (const char* name : {"src/top/run.sh", "src/top/sub/notes.txt", "src/top/sub", "src/top"})
        utimensat(AT_FDCWD, t.path(name).c_str(), old, 0);
    chmod(t.path("src/top/run.sh").c_str(), 0750);
    chmod(t.path("src/top/sub/notes.txt").c_str(), 0604);
    chmod(t.path("src/top/sub").c_str(), 0711);
    t.mkdir("dst");
}

} // namespace

TEST(FileOperationEngine, ACopyKeepsDatesModesLinksAndPipes)
{
    TempTree t;
    makeDatedTree(t);
    ASSERT_EQ(symlink("sub/notes.txt", t.path("src/top/link").c_str()), 0);
    ASSERT_EQ(mkfifo(t.path("src/top/pipe").c_str(), 0600), 0);
    chmod(t.path("src/top/pipe").c_str(), 0620);  // beyond what the umask lets a new one have
    ScriptedUi ui;
    FileOperationEngine engine(ui);
    const auto outcome = engine.Run(FO_COPY, {t.path("src/top")}, t.path("dst"), 0);
    ASSERT_EQ(outcome.code, 0) << outcome.failedPath;
    EXPECT_EQ(outcome.notKeptCount, 0u);
    EXPECT_TRUE(outcome.notKept.empty());
    for (const char* name : {"top/run.sh", "top/sub/notes.txt", "top/sub", "top"}) {
        EXPECT_TRUE(sameTime(modifiedOf(t.path(std::string("dst/") + name)), modifiedOf(t.path(std::string("src/") + name))))
            << name;
        EXPECT_EQ(modeOf(t.path(std::string("dst/") + name)), modeOf(t.path(std::string("src/") + name))) << name;
    }
    char target[64] = {};
    ASSERT_GT(readlink(t.path("dst/top/link").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "sub/notes.txt");
    struct stat pipe {};
    ASSERT_EQ(lstat(t.path("dst/top/pipe").c_str(), &pipe), 0);
    EXPECT_TRUE(S_ISFIFO(pipe.st_mode));
    EXPECT_EQ(pipe.st_mode & 07777, 0620u);
}

// A target that takes the contents but not the dates or the modes (a volume or a server
// that ignores them): the copy is complete and in place, and the outcome names each entry.
TEST(FileOperationEngine, ACopyWhoseDatesOrModesAreRefusedIsCompleteAndSaysSo)
{
    TempTree t;
    makeDatedTree(t);
    RefusingFileSystem files(LocalFileSystem());
    files.refuseTimes = Win32::AccessDenied;
    ScriptedUi ui;
    FileOperationEngine engine(ui, files.picker());
    auto outcome = engine.Run(FO_COPY, {t.path("src/top")}, t.path("dst"), 0);
    ASSERT_EQ(outcome.code, 0) << outcome.failedPath;
    EXPECT_EQ(t.read("dst/top/run.sh"), "#!/bin/sh\n");
    EXPECT_EQ(t.read("dst/top/sub/notes.txt"), "notes");
    EXPECT_FALSE(hasPartFiles(t.listing("dst")));
    // Each entry is named by the copy's own path, never by a temporary one.
    std::set<std::string> named;
    for (const FileOpNotKept& item : outcome.notKept) {
        EXPECT_EQ(item.what, FileOpNotKept::Dates) << item.path;
        EXPECT_EQ(item.code, Win32::AccessDenied) << item.path;
        named.insert(item.path);
    }
    EXPECT_EQ(named, (std::set<std::string>{t.path("dst/top"), t.path("dst/top/sub"), t.path("dst/top/run.sh"),
                                            t.path("dst/top/sub/notes.txt")}));
    EXPECT_EQ(outcome.notKeptCount, 4u);
    // The modes were still set, though the dates were refused.
    EXPECT_EQ(modeOf(t.path("dst/top/run.sh")), 0750u);
    EXPECT_EQ(modeOf(t.path("dst/top/sub")), 0711u);

    files.refuseTimes = 0;
    files.refuseMode = Win32::AccessDenied;
    ui.answers = {OverwriteAnswer::YesToAll};
    outcome = engine.Run(FO_COPY, {t.path("src/top/run.sh")}, t.path("dst/top"), 0);
    ASSERT_EQ(outcome.code, 0) << outcome.failedPath;
    ASSERT_EQ(outcome.notKept.size(), 1u);
    EXPECT_EQ(outcome.notKept[0].path, t.path("dst/top/run.sh"));
    EXPECT_EQ(outcome.notKept[0].what, FileOpNotKept::Mode);
    EXPECT_TRUE(sameTime(modifiedOf(t.path("dst/top/run.sh")), modifiedOf(t.path("src/top/run.sh"))));
}

TEST(FileOperationEngine, ManyRefusalsAreCountedButOnlyTheFirstAreKept)
{
    TempTree t;
    const size_t files = FileOperationOutcome::kMaxNotKept + 5;
    for (size_t i = 0; i < files; ++i)
        t.write("src/many/f" + std::to_string(i), "x");
    t.mkdir("dst");
    RefusingFileSystem refusing(LocalFileSystem());
    refusing.refuseTimes = Win32::WriteProtect;
    ScriptedUi ui;
    FileOperationEngine engine(ui, refusing.picker());
    const auto outcome = engine.Run(FO_COPY, {t.path("src/many")}, t.path("dst"), 0);
    ASSERT_EQ(outcome.code, 0);
    EXPECT_EQ(t.listing("dst/many").size(), files);
    EXPECT_EQ(outcome.notKept.size(), FileOperationOutcome::kMaxNotKept);
    EXPECT_EQ(outcome.notKeptCount, files + 1);  // the folder as well
}

// Two volumes, whatever the machine has: every rename between places is refused, so a
// move copies each entry and deletes its source only once the copy is complete.
TEST(FileOperationEngine, AMoveBetweenVolumesCopiesWithDatesAndDeletesTheSources)
{
    TempTree t;
    makeDatedTree(t);
    t.write("dst/top/sub/kept.txt", "kept");
    RefusingFileSystem volumes(LocalFileSystem());
    volumes.separateVolumes = true;
    ScriptedUi ui;
    FileOperationEngine engine(ui, volumes.picker());
    const struct timespec runDate = modifiedOf(t.path("src/top/run.sh"));
    const auto outcome = engine.Run(FO_MOVE, {t.path("src/top")}, t.path("dst"), 0);
    ASSERT_EQ(outcome.code, 0) << outcome.failedPath;
    EXPECT_EQ(t.listing("dst/top"), (std::set<std::string>{"run.sh", "sub/", "sub/notes.txt", "sub/kept.txt"}));
    EXPECT_FALSE(t.exists("src/top"));
    EXPECT_TRUE(sameTime(modifiedOf(t.path("dst/top/run.sh")), runDate));
    EXPECT_EQ(modeOf(t.path("dst/top/run.sh")), 0750u);
    EXPECT_EQ(ui.lastProgress, ui.totalBytes);
    EXPECT_FALSE(hasPartFiles(t.listing("dst")));

    // Cancelled half-way, every entry is whole in exactly one place.
    const std::string big(2 * FileOperationEngine::kCopyChunk + 5, 'm');
    t.write("src/dir/first.txt", "first");
    t.write("src/dir/zbig.dat", big);
    ScriptedUi cancelling;
    cancelling.cancelAfterBytes = 6;
    FileOperationEngine cancelled(cancelling, volumes.picker());
    const auto stopped = cancelled.Run(FO_MOVE, {t.path("src/dir")}, t.path("dst"), 0);
    EXPECT_TRUE(stopped.aborted);
    EXPECT_EQ(t.read("src/dir/zbig.dat"), big);
    EXPECT_FALSE(t.exists("dst/dir/zbig.dat"));
    EXPECT_NE(t.exists("src/dir/first.txt"), t.exists("dst/dir/first.txt"));
    EXPECT_FALSE(hasPartFiles(t.listing("dst")));
}

TEST(LocalFileSystem, AnswersAsEveryFileSystemMust)
{
    TempTree t;
    CheckFileSystemContract(LocalFileSystem(), t.root());
}
