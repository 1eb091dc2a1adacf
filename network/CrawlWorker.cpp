#include "network/CrawlWorker.h"

#include "platform/ProgramFolder.h"
#include "platform/SmbContext.h"
#include "resources/StringTable.h"
#include "store/NodePaths.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Frame kinds.
constexpr char kJob = 'J';
constexpr char kRoot = 'R';
constexpr char kFolder = 'F';
constexpr char kGiveUp = 'G';
constexpr char kOverTime = 'T';
constexpr char kTooLong = 'L';
constexpr char kEnd = 'E';

// The longest job a worker takes: the previous listing of a share of several million entries.
constexpr size_t kMaxJobFrame = size_t(1) << 30;
// The longest UTF-8 text of a stored path, with room to spare: a CP950 character of two
// bytes is at most three in UTF-8, and an undecodable byte a few more.
constexpr size_t kMaxFolderText = 4 * MaxStoredPath;
// The smallest an entry of a folder frame can be: prefix, suffix length, size, attributes, date.
constexpr size_t kSmallestEntry = 1 + 1 + 4 + 4 + 8;
// A worker sends what it has once this much has gathered, and at the end of a share.
constexpr size_t kWorkerBatch = 32 * 1024;

class Writer {
public:
    explicit Writer(char kind) { m_bytes.assign(4, '\0'); m_bytes += kind; }
    void u8(uint8_t v) { m_bytes += char(v); }
    void u32(uint32_t v) { little(v, 4); }
    void f64(double v)
    {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        little(bits, 8);
    }
    void text(std::string_view s)
    {
        u32(uint32_t(s.size()));
        m_bytes.append(s);
    }
    void raw(std::string_view s) { m_bytes.append(s); }
    // The entries of one folder, each path written as what it shares with the one before and
    // the rest: paths of one folder differ only in their names.
    void items(const TItemList& items)
    {
        u32(uint32_t(items.size()));
        std::string_view last;
        for (const TItemData& item : items) {
            const std::string_view path(item.Path, strnlen(item.Path, sizeof item.Path));
            size_t shared = 0;
            while (shared < last.size() && shared < path.size() && last[shared] == path[shared])
                shared++;
            u8(uint8_t(shared));
            u8(uint8_t(path.size() - shared));
            raw(path.substr(shared));
            u32(item.Size);
            u32(item.Attributes);
            f64(item.Modified);
            last = path;
        }
    }
    void little(uint64_t v, int bytes)
    {
        for (int k = 0; k < bytes; k++)
            m_bytes += char((v >> (8 * k)) & 0xFF);
    }
    // The whole frame, its length in front.
    std::string done()
    {
        const uint32_t n = uint32_t(m_bytes.size() - 4);
        for (int k = 0; k < 4; k++)
            m_bytes[size_t(k)] = char((n >> (8 * k)) & 0xFF);
        return std::move(m_bytes);
    }

private:
    std::string m_bytes;
};

class Reader {
public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}
    bool ok() const { return m_ok; }
    bool atEnd() const { return m_ok && m_at == m_bytes.size(); }
    size_t left() const { return m_bytes.size() - m_at; }
    uint8_t u8()
    {
        if (!need(1))
            return 0;
        return uint8_t(m_bytes[m_at++]);
    }
    uint32_t u32() { return uint32_t(little(4)); }
    double f64()
    {
        const uint64_t bits = little(8);
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    std::string_view raw(size_t n)
    {
        if (!need(n))
            return {};
        const std::string_view s = m_bytes.substr(m_at, n);
        m_at += n;
        return s;
    }
    std::string_view text(size_t most)
    {
        const uint32_t n = u32();
        if (n > most) {
            m_ok = false;
            return {};
        }
        return raw(n);
    }
    // The entries Writer::items wrote; false when they do not add up.
    bool items(TItemList& out)
    {
        const uint32_t count = u32();
        if (!m_ok || count > left() / kSmallestEntry) {
            m_ok = false;
            return false;
        }
        out.assign(count, TItemData());
        size_t lastLength = 0;
        const char* last = nullptr;
        for (TItemData& item : out) {
            const size_t shared = u8();
            const size_t rest = u8();
            if (!m_ok || shared > lastLength || shared + rest > MaxStoredPath) {
                m_ok = false;
                return false;
            }
            const std::string_view tail = raw(rest);
            if (!m_ok)
                return false;
            if (shared > 0)
                std::memcpy(item.Path, last, shared);
            std::memcpy(item.Path + shared, tail.data(), rest);
            item.Size = u32();
            item.Attributes = u32();
            item.Modified = f64();
            last = item.Path;
            lastLength = shared + rest;
        }
        return m_ok;
    }

private:
    uint64_t little(int bytes)
    {
        if (!need(size_t(bytes)))
            return 0;
        uint64_t v = 0;
        for (int k = 0; k < bytes; k++)
            v |= uint64_t(uint8_t(m_bytes[m_at++])) << (8 * k);
        return v;
    }
    bool need(size_t n)
    {
        if (!m_ok || n > m_bytes.size() - m_at) {
            m_ok = false;
            return false;
        }
        return true;
    }
    std::string_view m_bytes;
    size_t m_at = 0;
    bool m_ok = true;
};

// Moves all `size` bytes with `io` (a send or a read), again after a signal; false when the
// other end is gone.
template <class Io>
bool whole(const Io& io, char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = io(data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

bool writeAll(int fd, const char* data, size_t size)
{
    return whole([fd](char* at, size_t n) { return ::send(fd, at, n, MSG_NOSIGNAL); }, const_cast<char*>(data), size);
}

bool readAll(int fd, char* data, size_t size)
{
    return whole([fd](char* at, size_t n) { return ::read(fd, at, n); }, data, size);
}

uint32_t lengthOf(const char* bytes)
{
    uint32_t n = 0;
    for (int k = 0; k < 4; k++)
        n |= uint32_t(uint8_t(bytes[k])) << (8 * k);
    return n;
}

std::mutex g_programMutex;
bool g_programSet = false;
std::string g_program;

} // namespace

// ---- the job ----------------------------------------------------------------------

std::string EncodeShareJob(const ShareJob& job, const PreviousListing& previous)
{
    Writer w(kJob);
    w.text(job.place.name);
    w.text(job.place.address);
    w.text(job.sharePath);
    w.u8(job.full);
    w.u32(uint32_t(std::max(0, job.timeoutMs)));
    w.u8(job.shareCredential);
    w.text(job.shareUser);
    w.text(job.sharePassword);
    w.u8(job.serverCredential);
    w.text(job.serverUser);
    w.text(job.serverPassword);
    // Only what the walk can reuse: the folders below the share, as the listing had them, and
    // the share's own date, which its computer's folder holds.
    std::vector<size_t> below;
    const std::string prefix = FoldTextCase(job.sharePath);
    const auto rootTime = previous.folderTimes.find(prefix);
    const bool reuse = !job.full && previous.present;
    if (reuse)
        for (size_t k = 0; k < previous.order.size(); k++)
            if (previous.order[k].compare(0, prefix.size(), prefix) == 0)
                below.push_back(k);
    w.u8(previous.present);
    w.u32(uint32_t(below.size()));
    for (size_t k : below) {
        w.text(previous.orderBytes[k]);
        w.items(previous.folders.at(previous.order[k]));
    }
    w.u8(reuse && rootTime != previous.folderTimes.end());
    w.f64(reuse && rootTime != previous.folderTimes.end() ? rootTime->second : 0);
    return w.done();
}

bool DecodeShareJob(std::string_view payload, ShareJob& job, PreviousListing& previous)
{
    Reader r(payload);
    if (r.u8() != uint8_t(kJob))
        return false;
    job.place.name = r.text(MaxStoredPath);
    job.place.address = r.text(MaxStoredPath);
    job.sharePath = r.text(kMaxFolderText);
    job.full = r.u8() != 0;
    job.timeoutMs = int(std::min<uint32_t>(r.u32(), 86400u * 1000));
    job.shareCredential = r.u8() != 0;
    job.shareUser = r.text(1024);
    job.sharePassword = r.text(1024);
    job.serverCredential = r.u8() != 0;
    job.serverUser = r.text(1024);
    job.serverPassword = r.text(1024);
    previous = PreviousListing();
    previous.present = r.u8() != 0;
    const uint32_t folders = r.u32();
    TItemList items;
    for (uint32_t f = 0; f < folders && r.ok(); f++) {
        const std::string_view folder = r.text(MaxStoredPath);
        if (!r.items(items))
            return false;
        previous.addFolder(folder);
        for (const TItemData& item : items) {
            const std::string_view path(item.Path, strnlen(item.Path, sizeof item.Path));
            if (path.substr(0, folder.size()) != folder)
                return false;
            ListingEntry entry;
            entry.Size = item.Size;
            entry.Attributes = item.Attributes;
            entry.Modified = item.Modified;
            entry.Name = path.substr(folder.size());
            previous.add(folder, entry);
        }
    }
    const bool hasRootTime = r.u8() != 0;
    const double rootTime = r.f64();
    if (hasRootTime)
        previous.folderTimes[FoldTextCase(job.sharePath)] = rootTime;
    return r.atEnd() && job.sharePath.size() > job.place.name.size() + 2;
}

// ---- the worker's side ------------------------------------------------------------

void ShareWalkWriter::root(double modified)
{
    Writer w(kRoot);
    w.f64(modified);
    frame(w.done());
}

void ShareWalkWriter::folder(const std::string& folder, TItemList&& items, bool reused, int64_t)
{
    Writer w(kFolder);
    w.text(folder);
    w.u8(reused);
    w.items(items);
    frame(w.done());
}

void ShareWalkWriter::giveUp(const std::string& folder, int error, bool wholeShare)
{
    Writer w(kGiveUp);
    w.text(folder);
    w.u32(uint32_t(error));
    w.u8(wholeShare);
    frame(w.done());
}

void ShareWalkWriter::overTime()
{
    frame(Writer(kOverTime).done());
}

void ShareWalkWriter::tooLong(int count)
{
    Writer w(kTooLong);
    w.u32(uint32_t(count));
    frame(w.done());
}

bool ShareWalkWriter::end()
{
    m_out += Writer(kEnd).done();
    return flush();
}

void ShareWalkWriter::frame(const std::string& payload)
{
    m_out += payload;
    if (m_out.size() >= kWorkerBatch)
        flush();
}

bool ShareWalkWriter::flush()
{
    if (!m_gone && !writeAll(m_fd, m_out.data(), m_out.size()))
        m_gone = true;
    m_out.clear();
    return !m_gone;
}

int RunCrawlWorker(int fd)
{
    // A worker outlives no parent: when the crawl ends, however it ends, so do its walks.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    for (;;) {
        char head[4];
        if (!readAll(fd, head, sizeof head))
            return 0;  // no more jobs
        const uint32_t length = lengthOf(head);
        if (length == 0 || length > kMaxJobFrame)
            return 2;
        std::string payload(length, '\0');
        if (!readAll(fd, payload.data(), length))
            return 2;
        ShareJob job;
        PreviousListing previous;
        if (!DecodeShareJob(payload, job, previous))
            return 2;
        payload = std::string();
        // Only what the parent sent: a worker asks no password store.
        SmbCredentials::clear();
        const std::string server = "\\\\" + job.place.address;
        const std::string share = std::string(PathPart(job.sharePath.substr(2), 2));
        if (job.serverCredential)
            SmbCredentials::set(server, job.serverUser, job.serverPassword);
        if (job.shareCredential)
            SmbCredentials::set(server + "\\" + share, job.shareUser, job.sharePassword);
        CrawlOptions options;
        options.Full = job.full;
        options.ShareTimeoutMs = job.timeoutMs;
        ShareWalkWriter writer(fd);
        WalkShare(job.place, job.sharePath, previous, options, writer.gone(), writer);
        if (!writer.end())
            return 1;
    }
}

// ---- the parent's side ------------------------------------------------------------

ShareWalkReader::ShareWalkReader(const std::string& sharePath, ShareWalkEvents& events)
    : m_shareFolded(FoldTextCase(sharePath)), m_events(events)
{
}

ShareWalkReader::State ShareWalkReader::take(std::string_view bytes)
{
    if (m_ended)
        return bytes.empty() ? State::Ended : State::Broken;
    m_buffer.append(bytes);
    for (;;) {
        const size_t have = m_buffer.size() - m_at;
        if (have < 4)
            break;
        const uint32_t length = lengthOf(m_buffer.data() + m_at);
        if (length == 0 || length > MaxWorkerFrame)
            return State::Broken;
        if (have - 4 < length)
            break;
        const State state = frame(std::string_view(m_buffer).substr(m_at + 4, length));
        m_at += 4 + length;
        if (state == State::Broken)
            return state;
        if (state == State::Ended) {
            m_ended = true;
            return m_at == m_buffer.size() ? State::Ended : State::Broken;
        }
    }
    // What was read is dropped now and then, not at every frame.
    if (m_at > 0 && (m_at == m_buffer.size() || m_at > (1u << 20))) {
        m_buffer.erase(0, m_at);
        m_at = 0;
    }
    return State::More;
}

ShareWalkReader::State ShareWalkReader::frame(std::string_view payload)
{
    Reader r(payload);
    const char kind = char(r.u8());
    // A folder the worker names lies in its share: it may not speak for other places.
    const auto inShare = [&](std::string_view folder) {
        return folder.size() >= m_shareFolded.size() && FoldTextCase(folder).compare(0, m_shareFolded.size(), m_shareFolded) == 0
               && folder.back() == '\\';
    };
    switch (kind) {
    case kRoot: {
        const double modified = r.f64();
        if (!r.atEnd())
            return State::Broken;
        m_events.root(modified);
        return State::More;
    }
    case kFolder: {
        const std::string folder(r.text(kMaxFolderText));
        const bool reused = r.u8() != 0;
        TItemList items;
        if (!r.items(items) || !r.atEnd() || !inShare(folder))
            return State::Broken;
        int64_t files = 0;
        for (const TItemData& item : items)
            files += item.isFolder() ? 0 : 1;
        m_events.folder(folder, std::move(items), reused, files);
        return State::More;
    }
    case kGiveUp: {
        const std::string folder(r.text(kMaxFolderText));
        const int error = int(r.u32());
        const bool whole = r.u8() != 0;
        if (!r.atEnd() || !inShare(folder))
            return State::Broken;
        m_events.giveUp(folder, error, whole);
        return State::More;
    }
    case kOverTime:
        if (!r.atEnd())
            return State::Broken;
        m_events.overTime();
        return State::More;
    case kTooLong: {
        const uint32_t count = r.u32();
        if (!r.atEnd() || count > uint32_t(INT32_MAX))
            return State::Broken;
        m_events.tooLong(int(count));
        return State::More;
    }
    case kEnd:
        return r.atEnd() ? State::Ended : State::Broken;
    default:
        return State::Broken;
    }
}

std::string CrawlWorkerProgram()
{
    std::lock_guard lock(g_programMutex);
    if (g_programSet)
        return g_program;
    const std::string folder = ExecutableFolder();
    return folder.empty() ? std::string() : folder + "/vessring";
}

void SetCrawlWorkerProgram(const std::string& path)
{
    std::lock_guard lock(g_programMutex);
    g_programSet = true;
    g_program = path;
}

namespace {

// Whether `program` is the file this process runs.
bool isThisProgram(const std::string& program)
{
    struct stat self {};
    struct stat other {};
    return ::stat("/proc/self/exe", &self) == 0 && ::stat(program.c_str(), &other) == 0 && self.st_dev == other.st_dev
           && self.st_ino == other.st_ino;
}

// Whether this process runs one thread: fork copies only the calling one, and a lock
// another held would stay locked in the copy.
bool onlyThread()
{
    DIR* tasks = ::opendir("/proc/self/task");
    if (!tasks)
        return false;
    int count = 0;
    while (const dirent* entry = ::readdir(tasks))
        if (entry->d_name[0] != '.')
            count++;
    ::closedir(tasks);
    return count == 1;
}

// The worker in a copy of this process, as the program started anew in its worker mode
// would be: the socket on standard input and output, no other descriptor, the usual
// signals, no SMB connection of the parent's, no password store. It never returns into
// the parent's code.
[[noreturn]] void runForkedWorker(int fd)
{
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    if (::dup2(fd, STDIN_FILENO) < 0 || ::dup2(fd, STDOUT_FILENO) < 0)
        ::_exit(2);
    ::close_range(3, ~0u, 0);
    SmbAbandonThreadContexts();
    SmbCredentials::setFallback(nullptr);
    int status = 2;
    try {
        status = RunCrawlWorker(STDIN_FILENO);
    } catch (...) {
    }
    ::_exit(status);
}

} // namespace

std::unique_ptr<CrawlWorkerProcess> CrawlWorkerProcess::start(const std::string& program)
{
    if (program.empty() || ::access(program.c_str(), X_OK) != 0)
        return nullptr;
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return nullptr;
    if (isThisProgram(program) && onlyThread()) {
        const pid_t pid = ::fork();
        if (pid == 0)
            runForkedWorker(fds[1]);
        ::close(fds[1]);
        if (pid < 0) {
            ::close(fds[0]);
            return nullptr;
        }
        return std::unique_ptr<CrawlWorkerProcess>(new CrawlWorkerProcess(pid, fds[0]));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    const char* argv[] = {program.c_str(), "--crawl-worker", nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (spawned != 0) {
        ::close(fds[0]);
        return nullptr;
    }
    return std::unique_ptr<CrawlWorkerProcess>(new CrawlWorkerProcess(pid, fds[0]));
}

CrawlWorkerProcess::~CrawlWorkerProcess()
{
    if (!m_reaped) {
        kill();
        reap();
    }
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CrawlWorkerProcess::send(const std::string& frame)
{
    return writeAll(m_fd, frame.data(), frame.size());
}

void CrawlWorkerProcess::finish()
{
    ::shutdown(m_fd, SHUT_WR);
}

void CrawlWorkerProcess::kill()
{
    if (!m_reaped)
        ::kill(m_pid, SIGKILL);
}

std::string CrawlWorkerProcess::reap()
{
    if (!m_reaped) {
        while (::waitpid(m_pid, &m_status, 0) < 0 && errno == EINTR) {
        }
        m_reaped = true;
    }
    if (WIFSIGNALED(m_status))
        return UiFormat("爬行程序因訊號 %1 結束", {std::to_string(WTERMSIG(m_status))});
    if (!WIFEXITED(m_status) || WEXITSTATUS(m_status) != 0)
        return UiCaption("爬行程序未回報結果便結束");
    return {};
}
