#include <gtest/gtest.h>

#include "local/RefusingFileSystem.h"
#include "local/TFileOperationDialog.h"
#include "local/TObjFileOperation.h"
#include "local/TempTree.h"
#include "local/WaitFor.h"
#include "platform/DriveMap.h"
#include "platform/NativeFiles.h"
#include "platform/Win32Error.h"
#include "support/TestDrives.h"

#include <QWidget>

namespace {

std::string windowsPath(const std::string& native)
{
    std::string path = "C:" + native;
    for (char& ch : path)
        if (ch == '/')
            ch = '\\';
    return path;
}

// A copy through the worker the windows use, on a target that will not take the dates:
// the copy is made and is no failure, and the user reads what it could not keep.
class FileOperationNotice : public ::testing::Test {
protected:
    void SetUp() override { MapTestDrives(); }
    void TearDown() override { RefreshDriveMap(); }

    void copy(const std::vector<std::string>& sources, const std::string& target)
    {
        auto* job = new TObjFileOperation(&m_window);
        job->Questions.showError = [this](QWidget*, const QString& text) { m_errors << text; };
        job->Questions.showNotice = [this](QWidget*, const QString& text) { m_notices << text; };
        job->FileSystems = m_files.picker();
        bool done = false;
        job->OnTerminate = [&](TWorkerThread* worker) {
            m_result = static_cast<TObjFileOperation*>(worker)->ResultCode;
            done = true;
        };
        std::vector<std::string> windows;
        for (const std::string& source : sources)
            windows.push_back(windowsPath(source));
        const std::string list = FileOperationEngine::MakeSourceList(windows);
        job->RequestFileOperation(FO_COPY, list.data(), FOF_SILENT, windowsPath(target), list.size());
        ASSERT_TRUE(WaitFor([&] { return done; }, 30000));
    }

    TempTree m_tree;
    QWidget m_window;
    RefusingFileSystem m_files{LocalFileSystem()};
    QStringList m_errors;
    QStringList m_notices;
    int m_result = -1;
};

} // namespace

TEST_F(FileOperationNotice, DatesThatCouldNotBeKeptAreToldAndTheCopyStands)
{
    m_tree.write("src/報告.txt", "text");
    m_tree.mkdir("dst");
    m_files.refuseTimes = Win32::AccessDenied;
    copy({m_tree.path("src/報告.txt")}, m_tree.path("dst"));
    EXPECT_EQ(m_result, 0);
    EXPECT_EQ(m_tree.read("dst/報告.txt"), "text");
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    ASSERT_EQ(m_notices.size(), 1);
    const QString& notice = m_notices.front();
    EXPECT_TRUE(notice.contains(TFileOperationDialog::DisplayPath(m_tree.path("dst/報告.txt")))) << notice.toStdString();
    EXPECT_TRUE(notice.contains(QString::fromStdString(Win32MessageLine(Win32::AccessDenied)))) << notice.toStdString();
    EXPECT_TRUE(notice.contains(QStringLiteral("無法保留日期"))) << notice.toStdString();
    EXPECT_FALSE(notice.contains(QStringLiteral("無法保留權限"))) << notice.toStdString();
}

TEST_F(FileOperationNotice, ACopyThatKeptEverythingSaysNothingMore)
{
    m_tree.write("src/a.txt", "a");
    m_tree.mkdir("dst");
    copy({m_tree.path("src/a.txt")}, m_tree.path("dst"));
    EXPECT_EQ(m_result, 0);
    EXPECT_EQ(m_tree.read("dst/a.txt"), "a");
    EXPECT_EQ(m_files.timesAskedFor.size(), 1u);  // it was asked, and it took them
    EXPECT_TRUE(m_notices.isEmpty());
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST(FileOperationNoticeText, NamesEachEntryWithItsReasonAndCountsTheRest)
{
    FileOperationOutcome outcome;
    EXPECT_TRUE(TFileOperationDialog::NotKeptText(outcome).isEmpty());
    outcome.notKept = {{"/tmp/a", FileOpNotKept::Mode, Win32::AccessDenied},
                       {"/tmp/b", FileOpNotKept::Dates, Win32::WriteProtect}};
    outcome.notKeptCount = 7;
    const QString text = TFileOperationDialog::NotKeptText(outcome);
    const QString reasonA = QString::fromStdString(Win32MessageLine(Win32::AccessDenied));
    const QString reasonB = QString::fromStdString(Win32MessageLine(Win32::WriteProtect));
    const qsizetype a = text.indexOf(TFileOperationDialog::DisplayPath("/tmp/a"));
    const qsizetype b = text.indexOf(TFileOperationDialog::DisplayPath("/tmp/b"));
    ASSERT_GE(a, 0) << text.toStdString();
    ASSERT_GT(b, a) << text.toStdString();
    // Each reason follows its own entry.
    EXPECT_GT(text.indexOf(reasonA, a), a);
    EXPECT_LT(text.indexOf(reasonA, a), b);
    EXPECT_GT(text.indexOf(reasonB, b), b);
    EXPECT_TRUE(text.contains(QStringLiteral("另有 5 項未列出"))) << text.toStdString();
}
