#pragma once
#include "store/TItemData.h"

#include <cstddef>
#include <string>
#include <vector>

struct TNodeData;

// The cache listing files of a computer or FTP site, base = store folder + key:
//   base + ".LST"  the entries of every cached folder, one folder after another
//   base + ".IDX"  per folder: offset of its first entry, entry count, folder path
//   base + ".ATT"  the FTP site block
// and "LIST.DAT", a flat file of 272-byte TItemData records. All little-endian, CP950,
// no headers. Every length read from these files is checked before it is used.

using TItemList = std::vector<TItemData>;

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

/// Appends the entries of `list` (one folder) to the listing and one index entry for
/// them; `startNew` empties both files first. An empty list writes nothing.
void WriteFolderListing(const TItemList& list, const std::string& storeDir, const std::string& key,
                        bool startNew);

/// Reads exactly `size` bytes of StoreDir + Key + ".ATT" ("Read Error" when shorter).
void ReadNodeAttachment(const TNodeData& data, void* buffer, size_t size);
/// Replaces StoreDir + Key + ".ATT" by exactly `size` bytes ("Write Error" when short).
void WriteNodeAttachment(const TNodeData& data, const void* buffer, size_t size);

/// Appends the whole records of `path` (a "LIST.DAT"); a partial last record is ignored,
/// and a Path without its NUL is ended at 255 bytes. A missing file throws the system's text.
void ReadListDat(const std::string& path, TItemList& list);
/// Writes `list` as a "LIST.DAT" (replaced).
void WriteListDat(const std::string& path, const TItemList& list);

/// The FTP site block stored in ".ATT" (392 bytes).
struct FtpSiteBlock {
    std::string Host;       // 128
    std::string User;       // 64
    std::string Password;   // 64, as typed
    std::string ProxyHost;  // 128
    int32_t Port = 21;
    int32_t ProxyPort = 21;
};
constexpr size_t FtpSiteBlockSize = 392;
void EncodeFtpSiteBlock(const FtpSiteBlock& block, unsigned char* bytes);
FtpSiteBlock DecodeFtpSiteBlock(const unsigned char* bytes);
