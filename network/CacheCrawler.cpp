#include "network/CacheCrawler.h"

#include "network/CrawlWorker.h"
#include "network/ShareWalk.h"

#include "platform/DateTime.h"
#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "platform/ServerNames.h"
#include "platform/SmbContext.h"
#include "platform/SmbShares.h"
#include "platform/TextCodec.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"
#include "store/ListingPair.h"
#include "store/NodePaths.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <atomic>
#include <deque>
#include <future>
#include <memory>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace {

using Clock = std::chrono::steady_clock;

// Workers one crawl keeps at most, and so connections to its computer: a server is not
// flooded, and each worker costs a process and a logon.
constexpr int kMostWorkers = 3;
// How often the crawl looks at the stop flag while it waits for workers.
constexpr int kStopPollMs = 50;

// What the walk of one share found.
struct ShareWalk {
    double modified = 0;                 // the share's root
    std::vector<TItemList> folders;      // in the order they were listed
    std::vector<std::string> listed;     // folded paths of those folders
    std::vector<std::string> keep;       // folded paths the previous listing stays below
    std::vector<std::string> reasons;
    std::vector<RefusedShare> refused;
};

bool isRefusal(int code)
{
    return code == Win32::AccessDenied || code == Win32::LogonFailure || code == Win32::InvalidPassword;
}

std::string secondsText(int ms)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "%g", ms / 1000.0);
    return buf;
}

std::string trimmedText(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

class ComputerCrawl {
public:
    ComputerCrawl(const TNodeData& computer, const CrawlOptions& options, const std::atomic<bool>& cancel,
                  const std::function<void(const CrawlProgress&)>& progress)
        : m_computer(computer), m_options(options), m_cancel(cancel), m_progressHandler(progress),
          m_name(CrawlComputerName(computer)), m_address(CrawlServerAddress(computer))
    {
    }

    CrawlOutcome run()
    {
        CrawlOutcome outcome;
        CrawlRecord& record = outcome.Record;
        // A walk here logs on for every folder: the password store is asked once a place.
        SmbCredentials::KeepStoreAnswers keepAnswers;
        // The workers start while the previous listing is read and the shares are asked for:
        // a process and its libraries take a while to load. Those not needed are ended.
        if (m_options.Connections != 1 && m_options.OnlyShare.empty()) {
            const std::string program = CrawlWorkerProgram();
            for (int k = 0; k < connections(); k++) {
                auto process = CrawlWorkerProcess::start(program);
                if (!process)
                    break;
                m_started.push_back(std::move(process));
            }
        }
        // What the crawl before left is read while the server is asked for the shares: a
        // large listing takes about as long to read as the server takes to answer.
        auto reading = std::async(std::launch::async, [this] { return readBefore(); });
        std::vector<SmbShare> shares;
        int error = 0;
        const bool listed = ListSmbShares(m_address, shares, &error);
        Before before = reading.get();
        m_previous = std::move(before.listing);
        record.Reasons = std::move(before.reasons);
        if (before.recordRead)
            record.Previous = before.record.Crawled;
        if (!listed) {
            outcome.Error = error;
            outcome.ErrorText = trimmedText(Win32MessageText(error));
            return outcome;
        }
        TItemList top;
        for (const SmbShare& share : shares) {
            if (share.hidden)
                continue;
            const std::string shareName = std::string(BareName(RemoveBackslash(share.resource.RemoteName)));
            const std::string path = "\\\\" + m_name + "\\" + shareName;
            if (EncodeCP950(path + "\\").size() > MaxStoredPath)
                continue;
            TItemData item;
            SetItemPath(item, path);
            item.Attributes = FileAttributeDirectory;
            top.push_back(item);
        }
        m_folders.push_back(TItemList());  // the computer's own folder, filled below
        std::vector<bool> walked(top.size());
        for (size_t k = 0; k < top.size(); k++)
            walked[k] = m_options.OnlyShare.empty()
                        || CompareTextNoCase(std::string(BareName(ItemPath(top[k]))), m_options.OnlyShare) == 0;
        // The files before are made ready to compare while the shares are walked.
        auto baseline = std::async(std::launch::async, [this] { return baselineOfPrevious(); });
        std::vector<ShareWalk> walks = walkShares(top, walked);
        const CrawlBaseline filesBefore = baseline.get();
        for (size_t k = 0; k < top.size(); k++) {
            if (walked[k])
                merge(top[k], walks[k], record);
            else
                keepShareAsItWas(top[k], before.record, record);
        }
        if (m_cancel) {
            outcome.Cancelled = true;
            return outcome;
        }
        m_folders.front() = top;
        keepUnreached();

        std::vector<CrawledFile> afterFiles;
        for (size_t k = 1; k < m_folders.size(); k++)
            for (const TItemData& item : m_folders[k])
                if (!item.isFolder()) {
                    std::string path = ItemPath(item);
                    count(path, outcome.Counters);
                    if (m_previous.present)
                        afterFiles.push_back({std::move(path), item.Size, item.Modified});
                }
        if (m_previous.present)
            record.Changes = filesBefore.changes(afterFiles);
        record.Crawled = NowDateTime();
        record.Partial = !record.Reasons.empty() || !record.Refused.empty();
        outcome.Folders = m_done;
        outcome.ReusedFolders = m_reused;
        try {
            RetryWhileShared([&] { ReplaceFolderListings(m_computer.StoreDir, m_computer.Key, m_folders); });
            RetryWhileShared([&] { WriteCrawlRecord(m_computer.StoreDir, m_computer.Key, record); });
            outcome.Written = true;
        } catch (const Exception& e) {
            outcome.Error = Win32::GenFailure;
            outcome.ErrorText = trimmedText(e.message());
        }
        return outcome;
    }

private:
    // The key of the computer's own folder ("\\NAME\" folded) in the previous listing.
    std::string ownFolderKey() const { return FoldTextCase("\\\\" + m_name + "\\"); }

    // What the crawl before left: its listing and its record.
    struct Before {
        PreviousListing listing;
        std::vector<std::string> reasons;
        CrawlRecord record;
        bool recordRead = false;
    };

    Before readBefore() const
    {
        Before before;
        before.listing = ReadPreviousListing(m_computer.StoreDir, m_computer.Key, before.reasons);
        try {
            before.recordRead = ReadCrawlRecord(m_computer.StoreDir, m_computer.Key, before.record);
        } catch (const Exception&) {
            // Only the time of the crawl before is lost; the listing still compares.
        }
        return before;
    }

    // The files of the previous listing, the computer's own folder aside.
    CrawlBaseline baselineOfPrevious() const
    {
        std::vector<CrawledFile> files;
        if (!m_previous.present)
            return CrawlBaseline();
        const std::string topFolded = ownFolderKey();
        for (const auto& [folded, items] : m_previous.folders)
            if (folded != topFolded)
                for (const TItemData& item : items)
                    if (!item.isFolder())
                        files.push_back({ItemPath(item), item.Size, item.Modified});
        return CrawlBaseline(std::move(files));
    }

    // The shares to walk, over several worker processes when there are several shares and
    // workers can be started; what no worker walked (every share, when only one is walked)
    // is walked here, one share after another. libsmbclient as the system ships it lets one
    // call of a process run at a time, so only processes of their own overlap the requests.
    std::vector<ShareWalk> walkShares(const TItemList& shares, const std::vector<bool>& walked)
    {
        std::vector<ShareWalk> walks(shares.size());
        std::deque<size_t> pending;
        for (size_t k = 0; k < shares.size(); k++)
            if (walked[k])
                pending.push_back(k);
        const int workers = std::min<int>(connections(), int(pending.size()));
        if (workers >= 2) {
            biggestFirst(shares, pending);
            walkInWorkers(shares, pending, walks, workers);
        }
        m_started.clear();
        for (size_t k : pending) {
            if (m_cancel)
                break;
            walkShare(shares[k], walks[k]);
        }
        return walks;
    }

    // Orders `pending` by the folders the previous listing had below each share, most
    // first: a big share started last would keep one worker busy while the others idle.
    // The order of the listing does not depend on it.
    void biggestFirst(const TItemList& shares, std::deque<size_t>& pending) const
    {
        if (!m_previous.present)
            return;
        std::unordered_map<std::string, size_t> folders;  // "\\name\share\" folded -> folders
        for (const std::string& folded : m_previous.order) {
            size_t end = folded.find('\\', 2);
            if (end != std::string::npos)
                end = folded.find('\\', end + 1);
            if (end != std::string::npos)
                folders[folded.substr(0, end + 1)]++;
        }
        std::vector<size_t> size(shares.size());
        for (size_t k : pending)
            if (const auto it = folders.find(FoldTextCase(ItemPath(shares[k]) + "\\")); it != folders.end())
                size[k] = it->second;
        std::stable_sort(pending.begin(), pending.end(), [&](size_t a, size_t b) { return size[a] > size[b]; });
    }

    int connections() const { return m_options.Connections > 0 ? m_options.Connections : kMostWorkers; }

    // Records what a walk finds into its ShareWalk, here or from a worker alike.
    class Recorder : public ShareWalkEvents {
    public:
        Recorder(ComputerCrawl& crawl, const std::string& sharePath, ShareWalk& walk)
            : m_crawl(crawl), m_sharePath(sharePath), m_walk(walk)
        {
        }
        void root(double modified) override { m_walk.modified = modified; }
        void folder(const std::string& folder, TItemList&& items, bool reused, int64_t files) override
        {
            m_walk.listed.push_back(FoldTextCase(folder));
            m_walk.folders.push_back(std::move(items));
            m_crawl.reportFolder(m_sharePath, reused, files);
            m_folders++;
            m_reused += reused ? 1 : 0;
            m_files += files;
        }
        void giveUp(const std::string& folder, int error, bool wholeShare) override
        {
            m_crawl.giveUp(folder, error, m_walk, wholeShare);
        }
        void overTime() override
        {
            m_walk.reasons.push_back(UiFormat("%1 超過 %2 秒的走訪時限，只讀了一部分",
                                              {RemoveBackslash(m_sharePath), secondsText(m_crawl.m_options.ShareTimeoutMs)}));
            m_walk.keep.push_back(FoldTextCase(m_sharePath));
        }
        void tooLong(int count) override
        {
            m_walk.reasons.push_back(UiFormat("%1 有 %2 個項目的路徑超過 255 位元組，無法存入快取",
                                              {RemoveBackslash(m_sharePath), std::to_string(count)}));
        }
        // The worker walking the share failed: nothing it sent counts, and the share stays as
        // the previous crawl had it, as a share that cannot be read does.
        void fail(const std::string& why)
        {
            m_crawl.m_done -= m_folders;
            m_crawl.m_reused -= m_reused;
            m_crawl.m_progress.Files -= m_files;
            m_walk = ShareWalk();
            m_walk.keep.push_back(FoldTextCase(m_sharePath));
            m_walk.reasons.push_back(UiFormat("無法讀取 %1：%2", {m_sharePath, why}));
        }

    private:
        ComputerCrawl& m_crawl;
        const std::string m_sharePath;
        ShareWalk& m_walk;
        int m_folders = 0;
        int m_reused = 0;
        int64_t m_files = 0;
    };

    // A worker and the share it walks now.
    struct Worker {
        std::unique_ptr<CrawlWorkerProcess> process;
        std::unique_ptr<Recorder> recorder;
        std::unique_ptr<ShareWalkReader> reader;
    };

    // Hands `worker` the next share of `pending`, or tells it there is none; false when the
    // worker is gone before it took the share, which then stays pending.
    bool assign(Worker& worker, const TItemList& shares, std::deque<size_t>& pending, std::vector<ShareWalk>& walks)
    {
        worker.reader.reset();
        worker.recorder.reset();
        if (pending.empty()) {
            worker.process->finish();
            return true;
        }
        const size_t k = pending.front();
        const std::string sharePath = ItemPath(shares[k]) + "\\";
        ShareJob job;
        job.place = {m_name, m_address};
        job.sharePath = sharePath;
        job.full = m_options.Full;
        job.timeoutMs = m_options.ShareTimeoutMs;
        // What this process would answer the logon with: a worker has no password store to ask.
        const bool stored = AddressIsVouchedFor(LocateServer(m_address).source);
        const std::string share(BareName(ItemPath(shares[k])));
        job.shareCredential = SmbCredentials::lookup(m_address, share, job.shareUser, job.sharePassword, stored);
        job.serverCredential = SmbCredentials::lookup(m_address, {}, job.serverUser, job.serverPassword, stored);
        if (!worker.process->send(EncodeShareJob(job, m_previous)))
            return false;
        pending.pop_front();
        worker.recorder = std::make_unique<Recorder>(*this, sharePath, walks[k]);
        worker.reader = std::make_unique<ShareWalkReader>(sharePath, *worker.recorder);
        return true;
    }

    // Walks the shares of `pending` over at most `count` workers, each taking the next share
    // when it is done with one. Shares left in `pending` are for this process: no worker
    // could be started, or every one ended before they were handed out. The workers end
    // (killed, when the flag is set) before this returns.
    void walkInWorkers(const TItemList& shares, std::deque<size_t>& pending, std::vector<ShareWalk>& walks, int count)
    {
        std::vector<Worker> workers;
        for (int k = 0; k < count; k++) {
            auto process = k < int(m_started.size()) ? std::move(m_started[size_t(k)])
                                                      : CrawlWorkerProcess::start(CrawlWorkerProgram());
            if (!process)
                break;
            workers.push_back({std::move(process), nullptr, nullptr});
        }
        if (workers.size() < 2)
            return;  // one worker would only add its start to a walk done here
        for (size_t k = 0; k < workers.size();) {
            if (assign(workers[k], shares, pending, walks))
                k++;
            else
                workers.erase(workers.begin() + long(k));  // killed and reaped as it goes
        }
        std::vector<pollfd> polls;
        std::string chunk(256 * 1024, '\0');
        while (!workers.empty() && !m_cancel) {
            polls.clear();
            for (const Worker& worker : workers)
                polls.push_back({worker.process->fd(), POLLIN, 0});
            if (::poll(polls.data(), polls.size(), kStopPollMs) < 0 && errno != EINTR)
                break;
            for (size_t k = 0; k < workers.size();) {
                if (polls[k].revents == 0 || takeFrom(workers[k], chunk, shares, pending, walks)) {
                    k++;
                    continue;
                }
                workers.erase(workers.begin() + long(k));
                polls.erase(polls.begin() + long(k));
            }
        }
    }

    // Takes what `worker` sent; false when it is gone (its share failed if it was not done).
    bool takeFrom(Worker& worker, std::string& chunk, const TItemList& shares, std::deque<size_t>& pending,
              std::vector<ShareWalk>& walks)
    {
        const ssize_t n = ::recv(worker.process->fd(), chunk.data(), chunk.size(), MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return true;
        if (n > 0 && worker.reader) {
            const auto state = worker.reader->take(std::string_view(chunk.data(), size_t(n)));
            if (state == ShareWalkReader::State::More)
                return true;
            if (state == ShareWalkReader::State::Ended)
                return assign(worker, shares, pending, walks);
            worker.process->kill();
            worker.process->reap();
            worker.recorder->fail(UiCaption("爬行程序送回的資料無效"));
            return false;
        }
        // The end, or bytes when no share was asked for: the worker is done either way.
        if (n > 0)
            worker.process->kill();
        const std::string why = worker.process->reap();
        if (worker.recorder)
            worker.recorder->fail(why.empty() ? UiCaption("爬行程序未回報結果便結束") : why);
        return false;
    }

    void merge(TItemData& shareItem, ShareWalk& walk, CrawlRecord& record)
    {
        shareItem.Modified = walk.modified;
        for (TItemList& items : walk.folders)
            m_folders.push_back(std::move(items));
        m_listed.insert(walk.listed.begin(), walk.listed.end());
        m_keep.insert(m_keep.end(), walk.keep.begin(), walk.keep.end());
        record.Reasons.insert(record.Reasons.end(), walk.reasons.begin(), walk.reasons.end());
        record.Refused.insert(record.Refused.end(), walk.refused.begin(), walk.refused.end());
    }

    void walkShare(const TItemData& shareItem, ShareWalk& walk)
    {
        const std::string sharePath = ItemPath(shareItem) + "\\";
        Recorder recorder(*this, sharePath, walk);
        WalkShare({m_name, m_address}, sharePath, m_previous, m_options, m_cancel, recorder);
    }

    // One more folder done: the counters go up and the handler hears of it.
    void reportFolder(const std::string& sharePath, bool reused, int64_t files)
    {
        m_done++;
        m_reused += reused ? 1 : 0;
        m_progress.Share = RemoveBackslash(sharePath);
        m_progress.Folders = m_done;
        m_progress.ReusedFolders = m_reused;
        m_progress.Files += files;
        if (m_progressHandler)
            m_progressHandler(m_progress);
    }

    // A share this crawl leaves alone: its previous listing, date and refusal stay.
    void keepShareAsItWas(TItemData& shareItem, const CrawlRecord& before, CrawlRecord& record)
    {
        const std::string path = ItemPath(shareItem);
        m_keep.push_back(FoldTextCase(path + "\\"));
        const auto top = m_previous.folders.find(ownFolderKey());
        if (top != m_previous.folders.end())
            for (const TItemData& item : top->second)
                if (CompareTextNoCase(ItemPath(item), path) == 0)
                    shareItem.Modified = item.Modified;
        for (const RefusedShare& refused : before.Refused)
            if (CompareTextNoCase(refused.Share, path) == 0)
                record.Refused.push_back(refused);
    }

    // A folder that could not be read: the previous crawl's listing of it and below stays.
    void giveUp(const std::string& folder, int error, ShareWalk& walk, bool wholeShare)
    {
        walk.keep.push_back(FoldTextCase(folder));
        const std::string text = trimmedText(Win32MessageText(error));
        if (wholeShare && isRefusal(error))
            walk.refused.push_back({RemoveBackslash(folder), error, text});
        else
            walk.reasons.push_back(UiFormat("無法讀取 %1：%2", {folder, text}));
    }

    // Folders the previous crawl had below a part this crawl could not read.
    void keepUnreached()
    {
        if (m_keep.empty())
            return;
        const std::string topFolded = ownFolderKey();
        for (const std::string& folded : m_previous.order) {
            if (m_listed.count(folded) || folded == topFolded)
                continue;
            const bool below = std::any_of(m_keep.begin(), m_keep.end(),
                                           [&](const std::string& prefix) { return folded.rfind(prefix, 0) == 0; });
            if (below) {
                // Taken, not copied: the previous listing is read no more (the files before
                // were made ready to compare already).
                m_folders.push_back(std::move(m_previous.folders.at(folded)));
                m_listed.insert(folded);
            }
        }
    }

    // Counts the file of `path` (UTF-8).
    static void count(const std::string& path, CrawlCounters& counters)
    {
        counters.Files++;
        switch (MediaKindOf(BareName(path))) {
        case MediaKind::Image: counters.Images++; break;
        case MediaKind::Audio: counters.Audio++; break;
        case MediaKind::Video: counters.Video++; break;
        case MediaKind::Other: break;
        }
    }

    const TNodeData& m_computer;
    const CrawlOptions m_options;
    const std::atomic<bool>& m_cancel;
    const std::function<void(const CrawlProgress&)>& m_progressHandler;
    const std::string m_name;
    const std::string m_address;
    PreviousListing m_previous;
    std::vector<std::unique_ptr<CrawlWorkerProcess>> m_started;  // workers not handed a share yet
    std::vector<TItemList> m_folders;
    std::unordered_set<std::string> m_listed;
    std::vector<std::string> m_keep;
    CrawlProgress m_progress;
    int m_done = 0;
    int m_reused = 0;
};

} // namespace

MediaKind MediaKindOf(std::string_view name)
{
    static const std::unordered_map<std::string, MediaKind> groups = [] {
        std::unordered_map<std::string, MediaKind> g;
        for (const char* e : {"jpg", "jpeg", "jpe", "png", "gif", "bmp", "tif", "tiff", "webp", "heic", "heif", "ico",
                              "svg", "psd", "raw", "cr2", "nef", "dng"})
            g[e] = MediaKind::Image;
        for (const char* e : {"mp3", "wav", "flac", "aac", "ogg", "oga", "opus", "m4a", "wma", "mid", "midi", "ape",
                              "aiff", "aif", "amr"})
            g[e] = MediaKind::Audio;
        for (const char* e : {"mp4", "m4v", "mkv", "avi", "mov", "wmv", "mpg", "mpeg", "vob", "webm", "flv", "3gp",
                              "ts", "m2ts", "rm", "rmvb", "ogv"})
            g[e] = MediaKind::Video;
        return g;
    }();
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == name.size() || name.size() - dot > 6)
        return MediaKind::Other;
    std::string extension(name.substr(dot + 1));
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z')
            c = char(c + 32);
    const auto found = groups.find(extension);
    return found == groups.end() ? MediaKind::Other : found->second;
}

std::string CrawlComputerName(const TNodeData& computer)
{
    std::string name = RemoveBackslash(computer.RemoteName);
    while (!name.empty() && name.front() == '\\')
        name.erase(0, 1);
    return name;
}

std::string CrawlServerAddress(const TNodeData& computer)
{
    if (computer.RootKind == ExpandedRoot && !computer.Host.empty())
        return computer.Host;
    return CrawlComputerName(computer);
}

CrawlOutcome CrawlComputer(const TNodeData& computer, const CrawlOptions& options, const std::atomic<bool>& cancel,
                           const std::function<void(const CrawlProgress&)>& progress)
{
    if (CrawlComputerName(computer).empty()) {
        CrawlOutcome outcome;
        outcome.Error = Win32::BadNetName;
        outcome.ErrorText = UiFormat("節點 %1 沒有電腦名稱", {computer.Caption});
        return outcome;
    }
    return ComputerCrawl(computer, options, cancel, progress).run();
}

void RetryWhileShared(const std::function<void()>& action, int waitMs)
{
    const std::string shared = Win32MessageText(Win32::SharingViolation);
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        try {
            action();
            return;
        } catch (const Exception& e) {
            if (e.message() != shared || Clock::now() >= until)
                throw;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}
