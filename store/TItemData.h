#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One file or folder entry of a cached folder, laid out exactly as "LIST.DAT" stores it
// (ListDat.h describes the record and checks that this struct matches it). Path holds
// CP950 bytes, NUL-terminated, at most 255 of them: use ItemPath/SetItemPath for the text,
// and never split the bytes at a backslash (a CP950 trail byte can be 0x5C).
struct TItemData {
    uint32_t Size = 0;        // low 32 bits of the file size; 0 for folders
    uint32_t Attributes = 0;  // Win32 attribute bits; 0x10 marks a folder
    double Modified = 0;      // days since 1899-12-30
    char Path[256] = {};      // full path: folder path with trailing backslash, then the name

    bool isFolder() const { return (Attributes & 0x10) != 0; }
};

/// The entries of a folder, or of a whole "LIST.DAT".
using TItemList = std::vector<TItemData>;

constexpr uint32_t FileAttributeDirectory = 0x10;

/// The entry's full path (UTF-8).
std::string ItemPath(const TItemData& item);

/// Sets the full path (UTF-8), cut to 255 bytes of CP950 on a character boundary.
void SetItemPath(TItemData& item, std::string_view utf8);

/// The stored path bytes (CP950, up to the NUL).
std::string_view ItemPathBytes(const TItemData& item);
