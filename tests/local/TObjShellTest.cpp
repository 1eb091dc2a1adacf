#include <gtest/gtest.h>

#include "local/MessageBoxes.h"
#include "local/TObjShell.h"
#include "local/TempTree.h"
#include "local/WaitFor.h"
#include "platform/DriveMap.h"
#include "platform/Trash.h"
#include "platform/Win32Error.h"
#include "support/ScopedEnvironment.h"
#include "support/TestDrives.h"

#include <QWidget>

#include <sys/stat.h>

namespace {

// The shell object on a test drive map (C: is "/"), with every question answered by the
// test and every error recorded instead of shown.
class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MapTestDrives();
        setenv("XDG_DATA_HOME", m_tree.path("data").c_str(), 1);
        m_shell.OnCountChanged = [this] { m_counts.push_back(m_shell.JobCount); };
        m_shell.AskQuestion = [this](QWidget*, const QString& text) {
            m_questions << text;
            return m_answer;
        };
        m_shell.Questions.showError = [this](QWidget*, const QString& text) { m_errors << text; };
        m_shell.Questions.confirmDelete = [this](QWidget*, const std::vector<std::string>&, bool) {
            ++m_deleteQuestions;
            return m_confirmDelete;
        };
        m_shell.Questions.askOverwrite = [this](QWidget*, const FileOpEntry&, const FileOpEntry&) {
            m_overwriteOnWindowThread = QThread::currentThread() == qApp->thread();
            return m_overwrite;
        };
    }
    void TearDown() override { RefreshDriveMap(); }

    std::string win(const std::string& relative) const
    {
        std::string path = "C:" + m_tree.path(relative);
        for (char& ch : path)
            if (ch == '/')
                ch = '\\';
        return path;
    }

    TempTree m_tree;
    ScopedEnvironment m_env{"XDG_DATA_HOME"};
    QWidget m_window;
    TObjShell m_shell{&m_window};
    std::vector<int> m_counts;
    QStringList m_questions;
    QStringList m_errors;
    int m_answer = IdYes;
    int m_deleteQuestions = 0;
    bool m_confirmDelete = true;
    OverwriteAnswer m_overwrite = OverwriteAnswer::Yes;
    bool m_overwriteOnWindowThread = false;
};

} // namespace

TEST_F(ShellTest, AsynchronousOperationsRaiseAndLowerTheJobCount)
{
    m_tree.write("src/a.txt", "a");
    m_tree.write("src/sub/b.txt", "b");
    m_tree.write("dst/a.txt", "old");
    m_tree.mkdir("dst");
    EXPECT_EQ(m_shell.FileOperation(FO_COPY, {win("src/a.txt"), win("src/sub")}, {}, FOF_ALLOWUNDO, true, win("dst") + "\\"), 0);
    EXPECT_EQ(m_shell.JobCount, 1);
    ASSERT_TRUE(WaitFor([&] { return m_shell.JobCount == 0; }));
    EXPECT_EQ(m_counts, (std::vector<int>{1, 0}));
    EXPECT_EQ(m_tree.read("dst/a.txt"), "a");
    EXPECT_EQ(m_tree.read("dst/sub/b.txt"), "b");
    EXPECT_TRUE(m_overwriteOnWindowThread);
    EXPECT_TRUE(m_errors.isEmpty());

    // A job the user cancels still ends and is counted down.
    m_confirmDelete = false;
    EXPECT_EQ(m_shell.FileOperation(FO_DELETE, {win("dst/a.txt")}, {}, FOF_ALLOWUNDO, true, {}), 0);
    EXPECT_EQ(m_shell.JobCount, 1);
    ASSERT_TRUE(WaitFor([&] { return m_shell.JobCount == 0; }));
    EXPECT_EQ(m_deleteQuestions, 1);
    EXPECT_TRUE(m_tree.exists("dst/a.txt"));
    EXPECT_TRUE(m_errors.isEmpty());  // a cancel is no error
}

TEST_F(ShellTest, SynchronousRenameOntoAnExistingNameFailsShowsWhyAndKeepsTheOldName)
{
    m_tree.write("old.txt", "old");
    m_tree.write("taken.txt", "taken");
    const int result = m_shell.FileOperation(FO_RENAME, {win("old.txt")}, {}, FOF_ALLOWUNDO, false, win("taken.txt"));
    EXPECT_NE(result, 0);
    EXPECT_EQ(m_tree.read("old.txt"), "old");
    EXPECT_EQ(m_tree.read("taken.txt"), "taken");
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors.front().contains(QString::fromStdString(win("taken.txt"))));
    EXPECT_EQ(m_shell.JobCount, 0);

    EXPECT_EQ(m_shell.FileOperation(FO_RENAME, {win("old.txt")}, {}, FOF_ALLOWUNDO, false, win("new.txt")), 0);
    EXPECT_EQ(m_tree.read("new.txt"), "old");
}

TEST_F(ShellTest, DeletingAFolderNodeSendsItToTheTrash)
{
    m_tree.write("TEMP/OLD/x.txt", "x");
    const std::string block = FileOperationEngine::MakeSourceList({win("TEMP/OLD")});
    EXPECT_EQ(m_shell.FileOperation(FO_DELETE, block.data(), {}, FOF_ALLOWUNDO, false, {}, block.size()), 0);
    EXPECT_FALSE(m_tree.exists("TEMP/OLD"));
    ASSERT_EQ(m_shell.LastOutcome().trashed.size(), 1u);
    EXPECT_EQ(m_shell.LastOutcome().trashed.front().originalPath, m_tree.path("TEMP/OLD"));
    EXPECT_TRUE(RestoreFromTrash(m_shell.LastOutcome().trashed.front()));
    EXPECT_EQ(m_tree.read("TEMP/OLD/x.txt"), "x");
}

TEST_F(ShellTest, PathsThatCannotBeOpenedHereFailWithAClearError)
{
    m_tree.mkdir("dst");
    // A share goes through the SMB layer: a server that is not there is a missing network path.
    EXPECT_EQ(m_shell.FileOperation(FO_COPY, {"\\\\SERVER\\SHARE\\a.txt"}, {}, 0, false, win("dst")), Win32::BadNetpath);
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors.front().contains("\\\\SERVER\\SHARE\\a.txt"));
    EXPECT_TRUE(m_errors.front().contains(QString::fromUtf8("找不到網路路徑")));
    m_errors.clear();
    EXPECT_EQ(m_shell.FileOperation(FO_COPY, {"\\\\SERVER\\"}, {}, 0, false, win("dst")), Win32::PathNotFound);
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors.front().contains(QString::fromUtf8("無法在本機開啟")));
}

TEST_F(ShellTest, TooManyJobsAskFirst)
{
    m_shell.WorkLimit = 30;
    m_shell.JobCount = 30;
    m_answer = IdNo;
    EXPECT_FALSE(m_shell.CanStartJob());
    EXPECT_EQ(m_shell.JobCount, 30);
    ASSERT_EQ(m_questions.size(), 1);
    EXPECT_TRUE(m_questions.front().contains("31"));

    // FileOperation counts the jobs as they are: 30 running do not ask, 31 do.
    m_questions.clear();
    m_tree.write("f.txt", "f");
    EXPECT_EQ(m_shell.FileOperation(FO_RENAME, {win("f.txt")}, {}, 0, false, win("g.txt")), 0);
    EXPECT_TRUE(m_questions.isEmpty());
    m_shell.JobCount = 31;
    EXPECT_EQ(m_shell.FileOperation(FO_RENAME, {win("g.txt")}, {}, 0, false, win("h.txt")), 1);
    ASSERT_EQ(m_questions.size(), 1);
    EXPECT_TRUE(m_questions.front().contains("31"));
    EXPECT_TRUE(m_tree.exists("g.txt"));

    m_answer = IdYes;
    m_counts.clear();
    EXPECT_TRUE(m_shell.CanStartJob());
    EXPECT_EQ(m_shell.JobCount, 32);
    m_shell.JobDone(nullptr);
    EXPECT_EQ(m_counts, (std::vector<int>{32, 31}));
}

TEST_F(ShellTest, RunProgramIsACountedJob)
{
    // Nothing can open a file that does not exist; the job still ends and is counted down.
    m_shell.RunProgram(win("missing.bin"), "");
    EXPECT_EQ(m_shell.JobCount, 1);
    ASSERT_TRUE(WaitFor([&] { return m_shell.JobCount == 0; }));
    EXPECT_EQ(m_counts, (std::vector<int>{1, 0}));
}

TEST_F(ShellTest, OpenRunsProgramsFromThePathWithLocalPathsTranslated)
{
    // A program of our own that records its arguments.
    m_tree.write("bin/record-args", "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/../args.txt\"\n");
    chmod(m_tree.path("bin/record-args").c_str(), 0755);
    ScopedEnvironment path{"PATH"};
    setenv("PATH", (m_tree.path("bin") + ":/usr/bin:/bin").c_str(), 1);
    const std::string block = FileOperationEngine::MakeSourceList({"record-args.exe"});
    const int result = m_shell.FileOperation(FO_OPEN, block.data(), {}, 0, false,
                                             "-x \"" + win("some file.txt") + "\" \\\\SERVER\\SHARE\\f", block.size());
    EXPECT_GT(result, 32);
    ASSERT_TRUE(WaitFor([&] { return m_tree.exists("args.txt") && !m_tree.read("args.txt").empty(); }));
    EXPECT_EQ(m_tree.read("args.txt"), "-x\n" + m_tree.path("some file.txt") + "\n\\\\SERVER\\SHARE\\f\n");

    const std::string missing = FileOperationEngine::MakeSourceList({"no-such-program-here"});
    EXPECT_LE(m_shell.FileOperation(FO_OPEN, missing.data(), {}, 0, false, "", missing.size()), 32);
}
