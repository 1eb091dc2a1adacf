#include "network/ShareWalk.h"

#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "platform/SmbFiles.h"
#include "platform/TextCodec.h"
#include "resources/StringTable.h"
#include "store/NodePaths.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>

namespace {

using Clock = std::chrono::steady_clock;

// What reading a folder costs a server, in requests: a date is an open, a query and a close,
// a listing those and one query more, plus one for each reply's worth of entries.
constexpr size_t kRequestsPerDate = 3;
constexpr size_t kRequestsPerListing = 4;
constexpr size_t kEntriesPerReply = 500;

class ShareWalker {
public:
    ShareWalker(const ShareWalkPlace& place, const PreviousListing& previous, const CrawlOptions& options,
                const std::atomic<bool>& cancel, ShareWalkEvents& events)
        : m_place(place), m_previous(previous), m_options(options), m_cancel(cancel), m_events(events)
    {
    }

    void walk(const std::string& sharePath)
    {
        const Clock::time_point deadline =
            m_options.ShareTimeoutMs > 0 ? Clock::now() + std::chrono::milliseconds(m_options.ShareTimeoutMs)
                                         : Clock::time_point::max();
        FindEntry root;
        int error = 0;
        if (!smbpath::getFileEntry(reachable(sharePath), root, &error)) {
            m_events.giveUp(sharePath, error, true);
            return;
        }
        m_events.root(root.modified);
        std::deque<std::pair<std::string, double>> queue{{sharePath, root.modified}};
        TItemList scratch;
        int tooLong = 0;
        while (!queue.empty()) {
            if (m_cancel)
                return;
            if (Clock::now() >= deadline) {
                m_events.overTime();
                return;
            }
            const auto [folder, modified] = queue.front();
            queue.pop_front();
            TItemList items;
            bool reused = false;
            int64_t files = 0;
            if (!list(folder, modified, deadline, items, reused, files, tooLong, scratch, error)) {
                if (m_cancel)
                    return;
                if (error == 0) {  // stopped by the deadline inside the folder
                    queue.push_front({folder, modified});
                    continue;
                }
                m_events.giveUp(folder, error, folder == sharePath);
                continue;
            }
            for (const TItemData& item : items)
                if (item.isFolder())
                    queue.push_back({ItemPath(item) + "\\", item.Modified});
            m_events.folder(folder, std::move(items), reused, files);
        }
        if (tooLong > 0)
            m_events.tooLong(tooLong);
    }

private:
    // The address form of a path written with the computer's name.
    std::string reachable(const std::string& path) const
    {
        return "\\\\" + m_place.address + path.substr(2 + m_place.name.size());
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

    const ShareWalkPlace& m_place;
    const PreviousListing& m_previous;
    const CrawlOptions& m_options;
    const std::atomic<bool>& m_cancel;
    ShareWalkEvents& m_events;
};

} // namespace

void PreviousListing::addFolder(std::string_view folder)
{
    m_lastBytes = folder;
    m_lastUtf8 = DecodeCP950(folder);
    order.push_back(FoldTextCase(m_lastUtf8));
    orderBytes.emplace_back(folder);
    m_lastItems = &folders[order.back()];
}

void PreviousListing::add(std::string_view folder, const ListingEntry& entry)
{
    if (!m_lastItems || folder != m_lastBytes)
        addFolder(folder);
    if (folder.size() + entry.Name.size() > MaxStoredPath)
        return;
    TItemData& item = m_lastItems->emplace_back();
    item.Size = entry.Size;
    item.Attributes = entry.Attributes;
    item.Modified = entry.Modified;
    std::memcpy(item.Path, folder.data(), folder.size());
    std::memcpy(item.Path + folder.size(), entry.Name.data(), entry.Name.size());
    if (item.isFolder())
        folderTimes[FoldTextCase(m_lastUtf8 + DecodeCP950(entry.Name) + "\\")] = entry.Modified;
}

PreviousListing ReadPreviousListing(const std::string& storeDir, const std::string& key,
                                    std::vector<std::string>& reasons)
{
    PreviousListing previous;
    if (!FileExists(storeDir + key + ".IDX") || !FileExists(storeDir + key + ".LST"))
        return previous;
    try {
        ForEachListingEntry(storeDir, key, [&](std::string_view folder, const ListingEntry& entry) {
            previous.add(folder, entry);
        });
        previous.present = true;
    } catch (const Exception& e) {
        // A damaged listing is crawled afresh: there is nothing in it worth keeping.
        reasons.push_back(UiFormat("先前的快取檔無法讀取，全部重新讀取：%1", {e.message()}));
        return PreviousListing();
    }
    return previous;
}

void WalkShare(const ShareWalkPlace& place, const std::string& sharePath, const PreviousListing& previous,
               const CrawlOptions& options, const std::atomic<bool>& cancel, ShareWalkEvents& events)
{
    ShareWalker(place, previous, options, cancel, events).walk(sharePath);
}
