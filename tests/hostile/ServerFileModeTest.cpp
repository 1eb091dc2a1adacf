// A file or folder copied from a share gets the mode a new one of the user's gets, whatever
// DOS attributes the server reports (libsmbclient shows archive as u+x, hidden as o+x).
#include "local/FileOperationEngine.h"
#include "local/ScriptedUi.h"
#include "platform/SmbContext.h"
#include "platform/SmbFiles.h"
#include "support/SmbTestServer.h"

#include <gtest/gtest.h>

#include <libsmbclient.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

class ServerFileMode : public SmbServerTest {
protected:
    void SetUp() override
    {
        SmbServerTest::SetUp();
        fs::remove_all(s_server->folder("public") + "/attr");
        fs::create_directories(s_server->folder("public") + "/attr/sub");
        std::ofstream(s_server->folder("public") + "/attr/script") << "#!/bin/sh\ntouch /tmp/should-not-run\n";
        std::ofstream(s_server->folder("public") + "/attr/sub/inner.txt") << "inner";
    }
    // Sets the DOS attributes of a share's entry as a Windows client would.
    static void setAttributes(const std::string& rest, const char* mode)
    {
        SMBCCTX* ctx = SmbThreadContext(SmbKind::Files);
        ASSERT_NE(ctx, nullptr);
        const std::string url = SmbUrl("\\\\127.0.0.1\\公開\\" + rest);
        const int result = SmbCall([&] {
            return smbc_getFunctionSetxattr(ctx)(ctx, url.c_str(), "system.dos_attr.mode", mode, std::strlen(mode), 0);
        });
        ASSERT_EQ(result, 0) << rest << ": " << std::strerror(errno);
    }
    TempFolder local; // a scratch folder under /tmp
    ScriptedUi ui;
};

TEST_F(ServerFileMode, ArchiveAndHiddenFilesAndFoldersArriveWithoutExecuteBits)
{
    setAttributes("attr\\script", "0x22");           // archive | hidden
    setAttributes("attr\\sub\\inner.txt", "0x26");   // archive | hidden | system
    setAttributes("attr\\sub", "0x12");              // a hidden folder
    struct stat seen {};
    ASSERT_EQ(SmbStat(SmbNativePath("\\\\127.0.0.1\\公開\\attr\\script"), &seen), 0);
    ASSERT_NE(seen.st_mode & 0111, 0u) << "the server's attributes read as execute bits";

    for (const mode_t mask : {mode_t(022), mode_t(077)}) {
        const mode_t old = umask(mask);
        const std::string into = local.path(std::to_string(mask));
        fs::create_directories(into);
        FileOperationEngine engine(ui);
        const FileOperationOutcome out =
            engine.Run(FO_COPY, {SmbNativePath("\\\\127.0.0.1\\公開\\attr")}, into, 0);
        umask(old);
        ASSERT_EQ(out.code, 0) << out.failedPath;
        struct stat st {};
        ASSERT_EQ(::stat((into + "/attr/script").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0666 & ~mask) << "umask " << mask;
        ASSERT_EQ(::stat((into + "/attr/sub/inner.txt").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0666 & ~mask);
        ASSERT_EQ(::stat((into + "/attr/sub").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0777 & ~mask);
    }
}

TEST_F(ServerFileMode, LocalCopiesKeepTheirModes)
{
    // Only what comes from a server loses its bits: a local program stays a program.
    fs::create_directories(local.path("from"));
    fs::create_directories(local.path("to"));
    std::ofstream(local.path("from/tool.sh")) << "#!/bin/sh\n";
    ::chmod(local.path("from/tool.sh").c_str(), 0750);
    FileOperationEngine engine(ui);
    ASSERT_EQ(engine.Run(FO_COPY, {local.path("from/tool.sh")}, local.path("to"), 0).code, 0);
    struct stat st {};
    ASSERT_EQ(::stat(local.path("to/tool.sh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
}

} // namespace
