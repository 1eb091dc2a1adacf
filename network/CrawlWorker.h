#pragma once
#include "network/ShareWalk.h"

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>

// Shares of one computer walked side by side, each by a worker process. libsmbclient as the
// system builds it lets one call run at a time in a process, whatever the thread, so only
// processes of their own keep several requests in flight. A worker is the cache updater
// started in its worker mode ("--crawl-worker"), talking over a socket pair on its standard
// input and output; the job, credentials included, goes over that socket, never on its
// command line or in its environment.
//
// Messages both ways are frames: a 32-bit little-endian length, then that many bytes, the
// first of which says what the frame is. The parent reads what a worker sends as it would
// read a stranger's: every length and count is checked against the frame, and a frame that
// does not add up ends the worker and fails its share.

/// One share for a worker to walk.
struct ShareJob {
    ShareWalkPlace place;
    std::string sharePath;  // "\\NAME\SHARE\"
    bool full = false;
    int timeoutMs = 0;
    // What the authentication would answer for the share and for the server; nothing when
    // the parent has nothing to send there.
    bool shareCredential = false;
    std::string shareUser, sharePassword;
    bool serverCredential = false;
    std::string serverUser, serverPassword;
};

/// The longest frame a parent takes from a worker: a folder of a million entries fits.
constexpr size_t MaxWorkerFrame = 64u << 20;

/// The job frame: the job and the folders of `previous` below its share (none with a full crawl).
std::string EncodeShareJob(const ShareJob& job, const PreviousListing& previous);
/// Reads a job frame's payload; false when it does not add up.
bool DecodeShareJob(std::string_view payload, ShareJob& job, PreviousListing& previous);

/// The worker's side of the events: each one is written to `fd` as a frame (gathered and
/// sent in batches), the last, end(), once the share is done.
class ShareWalkWriter : public ShareWalkEvents {
public:
    explicit ShareWalkWriter(int fd) : m_fd(fd) {}
    void root(double modified) override;
    void folder(const std::string& folder, TItemList&& items, bool reused, int64_t files) override;
    void giveUp(const std::string& folder, int error, bool wholeShare) override;
    void overTime() override;
    void tooLong(int count) override;
    /// The share is done; everything is sent. False when the parent is gone.
    bool end();
    /// Set once a send fails: the parent is gone, and the walk has no one to tell.
    const std::atomic<bool>& gone() const { return m_gone; }

private:
    void frame(const std::string& payload);
    bool flush();
    int m_fd;
    std::string m_out;
    std::atomic<bool> m_gone{false};
};

/// The parent's reading of what one worker sends for the share `sharePath`: bytes go in as
/// they arrive, and each whole frame becomes a call on `events`.
class ShareWalkReader {
public:
    enum class State { More, Ended, Broken };
    ShareWalkReader(const std::string& sharePath, ShareWalkEvents& events);
    /// Takes `bytes`; Ended when the share's last frame came (bytes after it are Broken),
    /// Broken when a frame does not add up.
    State take(std::string_view bytes);

private:
    State frame(std::string_view payload);
    std::string m_shareFolded;
    ShareWalkEvents& m_events;
    std::string m_buffer;
    size_t m_at = 0;
    bool m_ended = false;
};

/// The worker's loop: takes jobs from `fd` until the parent closes it, and answers each on
/// the same socket. Returns the exit status.
int RunCrawlWorker(int fd);

/// The program started as a worker: the cache updater beside the running one, unless set
/// otherwise (tests set theirs; an empty path keeps every walk in this process).
std::string CrawlWorkerProgram();
void SetCrawlWorkerProgram(const std::string& path);

/// One worker process, started with posix_spawn (the crawl may run in a process with
/// threads, where fork is unsafe); when the program is this very one and this process has
/// no other thread, forked instead, which spares loading the program and its libraries
/// again. Killed and reaped when destroyed.
class CrawlWorkerProcess {
public:
    /// Null when the program cannot be started.
    static std::unique_ptr<CrawlWorkerProcess> start(const std::string& program);
    ~CrawlWorkerProcess();
    int fd() const { return m_fd; }
    pid_t pid() const { return m_pid; }
    /// Sends a whole frame; false when the worker is gone.
    bool send(const std::string& frame);
    /// No more jobs: the worker ends when it has read this.
    void finish();
    /// Ends the worker now.
    void kill();
    /// Waits for the worker to end; a text for the reason a share failed when it did not end
    /// well (empty when it exited with 0).
    std::string reap();

private:
    CrawlWorkerProcess(pid_t pid, int fd) : m_pid(pid), m_fd(fd) {}
    pid_t m_pid;
    int m_fd;
    bool m_reaped = false;
    int m_status = 0;
};
