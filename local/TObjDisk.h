#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/DriveMap.h"

// The drive table: for each of the 26 letters whether the drive exists, its type, display
// label, volume id and space, as of the last refresh. One per main window, window thread
// only. The letters come from the drive map (mounted volumes); labels and ids from the
// block-device database through it; space from statvfs.
class TObjDisk {
public:
    static constexpr int kLetters = 26;
    /// Where the drives come from: the machine's drive map, or a fixed table in tests.
    using DriveSource = std::function<std::vector<DriveInfo>()>;

    TObjDisk();
    explicit TObjDisk(DriveSource source);

    int32_t DriveCount = 0;
    std::array<bool, kLetters> Present{};
    std::array<int32_t, kLetters> DriveType{};
    std::array<uint32_t, kLetters> VolumeId{};
    std::array<std::string, kLetters> Root;
    std::array<std::string, kLetters> VolumeLabel;
    std::array<std::string, kLetters> TypeName;
    std::array<uint32_t, kLetters> FreeKB{};
    std::array<uint32_t, kLetters> TotalKB{};

    /// Re-reads all 26 letters. Removable drives are not touched (label "(A:)", id and
    /// space kept), so a drive without its medium never stalls the refresh.
    void RefreshDrives();
    /// Re-reads the drive of the path's drive part, medium included. False when the
    /// letter names no drive now (it is then no longer present).
    bool RefreshDrive(const std::string& path);
    /// "LABEL(D:)", or "(D:)" when the volume has no name or cannot be read; `id` gets the
    /// volume's id (0 when it cannot be read).
    std::string VolumeText(const std::string& root, uint32_t& id);
    /// The text for a drive type.
    static std::string DriveTypeName(int type);

private:
    const DriveInfo* find(char letter) const;
    void querySpace(int index);

    DriveSource m_source;
    std::vector<DriveInfo> m_drives;
};
