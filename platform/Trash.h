#pragma once
#include <string>
#include <vector>

// The freedesktop trash: what the program calls the recycle bin. Deleting with undo moves
// an entry into the trash of its own volume ($XDG_DATA_HOME/Trash for the home volume,
// $topdir/.Trash/$uid or $topdir/.Trash-$uid on others) with a .trashinfo file that says
// where it came from, so that it can be restored. All paths here are native.

struct TrashItem {
    std::string trashDir;      // the trash folder (holding files/ and info/)
    std::string name;          // name under files/ (info/<name>.trashinfo)
    std::string originalPath;  // absolute native path it was deleted from
    std::string deletionDate;  // "YYYY-MM-DDThh:mm:ss", local time
};

/// $XDG_DATA_HOME/Trash (default ~/.local/share/Trash).
std::string HomeTrashDir();

/// Moves `nativePath` into the trash of its volume. The info file is written first (its
/// name reserved exclusively) and the entry moved after; on any failure nothing is moved
/// and no info is left behind. False with *error (Win32 code) on failure.
bool MoveToTrash(const std::string& nativePath, TrashItem* item = nullptr, int* error = nullptr);

/// Reads one info file. False when it is missing or not a valid trash info.
bool ReadTrashInfo(const std::string& trashDir, const std::string& name, TrashItem& item);

/// Every entry of one trash folder that has valid info.
std::vector<TrashItem> ListTrash(const std::string& trashDir);

/// Every trash folder of this user that exists: the home trash and those of mounted volumes.
std::vector<std::string> AllTrashDirs();

/// Moves an entry back to its original path (creating missing parent folders) and drops
/// its info. Fails with FileExists (80) when something is there now.
bool RestoreFromTrash(const TrashItem& item, int* error = nullptr);

/// Deletes everything in one trash folder.
bool EmptyTrashDir(const std::string& trashDir, int* error = nullptr);
/// Deletes everything in every trash folder of this user.
bool EmptyAllTrash(int* error = nullptr);

/// Percent-encodes a path for the Path= key (RFC 2396, '/' kept) and back.
std::string TrashEncodePath(const std::string& path);
std::string TrashDecodePath(const std::string& encoded);
