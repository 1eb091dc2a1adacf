#pragma once
// The loopback TCP ports a process of the test's own listens on, read from the kernel's
// socket table: a server told to take any port reports it this way, and a server told a
// port is known to hold it itself, not some other program that took it first.
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

/// The IPv4 ports `pid` listens on (sockets it holds open itself, not its children's).
inline std::vector<int> ListeningTcpPorts(pid_t pid)
{
    const std::string proc = "/proc/" + std::to_string(pid);
    std::set<std::string> inodes;
    if (DIR* fds = opendir((proc + "/fd").c_str())) {
        while (const dirent* entry = readdir(fds)) {
            char target[64];
            const ssize_t n = readlink((proc + "/fd/" + entry->d_name).c_str(), target, sizeof target - 1);
            if (n <= 0)
                continue;
            const std::string link(target, size_t(n));
            if (link.rfind("socket:[", 0) == 0)
                inodes.insert(link.substr(8, link.size() - 9));
        }
        closedir(fds);
    }
    std::vector<int> ports;
    std::ifstream table(proc + "/net/tcp");
    std::string line;
    std::getline(table, line);  // the header
    while (std::getline(table, line)) {
        // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode))
            continue;
        const size_t colon = local.find(':');
        if (state != "0A" || colon == std::string::npos || !inodes.count(inode))
            continue;
        ports.push_back(int(std::stoul(local.substr(colon + 1), nullptr, 16)));
    }
    return ports;
}
