#pragma once
#include "network/CacheCrawler.h"
#include "store/CacheListing.h"
#include "store/TNodeData.h"

#include <atomic>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The walk of one share, as the crawl of a computer does it in its own process and as its
// worker processes do it for it (CrawlWorker.h). Both run this code, so what a worker sends
// back is what the walk in the crawl's own process would have found.

/// The longest path a listing stores, in bytes.
constexpr size_t MaxStoredPath = sizeof(TItemData::Path) - 1;

/// The previous crawl's listing, by folder path folded to one case.
struct PreviousListing {
    bool present = false;
    std::vector<std::string> order;                       // folded folder paths, index order
    std::vector<std::string> orderBytes;                  // the same folders as stored (CP950)
    std::unordered_map<std::string, TItemList> folders;   // folded folder path -> entries
    std::unordered_map<std::string, double> folderTimes;  // folded folder path -> its entry's date

    /// Takes one entry of `folder` (stored bytes) as the listing file holds it, entries of
    /// one folder one after another.
    void add(std::string_view folder, const ListingEntry& entry);
    /// Takes a folder of the listing, with no entries yet (add() takes them).
    void addFolder(std::string_view folder);

private:
    std::string m_lastBytes;
    std::string m_lastUtf8;
    TItemList* m_lastItems = nullptr;
};

/// The previous listing of `key` in `storeDir`; an empty one (present false) when there is
/// none, and also when it cannot be read, with the reason added to `reasons`.
PreviousListing ReadPreviousListing(const std::string& storeDir, const std::string& key,
                                    std::vector<std::string>& reasons);

/// What a walk finds, as it finds it. Folder paths are UTF-8, with the computer's name and a
/// trailing backslash.
class ShareWalkEvents {
public:
    virtual ~ShareWalkEvents() = default;
    /// The share's root was reached; its date.
    virtual void root(double modified) = 0;
    /// A folder's entries, listed anew or reused; `files` counts those that are no folder.
    virtual void folder(const std::string& folder, TItemList&& items, bool reused, int64_t files) = 0;
    /// A folder (the share itself when `wholeShare`) could not be read: `error` is a Win32 code.
    virtual void giveUp(const std::string& folder, int error, bool wholeShare) = 0;
    /// The walk ran out of its time before it was done.
    virtual void overTime() = 0;
    /// Entries left out because their paths would not fit a listing.
    virtual void tooLong(int count) = 0;
};

/// Where a share is walked: the computer's name as paths are written, and where it is reached.
struct ShareWalkPlace {
    std::string name;
    std::string address;
};

/// Walks the share `sharePath` ("\\NAME\SHARE\") level by level. A folder whose date is the
/// one `previous` read it with is reused (options.Full aside); options.ShareTimeoutMs bounds
/// the walk. Stops without a word when `cancel` is set.
void WalkShare(const ShareWalkPlace& place, const std::string& sharePath, const PreviousListing& previous,
               const CrawlOptions& options, const std::atomic<bool>& cancel, ShareWalkEvents& events);
