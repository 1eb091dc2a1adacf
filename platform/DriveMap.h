#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Windows-style paths everywhere, translated here: C: is "/", every further real volume
// gets the next free letter from D: in mount-table order; A: and B: are never assigned.
// \\SERVER\SHARE\dir\ is reached through the SMB layer, not through this map.

enum DriveType : int {
    DriveUnknown = 0, DriveNoRootDir = 1, DriveRemovable = 2, DriveFixed = 3,
    DriveRemote = 4, DriveCdrom = 5, DriveRamdisk = 6,
};

struct MountEntry {
    std::string device;      // first field of the mount table
    std::string mountPoint;  // native folder
    std::string fsType;
};

struct DriveInfo {
    char letter = 0;          // 'C'..'Z'
    std::string mountPoint;   // native folder, no trailing slash except for "/"
    std::string device;
    std::string fsType;
    int type = DriveUnknown;
    std::string label;        // volume name, empty when the volume has none
    uint32_t serial = 0;      // stable id from the file-system UUID or statvfs
};

/// Parses a mount table in the format of /proc/self/mounts (octal escapes decoded).
std::vector<MountEntry> ParseMountTable(const std::string& text);

/// Assigns letters to the real volumes of `mounts` (pseudo file systems skipped, "/" is C:).
std::vector<DriveInfo> AssignDriveLetters(const std::vector<MountEntry>& mounts);

/// The drive map of this machine, read once and refreshed by RefreshDriveMap().
const std::vector<DriveInfo>& CurrentDrives();
void RefreshDriveMap();
/// Replaces the map (tests).
void SetDriveMapForTest(std::vector<DriveInfo> drives);

/// "C:\dir\file" to "/dir/file". Empty when the path is not a local drive path
/// (UNC, virtual, unknown letter) or names something that cannot exist on Linux.
std::string NativePath(const std::string& windowsPath);

/// "/data/photos" to "D:\photos" by the longest mount point that holds it.
/// A native name holding a backslash cannot be expressed: returns empty.
std::string WindowsPath(const std::string& nativePath);
