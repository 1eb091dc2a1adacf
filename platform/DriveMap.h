#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Windows-style paths everywhere, translated here: C: is "/", every further real volume
// gets the next free letter from D: in mount-table order; A: and B: are never assigned.
// \\SERVER\SHARE\dir\ is reached through the SMB layer, not through this map.
//
// Skipped as not real volumes: pseudo file systems (proc, sysfs, cgroup, devpts, ...),
// anything mounted below /proc, /sys, /dev or /run (but /run/media, where removable media
// appear), snap packages, bind mounts of single files, and bind mounts of what another
// drive already shows. A mount point mounted over again keeps its letter and shows the
// newest mount. Drive letters compare without regard
// to case; the rest of a path keeps its case, since Linux names are case-sensitive.

enum DriveType : int {
    DriveUnknown = 0, DriveNoRootDir = 1, DriveRemovable = 2, DriveFixed = 3,
    DriveRemote = 4, DriveCdrom = 5, DriveRamdisk = 6,
};

struct MountEntry {
    std::string device;      // first field of the mount table
    std::string mountPoint;  // native folder
    std::string fsType;
    std::string deviceId;    // "major:minor", from the mount information table only
    std::string root;        // folder of the file system mounted here (a bind mount's subtree)
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

/// Parses the mount information table (/proc/self/mountinfo), which also tells which
/// device and subtree each mount shows.
std::vector<MountEntry> ParseMountInfo(const std::string& text);

/// Assigns letters to the real volumes of `mounts` (pseudo file systems skipped, "/" is C:)
/// and their types. A bind mount of a subtree that an earlier drive already shows (same
/// device id, root inside that drive's root) gets no letter of its own. Labels and serials
/// are left empty: see FillVolumeInfo.
std::vector<DriveInfo> AssignDriveLetters(const std::vector<MountEntry>& mounts);

/// Reads the label and serial of a drive from its volume (libblkid, /dev/disk/by-label,
/// /dev/disk/by-uuid; statvfs's id when the volume has no UUID).
void FillVolumeInfo(DriveInfo& drive);

/// Serial number of a volume from its file-system UUID text: the volume's own 32-bit
/// serial for "ABCD-1234" (FAT) and 16-digit (NTFS) forms, the four 32-bit words of a
/// 128-bit UUID folded together otherwise; 0 when it holds no hex digits.
uint32_t SerialFromUuid(const std::string& uuid);

/// The drive map of this machine, read once and refreshed by RefreshDriveMap().
const std::vector<DriveInfo>& CurrentDrives();
void RefreshDriveMap();
/// Replaces the map (tests).
void SetDriveMapForTest(std::vector<DriveInfo> drives);
/// The drive of `letter` ('c' or 'C'), if mapped.
std::optional<DriveInfo> DriveByLetter(char letter);
/// The drive of `letter` with its label and serial read from the volume now (a medium may
/// have been exchanged); the map keeps what it had.
std::optional<DriveInfo> ReadDrive(char letter);

/// Space of the volume under `windowsRoot` ("C:\"): bytes available to the user and total
/// bytes. False when the drive is unknown or the volume cannot be asked.
bool DriveSpace(const std::string& windowsRoot, uint64_t* freeBytes, uint64_t* totalBytes);

/// "C:\dir\file" to "/dir/file", "D:\photos\" to "/data/photos/" (a trailing separator
/// is kept). "/" counts as a separator too, and a "\\?\" prefix is dropped. Empty when
/// the path is not a local drive path (UNC, virtual, unknown letter) or has a part whose
/// native form is not a plain name (IsNativeComponent: empty inside the path, ".", "..", a
/// '/' or NUL, however escaped), so no name can step out of its folder here. Each name is translated by
/// NativeName (NativeNames.h), so "C:\¤~許" opens the CP950 bytes B3 5C.
std::string NativePath(const std::string& windowsPath);

/// "/data/photos" to "D:\photos" by the longest mount point that holds it ("/data" is
/// "D:\"), each name translated by ProgramName (NativeNames.h), so any native name has a
/// path. A relative path has none: returns empty.
std::string WindowsPath(const std::string& nativePath);
