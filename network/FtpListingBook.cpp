#include "network/FtpListingBook.h"

#include "network/FtpSite.h"
#include "platform/FileAccess.h"
#include "platform/MemoryPages.h"
#include "platform/TextCodec.h"
#include "store/NodePaths.h"
#include "store/TItemData.h"

#include <algorithm>
#include <cstring>

const FtpEntry* FtpListedFolder::find(std::string_view name) const
{
    const auto entry = byName.find(name);
    return entry == byName.end() ? nullptr : &entries[entry->second];
}

FtpListingBook::Recorded FtpListingBook::record(const std::string& siteFolder, const std::string& storeDir,
                                                const std::string& key, std::vector<FtpEntry>&& entries)
{
    m_owner.check("the site's listing book");
    Recorded recorded;
    TItemList items;
    ReservePrefaulted(items, entries.size());
    std::string path = siteFolder;
    for (const FtpEntry& entry : entries) {
        TItemData& item = items.emplace_back();
        path.resize(siteFolder.size());
        path += entry.name;
        SetItemPath(item, path);
        item.Attributes = entry.folder ? FileAttributeDirectory : 0;
        item.Size = entry.folder || entry.size < 0 ? 0 : uint32_t(uint64_t(entry.size) & 0xFFFFFFFFu);
        item.Modified = entry.modified;
    }
    try {
        if (storeFolderListing(siteFolder, storeDir, key, items))
            FolderListingAsRead(std::move(items), siteFolder, recorded.asRead);
    } catch (const std::exception& error) {
        recorded.writeError = error.what();
        recorded.asRead.clear();
    }
    auto listing = std::make_shared<FtpListedFolder>();
    listing->entries = std::move(entries);
    listing->byName.reserve(listing->entries.size());
    for (size_t i = 0; i < listing->entries.size(); ++i)
        listing->byName.insert_or_assign(listing->entries[i].name, i);
    listing->generation = ++m_generation;
    m_listed[FtpPathFromSite(siteFolder)] = listing;
    recorded.listing = std::move(listing);
    return recorded;
}

void FtpListingBook::dropStored(const std::string& storeDir, const std::string& key)
{
    m_owner.check("the site's listing book");
    m_storedFolders.clear();
    m_foldedFolders.clear();
    for (const char* extension : {".IDX", ".LST"}) {
        const std::string file = storeDir + key + extension;
        if (FileExists(file))
            ::DeleteFile(file);
    }
}

int64_t FtpListingBook::knownSize(const std::string& remotePath) const
{
    m_owner.check("the site's listing book");
    int64_t size = -1;
    uint64_t generation = 0;
    // A listed name never holds "/": the last one ends the folder.
    const size_t slash = remotePath.rfind('/');
    if (slash != std::string::npos) {
        const auto listing = m_listed.find(slash == 0 ? std::string("/") : remotePath.substr(0, slash));
        if (listing != m_listed.end()) {
            const FtpEntry* listed = listing->second->find(std::string_view(remotePath).substr(slash + 1));
            if (listed && !listed->folder && listed->size >= 0) {
                size = listed->size;
                generation = listing->second->generation;
            }
        }
    }
    const auto stamped = m_stampedSizes.find(remotePath);
    if (stamped != m_stampedSizes.end() && stamped->second.second > generation)
        size = stamped->second.first;
    return size;
}

void FtpListingBook::noteSize(const std::string& remotePath, int64_t size)
{
    m_owner.check("the site's listing book");
    m_stampedSizes.insert_or_assign(remotePath, std::make_pair(size, ++m_generation));
}

bool FtpListingBook::storeFolderListing(const std::string& siteFolder, const std::string& storeDir,
                                        const std::string& key, const TItemList& items)
{
    TItemData folderItem;
    SetItemPath(folderItem, siteFolder);
    const std::string folderKey = UpperAscii(std::string(ItemPathBytes(folderItem)));
    if (!m_storedFolders.count(folderKey)) {
        if (items.empty())
            return false;
        WriteFolderListing(items, storeDir, key, false);
        m_storedFolders.insert(folderKey);
        // A folder the reader takes for one stored before is read as that one.
        return m_foldedFolders.insert(FoldTextCase(ItemPath(folderItem))).second;
    }
    // Listed again (after a change on the server, a refresh): the index finds a folder's
    // first listing, so an appended second one would never be shown. The pair is written
    // anew with the other folders as they were and this one as it is now.
    std::vector<TItemList> folders;
    std::string current;
    bool started = false, skipping = false;
    ForEachListingEntry(storeDir, key, [&](std::string_view folder, const ListingEntry& entry) {
        if (!started || folder != current) {
            started = true;
            current = std::string(folder);
            skipping = UpperAscii(current) == folderKey;
            if (!skipping)
                folders.emplace_back();
        }
        if (skipping)
            return;
        TItemData item;
        item.Size = entry.Size;
        item.Attributes = entry.Attributes;
        item.Modified = entry.Modified;
        const std::string path = current + std::string(entry.Name);
        std::memcpy(item.Path, path.data(), std::min(path.size(), sizeof item.Path - 1));
        folders.back().push_back(item);
    });
    if (!items.empty())
        folders.push_back(items);
    else
        m_storedFolders.erase(folderKey);
    ReplaceFolderListings(storeDir, key, folders);
    // The reader finds the first folder it takes for this one: shown from memory only when
    // no other stored folder is such a twin.
    const std::string folded = FoldTextCase(ItemPath(folderItem));
    int twins = 0;
    for (const TItemList& folder : folders)
        if (!folder.empty() && FoldTextCase(FolderPart(ItemPath(folder.front()))) == folded)
            ++twins;
    return !items.empty() && twins == 1;
}
