#pragma once
// Small socket helpers of the network layer: descriptors that close themselves, waits that
// end at a deadline or when a stop flag is raised, and a bounded TCP connect. Every wait
// looks at the stop flag at least every PollSliceMs, so any network job can be cancelled
// promptly.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include <netinet/in.h>

namespace net {

using Clock = std::chrono::steady_clock;

/// The longest a wait sleeps before it looks at the stop flag again.
constexpr int PollSliceMs = 20;

/// Owns a file descriptor; closes it on destruction.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(Fd&& other) noexcept : m_fd(other.release()) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd();
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release();

private:
    int m_fd = -1;
};

enum class WaitResult { Ready, TimedOut, Stopped, Failed };

/// Waits until `fd` has one of `events` (poll flags) or `deadline` passes or `stop` is set.
WaitResult WaitFor(int fd, short events, Clock::time_point deadline, const std::atomic<bool>* stop);

/// Sleeps until `deadline` or until `stop` is set; false when stopped.
bool SleepUntil(Clock::time_point deadline, const std::atomic<bool>* stop);

/// True when `text` is a dotted IPv4 address; fills `address`.
bool ParseIpv4(const std::string& text, in_addr& address);
/// A dotted address or the first IPv4 address of a name from the resolver.
bool ResolveIpv4(const std::string& host, in_addr& address);
std::string Ipv4Text(const in_addr& address);

/// A connected TCP socket to `address`:`port`, or an invalid Fd when the connection failed,
/// timed out or was stopped; `*err` receives the errno (ETIMEDOUT for the time limit,
/// ECANCELED for a stop).
Fd ConnectTcp(const in_addr& address, uint16_t port, Clock::time_point deadline,
              const std::atomic<bool>* stop, int* err = nullptr);

} // namespace net
