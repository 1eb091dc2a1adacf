#pragma once
#include <array>
#include <cstdint>
#include <string>

// The record on every tree node, and its 704-byte form in the node files ("ALL.NOD").
// Texts are UTF-8 here and CP950 in the file, each cut to its field's width minus one.

/// NodeAttributes bits: what kind of node it is.
enum NodeAttribute : uint16_t {
    Sys = 0x0002,        // the roots
    Update = 0x0004,     // content changes by itself (removable and CD drives)
    Domain = 0x0008,     // owns a cache folder of children: StoreDir + Key + "\"
    Computer = 0x0010,   // cached content in StoreDir + Key + ".LST"/".IDX"
    Share = 0x0020,
    Container = 0x0040,
    Drive = 0x0080,
    Folder = 0x0100,
    Bookmark = 0x0200,
};
/// The bits that carry meaning; the others are stored as zero.
constexpr uint16_t NodeAttributeMask = 0x03FE;

/// State bits.
enum NodeState : uint32_t {
    Expanded = 0x00000001,   // the children are loaded into the tree
    FromCache = 0x00000002,  // shown from the offline cache
    Idle = 0x00000004,       // no background task works on the node
    CacheFallback = 0x00000008,  // a live node that did not answer, showing its cached folders
    OtherWriterFlag = 0x40000000,  // set by other writers of the node file; only cleared here
    Deleted = 0x80000000,    // the record is a tombstone
};

/// RootKind values.
enum RootKindValue : uint8_t {
    TopRoot = 0, BookmarkRoot = 1, LocalRoot = 2, NetRoot = 3, ExpandedRoot = 5, FtpRoot = 6,
};

struct TNodeData {
    std::string Caption;
    int32_t ImageIndex = 0;
    int32_t StateIndex = 0;
    int32_t SelectedIndex = 0;
    std::string RemoteName;
    uint16_t NodeAttributes = 0;
    std::string Host;
    uint8_t RootKind = 0;
    std::string StoreDir;     // Windows-style, with a trailing backslash; never stored
    int32_t ResourceType = 0;
    int32_t DisplayType = 0;
    int32_t Scope = 0;
    int32_t Usage = 0;
    double Created = 0;       // days since 1899-12-30
    std::string Key;
    int32_t FileCount = 0;
    int32_t ImageCount = 0;
    int32_t AudioCount = 0;
    int32_t VideoCount = 0;
    void* SiteWindow = nullptr;  // run-time only: the window attached to the node
    int32_t Reserved = 0;        // run-time only; copied with SiteWindow, never stored
    uint32_t State = 0;
    int32_t RecordOffset = -1;   // offset of the record in its node file; -1 until known

    bool has(uint16_t attribute) const { return (NodeAttributes & attribute) != 0; }
};

constexpr size_t NodeRecordSize = 704;
using NodeRecord = std::array<unsigned char, NodeRecordSize>;

/// The 704-byte record of `data`; the own-offset field receives RecordOffset.
NodeRecord EncodeNodeRecord(const TNodeData& data);

/// Fills every stored field of `data` from `record` (StoreDir, SiteWindow, Reserved and
/// RecordOffset are left alone; StateIndex gets the stored image index).
void DecodeNodeRecord(const unsigned char* record, TNodeData& data);

/// The record's Key field as stored (CP950 bytes up to the NUL), for exact comparison.
std::string RecordKeyBytes(const unsigned char* record);

/// `data` with the low 16 bits of State replaced by exactly Idle, as every record read
/// from a file starts: run-time bits are not trusted from disk.
inline void ResetRunTimeState(TNodeData& data)
{
    data.State = (data.State & 0xFFFF0000u) | Idle;
}

/// A new record for a child of `parent`: empty texts, no attributes, RecordOffset -1,
/// State exactly Idle; Created, SiteWindow, Reserved and RootKind copied; StoreDir the
/// parent's own folder when the parent has the Domain flag, else the parent's StoreDir.
TNodeData MakeChildData(const TNodeData& parent);

/// Copies every field, StoreDir and the run-time fields included.
inline void CopyNodeData(const TNodeData& source, TNodeData& target)
{
    target = source;
}
