#pragma once
#include <cstdint>
#include <string>
#include <vector>

// What a drop onto a node of the tree (or an item of the list) would do: the action the
// window carries out and the effect it offers the drag source. A pure function of the
// target node's kind, the kind of what is dragged and the keys held, so that the whole
// table is checked without a window.

/// What a drop does.
enum DropAction : int {
    DropNone = 0,
    DropShellOperation = 1,  // copy or move of real files through the shell object
    DropFtpUpload = 2,
    DropFtpDownload = 3,
    DropFtpRecords = 5,      // stored node records between folders of one branch
    DropExpandedRecords = 6,
    DropBookmarkRecords = 7,
};

/// The drop effects, with their OLE values; link is never offered.
enum DropEffectValue : uint32_t { DropEffectNone = 0, DropEffectCopy = 1, DropEffectMove = 2, DropEffectLink = 4 };

/// Key state bits of a drag.
enum DragKeyState : uint32_t { DragKeyShift = 4, DragKeyControl = 8 };

/// The mouse must move this far (in either direction) from the mouse-down point.
constexpr int kDragThreshold = 10;
/// Distance from an edge of the tree within which a drag over it scrolls.
constexpr int kDragScrollMargin = 20;

struct DropChoice {
    int action = DropNone;
    uint32_t effect = DropEffectNone;
    bool operator==(const DropChoice&) const = default;
};

/// The kind of a drag: the first character of its first entry ('1' to '5' for the program's
/// own items, the drive letter or "\" of a real path), or 0 when it carries nothing.
char DragSourceKind(const std::vector<std::string>& entries);

/// True when `kind` is that of a file or folder on an FTP site.
inline bool IsFtpItemKind(char kind)
{
    return kind == '1' || kind == '2';
}

/// True when `kind` is that of a real file or folder.
inline bool IsRealSourceKind(char kind)
{
    return static_cast<unsigned char>(kind) >= 'A';
}

/// The action and the effect of dropping a drag of `sourceKind` on a node of `rootKind` with
/// `attributes`, with the keys of `keyState` held (Shift or Ctrl asks for a copy).
DropChoice ChooseDropEffect(uint8_t rootKind, uint16_t attributes, char sourceKind, uint32_t keyState);

/// True once a move from the mouse-down point by (dx, dy) starts a drag.
bool DragDistanceReached(int dx, int dy);

/// True when dropping real `sources` into `targetFolder` would do nothing but fail: every
/// source already lies directly in the folder, or the folder is one of the sources or lies
/// inside one.
bool IsPointlessFileDrop(const std::vector<std::string>& sources, const std::string& targetFolder);

/// True when stored records whose caches are `sourceCaches` (StoreDir + Key each) may go
/// into the node folder `targetFolder` (the target's StoreDir + Key + "\"): none of them
/// lives there already, and the folder is neither one of them nor below one.
bool IsRecordDropAllowed(const std::vector<std::string>& sourceCaches, const std::string& targetFolder);
