#include "platform/FileAccess.h"
#include "platform/NativeNames.h"
#include "platform/SmbFiles.h"
#include "platform/SmbShares.h"
#include "platform/Win32Error.h"
#include "support/SmbTestServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

using SmbFiles = SmbServerTest;

const std::string Public = "\\\\127.0.0.1\\公開\\";

std::map<std::string, FindEntry> List(const std::string& folder, int* error)
{
    std::map<std::string, FindEntry> found;
    std::vector<FindEntry> entries;
    if (ListDirectory(folder, entries, error))
        for (FindEntry& e : entries)
            found[e.name] = e;
    return found;
}

TEST_F(SmbFiles, WriteReadSeekAndStatThroughUncPaths)
{
    int error = -1;
    ASSERT_TRUE(ForceDirectories(Public + "資料\\深\\層", &error)) << error;
    EXPECT_TRUE(std::filesystem::is_directory(s_server->folder("public") + "/資料/深/層"));
    EXPECT_TRUE(DirectoryExists(Public + "資料\\深\\"));

    auto file = OpenFile(Public + "資料\\報告 100%#.txt", FileMode::Create, &error);
    ASSERT_TRUE(file) << error;
    ASSERT_TRUE(file->write("hello world", 11));
    ASSERT_TRUE(file->seek(6));
    ASSERT_TRUE(file->write("WORLD", 5));
    EXPECT_EQ(file->size(), 11);
    file.reset();
    std::ifstream local(s_server->folder("public") + "/資料/報告 100%#.txt");
    std::string text;
    std::getline(local, text);
    EXPECT_EQ(text, "hello WORLD");

    file = OpenFile(Public + "資料\\報告 100%#.txt", FileMode::Read, &error);
    ASSERT_TRUE(file);
    char buffer[32] = {};
    size_t got = 0;
    ASSERT_TRUE(file->seek(6));
    ASSERT_TRUE(file->read(buffer, sizeof buffer, &got));
    EXPECT_EQ(std::string(buffer, got), "WORLD");
    EXPECT_FALSE(file->write("x", 1)); // opened for reading
    file.reset();

    FindEntry entry;
    ASSERT_TRUE(GetFileEntry(Public + "資料\\報告 100%#.txt", entry, &error));
    EXPECT_EQ(entry.name, "報告 100%#.txt");
    EXPECT_EQ(entry.size, 11u);
    EXPECT_EQ(entry.attributes & 0x10, 0u);
    EXPECT_TRUE(FileExists(Public + "資料\\報告 100%#.txt"));
    EXPECT_FALSE(FileExists(Public + "資料"));
}

TEST_F(SmbFiles, ListingGivesNamesAttributesAndPatterns)
{
    const std::string root = s_server->folder("public") + "/列表";
    std::filesystem::create_directories(root + "/子資料夾");
    std::filesystem::create_directories(root + "/..x");
    std::ofstream(root + "/a.TXT") << "12345";
    std::ofstream(root + "/b.dat") << "";
    std::ofstream(root + "/.hidden") << "x";

    int error = -1;
    auto found = List(Public + "列表\\", &error);
    ASSERT_EQ(error, 0);
    EXPECT_EQ(found.count("."), 0u);
    EXPECT_EQ(found.count(".."), 0u);
    ASSERT_EQ(found.count("..x"), 1u); // a plain name, however it begins
    ASSERT_EQ(found.count("子資料夾"), 1u);
    EXPECT_EQ(found["子資料夾"].attributes & 0x10, 0x10u);
    ASSERT_EQ(found.count("a.TXT"), 1u);
    EXPECT_EQ(found["a.TXT"].size, 5u);
    EXPECT_EQ(found["a.TXT"].attributes & 0x10, 0u);
    EXPECT_GT(found["a.TXT"].modified, 40000.0);
    EXPECT_EQ(found.size(), 5u);

    found = List(Public + "列表\\*.txt", &error);
    EXPECT_EQ(found.size(), 1u);
    EXPECT_EQ(found.count("a.TXT"), 1u);
}

TEST_F(SmbFiles, RenameDeleteAndRemoveKeepTheSystemsRules)
{
    const std::string root = s_server->folder("public") + "/改名";
    std::filesystem::create_directories(root + "/folder");
    std::ofstream(root + "/one") << "1";
    std::ofstream(root + "/two") << "2";
    int error = -1;
    const std::string dir = Public + "改名\\";
    EXPECT_FALSE(RenameFile(dir + "one", dir + "two", &error));
    EXPECT_EQ(error, Win32::AlreadyExists);
    EXPECT_TRUE(RenameFile(dir + "one", dir + "一號", &error)) << error;
    EXPECT_TRUE(std::filesystem::exists(root + "/一號"));
    EXPECT_FALSE(RenameFile(dir + "two", "D:\\two", &error));
    EXPECT_EQ(error, Win32::NotSameDevice);

    EXPECT_FALSE(DeleteFile(dir + "folder", &error));
    EXPECT_EQ(error, Win32::AccessDenied);
    std::ofstream(root + "/folder/inside") << "";
    EXPECT_FALSE(RemoveDirectory(dir + "folder", &error));
    EXPECT_EQ(error, Win32::DirNotEmpty);
    EXPECT_TRUE(DeleteFile(dir + "folder\\inside", &error));
    EXPECT_TRUE(RemoveDirectory(dir + "folder", &error));
    EXPECT_FALSE(std::filesystem::exists(root + "/folder"));
    EXPECT_FALSE(DeleteFile(dir + "gone", &error));
    EXPECT_EQ(error, Win32::FileNotFound);
}

TEST_F(SmbFiles, MissingThingsAndRefusedLogonsHaveTheirOwnCodes)
{
    int error = 0;
    EXPECT_FALSE(OpenFile(Public + "nofolder\\x", FileMode::Read, &error));
    EXPECT_EQ(error, Win32::PathNotFound);
    EXPECT_FALSE(OpenFile("\\\\127.0.0.1\\沒有這個\\x", FileMode::Read, &error));
    EXPECT_EQ(error, Win32::BadNetName);
    EXPECT_FALSE(OpenFile("\\\\127.0.0.3\\share\\x", FileMode::Read, &error));
    EXPECT_EQ(error, Win32::BadNetpath);
    EXPECT_FALSE(OpenFile("\\\\NOSUCHSERVER\\share\\x", FileMode::Read, &error));
    EXPECT_EQ(error, Win32::BadNetpath);

    std::ofstream(s_server->folder("private-share") + "/secret.txt") << "s";
    std::vector<FindEntry> entries;
    EXPECT_FALSE(ListDirectory("\\\\127.0.0.1\\私人\\", entries, &error));
    EXPECT_EQ(error, Win32::LogonFailure);
    allowPrivateShare();
    EXPECT_TRUE(ListDirectory("\\\\127.0.0.1\\私人\\", entries, &error)) << error;
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "secret.txt");
}

// libsmbclient reports all three refusals alike; a wrong password must still be told from
// an unknown user and from none at all, and must never turn into a guest logon.
TEST_F(SmbFiles, WrongPasswordIsInvalidPasswordAndAnUnknownUserALogonFailure)
{
    const std::string privateShare = "\\\\127.0.0.1\\私人\\";
    std::vector<FindEntry> entries;
    int error = 0;
    SmbCredentials::set("\\\\127.0.0.1\\私人", SmbTestServer::User, "wrong");
    EXPECT_FALSE(ListDirectory(privateShare, entries, &error));
    EXPECT_EQ(error, Win32::InvalidPassword);
    // The server takes a user it does not know for its guest; only the share refuses.
    SmbCredentials::set("\\\\127.0.0.1\\私人", "nosuchuser", "whatever");
    SmbDropConnections();
    EXPECT_FALSE(ListDirectory(privateShare, entries, &error));
    EXPECT_EQ(error, Win32::LogonFailure);

    // Credentials of the server that it refuses: its shares list fails, the guest share too.
    SmbCredentials::clear();
    SmbCredentials::set("\\\\127.0.0.1", SmbTestServer::User, "wrong");
    SmbDropConnections();
    std::vector<SmbShare> shares;
    EXPECT_FALSE(ListSmbShares("127.0.0.1", shares, &error));
    EXPECT_EQ(error, Win32::InvalidPassword);
    EXPECT_FALSE(ListDirectory(Public, entries, &error));
    EXPECT_EQ(error, Win32::InvalidPassword);
    SmbCredentials::set("\\\\127.0.0.1", SmbTestServer::User, SmbTestServer::Password);
    SmbDropConnections();
    EXPECT_TRUE(ListSmbShares("127.0.0.1", shares, &error)) << error;
    EXPECT_TRUE(ListDirectory(privateShare, entries, &error)) << error;
}

TEST_F(SmbFiles, DroppingOneServerKeepsTheOthersConnections)
{
    const std::string privateShare = "\\\\127.0.0.1\\私人\\";
    std::vector<FindEntry> entries;
    int error = 0;
    allowPrivateShare();
    ASSERT_TRUE(ListDirectory(privateShare, entries, &error)) << error;
    // A connection made stays in use until dropped: a changed password is not asked for.
    SmbCredentials::set("\\\\127.0.0.1\\私人", SmbTestServer::User, "changed");
    SmbDropConnections("OTHERSERVER");
    EXPECT_TRUE(ListDirectory(privateShare, entries, &error)) << error;
    SmbDropConnections("127.0.0.1");
    EXPECT_FALSE(ListDirectory(privateShare, entries, &error));
    EXPECT_EQ(error, Win32::InvalidPassword);
    allowPrivateShare();
    SmbDropConnections("127.0.0.1");
    EXPECT_TRUE(ListDirectory(privateShare, entries, &error)) << error;
}

TEST(SmbNames, OnlyPlainNamesAreSafe)
{
    for (const char* bad : {"", ".", "..", "a/b", "a\\b", "..\\..\\etc", "/etc"})
        EXPECT_FALSE(IsPlainName(bad)) << bad;
    EXPECT_FALSE(IsPlainName(std::string("a\0b", 3)));
    for (const char* good : {"...", "..a", "名稱", "a b.txt", "C$"})
        EXPECT_TRUE(IsPlainName(good)) << good;
}

TEST(SmbNames, NativeFormRoundTripsAndNeedsAShare)
{
    EXPECT_EQ(SmbNativePath("\\\\srv\\共用\\a\\b\\"), "smb://srv/共用/a/b");
    EXPECT_EQ(SmbNativePath("\\\\srv\\共用"), "smb://srv/共用");
    EXPECT_EQ(SmbNativePath("\\\\srv\\"), "");
    EXPECT_EQ(UncFromSmbNative("smb://srv/共用/a/b"), "\\\\srv\\共用\\a\\b");
    EXPECT_TRUE(IsSmbNative("smb://srv/x"));
    EXPECT_FALSE(IsSmbNative("/smb/x"));
}

} // namespace
