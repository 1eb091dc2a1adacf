#include "platform/DateTime.h"
#include "platform/DriveMap.h"
#include "platform/FileAccess.h"
#include "platform/Win32Error.h"
#include "support/TempFolder.h"
#include "support/TestDrives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// D: is a temporary folder, so every path below is a Windows-style one.
class FileAccessTest : public ::testing::Test {
protected:
    void SetUp() override { MapTestDrives(m_dir.path()); }
    void TearDown() override { RefreshDriveMap(); }

    static std::string readAll(PlatformFile& file)
    {
        std::string data(static_cast<size_t>(file.size()), '\0');
        size_t got = 0;
        EXPECT_TRUE(file.seek(0));
        EXPECT_TRUE(file.read(data.data(), data.size(), &got));
        data.resize(got);
        return data;
    }

    TempFolder m_dir;
};

TEST_F(FileAccessTest, WriteThenReadBack)
{
    int error = -1;
    auto file = OpenFile("D:\\a.dat", FileMode::Create, &error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(error, 0);
    ASSERT_TRUE(file->write("hello world", 11));
    EXPECT_EQ(file->position(), 11);
    ASSERT_TRUE(file->truncate(5));
    EXPECT_EQ(file->size(), 5);
    ASSERT_TRUE(file->flush());
    file.reset();
    EXPECT_EQ(m_dir.readFile("a.dat"), "hello");

    file = OpenFile("d:\\A.DAT", FileMode::Read, &error);
    EXPECT_FALSE(file);  // Linux names keep their case
    EXPECT_EQ(error, Win32::FileNotFound);
    file = OpenFile("D:\\a.dat", FileMode::Read, &error);
    ASSERT_TRUE(file);
    char buffer[16];
    size_t got = 0;
    ASSERT_TRUE(file->seek(3));
    ASSERT_TRUE(file->read(buffer, sizeof buffer, &got));  // short read at the end
    EXPECT_EQ(std::string(buffer, got), "lo");
    EXPECT_FALSE(file->write("x", 1));  // opened for reading
    EXPECT_EQ(file->error(), Win32::AccessDenied);
    file.reset();

    file = OpenFile("D:\\a.dat", FileMode::OpenOrCreate, &error);
    ASSERT_TRUE(file);
    EXPECT_EQ(readAll(*file), "hello");  // kept, not emptied
}

TEST_F(FileAccessTest, OpenFailuresGiveTheSystemCodes)
{
    int error = 0;
    EXPECT_FALSE(OpenFile("D:\\missing.dat", FileMode::Read, &error));
    EXPECT_EQ(error, Win32::FileNotFound);
    EXPECT_FALSE(OpenFile("D:\\nofolder\\x.dat", FileMode::Create, &error));
    EXPECT_EQ(error, Win32::PathNotFound);
    EXPECT_FALSE(OpenFile("Q:\\x.dat", FileMode::Read, &error));
    EXPECT_EQ(error, Win32::PathNotFound);
    EXPECT_FALSE(OpenFile("\\\\SERVER\\SHARE\\x.dat", FileMode::Read, &error));
    EXPECT_EQ(error, Win32::BadNetpath);
    EXPECT_FALSE(OpenFile("D:\\", FileMode::Read, &error));
    EXPECT_EQ(error, Win32::AccessDenied);
    EXPECT_FALSE(OpenFile("no drive", FileMode::Read, &error));
    EXPECT_EQ(error, Win32::InvalidName);
}

TEST_F(FileAccessTest, SharingRulesWithinOneProcess)
{
    m_dir.writeFile("s.dat", "keep me");
    int error = 0;
    auto reader1 = OpenFile("D:\\s.dat", FileMode::Read, &error);
    auto reader2 = OpenFile("D:\\s.dat", FileMode::Read, &error);
    ASSERT_TRUE(reader1 && reader2);  // reads share
    for (FileMode mode : {FileMode::ReadWrite, FileMode::Create, FileMode::OpenOrCreate}) {
        error = 0;
        EXPECT_FALSE(OpenFile("D:\\s.dat", mode, &error));
        EXPECT_EQ(error, Win32::SharingViolation);
    }
    EXPECT_EQ(m_dir.readFile("s.dat"), "keep me");  // the refused Create emptied nothing
    EXPECT_FALSE(DeleteFile("D:\\s.dat", &error));
    EXPECT_EQ(error, Win32::SharingViolation);
    EXPECT_FALSE(RenameFile("D:\\s.dat", "D:\\t.dat", &error));
    EXPECT_EQ(error, Win32::SharingViolation);
    reader1.reset();
    reader2.reset();

    auto writer = OpenFile("D:\\s.dat", FileMode::ReadWrite, &error);
    ASSERT_TRUE(writer);
    EXPECT_FALSE(OpenFile("D:\\s.dat", FileMode::Read, &error));  // a write excludes reads
    EXPECT_EQ(error, Win32::SharingViolation);
    EXPECT_FALSE(OpenFile("D:\\s.dat", FileMode::ReadWrite, &error));
    writer.reset();
    EXPECT_TRUE(OpenFile("D:\\s.dat", FileMode::Read, &error));  // closing released it
    EXPECT_TRUE(DeleteFile("D:\\s.dat", &error));
}

// The child holds the file open in `childMode` until the parent closes the pipe, and the
// parent tries `parentMode` meanwhile. Returns the parent's error code.
int ConflictWithAnotherProcess(const std::string& path, FileMode childMode, FileMode parentMode)
{
    int ready[2];
    int release[2];
    if (pipe(ready) != 0 || pipe(release) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(release[1]);  // else the child's own end keeps the pipe open
        close(ready[0]);
        int error = 0;
        auto file = OpenFile(path, childMode, &error);
        const char answer = file ? 'y' : 'n';
        (void)!write(ready[1], &answer, 1);
        char ignored;
        (void)!read(release[0], &ignored, 1);
        _exit(file ? 0 : 1);
    }
    close(release[0]);
    close(ready[1]);
    char answer = 0;
    int error = -2;
    std::unique_ptr<PlatformFile> file;
    if (read(ready[0], &answer, 1) == 1 && answer == 'y')
        file = OpenFile(path, parentMode, &error);
    close(release[1]);
    close(ready[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return file ? 0 : error;
}

TEST_F(FileAccessTest, SharingRulesBetweenProcesses)
{
    m_dir.writeFile("p.dat", "data");
    EXPECT_EQ(ConflictWithAnotherProcess("D:\\p.dat", FileMode::Read, FileMode::Read), 0);
    EXPECT_EQ(ConflictWithAnotherProcess("D:\\p.dat", FileMode::Read, FileMode::ReadWrite), Win32::SharingViolation);
    EXPECT_EQ(ConflictWithAnotherProcess("D:\\p.dat", FileMode::ReadWrite, FileMode::Read), Win32::SharingViolation);
    EXPECT_EQ(ConflictWithAnotherProcess("D:\\p.dat", FileMode::OpenOrCreate, FileMode::Create), Win32::SharingViolation);
    EXPECT_EQ(m_dir.readFile("p.dat"), "data");
    // And free again once the other program is gone.
    int error = 0;
    EXPECT_TRUE(OpenFile("D:\\p.dat", FileMode::ReadWrite, &error));
}

TEST_F(FileAccessTest, FoldersAreMadeRenamedAndRemoved)
{
    int error = 0;
    ASSERT_TRUE(ForceDirectories("D:\\a\\b\\功能\\", &error)) << error;
    EXPECT_TRUE(DirectoryExists("D:\\a\\b\\功能"));
    EXPECT_TRUE(ForceDirectories("D:\\a\\b", &error));  // already there
    m_dir.writeFile("a/file", "x");
    EXPECT_FALSE(ForceDirectories("D:\\a\\file\\sub", &error));
    EXPECT_EQ(error, Win32::AlreadyExists);
    EXPECT_TRUE(FileExists("D:\\a\\file"));
    EXPECT_FALSE(FileExists("D:\\a\\b"));
    EXPECT_FALSE(DirectoryExists("D:\\a\\file"));

    EXPECT_FALSE(RemoveDirectory("D:\\a\\b", &error));
    EXPECT_EQ(error, Win32::DirNotEmpty);
    EXPECT_FALSE(RemoveDirectory("D:\\a\\file", &error));
    EXPECT_EQ(error, Win32::DirectoryInvalid);
    EXPECT_FALSE(DeleteFile("D:\\a\\b", &error));
    EXPECT_EQ(error, Win32::AccessDenied);

    m_dir.writeFile("a/other", "y");
    EXPECT_FALSE(RenameFile("D:\\a\\file", "D:\\a\\other", &error));
    EXPECT_EQ(error, Win32::AlreadyExists);
    EXPECT_EQ(m_dir.readFile("a/other"), "y");
    EXPECT_TRUE(RenameFile("D:\\a\\file", "D:\\a\\b\\moved", &error));
    EXPECT_TRUE(FileExists("D:\\a\\b\\moved"));
    EXPECT_TRUE(RenameFile("D:\\a\\b\\功能", "D:\\a\\c", &error));  // folders too
    EXPECT_TRUE(RemoveDirectory("D:\\a\\c", &error));
    EXPECT_FALSE(DeleteFile("D:\\a\\gone", &error));
    EXPECT_EQ(error, Win32::FileNotFound);
}

TEST_F(FileAccessTest, ListingGivesAttributesSizesAndDates)
{
    ForceDirectories("D:\\list\\sub");
    m_dir.writeFile("list/Report.TXT", "12345");
    m_dir.writeFile("list/.hidden", "");
    m_dir.writeFile("list/locked.txt", "abc");
    m_dir.writeFile("list/back\\slash", "");
    chmod(m_dir.path("list/locked.txt").c_str(), 0444);
    const double now = DateTimeFromUnix(std::time(nullptr));

    std::vector<FindEntry> entries;
    int error = -1;
    ASSERT_TRUE(ListDirectory("D:\\list\\", entries, &error));
    EXPECT_EQ(error, 0);
    std::sort(entries.begin(), entries.end(), [](const FindEntry& a, const FindEntry& b) { return a.name < b.name; });
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].name, ".hidden");
    EXPECT_EQ(entries[0].attributes, 0x22u);
    EXPECT_EQ(entries[1].name, "Report.TXT");
    EXPECT_EQ(entries[1].attributes, 0x20u);
    EXPECT_EQ(entries[1].size, 5u);
    EXPECT_NEAR(entries[1].modified, now, 60.0 / 86400);
    EXPECT_EQ(entries[2].name, "back\xC2\xA4" "5Cslash");
    EXPECT_EQ(entries[3].name, "locked.txt");
    EXPECT_EQ(entries[3].attributes, 0x21u);
    EXPECT_EQ(entries[4].name, "sub");
    EXPECT_EQ(entries[4].attributes, 0x10u);
    EXPECT_EQ(entries[4].size, 0u);

    entries.clear();
    ASSERT_TRUE(ListDirectory("D:\\list\\*.txt", entries, &error));
    EXPECT_EQ(entries.size(), 2u);  // Report.TXT and locked.txt
    entries.clear();
    ASSERT_TRUE(ListDirectory("D:\\list\\*.*", entries, &error));
    EXPECT_EQ(entries.size(), 5u);
    entries.clear();
    ASSERT_TRUE(ListDirectory("D:\\list\\s?b", entries, &error));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "sub");

    FindEntry one;
    ASSERT_TRUE(GetFileEntry("D:\\list\\locked.txt", one, &error));
    EXPECT_EQ(one.name, "locked.txt");
    EXPECT_EQ(one.attributes, 0x21u);
    EXPECT_EQ(one.size, 3u);
    ASSERT_TRUE(GetFileEntry("D:\\list\\sub\\", one, &error));
    EXPECT_EQ(one.name, "sub");
    EXPECT_EQ(one.attributes, 0x10u);
    EXPECT_FALSE(GetFileEntry("D:\\list\\none", one, &error));
    EXPECT_EQ(error, Win32::FileNotFound);

    EXPECT_FALSE(ListDirectory("D:\\nothing\\*.*", entries, &error));
    EXPECT_EQ(error, Win32::PathNotFound);
    EXPECT_FALSE(ListDirectory("D:\\list\\Report.TXT\\", entries, &error));
    EXPECT_EQ(error, Win32::DirectoryInvalid);
    EXPECT_FALSE(ListDirectory("\\\\HOST\\SHARE\\", entries, &error));
    EXPECT_EQ(error, Win32::BadNetpath);
}

}  // namespace
