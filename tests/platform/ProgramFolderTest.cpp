#include "platform/DriveMap.h"
#include "platform/FileAccess.h"
#include "platform/ProgramFolder.h"
#include "support/ScopedEnvironment.h"
#include "support/TempFolder.h"
#include "support/TestDrives.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace {

class ProgramFolderTest : public ::testing::Test {
protected:
    void SetUp() override { MapTestDrives(); }
    void TearDown() override { RefreshDriveMap(); }

    ScopedEnvironment m_environment{"TAMSEL_HOME", "XDG_DATA_HOME"};
    TempFolder m_dir;
};

TEST_F(ProgramFolderTest, EnvironmentOverridesAndIsCreated)
{
    setenv("TAMSEL_HOME", m_dir.path("home/sub/").c_str(), 1);
    const std::string folder = ProgramFolder();
    EXPECT_EQ(folder.rfind("C:\\", 0), 0u);
    EXPECT_EQ(NativePath(folder), m_dir.path("home/sub/"));
    EXPECT_EQ(folder.back(), '\\');
    EXPECT_TRUE(DirectoryExists(folder));
}

TEST_F(ProgramFolderTest, WritableExecutableFolderIsUsed)
{
    unsetenv("TAMSEL_HOME");
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    std::string exeFolder(exe, static_cast<size_t>(n));
    exeFolder.resize(exeFolder.rfind('/'));
    EXPECT_EQ(ProgramFolder(), WindowsPath(exeFolder) + "\\");  // the build tree is writable
    EXPECT_EQ(ProgramFolderFrom(m_dir.path()), WindowsPath(m_dir.path()) + "\\");
}

TEST_F(ProgramFolderTest, ReadOnlyOrSystemFolderFallsBackToDataFolder)
{
    unsetenv("TAMSEL_HOME");
    setenv("XDG_DATA_HOME", m_dir.path("data").c_str(), 1);
    const std::string expected = WindowsPath(m_dir.path("data/tamsel")) + "\\";
    EXPECT_EQ(ProgramFolderFrom("/proc"), expected);  // no file can be made there, not even by root
    EXPECT_EQ(ProgramFolderFrom("/usr/bin"), expected);
    EXPECT_EQ(ProgramFolderFrom("/usr/lib/tamsel"), expected);  // where the package puts the programs
    EXPECT_TRUE(DirectoryExists(expected));
}

}  // namespace
