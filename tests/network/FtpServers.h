#pragma once
// FTP servers for the tests, each on a loopback port the kernel chose for it and reported
// back (never a number freed for it beforehand, which another program may take in between),
// each started and stopped by its pid:
// pyftpdlib (UTF-8, one user with a password, writable), vsftpd (anonymous, read-only, the
// bytes of names passed through unchanged) and the hostile server of ftpserver.py.
#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/ListeningPorts.h"

#include <netinet/in.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

class FtpTestServer {
public:
    ~FtpTestServer() { stop(); }

    /// pyftpdlib serving `root` to `user` with `password`.
    bool startPyftpd(const std::string& root, const std::string& user, const std::string& password)
    {
        m_portFile = root + "/../port-" + std::to_string(::getpid());
        ::unlink(m_portFile.c_str());
        return spawn({"/usr/bin/python3", script(), "pyftpd", root, m_portFile, user, password}) && waitForPort();
    }
    /// The hostile server; `scratch` holds its port file.
    bool startHostile(const std::string& scratch)
    {
        m_portFile = scratch + "/hostile-port";
        ::unlink(m_portFile.c_str());
        return spawn({"/usr/bin/python3", script(), "hostile", m_portFile}) && waitForPort();
    }
    /// The unruly server of ftpserver.py (listings that never end, drip, break off or
    /// pause); `scratch` holds its port file and the marker of a pause.
    bool startUnruly(const std::string& scratch)
    {
        m_portFile = scratch + "/unruly-port";
        ::unlink(m_portFile.c_str());
        ::unlink(pausedMarker().c_str());
        return spawn({"/usr/bin/python3", script(), "unruly", m_portFile}) && waitForPort();
    }
    /// Exists once the unruly server has sent half of a paused transfer.
    std::string pausedMarker() const { return m_portFile + ".paused"; }
    pid_t pid() const { return m_pid; }
    /// vsftpd serving `root` (made read-only: vsftpd refuses a writable anonymous root) to
    /// anonymous users; its configuration goes to `scratch`.
    bool startVsftpd(const std::string& root, const std::string& scratch)
    {
        const std::string config = scratch + "/vsftpd.conf";
        std::ofstream out(config);
        out << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=0"
            << "\nbackground=NO\nanonymous_enable=YES\nlocal_enable=NO\nwrite_enable=NO\nanon_root=" << root
            << "\nno_anon_password=YES\nseccomp_sandbox=NO\nisolate_network=NO\nisolate=NO\n"
               "pasv_enable=YES\nport_enable=YES\npasv_address=127.0.0.1\nxferlog_enable=NO\n"
               "vsftpd_log_file=/dev/null\nsecure_chroot_dir=/var/run/vsftpd/empty\nftp_username=ftp\n";
        out.close();
        ::chmod(root.c_str(), 0555);
        if (!spawn({"/usr/sbin/vsftpd", config}))
            return false;
        // Ready when it listens; the port is the one the kernel gave it.
        for (int i = 0; i < 250; ++i) {
            const std::vector<int> ports = ListeningTcpPorts(m_pid);
            if (!ports.empty()) {
                m_port = ports.front();
                return true;
            }
            if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    int port() const { return m_port; }
    void stop()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGCONT);  // a test may have stopped it
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
        if (!m_portFile.empty())
            ::unlink(m_portFile.c_str());
    }

private:
    static std::string script() { return std::string(TAMSEL_TESTS_SOURCE) + "/network/ftpserver.py"; }
    bool spawn(const std::vector<std::string>& words)
    {
        m_pid = ::fork();
        if (m_pid == 0) {
            std::vector<char*> argv;
            for (const std::string& word : words)
                argv.push_back(const_cast<char*>(word.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        return m_pid > 0;
    }
    bool waitForPort()
    {
        for (int i = 0; i < 250; ++i) {
            std::ifstream in(m_portFile);
            if (in >> m_port && m_port > 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_portFile;
};
