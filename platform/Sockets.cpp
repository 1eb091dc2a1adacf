#include "platform/Sockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace net {

Fd& Fd::operator=(Fd&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.release();
    }
    return *this;
}

Fd::~Fd()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int Fd::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

static bool stopped(const std::atomic<bool>* stop)
{
    return stop && stop->load(std::memory_order_acquire);
}

static int sliceUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
        return 0;
    return int(left < PollSliceMs ? left : PollSliceMs);
}

WaitResult WaitFor(int fd, short events, Clock::time_point deadline, const std::atomic<bool>* stop)
{
    for (;;) {
        if (stopped(stop))
            return WaitResult::Stopped;
        const int slice = sliceUntil(deadline);
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, slice);
        if (n > 0)
            return (p.revents & (events | POLLERR | POLLHUP)) ? WaitResult::Ready : WaitResult::Failed;
        if (n < 0 && errno != EINTR)
            return WaitResult::Failed;
        if (n == 0 && slice == 0)
            return WaitResult::TimedOut;
    }
}

bool SleepUntil(Clock::time_point deadline, const std::atomic<bool>* stop)
{
    for (;;) {
        if (stopped(stop))
            return false;
        const int slice = sliceUntil(deadline);
        if (slice == 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(slice));
    }
}

bool ParseIpv4(const std::string& text, in_addr& address)
{
    return ::inet_pton(AF_INET, text.c_str(), &address) == 1;
}

bool ResolveIpv4(const std::string& host, in_addr& address)
{
    if (ParseIpv4(host, address))
        return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        return false;
    address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return true;
}

std::string Ipv4Text(const in_addr& address)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

Fd ConnectTcp(const in_addr& address, uint16_t port, Clock::time_point deadline,
              const std::atomic<bool>* stop, int* err)
{
    int dummy = 0;
    int& error = err ? *err : dummy;
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        error = errno;
        return {};
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr = address;
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        error = 0;
        return fd;
    }
    if (errno != EINPROGRESS) {
        error = errno;
        return {};
    }
    switch (WaitFor(fd.get(), POLLOUT, deadline, stop)) {
    case WaitResult::TimedOut: error = ETIMEDOUT; return {};
    case WaitResult::Stopped: error = ECANCELED; return {};
    default: break;
    }
    int soError = 0;
    socklen_t len = sizeof soError;
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &soError, &len) != 0)
        soError = errno;
    error = soError;
    if (soError != 0)
        return {};
    return fd;
}

} // namespace net
