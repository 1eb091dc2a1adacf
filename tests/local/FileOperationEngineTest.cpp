#include <gtest/gtest.h>

#include "local/FileOperationEngine.h"
#include "platform/Trash.h"
#include "platform/Win32Error.h"
#include "local/ScriptedUi.h"
#include "local/TempTree.h"
#include "support/PrivateMounts.h"
#include "support/ScopedEnvironment.h"

#include <cerrno>
#include <cstring>
#include <deque>
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
