#include "support/SmbTestServer.h"
#include "support/TempConfig.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

struct NetRun {
    int status = -1;
    std::string out;
    std::string err;
};

// The JSON lines without the blanks after their separators, to compare with.
std::string Compact(std::string text)
{
    for (const char* gap : {"\": ", ", \""})
        for (size_t at; (at = text.find(gap)) != std::string::npos;)
            text.erase(at + (gap[0] == '"' ? 2 : 1), 1);
    return text;
}

// tamsel-net with `arguments` (already quoted), `input` on its standard input.
NetRun Net(const std::string& arguments, const std::string& input = "")
{
    TempFolder io;
    io.writeFile("in", input);
    const std::string command = std::string("'") + TAMSEL_NET_TOOL + "' " + arguments + " <" + io.path("in") + " >"
                                + io.path("out") + " 2>" + io.path("err");
    NetRun run;
    const int status = std::system(command.c_str());
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = Compact(io.readFile("out"));
    run.err = Compact(io.readFile("err"));
    return run;
}

class NetFileCommands : public SmbServerTest {
protected:
    TempConfig config;
};

TEST_F(NetFileCommands, SharesAndListings)
{
    NetRun run = Net("shares '\\\\127.0.0.1'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("{\"name\":\"公開\",\"type\":\"disk\",\"comment\":\"大家的\",\"hidden\":false}"),
              std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"name\":\"管理$\",\"type\":\"disk\",\"comment\":\"\",\"hidden\":true"), std::string::npos);

    fs::create_directories(s_server->folder("public") + "/cli/子");
    std::ofstream(s_server->folder("public") + "/cli/f.txt") << "12345";
    fs::last_write_time(s_server->folder("public") + "/cli/f.txt",
                        fs::file_time_type::clock::from_sys(std::chrono::sys_seconds{std::chrono::seconds{1700000000}}));
    run = Net("ls '\\\\127.0.0.1\\公開\\cli'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("{\"name\":\"f.txt\",\"dir\":false,\"size\":5,\"modified\":\"2023-11-14T22:13:20Z\"}"),
              std::string::npos) << run.out;
    EXPECT_NE(run.out.find("{\"name\":\"子\",\"dir\":true"), std::string::npos);
    EXPECT_EQ(run.out.find("\"name\":\".\""), std::string::npos);

    run = Net("ls '\\\\127.0.0.1\\沒有'");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("{\"error\":67,", 0), 0u) << run.err;
    EXPECT_EQ(Net("ls").status, 2);
}

TEST_F(NetFileCommands, PasswordFromStdinThenFromTheStore)
{
    std::ofstream(s_server->folder("private-share") + "/p.txt") << "p";
    NetRun run = Net("ls '\\\\127.0.0.1\\私人'");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("{\"error\":1326,", 0), 0u) << run.err;
    run = Net("ls '\\\\127.0.0.1\\私人' --user root --password-stdin --save", "wrong\n");
    EXPECT_EQ(run.err.rfind("{\"error\":86,", 0), 0u) << run.err;
    run = Net("ls '\\\\127.0.0.1\\私人' --user nosuchuser --password-stdin", "wrong\n");
    EXPECT_EQ(run.err.rfind("{\"error\":1326,", 0), 0u) << run.err;
    run = Net("ls '\\\\127.0.0.1\\私人' --user root --password-stdin --save", std::string(SmbTestServer::Password) + "\n");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"p.txt\""), std::string::npos);
    // Saved: the store answers now, and the file holds no password but in its own entry.
    run = Net("ls '\\\\127.0.0.1\\私人'");
    EXPECT_EQ(run.status, 0) << run.err;
    std::ifstream reg(config.registryFile());
    const std::string text((std::istreambuf_iterator<char>(reg)), {});
    EXPECT_NE(text.find("NetPassword"), std::string::npos);
    EXPECT_EQ(text.find("wrong"), std::string::npos);
}

TEST_F(NetFileCommands, CopyBothWaysRenameMkdirDelete)
{
    TempFolder local;
    fs::create_directories(local.path("up/深"));
    std::ofstream(local.path("up/深/a.txt")) << "aaa";
    std::ofstream(local.path("one.txt")) << "1";
    const std::string share = "'\\\\127.0.0.1\\公開\\put'";
    ASSERT_EQ(Net("mkdir " + share).status, 0);
    NetRun run = Net("put '" + local.path("up") + "' '" + local.path("one.txt") + "' " + share);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(local.readFile("up/深/a.txt"), "aaa");
    EXPECT_TRUE(fs::exists(s_server->folder("public") + "/put/up/深/a.txt"));
    EXPECT_TRUE(fs::exists(s_server->folder("public") + "/put/one.txt"));

    fs::create_directories(local.path("down"));
    run = Net("get '\\\\127.0.0.1\\公開\\put\\up' '" + local.path("down") + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(local.readFile("down/up/深/a.txt"), "aaa");

    EXPECT_EQ(Net("rename '\\\\127.0.0.1\\公開\\put\\one.txt' 'x/../../evil'").status, 1);
    EXPECT_EQ(Net("rename '\\\\127.0.0.1\\公開\\put\\one.txt' '..'").status, 1);
    run = Net("rename '\\\\127.0.0.1\\公開\\put\\one.txt' '壹.txt'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(s_server->folder("public") + "/put/壹.txt"));

    run = Net("delete " + share);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(fs::exists(s_server->folder("public") + "/put"));
}

// A share whose smbd is stopped (SIGSTOP): the listing says the server stopped answering,
// not that the path does not exist, and once smbd runs again (SIGCONT) it lists again.
TEST_F(NetFileCommands, AStoppedServerIsOneThatStoppedAnswering)
{
    fs::create_directories(s_server->folder("public") + "/still");
    s_server->pause();
    NetRun run = Net("ls '\\\\127.0.0.1\\公開\\still'");
    s_server->resume();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("{\"error\":10060,", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("伺服器停止回應"), std::string::npos) << run.err;
    run = Net("ls '\\\\127.0.0.1\\公開\\still'");
    EXPECT_EQ(run.status, 0) << run.err;
}

// smbd stopped in the middle of a copy from its share: the copy fails saying so, nothing
// stands under the final name, and the copy works once smbd runs again.
TEST_F(NetFileCommands, AServerStoppedMidCopyLeavesNoFileUnderItsName)
{
    const std::string big = s_server->folder("public") + "/big.bin";
    fs::resize_file((std::ofstream(big), big), std::uintmax_t(100) << 20);
    TempFolder local;
    fs::create_directories(local.path("down"));
    NetRun run;
    const auto start = std::chrono::steady_clock::now();
    std::thread copy([&] { run = Net("get '\\\\127.0.0.1\\公開\\big.bin' '" + local.path("down") + "'"); });
    bool stopped = false;
    for (int i = 0; i < 20000 && !stopped; ++i) {
        if (!fs::is_empty(local.path("down"))) {
            s_server->pause();
            stopped = true;
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    }
    copy.join();
    RecordProperty("failed_copy_ms", int(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - start).count()));
    s_server->resume();
    ASSERT_TRUE(stopped) << "the copy never began";
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_EQ(run.err.rfind("{\"error\":10060,", 0), 0u) << run.err;
    EXPECT_FALSE(fs::exists(local.path("down/big.bin")));
    run = Net("get '\\\\127.0.0.1\\公開\\big.bin' '" + local.path("down") + "'");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(fs::file_size(local.path("down/big.bin")), std::uintmax_t(100) << 20);
    fs::remove(big);
}

} // namespace
