// A rogue on the test's LAN (rogue-lan.sh): it claims a known computer's name in WS-Discovery
// replies, and floods the client with endpoints whose metadata addresses point elsewhere.
// The stored password must reach only the real computer, and the client must stay bounded.
#include "network/NetDiscovery.h"
#include "network/WsDiscovery.h"
#include "platform/ServerNames.h"
#include "platform/SmbContext.h"
#include "platform/SmbFiles.h"

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's own count (gcc ships no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <algorithm>
#include <fcntl.h>
#include <string_view>
#include <vector>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A field of /proc/self/status ("Threads", "VmRSS").
long statusField(const std::string& field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
    return -1;
}

// The memory the process holds, in kB. Under AddressSanitizer the resident size mostly
// measures its quarantine of freed blocks, which fills whatever the program does: there the
// heap's live bytes stand for it.
long memoryKb()
{
#if defined(__SANITIZE_ADDRESS__)
    return long(__sanitizer_get_current_allocated_bytes() / 1024);
#else
    return statusField("VmRSS");
#endif
}

// The rogue's WS-Discovery responder, in its namespace, for one test.
class Rogue {
public:
    explicit Rogue(std::vector<std::string> arguments)
    {
        m_state = env("TAMSEL_ROGUE_STATE") + "/wsd-" + std::to_string(getpid()) + "-" + std::to_string(++s_count);
        fs::create_directories(m_state);
        std::vector<std::string> argv = {"ip", "netns", "exec", env("TAMSEL_ROGUE_NS"), "/usr/bin/python3",
                                         std::string(TAMSEL_HOSTILE_DIR) + "/rogue_wsd.py",
                                         env("TAMSEL_ROGUE_ADDRESS"), m_state};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        m_pid = fork();
        if (m_pid == 0) {
            std::vector<char*> raw;
            for (std::string& a : argv)
                raw.push_back(a.data());
            raw.push_back(nullptr);
            execvp(raw[0], raw.data());
            _exit(127);
        }
        for (int i = 0; i < 200 && !fs::exists(m_state + "/ready"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    ~Rogue()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    bool ready() const { return fs::exists(m_state + "/ready"); }
    std::string requests() const { return readAll(m_state + "/requests"); }

private:
    static inline int s_count = 0;
    std::string m_state;
    pid_t m_pid = -1;
};

// Every logon line the rogue's smbd wrote.
std::vector<std::string> rogueLogons()
{
    std::vector<std::string> lines;
    for (const auto& file : fs::recursive_directory_iterator(env("TAMSEL_ROGUE_LOGS"))) {
        if (!file.is_regular_file())
            continue;
        std::istringstream in(readAll(file.path()));
        std::string line;
        while (std::getline(in, line))
            if (line.find("Auth:") != std::string::npos || line.find("authentication for user") != std::string::npos)
                lines.push_back(line);
    }
    return lines;
}

class RogueLan : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (env("TAMSEL_ROGUE_NS").empty())
            GTEST_SKIP() << "runs inside rogue-lan.sh";
        SmbCredentials::clear();
        // The password store: the known computer's password, stored for its name.
        SmbCredentials::setFallback([](const std::string& location, std::string& user, std::string& password) {
            if (location.rfind("\\\\KNOWNPC", 0) != 0 && location.rfind("\\\\GHOSTPC", 0) != 0)
                return false;
            user = "root";
            password = env("TAMSEL_KNOWN_PASSWORD");
            return true;
        });
    }
    void TearDown() override
    {
        SmbCredentials::setFallback(nullptr);
        SmbCredentials::clear();
        SmbDropConnections();
        RememberServerAddress("KNOWNPC", "");
        RememberServerAddress("GHOSTPC", "");
    }
    // What the network window does with a discovery's computers.
    static discovery::Result discover(int waitMs)
    {
        discovery::Options options;
        options.waitMs = waitMs;
        options.sources = discovery::Wsd;
        const discovery::Result found = discovery::Discover(options);
        for (const discovery::Computer& computer : found.computers)
            if (!computer.address.empty())
                RememberServerAddress(computer.name, computer.address);
        return found;
    }
    static bool lists(const std::string& share, std::vector<std::string>& names, int& error)
    {
        SmbDropConnections();
        return smbpath::forEachEntry(share, [&](FindEntry&& entry) {
            names.push_back(entry.name);
            return true;
        }, &error);
    }
};

TEST_F(RogueLan, AClaimedNameGetsNoStoredPassword)
{
    Rogue rogue({"--claim", "KNOWNPC", "--claim", "GHOSTPC"});
    ASSERT_TRUE(rogue.ready());
    const discovery::Result found = discover(2500);
    bool claimed = false;
    for (const discovery::Computer& computer : found.computers)
        claimed = claimed || (computer.name == "KNOWNPC" && computer.address == env("TAMSEL_ROGUE_ADDRESS"));
    ASSERT_TRUE(claimed) << "the rogue's claim did not arrive";

    // The system's resolution (the hosts file) knows KNOWNPC: its password goes there.
    std::vector<std::string> names;
    int error = 0;
    EXPECT_TRUE(lists("\\\\KNOWNPC\\docs\\", names, error)) << error;
    EXPECT_EQ(names, std::vector<std::string>{"readme.txt"});

    // Nothing but the rogue's reply knows GHOSTPC: reached there, but without the password.
    names.clear();
    EXPECT_FALSE(lists("\\\\GHOSTPC\\docs\\", names, error));

    const std::vector<std::string> logons = rogueLogons();
    ASSERT_FALSE(logons.empty()) << "the rogue's smbd logs no logons at all: the check below proves nothing";
    for (const std::string& line : logons)
        EXPECT_EQ(line.find("[root]"), std::string::npos) << "the rogue got a logon with the stored password: " << line;
}

// A listener on every address of the client (its loopback, its LAN address) that counts who
// connects.
class LoopbackTrap {
public:
    LoopbackTrap()
    {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_ANY);
        bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(m_fd, 64);
        socklen_t len = sizeof addr;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
    }
    ~LoopbackTrap() { close(m_fd); }
    int port() const { return m_port; }
    int accepted()
    {
        for (int fd; (fd = accept(m_fd, nullptr, nullptr)) >= 0;) {
            close(fd);
            ++m_accepted;
        }
        return m_accepted;
    }

private:
    int m_fd = -1;
    int m_port = 0;
    int m_accepted = 0;
};

// This namespace's TCP connections to the metadata port being opened or open: the client's
// requests in flight (it is the only program of the namespace).
long metadataConnections()
{
    // The kernel writes the table as it walks its sockets, not as one picture: between reads,
    // or while a slow reader parses, one socket closes and the next opens, and both would
    // count. The table is taken in one large read and parsed afterwards, and a client socket's
    // own address and port count once.
    // One buffer for every look, so that the watching itself does not add to the memory watched.
    static std::vector<char> table(4 << 20);
    size_t got = 0;
    if (const int fd = ::open("/proc/self/net/tcp", O_RDONLY | O_CLOEXEC); fd >= 0) {
        ssize_t n;
        while (got < table.size() && (n = ::read(fd, table.data() + got, table.size() - got)) > 0)
            got += size_t(n);
        ::close(fd);
    }
    // Parsed in place, without a string per line: under AddressSanitizer freed memory stays
    // resident for a while, and the watcher's garbage would count as the client's.
    static std::vector<std::string_view> clients;
    clients.reserve(4096);
    clients.clear();
    std::string_view rest(table.data(), got);
    rest.remove_prefix(std::min(rest.size(), rest.find('\n') + 1));  // the heading
    while (!rest.empty()) {
        std::string_view line = rest.substr(0, rest.find('\n'));
        rest.remove_prefix(std::min(rest.size(), line.size() + 1));
        std::string_view fields[4];
        for (std::string_view& field : fields) {
            line.remove_prefix(std::min(line.size(), line.find_first_not_of(' ')));
            field = line.substr(0, line.find(' '));
            line.remove_prefix(field.size());
        }
        const std::string_view local = fields[1], remote = fields[2], state = fields[3];
        if (remote.size() > 5 && remote.substr(remote.size() - 4) == "14ED" && (state == "01" || state == "02")
            && clients.size() < clients.capacity())
            clients.push_back(local);
    }
    std::sort(clients.begin(), clients.end());
    clients.erase(std::unique(clients.begin(), clients.end()), clients.end());
    return long(clients.size());
}

struct Peak {
    long threads = 0;
    long rssKb = 0;
    long requests = 0;
};

// Runs a WS-Discovery while watching this process's threads and memory.
Peak discoverWatched(int waitMs, std::vector<discovery::Sighting>& sightings)
{
    std::atomic<bool> done{false};
    std::thread run([&] {
        sightings = discovery::DiscoverWsd(waitMs, nullptr);
        done = true;
    });
    Peak peak;
    while (!done) {
        peak.threads = std::max(peak.threads, statusField("Threads"));
        peak.rssKb = std::max(peak.rssKb, memoryKb());
        peak.requests = std::max(peak.requests, metadataConnections());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    run.join();
    return peak;
}

TEST_F(RogueLan, AFloodOfEndpointsLeavesTheClientBoundedAndTheRequestsWhereTheyCameFrom)
{
    for (const int flood : {3000, 30000}) {
        SCOPED_TRACE(flood);
        LoopbackTrap trap;
        Rogue rogue({"--flood", std::to_string(flood), "--loopback-port", std::to_string(trap.port()), "--elsewhere",
                     env("TAMSEL_CLIENT_ADDRESS")});
        ASSERT_TRUE(rogue.ready());
        metadataConnections();  // its buffer is the watcher's memory, not the client's
        const long threadsBefore = statusField("Threads");
        const long rssBefore = memoryKb();
        std::vector<discovery::Sighting> sightings;
        const Peak peak = discoverWatched(3000, sightings);

        // The watcher's thread, the discovery's own and its fixed pool of requests.
        EXPECT_LE(peak.threads, threadsBefore + 1 + 8 + 2);
        constexpr long allowedKb = 64 * 1024;
        EXPECT_LE(peak.rssKb - rssBefore, allowedKb) << "kB more while it ran";
        EXPECT_LE(peak.requests, 8) << "metadata requests at once";
        EXPECT_GT(peak.requests, 0) << "no request seen in flight: the check above proves nothing";
        EXPECT_EQ(trap.accepted(), 0)
            << "a reply sent the metadata request to this machine's loopback or to an address it did not come from";
        const std::string requests = rogue.requests();
        EXPECT_FALSE(requests.empty()) << "no metadata request reached the rogue: the checks above prove nothing";
        std::istringstream lines(requests);
        for (std::string line; std::getline(lines, line);) {
            const long i = std::strtol(line.c_str() + line.rfind('/') + 1, nullptr, 10);
            EXPECT_NE(i % 4, 1) << "a request line carried the reply's line break: " << line;
        }
        bool named = false;
        for (const discovery::Sighting& s : sightings)
            named = named || (s.kind == discovery::Sighting::Computer && s.name.rfind("FLOOD", 0) == 0
                              && s.address == env("TAMSEL_ROGUE_ADDRESS"));
        EXPECT_TRUE(named) << "the endpoints that answered properly were not read";
    }
}

} // namespace
