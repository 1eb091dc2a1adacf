#include "tools/vessring/CrawlJobs.h"

#include "network/NetPassword.h"
#include "platform/SmbContext.h"
#include "resources/StringTable.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The lines a child writes to its parent, fields separated by tabs; texts never hold a
// tab or a line end (they are replaced by blanks):
//   P folders reused files share
//   R code share message        a refused share
//   W reason                    why the crawl is partial
//   C kind size modified oldSize oldModified path   (only counted by the parent)
//   D written cancelled error files images audio video folders reused partial crawled previous text
std::atomic<bool> g_childStop{false};
constexpr std::chrono::milliseconds ProgressInterval{100};

void childSignal(int)
{
    g_childStop = true;
}

std::string flat(std::string text)
{
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return text;
}

void writeAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += size_t(n);
    }
}

std::string real(double value)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", value);
    return buf;
}

[[noreturn]] void runChild(const TNodeData& computer, const CrawlOptions& options, int fd)
{
    struct sigaction action {};
    action.sa_handler = childSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    UseNetPasswordsForSmb();
    // A line per folder would wake the parent thousands of times a second for nothing.
    auto last = std::chrono::steady_clock::time_point();
    const CrawlOutcome outcome = CrawlComputer(computer, options, g_childStop, [&](const CrawlProgress& p) {
        const auto now = std::chrono::steady_clock::now();
        if (now - last < ProgressInterval)
            return;
        last = now;
        writeAll(fd, "P\t" + std::to_string(p.Folders) + "\t" + std::to_string(p.ReusedFolders) + "\t"
                         + std::to_string(p.Files) + "\t" + flat(p.Share) + "\n");
    });
    const CrawlRecord& r = outcome.Record;
    std::string tail;
    for (const RefusedShare& share : r.Refused)
        tail += "R\t" + std::to_string(share.Code) + "\t" + flat(share.Share) + "\t" + flat(share.Message) + "\n";
    for (const std::string& reason : r.Reasons)
        tail += "W\t" + flat(reason) + "\n";
    for (const CrawlChange& c : r.Changes)
        tail += std::string("C\t") + CrawlChangeKindName(c.Kind) + "\n";
    const CrawlCounters& k = outcome.Counters;
    tail += "D\t" + std::to_string(outcome.Written) + "\t" + std::to_string(outcome.Cancelled) + "\t"
            + std::to_string(outcome.Error) + "\t" + std::to_string(k.Files) + "\t" + std::to_string(k.Images) + "\t"
            + std::to_string(k.Audio) + "\t" + std::to_string(k.Video) + "\t" + std::to_string(outcome.Folders) + "\t"
            + std::to_string(outcome.ReusedFolders) + "\t" + std::to_string(r.Partial) + "\t" + real(r.Crawled) + "\t"
            + real(r.Previous) + "\t" + flat(outcome.ErrorText) + "\n";
    writeAll(fd, tail);
    ::close(fd);
    SmbDropConnections();
    // The parent's buffers and handlers are its own: end without running them.
    _exit(outcome.Written ? 0 : 1);
}

std::vector<std::string> split(const std::string& line)
{
    std::vector<std::string> fields;
    size_t at = 0;
    for (;;) {
        const size_t tab = line.find('\t', at);
        fields.push_back(line.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
        if (tab == std::string::npos)
            return fields;
        at = tab + 1;
    }
}

long long number(const std::vector<std::string>& f, size_t k)
{
    return k < f.size() ? std::atoll(f[k].c_str()) : 0;
}

struct Child {
    size_t job = 0;
    pid_t pid = -1;
    int fd = -1;
    std::string buffer;
    CrawlOutcome outcome;
    bool done = false;
};

// Takes one line from a child; true when it was the last.
bool takeLine(Child& child, const std::string& line, const CrawlJobEvents& events)
{
    const std::vector<std::string> f = split(line);
    if (f.empty())
        return false;
    CrawlRecord& r = child.outcome.Record;
    if (f[0] == "P" && f.size() >= 5) {
        CrawlProgress p;
        p.Folders = int(number(f, 1));
        p.ReusedFolders = int(number(f, 2));
        p.Files = number(f, 3);
        p.Share = f[4];
        if (events.progress)
            events.progress(child.job, p);
    } else if (f[0] == "R" && f.size() >= 4) {
        r.Refused.push_back({f[2], int(number(f, 1)), f[3]});
    } else if (f[0] == "W" && f.size() >= 2) {
        r.Reasons.push_back(f[1]);
    } else if (f[0] == "C" && f.size() >= 2) {
        CrawlChange change;
        change.Kind = f[1] == "new" ? CrawlChangeKind::New : f[1] == "removed" ? CrawlChangeKind::Removed
                                                                               : CrawlChangeKind::Changed;
        r.Changes.push_back(change);
    } else if (f[0] == "D" && f.size() >= 14) {
        CrawlOutcome& o = child.outcome;
        o.Written = number(f, 1) != 0;
        o.Cancelled = number(f, 2) != 0;
        o.Error = int(number(f, 3));
        o.Counters = {int32_t(number(f, 4)), int32_t(number(f, 5)), int32_t(number(f, 6)), int32_t(number(f, 7))};
        o.Folders = int(number(f, 8));
        o.ReusedFolders = int(number(f, 9));
        r.Partial = number(f, 10) != 0;
        r.Crawled = std::atof(f[11].c_str());
        r.Previous = std::atof(f[12].c_str());
        o.ErrorText = f[13];
        child.done = true;
        return true;
    }
    return false;
}

void finish(Child& child, const CrawlJobEvents& events)
{
    int status = 0;
    while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!child.done) {
        child.outcome.Error = -1;
        child.outcome.ErrorText = WIFSIGNALED(status)
                                      ? UiFormat("爬行程序因訊號 %1 結束", {std::to_string(WTERMSIG(status))})
                                      : UiCaption("爬行程序未回報結果便結束");
    }
    if (events.finished)
        events.finished(child.job, child.outcome);
}

} // namespace

void RunCrawlJobs(const std::vector<TNodeData>& computers, const CrawlOptions& options, int parallel,
                  const std::atomic<bool>& stop, const CrawlJobEvents& events)
{
    std::vector<Child> running;
    size_t next = 0;
    bool stopSent = false;
    std::fflush(nullptr);  // a child must not write the parent's buffered output again
    while (next < computers.size() || !running.empty()) {
        while (!stop && next < computers.size() && int(running.size()) < parallel) {
            int fds[2];
            if (pipe(fds) != 0)
                break;
            const pid_t pid = fork();
            if (pid == 0) {
                ::close(fds[0]);
                for (const Child& other : running)
                    ::close(other.fd);
                runChild(computers[next], options, fds[1]);
            }
            ::close(fds[1]);
            if (pid < 0) {
                ::close(fds[0]);
                break;
            }
            Child child;
            child.job = next++;
            child.pid = pid;
            child.fd = fds[0];
            if (events.started)
                events.started(child.job);
            running.push_back(std::move(child));
        }
        if (stop && next < computers.size())
            next = computers.size();  // the ones not started stay as they were
        if (running.empty())
            break;
        if (stop && !stopSent) {
            for (const Child& child : running)
                kill(child.pid, SIGTERM);
            stopSent = true;
        }
        std::vector<pollfd> polls;
        for (const Child& child : running)
            polls.push_back({child.fd, POLLIN, 0});
        if (poll(polls.data(), polls.size(), 200) < 0 && errno != EINTR)
            break;
        for (size_t k = 0; k < running.size();) {
            Child& child = running[k];
            bool ended = false;
            if (polls[k].revents & (POLLIN | POLLHUP | POLLERR)) {
                char buf[4096];
                const ssize_t n = ::read(child.fd, buf, sizeof buf);
                if (n > 0) {
                    child.buffer.append(buf, size_t(n));
                    for (size_t nl; (nl = child.buffer.find('\n')) != std::string::npos;) {
                        takeLine(child, child.buffer.substr(0, nl), events);
                        child.buffer.erase(0, nl + 1);
                    }
                } else if (n == 0 || errno != EINTR) {
                    ended = true;
                }
            }
            if (ended) {
                ::close(child.fd);
                finish(child, events);
                running.erase(running.begin() + long(k));
                polls.erase(polls.begin() + long(k));
            } else {
                k++;
            }
        }
    }
}
