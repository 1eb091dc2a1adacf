#pragma once
// Reachability of a computer before anything slower talks to it: one ICMP echo, or, where
// this process may open no ICMP socket, a TCP connection attempt to the SMB port. Blocking;
// call it on a worker, never on the window thread.
#include <atomic>
#include <string>

struct PingResult {
    bool reachable = false;
    int ms = 0;                   // time from the start until the answer or the give-up
    const char* method = "icmp";  // "icmp" or "tcp"
    int error = 0;                // Win32 code when the host could not even be tried
};

/// The default limit for one echo.
constexpr int PingTimeoutMs = 200;

/// Pings `host` (a dotted IPv4 address or a name) once, waiting at most `timeoutMs` for the
/// answer. An ICMP datagram socket is used where the system allows it (ping_group_range),
/// a raw one otherwise (root); without either, a TCP connect to port 445 stands in, and a
/// refused connection counts as an answer (the host is there). `stop`, when given, is
/// looked at in every wait and ends the ping as unreachable. A name that cannot be resolved
/// is unreachable with error 1232.
PingResult PingHost(const std::string& host, int timeoutMs = PingTimeoutMs,
                    const std::atomic<bool>* stop = nullptr);
