#include "store/TObjFindFiles.h"
#include "local/WaitFor.h"
#include "platform/Win32Error.h"
#include "support/SmbTestServer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

struct Result {
    bool called = false;
    bool completed = false;
    uint32_t code = 0;
    QString text;
    QStringList files, folders;
    bool cancelled = false;
};

// Lists `path` and waits for the completion handler; `stopFirst` sets the stop request
// before the thread starts.
Result List(const std::string& path, bool stopFirst = false)
{
    Result result;
    auto* worker = new TObjFindFiles(path);
    worker->OnTerminate = [&result](TWorkerThread* sender) {
        auto* w = static_cast<TObjFindFiles*>(sender);
        result = {true, w->Completed, w->ErrorCode, w->ErrorText, w->Files, w->Folders, w->ConnectionCancelled};
    };
    if (stopFirst)
        worker->Terminate();
    worker->StartListing();
    EXPECT_TRUE(WaitFor([&] { return result.called; }));
    return result;
}

using FindFiles = SmbServerTest;

TEST_F(FindFiles, ShareRootIsSortedSplitAndItsConnectionDropped)
{
    const std::string root = s_server->folder("public");
    fs::remove_all(root);
    fs::create_directories(root + "/beta");
    fs::create_directories(root + "/Alpha");
    fs::create_directories(root + "/..x");
    std::ofstream(root + "/b.txt") << "";
    std::ofstream(root + "/A.txt") << "";
    std::ofstream(root + "/a\\b") << ""; // no plain name on the wire: the server mangles it

    Result r = List("\\\\127.0.0.1\\公開"); // no trailing backslash
    EXPECT_TRUE(r.completed);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.folders, (QStringList{"..x", "Alpha", "beta"}));
    ASSERT_EQ(r.files.size(), 3);
    ASSERT_TRUE(r.files.contains("A.txt") && r.files.contains("b.txt"));
    EXPECT_LT(r.files.indexOf("A.txt"), r.files.indexOf("b.txt"));
    for (const QString& name : r.files + r.folders)
        EXPECT_FALSE(name.contains('\\') || name == "." || name == "..") << name.toStdString();

    r = List("\\\\127.0.0.1\\公開\\beta\\");
    EXPECT_TRUE(r.completed);
    EXPECT_FALSE(r.cancelled);
    EXPECT_TRUE(r.files.isEmpty() && r.folders.isEmpty());
}

TEST_F(FindFiles, EmptyRootMissingFolderRefusedShareAndStop)
{
    fs::remove_all(s_server->folder("admin"));
    fs::create_directories(s_server->folder("admin"));
    Result r = List("\\\\127.0.0.1\\管理$\\");
    EXPECT_TRUE(r.completed);
    EXPECT_TRUE(r.cancelled);
    EXPECT_TRUE(r.files.isEmpty() && r.folders.isEmpty());

    r = List("\\\\127.0.0.1\\公開\\沒有\\");
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(r.code, uint32_t(Win32::PathNotFound));
    EXPECT_FALSE(r.text.isEmpty());

    r = List("\\\\127.0.0.1\\私人\\");
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(r.code, uint32_t(Win32::LogonFailure));

    std::ofstream(s_server->folder("public") + "/stop.txt") << "";
    r = List("\\\\127.0.0.1\\公開\\", true);
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(r.code, 0u);
    EXPECT_EQ(r.text, QString("使用者中斷"));
}

TEST(FindFilesShareRoot, OnlyAShareItselfIsARoot)
{
    EXPECT_TRUE(TObjFindFiles::IsShareRoot("\\\\SRV\\SHARE\\"));
    EXPECT_FALSE(TObjFindFiles::IsShareRoot("\\\\SRV\\SHARE\\DIR\\"));
    EXPECT_FALSE(TObjFindFiles::IsShareRoot("C:\\DIR\\"));
    EXPECT_EQ(TObjFindFiles("\\\\SRV\\SHARE").Pattern, "\\\\SRV\\SHARE\\*.*");
}

} // namespace
