#pragma once
#include "store/TItemData.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The listing pair of a computer or FTP site, base = store folder + key:
//   base + ".LST"  the entries of every cached folder, one folder after another
//   base + ".IDX"  per folder: offset of its first entry, entry count, folder path
// Little-endian, CP950, no headers; each entry is a few fixed fields and a text of the
// length they give. Every length read from these files is checked before it is used, and
// the two files are only ever replaced together (ReplaceFolderListings).

/// The longest listing name (with its NUL) a reader accepts; a longer one makes the
/// listing invalid.
constexpr size_t ListingNameBuffer = 260;

/// Appends the entries of `folderPath` (which ends in a backslash) from the listing of
/// `key` in `storeDir`: Path = folderPath + name, cut to 255 bytes. The folder is found in
/// the index without regard to case; the first matching entry wins. Throws Exception: the
/// system's text when a file cannot be opened, "快取檔中沒有 %s 的資料" when the folder is
/// not in the index, a text of its own when the files are damaged (nothing is appended).
void ReadFolderListing(TItemList& list, const std::string& storeDir, const std::string& key,
                       const std::string& folderPath);

/// What ReadFolderListing(folderPath) appends right after `written` (one folder's entries)
/// was stored as that folder's first listing: the same entries, each Path being folderPath
/// and the stored name, cut as the reader cuts it. False (and `asRead` empty) when the
/// reader would not give them back so: an empty list, entries of a folder that is not
/// folderPath, or a name the reader refuses. Lets a writer show what it just wrote without
/// reading it back. Made in the entries of `written` themselves, which it uses up: a folder
/// of thousands of entries is megabytes that need not be allocated and filled a second time.
bool FolderListingAsRead(TItemList&& written, const std::string& folderPath, TItemList& asRead);

/// One entry of a listing as stored: the name is CP950 bytes (up to its NUL).
struct ListingEntry {
    uint32_t Size = 0;
    uint32_t Attributes = 0;
    double Modified = 0;
    std::string_view Name;
};

/// Visits every entry of the listing pair of `key` in `storeDir`, folder by folder in index
/// order; `folder` is the folder path as stored (CP950, trailing backslash). A folder that
/// the index names twice is visited once, with its first listing, as ReadFolderListing
/// reads it. Both files are read whole once, not once per folder. Throws Exception as
/// ReadFolderListing does; on damage the entries before it have been visited. With
/// `mustHold` (bytes, ASCII letters in lower case matching either case) only the entries
/// whose name holds it are visited; every entry is still checked for damage.
void ForEachListingEntry(const std::string& storeDir, const std::string& key,
                         const std::function<void(std::string_view folder, const ListingEntry& entry)>& visit,
                         std::string_view mustHold = {});

/// Appends the entries of `list` (one folder) to the listing and one index entry for
/// them; `startNew` replaces both files by this one folder (as ReplaceFolderListings does).
/// An empty list writes nothing.
void WriteFolderListing(const TItemList& list, const std::string& storeDir, const std::string& key,
                        bool startNew);

/// Replaces the whole listing pair of `key` in `storeDir` (".LST" and ".IDX") by the folders
/// that `nextFolder` hands over one at a time (it fills the list and returns true, or returns
/// false when there are no more; empty folders are skipped). Crash-safe: both new files are
/// written and flushed under temporary names, then a marker (".PAIR") names them and they
/// replace the old pair. A kill before the marker leaves the old pair (its temporaries are
/// removed later); after it, the next open of the pair (RecoverFolderListings) completes the
/// switch. A reader never sees the new index with the old listing or the reverse. Throws
/// Exception; on failure before the switch the old pair is untouched and nothing is left.
void ReplaceFolderListings(const std::string& storeDir, const std::string& key,
                           const std::function<bool(TItemList&)>& nextFolder);
/// The same for folders already in memory, one TItemList per folder, in order.
void ReplaceFolderListings(const std::string& storeDir, const std::string& key,
                           const std::vector<TItemList>& folders);

/// The points of a pair switch, in order: both temporary files complete, the marker
/// written, the listing file replaced, the index file replaced (the marker is removed next).
enum class PairSwitchStep { TemporariesWritten, MarkerWritten, ListingReplaced, IndexReplaced };
/// Called at each point of every pair switch, a completion by RecoverFolderListings too,
/// when set; null in the program. Crash tests stop a writer at each point with it.
inline void (*PairSwitchStepReached)(PairSwitchStep step) = nullptr;

/// Completes a pair switch that was interrupted after its marker was written, and removes
/// the temporary files of switches whose process died before it. Every reader and writer
/// of the pair calls it first.
void RecoverFolderListings(const std::string& storeDir, const std::string& key);
