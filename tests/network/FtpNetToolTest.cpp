// tamsel-net on ftp:// paths against pyftpdlib on loopback: the JSON lines, the password
// from standard input, and the error line of a refused login.
#include "app/LanguageSetting.h"
#include "local/TempTree.h"
#include "network/FtpServers.h"
#include "support/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
};

// Runs tamsel-net with `arguments` (already quoted), `input` on standard input; standard
// error goes to standard output after it.
ToolRun net(const std::string& arguments, const std::string& input, const std::string& scratch,
            const std::string& environment = {})
{
    const std::string inputFile = scratch + "/stdin";
    std::ofstream(inputFile) << input;
    const std::string command = environment + std::string(TAMSEL_NET_TOOL) + " " + arguments + " < '" + inputFile + "' 2>&1";
    ToolRun run;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    size_t count = 0;
    while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.out.append(buffer, count);
    run.status = WEXITSTATUS(pclose(pipe));
    return run;
}

// Errors speak the language of the options, or else the locale's; the usage line names the
// command once.
TEST(NetToolLanguage, UsageAndOptionErrorsFollowTheChosenLanguage)
{
    TempTree tree;
    ASSERT_TRUE(tree.valid());
    const std::string scratch = tree.path("");
    ScopedEnvironment environment{"TAMSEL_CONFIG"};
    setenv("TAMSEL_CONFIG", (scratch + "/registry.reg").c_str(), 1);
    const std::string c = "LC_ALL= LC_MESSAGES= LANG=C.UTF-8 ";
    const std::string english = "LC_ALL= LC_MESSAGES= LANG=en_US.UTF-8 ";

    ToolRun run = net("ls", "", scratch, c);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("\"用法: tamsel-net ls PATH\""), std::string::npos) << run.out;
    run = net("ls ftp://127.0.0.1/ extra", "", scratch, english);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("\"Usage: tamsel-net ls ftp://[USER@]HOST[:PORT]/DIR/\""), std::string::npos) << run.out;
    run = net("ls ftp://127.0.0.1/ --encoding latin1", "", scratch, english);
    EXPECT_NE(run.out.find("--encoding can only be"), std::string::npos) << run.out;
    run = net("frobnicate", "", scratch, english);
    EXPECT_NE(run.out.find("Unknown command frobnicate"), std::string::npos) << run.out;

    // The option decides over the locale, both ways.
    ASSERT_TRUE(SaveLanguageSetting("EN"));
    run = net("ls --bogus", "", scratch, c);
    EXPECT_NE(run.out.find("Unknown option --bogus"), std::string::npos) << run.out;
    ASSERT_TRUE(SaveLanguageSetting("CHT"));
    run = net("ls --bogus", "", scratch, english);
    EXPECT_NE(run.out.find("不認識的選項 --bogus"), std::string::npos) << run.out;
}

TEST(FtpNetTool, ListsGetsPutsAndChangesASiteWithAPassword)
{
    TempTree tree;
    ASSERT_TRUE(tree.valid());
    std::filesystem::create_directories(tree.path("root/sub dir"));
    std::ofstream(tree.path("root/sub dir/文件 一.txt")) << "one";
    std::filesystem::create_directories(tree.path("local"));
    FtpTestServer server;
    ASSERT_TRUE(server.startPyftpd(tree.path("root"), "user", "secret"));
    const std::string site = "'ftp://user@127.0.0.1:" + std::to_string(server.port());

    // 2024-01-02 03:04:05 UTC. The server lists it so (MLSD), and so it is printed in a
    // zone eight hours east.
    const auto stamp = std::filesystem::file_time_type::clock::from_sys(
        std::chrono::sys_seconds(std::chrono::seconds(1704164645)));
    std::filesystem::last_write_time(tree.path("root/sub dir/文件 一.txt"), stamp);
    ToolRun ls = net("ls " + site + "/sub dir/' --password-stdin", "secret\n", tree.root(), "TZ=CST-8 ");
    EXPECT_EQ(ls.status, 0) << ls.out;
    EXPECT_NE(ls.out.find("{\"name\": \"文件 一.txt\", \"dir\": false, \"size\": 3"), std::string::npos) << ls.out;
    EXPECT_NE(ls.out.find("\"modified\": \"2024/01/02 03:04:05\""), std::string::npos) << ls.out;

    ToolRun get = net("get " + site + "/sub dir/文件 一.txt' '" + tree.path("local") + "' --password-stdin", "secret\n",
                  tree.root());
    EXPECT_EQ(get.status, 0) << get.out;
    EXPECT_TRUE(std::filesystem::exists(tree.path("local/文件 一.txt")));

    ToolRun put = net("put '" + tree.path("local/文件 一.txt") + "' " + site + "/' --password-stdin", "secret\n", tree.root());
    EXPECT_EQ(put.status, 0) << put.out;
    EXPECT_TRUE(std::filesystem::exists(tree.path("root/文件 一.txt")));

    EXPECT_EQ(net("mkdir " + site + "/新/' --password-stdin", "secret\n", tree.root()).status, 0);
    EXPECT_TRUE(std::filesystem::is_directory(tree.path("root/新")));
    EXPECT_EQ(net("rename " + site + "/文件 一.txt' 二.txt --password-stdin", "secret\n", tree.root()).status, 0);
    EXPECT_TRUE(std::filesystem::exists(tree.path("root/二.txt")));
    EXPECT_EQ(net("delete " + site + "/sub dir/' --password-stdin", "secret\n", tree.root()).status, 0);
    EXPECT_FALSE(std::filesystem::exists(tree.path("root/sub dir")));

    ToolRun refused = net("ls " + site + "/' --password-stdin", "wrong\n", tree.root());
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("{\"error\": 5,"), std::string::npos) << refused.out;
    ToolRun usage = net("ls " + site + "/' --encoding latin1", "", tree.root());
    EXPECT_EQ(usage.status, 2);
}

// A listing dripped a byte a second ends with --timeout as a whole, saying the server
// stopped answering; a listing with an impossible date lists the rest and names the line.
TEST(FtpNetTool, TheTimeOutBoundsTheWholeListing)
{
    TempTree tree;
    ASSERT_TRUE(tree.valid());
    FtpTestServer server;
    ASSERT_TRUE(server.startUnruly(tree.root()));
    ScopedEnvironment environment{"TAMSEL_CONFIG"};
    setenv("TAMSEL_CONFIG", tree.path("registry.reg").c_str(), 1);
    const std::string site = "ftp://127.0.0.1:" + std::to_string(server.port());
    const std::string c = "LC_ALL= LC_MESSAGES= LANG=C.UTF-8 ";
    const auto start = std::chrono::steady_clock::now();
    // Bounded from outside too, so that the fault fails the test instead of hanging it.
    ToolRun run = net("ls " + site + "/drip/ --passive --timeout 3000", "", tree.root(), c + "timeout 60 ");
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("{\"error\": 10060,"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("伺服器停止回應"), std::string::npos) << run.out;
    EXPECT_LT(took, 20.0);  // loose: the fault is a listing that lives as long as the drip

    run = net("ls " + site + "/dates/ --passive", "", tree.root(), c);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("\"name\": \"good.txt\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("拒絕日期不正確的項目: zero.txt"), std::string::npos) << run.out;
}

// A CP950 server (vsftpd passes the bytes through): auto mode reaches a Chinese folder
// typed in the address, the time of day of a recent file is kept, and the root comes whole.
TEST(FtpNetTool, ACp950ServerIsReachedByItsNamesAndItsRootIsFetchedWhole)
{
    TempTree tree;
    ASSERT_TRUE(tree.valid());
    const std::string folder = tree.path("root/\xA4\xBD\xA4\xE5");  // 公文 in CP950
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/a.txt") << "abc";
    std::filesystem::create_directories(tree.path("local"));
    // Two days ago at 14:30 UTC: listed with its time of day instead of a year.
    const auto now = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
    const auto recent = std::chrono::sys_seconds(now - std::chrono::days(2) + std::chrono::hours(14) + std::chrono::minutes(30));
    std::filesystem::last_write_time(folder + "/a.txt", std::filesystem::file_time_type::clock::from_sys(recent));
    FtpTestServer server;
    ASSERT_TRUE(server.startVsftpd(tree.path("root"), tree.root()));
    const std::string site = "'ftp://127.0.0.1:" + std::to_string(server.port());

    ToolRun ls = net("ls " + site + "/公文/' --encoding auto", "", tree.root(), "TZ=UTC ");
    EXPECT_EQ(ls.status, 0) << ls.out;
    EXPECT_NE(ls.out.find("{\"name\": \"a.txt\", \"dir\": false, \"size\": 3"), std::string::npos) << ls.out;
    EXPECT_NE(ls.out.find(" 14:30:00\""), std::string::npos) << ls.out;
    ToolRun root = net("ls " + site + "/'", "", tree.root());
    EXPECT_NE(root.out.find("{\"name\": \"公文\", \"dir\": true"), std::string::npos) << root.out;

    ToolRun get = net("get " + site + "/' '" + tree.path("local") + "'", "", tree.root());
    EXPECT_EQ(get.status, 0) << get.out;
    std::ifstream fetched(tree.path("local/公文/a.txt"));
    std::string text;
    std::getline(fetched, text);
    EXPECT_EQ(text, "abc") << get.out;
}

} // namespace
