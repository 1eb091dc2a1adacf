#include "platform/Ping.h"

#include "platform/Sockets.h"
#include "platform/Win32Error.h"

#include <cerrno>
#include <cstring>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr uint16_t SmbPort = 445;
constexpr size_t PayloadSize = 16;

uint16_t checksum(const unsigned char* data, size_t size)
{
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < size; i += 2)
        sum += uint32_t(data[i]) << 8 | data[i + 1];
    if (size & 1)
        sum += uint32_t(data[size - 1]) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return uint16_t(~sum);
}

// An ICMP socket this process may open: a datagram one where ping_group_range allows it
// (the kernel then owns the identifier and filters replies), a raw one otherwise.
net::Fd openIcmpSocket(bool& raw)
{
    net::Fd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP));
    raw = false;
    if (fd.valid())
        return fd;
    raw = true;
    return net::Fd(::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP));
}

// One echo on an open ICMP socket; true when the matching reply came before the deadline.
bool icmpEcho(int fd, bool raw, const in_addr& to, net::Clock::time_point deadline,
              const std::atomic<bool>* stop)
{
    std::random_device seed;
    const uint16_t id = uint16_t(seed());
    const uint16_t sequence = 1;
    unsigned char cookie[PayloadSize];
    for (auto& b : cookie)
        b = (unsigned char)(seed());

    unsigned char packet[8 + PayloadSize] = {};
    packet[0] = ICMP_ECHO;
    packet[4] = id >> 8;
    packet[5] = id & 0xFF;
    packet[6] = sequence >> 8;
    packet[7] = sequence & 0xFF;
    std::memcpy(packet + 8, cookie, PayloadSize);
    const uint16_t sum = checksum(packet, sizeof packet);
    packet[2] = sum >> 8;
    packet[3] = sum & 0xFF;

    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr = to;
    if (::sendto(fd, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&target), sizeof target) < 0)
        return false;

    for (;;) {
        if (net::WaitFor(fd, POLLIN, deadline, stop) != net::WaitResult::Ready)
            return false;
        unsigned char reply[1500];
        sockaddr_in from{};
        socklen_t fromLen = sizeof from;
        const ssize_t got = ::recvfrom(fd, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (got < 0) {
            if (errno == EAGAIN || errno == EINTR)
                continue;
            return false;
        }
        size_t offset = 0;
        if (raw) {
            // A raw socket sees every ICMP packet of the host, IP header first.
            if (got < 20)
                continue;
            offset = size_t(reply[0] & 0x0F) * 4;
            if (from.sin_addr.s_addr != to.s_addr)
                continue;
        }
        if (size_t(got) < offset + 8 + PayloadSize)
            continue;
        const unsigned char* icmp = reply + offset;
        if (icmp[0] != ICMP_ECHOREPLY)
            continue;
        // The kernel rewrites the identifier of a datagram socket; the cookie still tells
        // our reply from a late one of another ping.
        if (raw && (icmp[4] != (id >> 8) || icmp[5] != (id & 0xFF)))
            continue;
        if (std::memcmp(icmp + 8, cookie, PayloadSize) != 0)
            continue;
        return true;
    }
}

} // namespace

PingResult PingHost(const std::string& host, int timeoutMs, const std::atomic<bool>* stop)
{
    const auto start = net::Clock::now();
    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    PingResult result;
    auto finish = [&](bool reachable) {
        result.reachable = reachable;
        result.ms = int(std::chrono::duration_cast<std::chrono::milliseconds>(net::Clock::now() - start).count());
        return result;
    };

    in_addr address{};
    if (!net::ResolveIpv4(host, address)) {
        result.error = Win32::HostUnreachable;
        return finish(false);
    }
    bool raw = false;
    net::Fd icmp = openIcmpSocket(raw);
    if (icmp.valid()) {
        result.method = "icmp";
        return finish(icmpEcho(icmp.get(), raw, address, deadline, stop));
    }
    result.method = "tcp";
    int err = 0;
    net::Fd tcp = net::ConnectTcp(address, SmbPort, deadline, stop, &err);
    // A refusal is an answer: the computer is there, only its port is closed.
    return finish(tcp.valid() || err == ECONNREFUSED);
}
