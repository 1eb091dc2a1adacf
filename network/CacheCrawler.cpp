#include "network/CacheCrawler.h"

#include "platform/DateTime.h"
#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "platform/SmbFiles.h"
#include "platform/SmbShares.h"
#include "platform/TextCodec.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"
#include "store/ListingPair.h"
#include "store/NodePaths.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <atomic>
#include <deque>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t MaxStoredPath = sizeof(TItemData::Path) - 1;

// What reading a folder costs a server, in requests: a date is an open, a query and a close,
// a listing those and one query more, plus one for each reply's worth of entries.
constexpr size_t kRequestsPerDate = 3;
constexpr size_t kRequestsPerListing = 4;
constexpr size_t kEntriesPerReply = 500;

// What the walk of one share found.
struct ShareWalk {
    double modified = 0;                 // the share's root
    std::vector<TItemList> folders;      // in the order they were listed
    std::vector<std::string> listed;     // folded paths of those folders
    std::vector<std::string> keep;       // folded paths the previous listing stays below
    std::vector<std::string> reasons;
    std::vector<RefusedShare> refused;
    int tooLong = 0;
};

// The previous crawl's listing, by folder path folded to one case.
struct PreviousListing {
    bool present = false;
    std::vector<std::string> order;                          // folded folder paths, index order
    std::unordered_map<std::string, TItemList> folders;      // folded folder path -> entries
    std::unordered_map<std::string, double> folderTimes;     // folded folder path -> its entry's date
};

PreviousListing readPrevious(const std::string& storeDir, const std::string& key, std::vector<std::string>& reasons)
{
    PreviousListing previous;
    if (!FileExists(storeDir + key + ".IDX") || !FileExists(storeDir + key + ".LST"))
        return previous;
    std::string lastBytes, lastFolded, lastUtf8;
    TItemList* folderItems = nullptr;
    try {
        ForEachListingEntry(storeDir, key, [&](std::string_view folder, const ListingEntry& entry) {
            if (!folderItems || folder != lastBytes) {
                lastBytes = folder;
                lastUtf8 = DecodeCP950(folder);
                lastFolded = FoldTextCase(lastUtf8);
                previous.order.push_back(lastFolded);
                folderItems = &previous.folders[lastFolded];
            }
            TItemList& items = *folderItems;
            if (folder.size() + entry.Name.size() > MaxStoredPath)
                return;
            TItemData item;
            item.Size = entry.Size;
            item.Attributes = entry.Attributes;
            item.Modified = entry.Modified;
            std::memcpy(item.Path, folder.data(), folder.size());
            std::memcpy(item.Path + folder.size(), entry.Name.data(), entry.Name.size());
            items.push_back(item);
            if (item.isFolder())
                previous.folderTimes[FoldTextCase(lastUtf8 + DecodeCP950(entry.Name) + "\\")] = entry.Modified;
        });
        previous.present = true;
    } catch (const Exception& e) {
        // A damaged listing is crawled afresh: there is nothing in it worth keeping.
        reasons.push_back(UiFormat("先前的快取檔無法讀取，全部重新讀取：%1", {e.message()}));
        return PreviousListing();
    }
    return previous;
}

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
        m_previous = readPrevious(m_computer.StoreDir, m_computer.Key, record.Reasons);
        CrawlRecord before;
        try {
            if (ReadCrawlRecord(m_computer.StoreDir, m_computer.Key, before))
                record.Previous = before.Crawled;
        } catch (const Exception&) {
            // Only the time of the crawl before is lost; the listing still compares.
        }

        std::vector<SmbShare> shares;
        int error = 0;
        if (!ListSmbShares(m_address, shares, &error)) {
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
        std::vector<ShareWalk> walks = walkShares(top, walked);
        for (size_t k = 0; k < top.size(); k++) {
            if (walked[k])
                merge(top[k], walks[k], record);
            else
                keepShareAsItWas(top[k], before, record);
        }
        if (m_cancel) {
            outcome.Cancelled = true;
            return outcome;
        }
        m_folders.front() = top;
        keepUnreached();

        std::vector<CrawledFile> beforeFiles, afterFiles;
        for (size_t k = 1; k < m_folders.size(); k++)
            for (const TItemData& item : m_folders[k])
                if (!item.isFolder()) {
                    count(item, outcome.Counters);
                    if (m_previous.present)
                        afterFiles.push_back({ItemPath(item), item.Size, item.Modified});
                }
        if (m_previous.present) {
            const std::string topFolded = FoldTextCase("\\\\" + m_name + "\\");
            for (const auto& [folded, items] : m_previous.folders)
                if (folded != topFolded)
                    for (const TItemData& item : items)
                        if (!item.isFolder())
                            beforeFiles.push_back({ItemPath(item), item.Size, item.Modified});
            record.Changes = CompareCrawls(beforeFiles, afterFiles);
        }
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
    // The address form of a path written with the computer's name.
    std::string reachable(const std::string& path) const
    {
        return "\\\\" + m_address + path.substr(2 + m_name.size());
    }

    // The shares one after another. libsmbclient as the system ships it has no thread
    // support: every call holds one lock for the whole process (LockSmbCalls), so walks on
    // connections side by side would only wait for each other, and each thread would open a
    // connection of its own to every share it touched.
    std::vector<ShareWalk> walkShares(const TItemList& shares, const std::vector<bool>& walked)
    {
        std::vector<ShareWalk> walks(shares.size());
        for (size_t k = 0; k < shares.size() && !m_cancel; k++)
            if (walked[k])
                walkShare(shares[k], walks[k]);
        return walks;
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
        const Clock::time_point deadline =
            m_options.ShareTimeoutMs > 0 ? Clock::now() + std::chrono::milliseconds(m_options.ShareTimeoutMs)
                                         : Clock::time_point::max();
        FindEntry root;
        int error = 0;
        if (!smbpath::getFileEntry(reachable(sharePath), root, &error)) {
            giveUp(sharePath, error, walk, true);
            return;
        }
        walk.modified = root.modified;
        std::deque<std::pair<std::string, double>> queue{{sharePath, root.modified}};
        TItemList scratch;
        while (!queue.empty()) {
            if (m_cancel)
                return;
            if (Clock::now() >= deadline) {
                walk.reasons.push_back(UiFormat("%1 超過 %2 秒的走訪時限，只讀了一部分",
                                                {RemoveBackslash(sharePath), secondsText(m_options.ShareTimeoutMs)}));
                walk.keep.push_back(FoldTextCase(sharePath));
                return;
            }
            const auto [folder, modified] = queue.front();
            queue.pop_front();
            TItemList items;
            bool reused = false;
            int64_t files = 0;
            if (!list(folder, modified, deadline, items, reused, files, walk.tooLong, scratch, error)) {
                if (m_cancel)
                    return;
                if (error == 0) {  // stopped by the deadline inside the folder
                    queue.push_front({folder, modified});
                    continue;
                }
                giveUp(folder, error, walk, folder == sharePath);
                continue;
            }
            for (const TItemData& item : items)
                if (item.isFolder())
                    queue.push_back({ItemPath(item) + "\\", item.Modified});
            walk.listed.push_back(FoldTextCase(folder));
            walk.folders.push_back(std::move(items));
            reportFolder(sharePath, reused, files);
        }
        if (walk.tooLong > 0)
            walk.reasons.push_back(UiFormat("%1 有 %2 個項目的路徑超過 255 位元組，無法存入快取",
                                            {RemoveBackslash(sharePath), std::to_string(walk.tooLong)}));
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
        const auto top = m_previous.folders.find(FoldTextCase("\\\\" + m_name + "\\"));
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

    // The entries of `folder`: the previous ones when its date is the one they were read
    // with, else listed anew. False with `error` 0 when the deadline or the flag stopped it.
    bool list(const std::string& folder, double modified, Clock::time_point deadline, TItemList& items, bool& reused,
              int64_t& files, int& tooLong, TItemList& scratch, int& error) const
    {
        const std::string folded = FoldTextCase(folder);
        const auto before = m_previous.folders.find(folded);
        const auto time = m_previous.folderTimes.find(folded);
        if (!m_options.Full && modified != 0 && before != m_previous.folders.end() && time != m_previous.folderTimes.end()
            && time->second == modified) {
            // A subfolder's own date moves when its entries change, and this folder's does
            // not show that, so each subfolder's date is needed. A folder with many of them
            // is listed again instead: one listing says them all for fewer requests.
            const size_t subfolders = size_t(std::count_if(before->second.begin(), before->second.end(),
                                                           [](const TItemData& i) { return i.isFolder(); }));
            if (subfolders * kRequestsPerDate <= kRequestsPerListing + before->second.size() / kEntriesPerReply) {
                items = before->second;
                for (TItemData& item : items) {
                    if (!item.isFolder())
                        continue;
                    FindEntry now;
                    int statError = 0;
                    if (smbpath::getFileEntry(reachable(ItemPath(item) + "\\"), now, &statError))
                        item.Modified = now.modified;
                    else
                        item.Modified = 0;  // listed anew, or reported, when its turn comes
                }
                files = int64_t(items.size() - subfolders);
                reused = true;
                return true;
            }
        }
        bool stopped = false;
        // The folder's bytes once; each entry adds its name's. The entries gather in a list
        // that keeps its room from folder to folder, and the folder keeps an exact copy.
        const std::string folderBytes = EncodeCP950(folder);
        scratch.clear();
        const bool ok = smbpath::forEachEntry(reachable(folder), [&](FindEntry&& entry) {
            if (m_cancel || Clock::now() >= deadline) {
                stopped = true;
                return false;
            }
            const std::string nameBytes = EncodeCP950(entry.name);
            const bool isFolder = (entry.attributes & FileAttributeDirectory) != 0;
            // A folder's path is stored with its trailing backslash as well.
            if (folderBytes.size() + nameBytes.size() + (isFolder ? 1 : 0) > MaxStoredPath) {
                tooLong++;
                return true;
            }
            TItemData& item = scratch.emplace_back();
            std::memcpy(item.Path, folderBytes.data(), folderBytes.size());
            std::memcpy(item.Path + folderBytes.size(), nameBytes.data(), nameBytes.size());
            item.Size = uint32_t(entry.size);
            item.Attributes = entry.attributes;
            item.Modified = entry.modified;
            if (!item.isFolder())
                files++;
            return true;
        }, &error);
        items.assign(scratch.begin(), scratch.end());
        if (stopped) {
            error = 0;
            return false;
        }
        return ok;
    }

    // Folders the previous crawl had below a part this crawl could not read.
    void keepUnreached()
    {
        if (m_keep.empty())
            return;
        for (const std::string& folded : m_previous.order) {
            if (m_listed.count(folded) || folded == FoldTextCase("\\\\" + m_name + "\\"))
                continue;
            const bool below = std::any_of(m_keep.begin(), m_keep.end(),
                                           [&](const std::string& prefix) { return folded.rfind(prefix, 0) == 0; });
            if (below) {
                m_folders.push_back(m_previous.folders[folded]);
                m_listed.insert(folded);
            }
        }
    }

    static void count(const TItemData& item, CrawlCounters& counters)
    {
        counters.Files++;
        switch (MediaKindOf(BareName(ItemPath(item)))) {
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
