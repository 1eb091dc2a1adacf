#include "local/TObjDisk.h"

#include "resources/StringTable.h"

#include <cctype>
#include <limits>
#include <sys/statvfs.h>

namespace {

enum : int {
    kStrRemovable = 20042,
    kStrFixed = 20040,
    kStrRemote = 20043,
    kStrCdrom = 20041,
    kStrRamdisk = 20044,
    kStrUnknown = 20045,
};

uint32_t saturatedKB(unsigned long long bytes)
{
    const unsigned long long kb = bytes / 1024;
    return kb > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max() : uint32_t(kb);
}

std::string bareLabel(char letter)
{
    return std::string("(") + letter + ":)";
}

} // namespace

TObjDisk::TObjDisk()
    : TObjDisk([] {
          RefreshDriveMap();
          return CurrentDrives();
      })
{
}

TObjDisk::TObjDisk(DriveSource source) : m_source(std::move(source))
{
    RefreshDrives();
}

const DriveInfo* TObjDisk::find(char letter) const
{
    for (const DriveInfo& drive : m_drives)
        if (std::toupper((unsigned char)drive.letter) == letter)
            return &drive;
    return nullptr;
}

std::string TObjDisk::DriveTypeName(int type)
{
    switch (type) {
    case DriveRemovable: return LoadStr(kStrRemovable);
    case DriveFixed: return LoadStr(kStrFixed);
    case DriveRemote: return LoadStr(kStrRemote);
    case DriveCdrom: return LoadStr(kStrCdrom);
    case DriveRamdisk: return LoadStr(kStrRamdisk);
    default: return LoadStr(kStrUnknown);
    }
}

std::string TObjDisk::VolumeText(const std::string& root, uint32_t& id)
{
    const char letter = root.empty() ? '?' : char(std::toupper((unsigned char)root[0]));
    const DriveInfo* drive = find(letter);
    if (!drive) {
        id = 0;
        return bareLabel(letter);
    }
    id = drive->serial;
    return drive->label + bareLabel(letter);
}

void TObjDisk::querySpace(int index)
{
    FreeKB[index] = 0;
    TotalKB[index] = 0;
    const DriveInfo* drive = find(char('A' + index));
    struct statvfs st;
    if (!drive || statvfs(drive->mountPoint.c_str(), &st) != 0)
        return;
    FreeKB[index] = saturatedKB((unsigned long long)st.f_bavail * st.f_frsize);
    TotalKB[index] = saturatedKB((unsigned long long)st.f_blocks * st.f_frsize);
}

void TObjDisk::RefreshDrives()
{
    m_drives = m_source();
    DriveCount = 0;
    for (int i = 0; i < kLetters; ++i) {
        const char letter = char('A' + i);
        const DriveInfo* drive = find(letter);
        if (!drive) {
            Present[i] = false;
            continue;
        }
        ++DriveCount;
        Present[i] = true;
        Root[i] = std::string(1, letter) + ":\\";
        DriveType[i] = drive->type;
        TypeName[i] = DriveTypeName(drive->type);
        if (drive->type == DriveRemovable) {
            VolumeLabel[i] = bareLabel(letter);
            continue;
        }
        VolumeLabel[i] = VolumeText(Root[i], VolumeId[i]);
        querySpace(i);
    }
}

bool TObjDisk::RefreshDrive(const std::string& path)
{
    if (path.empty() || !std::isalpha((unsigned char)path[0]))
        return false;
    const char letter = char(std::toupper((unsigned char)path[0]));
    const int i = letter - 'A';
    m_drives = m_source();
    const DriveInfo* drive = find(letter);
    // A letter that names nothing now is gone, not a drive of unknown type.
    if (!drive || drive->type == DriveUnknown) {
        Present[i] = false;
        return false;
    }
    Present[i] = true;
    Root[i] = std::string(1, letter) + ":\\";
    VolumeLabel[i] = VolumeText(Root[i], VolumeId[i]);
    TypeName[i] = DriveTypeName(drive->type);
    DriveType[i] = drive->type;
    querySpace(i);
    return true;
}
