#pragma once
#include "network/FtpListing.h"
#include "platform/ThreadGuard.h"
#include "store/CacheListing.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

/// One folder's latest listing with its names looked up. Made whole on the conversation's
/// thread and never changed after, so the window may keep and read it.
struct FtpListedFolder {
    std::vector<FtpEntry> entries;
    std::unordered_map<std::string_view, size_t> byName;  // views of entries' names
    uint64_t generation = 0;

    /// The entry named `name`; null when the listing had none.
    const FtpEntry* find(std::string_view name) const;
};

/// What a site's connection knows of its listings: the latest listing of each folder, the
/// sizes learnt from a look at one file since, and which folders the site's listing pair
/// (its .IDX and .LST in the store folder) holds. It belongs to the conversation's thread:
/// every member checks that, and the window hears of it only through listings handed over
/// whole.
class FtpListingBook {
public:
    /// Makes the calling thread the only one that may use the book.
    void claim() { m_owner.claim(); }

    /// What recording one folder's listing gave.
    struct Recorded {
        /// The listing as the window keeps it (null when it was not recorded).
        std::shared_ptr<const FtpListedFolder> listing;
        /// The entries as reading the listing pair gives them back, when they are exactly
        /// that (so the window need not read the files); empty otherwise.
        TItemList asRead;
        /// Why the listing pair could not be written; empty when it was.
        std::string writeError;
    };
    /// Records the listing of the folder `siteFolder` ("\a\b\", the site window's form) of
    /// the site whose files are `storeDir` + `key`: kept as the folder's latest listing and
    /// put into the site's listing pair, appended the first time and replacing the
    /// folder's earlier listing after that.
    Recorded record(const std::string& siteFolder, const std::string& storeDir, const std::string& key,
                    std::vector<FtpEntry>&& entries);

    /// Deletes the site's listing pair and forgets which folders it held.
    void dropStored(const std::string& storeDir, const std::string& key);

    /// The size of the file `remotePath` ("/a/b") as the site last said it: its folder's
    /// latest listing or a later look at the file itself; -1 when neither gave one.
    int64_t knownSize(const std::string& remotePath) const;
    /// A look at the file `remotePath` alone found it `size` bytes long: this counts over
    /// the listings made before.
    void noteSize(const std::string& remotePath, int64_t size);

private:
    /// True when the reader of the pair now gives this folder's entries back as `items`.
    bool storeFolderListing(const std::string& siteFolder, const std::string& storeDir, const std::string& key,
                            const TItemList& items);

    ThreadOwner m_owner;
    // The latest listing of each folder, by the folder's remote path ("/a/b"). A download
    // that ends short of the size listed is a failure even when the server says it went well.
    std::map<std::string, std::shared_ptr<const FtpListedFolder>> m_listed;
    // Sizes learnt from a look at one file after its folder was listed, by remote path, with
    // the generation that tells them from the listings' (the later one counts).
    std::unordered_map<std::string, std::pair<int64_t, uint64_t>> m_stampedSizes;
    uint64_t m_generation = 0;
    // The folders (stored bytes, upper case) the site's listing pair holds, and the same
    // folded as the listing's reader compares them: two folders that only its folding
    // tells apart are one folder to the reader.
    std::set<std::string> m_storedFolders;
    std::set<std::string> m_foldedFolders;
};
