#pragma once
#include "support/ListeningPorts.h"
#include "support/TempFolder.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

// An smbd of the test's own on 127.0.0.1 and a port it was seen to hold itself, with a private configuration
// under a temporary folder, and a client configuration that keeps libsmbclient on
// loopback (TAMSEL_SMB_CONF and TAMSEL_SMB_PORT name them while the server lives).
// Shares: "公開" (guest, writable), "管理$" (hidden, guest), "私人" (user "root" with
// password "密碼secret" only). Stopped by its process id, its RPC helper too.
class SmbTestServer {
public:
    static constexpr const char* User = "root";
    static constexpr const char* Password = "密碼secret";

    SmbTestServer()
    {
        for (const char* dir : {"lock", "state", "cache", "pid", "private", "ncalrpc", "public", "admin", "private-share"})
            std::filesystem::create_directories(m_root.path(dir));
        std::filesystem::permissions(m_root.path("ncalrpc"), std::filesystem::perms::owner_all);
        m_port = FreePort();
        WriteServerConf();
        const std::string t = m_root.path();
        std::ofstream(m_root.path("client.conf")) <<
            "[global]\nworkgroup = TAMSELTEST\ninterfaces = lo\nbind interfaces only = yes\n"
            "name resolve order = lmhosts\ndisable netbios = yes\n"
            "lock directory = " << t << "/client-lock\nstate directory = " << t << "/client-lock\n"
            "cache directory = " << t << "/client-lock\nprivate dir = " << t << "/client-lock\n"
            "log level = 0\nclient min protocol = NT1\n";
        std::filesystem::create_directories(m_root.path("client-lock"));
        const std::string add = "printf '%s\\n%s\\n' '" + std::string(Password) + "' '" + Password
                                + "' | smbpasswd -c " + m_root.path("smb.conf") + " -s -a root >/dev/null 2>&1";
        m_ok = std::system(add.c_str()) == 0;
        m_ok = m_ok && Start();
        if (const char* previous = std::getenv("TAMSEL_SMB_CONF"))
            m_previousConf = previous;
        setenv("TAMSEL_SMB_CONF", m_root.path("client.conf").c_str(), 1);
        setenv("TAMSEL_SMB_PORT", std::to_string(m_port).c_str(), 1);
    }

    ~SmbTestServer()
    {
        if (m_pid > 0) {
            resume();
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
        // smbd starts its RPC helper on demand and leaves it behind.
        std::ifstream pidFile(m_root.path("pid/samba-dcerpcd.pid"));
        pid_t helper = 0;
        if (pidFile >> helper && helper > 0)
            kill(helper, SIGTERM);
        if (m_previousConf.empty())
            unsetenv("TAMSEL_SMB_CONF");
        else
            setenv("TAMSEL_SMB_CONF", m_previousConf.c_str(), 1);
        unsetenv("TAMSEL_SMB_PORT");
    }

    bool ok() const { return m_ok; }
    /// Stops (SIGSTOP) and continues (SIGCONT) smbd with the processes it forked, as a
    /// server that stops answering and comes back.
    void pause() const { kill(-m_pid, SIGSTOP); }
    void resume() const { kill(-m_pid, SIGCONT); }
    int port() const { return m_port; }
    /// Native folder of a share: "public", "admin" or "private-share".
    std::string folder(const std::string& which) const { return m_root.path(which); }
    const TempFolder& root() const { return m_root; }

private:
    void WriteServerConf() const
    {
        const std::string t = m_root.path();
        std::ofstream(m_root.path("smb.conf")) <<
            "[global]\n"
            "workgroup = TAMSELTEST\nnetbios name = TAMSELSRV\nserver role = standalone server\n"
            "interfaces = lo\nbind interfaces only = yes\nsmb ports = " << m_port << "\n"
            "disable netbios = yes\nserver min protocol = SMB2_02\n"
            "lock directory = " << t << "/lock\nstate directory = " << t << "/state\n"
            "cache directory = " << t << "/cache\npid directory = " << t << "/pid\n"
            "private dir = " << t << "/private\nncalrpc dir = " << t << "/ncalrpc\n"
            "log file = " << t << "/log.%m\nlog level = 0\n"
            "passdb backend = tdbsam:" << t << "/private/passdb.tdb\n"
            "map to guest = Bad User\nguest account = root\n"
            "load printers = no\nprinting = bsd\nprintcap name = /dev/null\ndisable spoolss = yes\n"
            "unix charset = UTF-8\n"
            "[公開]\npath = " << t << "/public\nread only = no\nguest ok = yes\ncomment = 大家的\n"
            "[管理$]\npath = " << t << "/admin\nread only = no\nguest ok = yes\n"
            "[私人]\npath = " << t << "/private-share\nread only = no\nvalid users = root\n";
    }

    // smbd takes no port from the kernel itself (it refuses port 0), so it is given one the
    // kernel just freed, and counts as started only once smbd itself listens on it: when
    // another program took the port in between, smbd gives up or never listens there, and
    // it is started again on another.
    bool Start()
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (attempt > 0) {
                m_port = FreePort();
                WriteServerConf();
            }
            m_pid = fork();
            if (m_pid == 0) {
                setpgid(0, 0); // smbd signals its whole process group when it stops
                execlp("smbd", "smbd", "--foreground", "--no-process-group", "-s", m_root.path("smb.conf").c_str(),
                       static_cast<char*>(nullptr));
                _exit(127);
            }
            if (m_pid < 0)
                return false;
            if (WaitForOwnPort())
                return true;
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
        return false;
    }

    static int FreePort()
    {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
        close(fd);
        return ntohs(addr.sin_port);
    }

    // True once smbd listens on m_port on 127.0.0.1; false when it ended or never did.
    bool WaitForOwnPort()
    {
        for (int i = 0; i < 400; ++i) {
            for (int port : ListeningTcpPorts(m_pid))
                if (port == m_port)
                    return true;
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return false;
    }

    TempFolder m_root;
    std::string m_previousConf;
    int m_port = 0;
    pid_t m_pid = -1;
    bool m_ok = false;
};

#include "platform/SmbContext.h"

#include <gtest/gtest.h>

// A fixture `Base` with one server for all tests of its suite, started before the first and
// stopped after the last; each test fails at once when it did not start.
template <class Base>
class WithSmbServer : public Base {
protected:
    static void SetUpTestSuite() { s_server = new SmbTestServer; }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }
    void SetUp() override
    {
        Base::SetUp();
        ASSERT_TRUE(s_server->ok()) << "smbd did not start";
    }
    static inline SmbTestServer* s_server = nullptr;
};

// Each test starts with no credentials and no connections left from the one before.
class SmbServerTest : public WithSmbServer<::testing::Test> {
protected:
    void SetUp() override
    {
        WithSmbServer::SetUp();
        if (HasFatalFailure())
            return;
        SmbCredentials::clear();
        SmbCredentials::setFallback(nullptr);
        SmbDropConnections();
    }
    void TearDown() override
    {
        SmbCredentials::clear();
        SmbDropConnections();
    }
    static void allowPrivateShare()
    {
        SmbCredentials::set("\\\\127.0.0.1\\私人", SmbTestServer::User, SmbTestServer::Password);
    }
};
