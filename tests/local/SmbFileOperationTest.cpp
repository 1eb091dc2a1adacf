#include "local/FileOperationEngine.h"
#include "local/RefusingFileSystem.h"
#include "local/ScriptedUi.h"
#include "platform/SmbFiles.h"
#include "platform/Win32Error.h"
#include "support/FileSystemContract.h"
#include "support/SmbTestServer.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

// The file operation engine between a local folder and the shares of a test server.
class SmbFileOperation : public SmbServerTest {
protected:
    void SetUp() override
    {
        SmbServerTest::SetUp();
        fs::remove_all(pub());
        fs::create_directories(pub());
        fs::create_directories(local.path("here"));
    }
    static std::string pub() { return s_server->folder("public") + "/ops"; }
    static std::string share(const std::string& rest = "")
    {
        return SmbNativePath("\\\\127.0.0.1\\公開\\ops" + (rest.empty() ? "" : "\\" + rest));
    }
    static std::string read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static bool noPartFiles(const std::string& folder)
    {
        for (const auto& e : fs::recursive_directory_iterator(folder))
            if (e.path().filename().string().find(".tamsel-part-") != std::string::npos)
                return false;
        return true;
    }
    FileOperationOutcome run(uint32_t op, std::vector<std::string> sources, const std::string& to, uint16_t flags = 0)
    {
        FileOperationEngine engine(ui);
        return engine.Run(op, sources, to, flags);
    }
    TempFolder local;
    ScriptedUi ui;
};

TEST_F(SmbFileOperation, CopiesFoldersToAndFromAShare)
{
    fs::create_directories(local.path("here/樹/枝"));
    std::ofstream(local.path("here/樹/葉.txt")) << "leaf";
    std::ofstream(local.path("here/樹/枝/big.bin")) << std::string(3 << 20, 'x'); // several chunks

    FileOperationOutcome out = run(FO_COPY, {local.path("here/樹")}, share());
    ASSERT_EQ(out.code, 0) << out.failedPath;
    EXPECT_EQ(read(pub() + "/樹/葉.txt"), "leaf");
    EXPECT_EQ(fs::file_size(pub() + "/樹/枝/big.bin"), 3u << 20);
    EXPECT_EQ(ui.totalBytes, (3u << 20) + 4);
    EXPECT_EQ(ui.lastProgress, ui.totalBytes);
    EXPECT_TRUE(noPartFiles(pub()));

    fs::create_directories(local.path("back"));
    out = run(FO_COPY, {share("樹")}, local.path("back"));
    ASSERT_EQ(out.code, 0) << out.failedPath;
    EXPECT_EQ(read(local.path("back/樹/葉.txt")), "leaf");
    EXPECT_EQ(fs::file_size(local.path("back/樹/枝/big.bin")), 3u << 20);
    EXPECT_EQ(fs::last_write_time(local.path("back/樹/葉.txt")), fs::last_write_time(pub() + "/樹/葉.txt"));
}

TEST_F(SmbFileOperation, OverwriteQuestionsAndCancelLeaveNothingHalfDone)
{
    std::ofstream(pub() + "/same.txt") << "old";
    std::ofstream(local.path("here/same.txt")) << "new";
    ui.answers = {OverwriteAnswer::No};
    FileOperationOutcome out = run(FO_COPY, {local.path("here/same.txt")}, share());
    EXPECT_EQ(out.code, 0);
    ASSERT_EQ(ui.askedFor.size(), 1u);
    EXPECT_EQ(ui.askedFor[0], share("same.txt"));
    EXPECT_EQ(read(pub() + "/same.txt"), "old");
    ui.answers = {OverwriteAnswer::Yes};
    EXPECT_EQ(run(FO_COPY, {local.path("here/same.txt")}, share()).code, 0);
    EXPECT_EQ(read(pub() + "/same.txt"), "new");

    std::ofstream(local.path("here/huge.bin")) << std::string(4 << 20, 'y');
    ui.cancelAfterBytes = 1 << 20;
    out = run(FO_COPY, {local.path("here/huge.bin")}, share());
    EXPECT_TRUE(out.aborted);
    EXPECT_EQ(out.code, Win32::Cancelled);
    EXPECT_FALSE(fs::exists(pub() + "/huge.bin"));
    EXPECT_TRUE(noPartFiles(pub()));
}

TEST_F(SmbFileOperation, MovesRenamesAndDeletesOnShares)
{
    fs::create_directories(pub() + "/a/b");
    std::ofstream(pub() + "/a/b/c.txt") << "c";
    std::ofstream(pub() + "/a/d.txt") << "d";
    fs::create_directories(s_server->folder("admin") + "/moved");

    // Within one share a move is a rename on the server.
    EXPECT_EQ(run(FO_MOVE, {share("a\\d.txt")}, share()).code, 0);
    EXPECT_EQ(read(pub() + "/d.txt"), "d");
    EXPECT_FALSE(fs::exists(pub() + "/a/d.txt"));
    // Between shares it is a copy, and the source goes once its copy is complete.
    const std::string admin = SmbNativePath("\\\\127.0.0.1\\管理$\\moved");
    ASSERT_EQ(run(FO_MOVE, {share("a")}, admin).code, 0);
    EXPECT_EQ(read(s_server->folder("admin") + "/moved/a/b/c.txt"), "c");
    EXPECT_FALSE(fs::exists(pub() + "/a"));
    // To a local folder as well.
    ASSERT_EQ(run(FO_MOVE, {admin + "/a"}, local.path("here")).code, 0);
    EXPECT_EQ(read(local.path("here/a/b/c.txt")), "c");
    EXPECT_FALSE(fs::exists(s_server->folder("admin") + "/moved/a"));

    std::ofstream(pub() + "/other.txt") << "o";
    FileOperationOutcome out = run(FO_RENAME, {share("d.txt")}, share("other.txt"));
    EXPECT_EQ(out.code, Win32::AlreadyExists);
    EXPECT_EQ(read(pub() + "/d.txt"), "d");
    EXPECT_EQ(run(FO_RENAME, {share("d.txt")}, share("改名.txt")).code, 0);
    EXPECT_EQ(read(pub() + "/改名.txt"), "d");

    fs::create_directories(pub() + "/tree/x/y");
    std::ofstream(pub() + "/tree/x/y/z") << "z";
    // A share has no trash: a delete with undo deletes for good and puts nothing aside.
    out = run(FO_DELETE, {share("tree"), share("改名.txt")}, {}, FOF_ALLOWUNDO | FOF_NOCONFIRMATION);
    EXPECT_EQ(out.code, 0) << out.failedPath;
    EXPECT_TRUE(out.trashed.empty());
    EXPECT_FALSE(fs::exists(pub() + "/tree"));
    EXPECT_FALSE(fs::exists(pub() + "/改名.txt"));
}

TEST_F(SmbFileOperation, RefusedShareStopsWithTheLogonCode)
{
    std::ofstream(local.path("here/f.txt")) << "f";
    const std::string privateShare = SmbNativePath("\\\\127.0.0.1\\私人\\");
    FileOperationOutcome out = run(FO_COPY, {local.path("here/f.txt")}, privateShare);
    EXPECT_EQ(out.code, Win32::LogonFailure);
    allowPrivateShare();
    SmbDropConnections();
    out = run(FO_COPY, {local.path("here/f.txt")}, privateShare);
    EXPECT_EQ(out.code, 0);
    EXPECT_EQ(read(s_server->folder("private-share") + "/f.txt"), "f");
}

TEST_F(SmbFileOperation, TheShareAnswersAsEveryFileSystemMust)
{
    CheckFileSystemContract(SmbFileSystem(), share());
    // A rename between two shares is no rename: the file operations copy instead.
    std::ofstream(pub() + "/x.txt") << "x";
    EXPECT_EQ(SmbFileSystem().rename(share("x.txt"), SmbNativePath("\\\\127.0.0.1\\管理$\\x.txt"), true),
              Win32::NotSameDevice);
    EXPECT_EQ(read(pub() + "/x.txt"), "x");
    EXPECT_EQ(FileSystemFor(share()).hasTrash(), false);
    EXPECT_EQ(&FileSystemFor(local.path("here")), &LocalFileSystem());
}

namespace {

struct stat statOf(const std::string& path)
{
    struct stat st {};
    stat(path.c_str(), &st);
    return st;
}

} // namespace

// Dates go to a share and back to the second, folders' too; modes do not go to a share,
// which has none of its own, and that is no loss the user hears of.
TEST_F(SmbFileOperation, DatesGoToAShareAndBack)
{
    fs::create_directories(local.path("here/dated"));
    std::ofstream(local.path("here/dated/run.sh")) << "#!/bin/sh\n";
    chmod(local.path("here/dated/run.sh").c_str(), 0750);
    const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    utimensat(AT_FDCWD, local.path("here/dated/run.sh").c_str(), old, 0);
    utimensat(AT_FDCWD, local.path("here/dated").c_str(), old, 0);

    FileOperationOutcome out = run(FO_COPY, {local.path("here/dated")}, share());
    ASSERT_EQ(out.code, 0) << out.failedPath;
    EXPECT_EQ(out.notKeptCount, 0u);
    EXPECT_EQ(statOf(pub() + "/dated/run.sh").st_mtime, 1000000000);
    EXPECT_EQ(statOf(pub() + "/dated").st_mtime, 1000000000);

    fs::create_directories(local.path("back"));
    out = run(FO_COPY, {share("dated")}, local.path("back"));
    ASSERT_EQ(out.code, 0) << out.failedPath;
    EXPECT_EQ(out.notKeptCount, 0u);
    EXPECT_EQ(statOf(local.path("back/dated/run.sh")).st_mtime, 1000000000);
    EXPECT_EQ(statOf(local.path("back/dated")).st_mtime, 1000000000);
}

// A server that would not take the dates: the copy on the share is complete, and the
// outcome names it by its share path.
TEST_F(SmbFileOperation, AShareThatRefusesTheDatesStillGetsTheCopy)
{
    std::ofstream(local.path("here/f.txt")) << "contents";
    RefusingFileSystem refusing(SmbFileSystem());
    refusing.refuseTimes = Win32::AccessDenied;
    FileOperationEngine engine(ui, [&refusing](const std::string& path) -> FileSystem& {
        return IsSmbNative(path) ? refusing : LocalFileSystem();
    });
    const FileOperationOutcome out = engine.Run(FO_COPY, {local.path("here/f.txt")}, share(), 0);
    ASSERT_EQ(out.code, 0) << out.failedPath;
    EXPECT_EQ(read(pub() + "/f.txt"), "contents");
    EXPECT_TRUE(noPartFiles(pub()));
    ASSERT_EQ(out.notKept.size(), 1u);
    EXPECT_EQ(out.notKept[0].path, share("f.txt"));
    EXPECT_EQ(out.notKept[0].what, FileOpNotKept::Dates);
    // The share keeps no modes of ours: it was never asked to.
    EXPECT_TRUE(refusing.modeAskedFor.empty());
}

} // namespace
