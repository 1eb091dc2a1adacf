// The site operations against real servers on loopback: pyftpdlib (UTF-8, a user with a
// password, writable), vsftpd (anonymous, CP950 names on disk) and a hostile server.
#include "network/FtpSite.h"
#include "platform/DateTime.h"
#include "local/TempTree.h"
#include "network/FtpServers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include <arpa/inet.h>
#include <fcntl.h>

namespace {

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeAll(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

const FtpEntry* find(const std::vector<FtpEntry>& entries, const std::string& name)
{
    auto it = std::find_if(entries.begin(), entries.end(), [&](const FtpEntry& e) { return e.name == name; });
    return it == entries.end() ? nullptr : &*it;
}

FtpSettings settingsFor(int port, const std::string& user = {}, const std::string& password = {})
{
    FtpSettings settings;
    settings.host = "127.0.0.1";
    settings.port = port;
    settings.user = user;
    settings.password = password;
    settings.timeoutMs = 3000;
    return settings;
}

class PyftpdSite : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tree.valid());
        std::filesystem::create_directories(tree.path("root/a folder/inner one"));
        writeAll(tree.path("root/a folder/inner one/deep file.txt"), "deep");
        writeAll(tree.path("root/中文 名稱.txt"), std::string(100000, 'z'));
        std::filesystem::create_directories(tree.path("local"));
        ASSERT_TRUE(server.startPyftpd(tree.path("root"), "user", "secret"));
    }
    TempTree tree;
    FtpTestServer server;
    FtpSite site;
};

TEST_F(PyftpdSite, LogsInOnlyWithTheRightPassword)
{
    FtpSite wrong;
    const FtpResult refused = wrong.connect(settingsFor(server.port(), "user", "nope"), FtpEncoding::Auto);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.reply, 530);
    const FtpResult accepted = site.connect(settingsFor(server.port(), "user", "secret"), FtpEncoding::Auto);
    ASSERT_TRUE(accepted.ok) << accepted.error;
    EXPECT_TRUE(site.client().announcesUtf8());
    EXPECT_EQ(site.encoding(), FtpEncoding::Utf8);
}

TEST_F(PyftpdSite, ListsNestedFoldersAndTransfersBothWays)
{
    ASSERT_TRUE(site.connect(settingsFor(server.port(), "user", "secret"), FtpEncoding::Auto).ok);
    std::vector<FtpEntry> entries;
    std::vector<std::string> refused;
    ASSERT_TRUE(site.listFolder("/", NowDateTime(), entries, refused).ok);
    ASSERT_NE(find(entries, "a folder"), nullptr);
    EXPECT_TRUE(find(entries, "a folder")->folder);
    ASSERT_NE(find(entries, "中文 名稱.txt"), nullptr);
    EXPECT_EQ(find(entries, "中文 名稱.txt")->size, 100000);
    ASSERT_TRUE(site.listFolder("/a folder/inner one", NowDateTime(), entries, refused).ok);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "deep file.txt");

    const std::string local = tree.path("local/copy.txt");
    ASSERT_TRUE(site.download("/中文 名稱.txt", local, 100000, false, {}).ok);
    EXPECT_EQ(readAll(local), std::string(100000, 'z'));
    EXPECT_FALSE(std::filesystem::exists(FtpClient::partialName(local)));

    writeAll(tree.path("local/up load.bin"), std::string(70000, '\x01'));
    int64_t lastDone = 0;
    ASSERT_TRUE(site.upload(tree.path("local/up load.bin"), "/a folder/上傳.bin",
                            [&](int64_t done, int64_t) { lastDone = done; }).ok);
    EXPECT_EQ(readAll(tree.path("root/a folder/上傳.bin")), std::string(70000, '\x01'));
    EXPECT_EQ(lastDone, 70000);

    // Whole folders, both ways. A program on the server arrives as a plain new file of the
    // user's: nothing the server says makes a copy executable.
    std::filesystem::permissions(tree.path("root/a folder/inner one/deep file.txt"), std::filesystem::perms(0755));
    ASSERT_TRUE(site.downloadTree("/a folder", tree.path("local/got"), NowDateTime(), [](const std::string&) {}, {}).ok);
    EXPECT_EQ(readAll(tree.path("local/got/inner one/deep file.txt")), "deep");
    const mode_t umask = ::umask(0);
    ::umask(umask);
    struct stat copied {};
    ASSERT_EQ(::stat(tree.path("local/got/inner one/deep file.txt").c_str(), &copied), 0);
    EXPECT_EQ(copied.st_mode & 07777, 0666 & ~umask);
    ASSERT_TRUE(site.uploadTree(tree.path("local/got"), "/again", [](const std::string&) {}, {}).ok);
    EXPECT_EQ(readAll(tree.path("root/again/inner one/deep file.txt")), "deep");
}

TEST_F(PyftpdSite, RenamesDeletesAndMakesFolders)
{
    ASSERT_TRUE(site.connect(settingsFor(server.port(), "user", "secret"), FtpEncoding::Auto).ok);
    ASSERT_TRUE(site.makeDir("/新 資料夾").ok);
    EXPECT_TRUE(std::filesystem::is_directory(tree.path("root/新 資料夾")));
    ASSERT_TRUE(site.rename("/中文 名稱.txt", "/新 資料夾/改名.txt").ok);
    EXPECT_TRUE(std::filesystem::exists(tree.path("root/新 資料夾/改名.txt")));
    // A failed command (the connection is dropped after it) does not spoil the next one.
    EXPECT_FALSE(site.deleteFile("/no such file").ok);
    ASSERT_TRUE(site.deleteFile("/新 資料夾/改名.txt").ok);
    EXPECT_FALSE(std::filesystem::exists(tree.path("root/新 資料夾/改名.txt")));
    ASSERT_TRUE(site.deleteTree("/a folder", NowDateTime(), [](const std::string&) {}).ok);
    EXPECT_FALSE(std::filesystem::exists(tree.path("root/a folder")));
}

// A part file name planted as a link in the destination is never followed, with or without
// resuming; and the conversation's sockets are not handed to programs started meanwhile.
TEST_F(PyftpdSite, DownloadsFollowNoPlantedLinkAndKeepTheirSocketsToThemselves)
{
    ASSERT_TRUE(site.connect(settingsFor(server.port(), "user", "secret"), FtpEncoding::Auto).ok);
    writeAll(tree.path("victim.txt"), "victim");
    for (const bool resume : {true, false}) {
        const std::string local = tree.path(resume ? "local/resumed.txt" : "local/fresh.txt");
        std::filesystem::create_symlink(tree.path("victim.txt"), FtpClient::partialName(local));
        const FtpResult result = site.download("/a folder/inner one/deep file.txt", local, 4, resume, {});
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(readAll(local), "deep");
        EXPECT_FALSE(std::filesystem::is_symlink(local));
        EXPECT_EQ(readAll(tree.path("victim.txt")), "victim") << (resume ? "resumed" : "fresh");
    }
    // The control connection stays open between commands: every socket to the server is
    // close-on-exec.
    int seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int fd = std::stoi(entry.path().filename().string());
        sockaddr_in peer {};
        socklen_t size = sizeof peer;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0 || peer.sin_family != AF_INET
            || ntohs(peer.sin_port) != server.port())
            continue;
        ++seen;
        EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC) << "socket " << fd;
    }
    EXPECT_GT(seen, 0);
}

TEST(VsftpdSite, Cp950NamesAreListedAndSentBackByteForByte)
{
    TempTree tree;
    ASSERT_TRUE(tree.valid());
    std::filesystem::create_directories(tree.path("root"));
    std::filesystem::create_directories(tree.path("local"));
    // 中文 and 許功 (a 0x5C trail byte) in CP950 on disk.
    const std::string name = "\xA4\xA4\xA4\xE5 \xB3\x5C\xA5\x5C.txt";
    writeAll(tree.path("root/" + name), "big5 bytes");
    std::filesystem::create_directories(tree.path("root/\xB8\xEA\xAE\xC6 \xA7\xA8"));  // 資料 夾
    FtpTestServer server;
    ASSERT_TRUE(server.startVsftpd(tree.path("root"), tree.root()));
    FtpSite site;
    ASSERT_TRUE(site.connect(settingsFor(server.port()), FtpEncoding::Auto).ok);
    std::vector<FtpEntry> entries;
    std::vector<std::string> refused;
    const FtpResult listed = site.listFolder("/", NowDateTime(), entries, refused);
    ASSERT_TRUE(listed.ok) << listed.error;
    EXPECT_EQ(site.encoding(), FtpEncoding::Cp950);
    ASSERT_NE(find(entries, "中文 許功.txt"), nullptr);
    ASSERT_NE(find(entries, "資料 夾"), nullptr);
    EXPECT_TRUE(find(entries, "資料 夾")->folder);
    ASSERT_TRUE(site.download("/中文 許功.txt", tree.path("local/x.txt"), -1, false, {}).ok);
    EXPECT_EQ(readAll(tree.path("local/x.txt")), "big5 bytes");

    // Forced UTF-8 still sends back exactly what was listed; the file name whose CP950
    // bytes hold a backslash is refused in that reading.
    FtpSite forced;
    ASSERT_TRUE(forced.connect(settingsFor(server.port()), FtpEncoding::Utf8).ok);
    ASSERT_TRUE(forced.listFolder("/", NowDateTime(), entries, refused).ok);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(refused.size(), 1u);
    EXPECT_TRUE(forced.changeDir("/" + entries[0].name).ok);
    EXPECT_FALSE(forced.changeDir("/" + entries[0].name + "x").ok);
    server.stop();
    std::filesystem::permissions(tree.path("root"), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add);
}

TEST(HostileSite, RefusesClimbingNamesAndNeverKeepsABrokenTransferAsDone)
{
    TempTree tree;
    ASSERT_TRUE(tree.valid());
    FtpTestServer server;
    ASSERT_TRUE(server.startHostile(tree.root()));
    FtpSite site;
    FtpSettings settings = settingsFor(server.port());
    settings.passive = true;
    ASSERT_TRUE(site.connect(settings, FtpEncoding::Auto).ok);
    std::vector<FtpEntry> entries;
    std::vector<std::string> refused;
    ASSERT_TRUE(site.listFolder("/", NowDateTime(), entries, refused).ok);
    std::vector<std::string> names;
    for (const FtpEntry& entry : entries)
        names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<std::string>{"good.txt", "broken.bin", "resume.bin"}));
    EXPECT_EQ(refused.size(), 4u);

    // Climbing names are refused by the tree download too: nothing lands outside.
    // broken.bin breaks off, so the tree download as a whole fails.
    EXPECT_FALSE(site.downloadTree("/", tree.path("into"), NowDateTime(), [](const std::string&) {}, {}).ok);
    EXPECT_FALSE(std::filesystem::exists(tree.path("escape.txt")));
    EXPECT_EQ(readAll(tree.path("into/good.txt")), "hello");

    const std::string target = tree.path("broken.bin");
    const FtpResult broken = site.download("/broken.bin", target, -1, false, {});
    EXPECT_FALSE(broken.ok);
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_EQ(std::filesystem::file_size(FtpClient::partialName(target)), 40000u);

    // A transfer whose server goes silent ends with the time-out, as a failure.
    settings.timeoutMs = 1000;
    ASSERT_TRUE(site.connect(settings, FtpEncoding::Auto).ok);
    const FtpResult stalled = site.download("/stall.bin", tree.path("stall.bin"), -1, false, {});
    EXPECT_FALSE(stalled.ok);
    EXPECT_FALSE(std::filesystem::exists(tree.path("stall.bin")));
}

} // namespace
