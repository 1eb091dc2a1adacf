#include "platform/DriveMap.h"

#include "platform/NativeNames.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <blkid.h>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

bool StartsWithFolder(const std::string& path, const std::string& folder)
{
    return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0
                              && path[folder.size()] == '/');
}

bool IsPseudoFileSystem(const std::string& type)
{
    static const char* const pseudo[] = {
        "proc", "sysfs", "devpts", "devtmpfs", "mqueue", "debugfs", "tracefs", "securityfs",
        "pstore", "bpf", "autofs", "configfs", "fusectl", "hugetlbfs", "binfmt_misc", "rpc_pipefs",
        "nsfs", "efivarfs", "selinuxfs", "cgroup", "cgroup2", "rootfs", "fuse.gvfsd-fuse",
        "fuse.portal", "fuse.lxcfs", "nfsd", "ramfs",
    };
    if (type.rfind("cgroup", 0) == 0)
        return true;
    return std::find(std::begin(pseudo), std::end(pseudo), type) != std::end(pseudo);
}

bool IsSystemMountPoint(const std::string& mountPoint)
{
    if (StartsWithFolder(mountPoint, "/run/media"))
        return false;
    for (const char* folder : {"/proc", "/sys", "/dev", "/run", "/snap", "/var/lib/snapd", "/etc"})
        if (StartsWithFolder(mountPoint, folder))
            return true;
    return false;
}

bool IsRemovableBlockDevice(const std::string& device)
{
    if (device.rfind("/dev/", 0) != 0)
        return false;
    char resolved[PATH_MAX];
    if (!realpath(device.c_str(), resolved))
        return false;
    const std::string name = std::string(resolved).substr(std::string(resolved).rfind('/') + 1);
    char sysPath[PATH_MAX];
    if (!realpath(("/sys/class/block/" + name).c_str(), sysPath))
        return false;
    std::string path = sysPath;
    // A partition has no "removable" of its own: ask its disk. USB disks often say 0.
    if (path.find("/usb") != std::string::npos)
        return true;
    for (int up = 0; up < 2; ++up) {
        std::ifstream removable(path + "/removable");
        int flag = 0;
        if (removable >> flag)
            return flag == 1;
        path = path.substr(0, path.rfind('/'));
    }
    return false;
}

int DriveTypeOf(const MountEntry& m)
{
    static const char* const remote[] = {"cifs", "smb3", "smbfs", "nfs", "nfs4", "sshfs", "fuse.sshfs",
                                         "9p", "afs", "ceph", "glusterfs", "fuse.glusterfs", "davfs",
                                         "fuse.davfs", "fuse.rclone", "fuse.smbnetfs"};
    if (std::find(std::begin(remote), std::end(remote), m.fsType) != std::end(remote))
        return DriveRemote;
    if (m.fsType == "iso9660" || m.fsType == "udf")
        return DriveCdrom;
    if (m.fsType == "tmpfs")
        return DriveRamdisk;
    if (StartsWithFolder(m.mountPoint, "/media") || StartsWithFolder(m.mountPoint, "/run/media")
        || IsRemovableBlockDevice(m.device))
        return DriveRemovable;
    return DriveFixed;
}

// The volume's device after links ("/dev/disk/by-uuid/..." and the like).
std::string CanonicalDevice(const std::string& device)
{
    char resolved[PATH_MAX];
    return realpath(device.c_str(), resolved) ? std::string(resolved) : device;
}

// The name of the link in `folder` that points at `device`, decoded ("\x20" escapes).
std::string LinkNameFor(const std::string& folder, const std::string& device)
{
    std::string found;
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return found;
    const std::string target = CanonicalDevice(device);
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        if (CanonicalDevice(folder + "/" + entry->d_name) != target)
            continue;
        const std::string name = entry->d_name;
        for (size_t i = 0; i < name.size(); ++i) {
            if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' && HexDigitValue(name[i + 2]) >= 0
                && HexDigitValue(name[i + 3]) >= 0) {
                found.push_back(static_cast<char>(HexDigitValue(name[i + 2]) * 16 + HexDigitValue(name[i + 3])));
                i += 3;
            } else {
                found.push_back(name[i]);
            }
        }
        break;
    }
    closedir(dir);
    return found;
}

// Mount tables write blanks, tabs, line breaks and backslashes as octal escapes.
std::string UnescapeMountField(const std::string& field)
{
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3'
            && field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
            out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(field[i]);
        }
    }
    return out;
}

struct DriveMapState {
    std::mutex mutex;
    std::shared_ptr<const std::vector<DriveInfo>> drives;
    // Earlier maps stay alive: CurrentDrives() hands out references to them.
    std::vector<std::shared_ptr<const std::vector<DriveInfo>>> retired;
};

DriveMapState& State()
{
    static DriveMapState* state = new DriveMapState();
    return *state;
}

std::vector<DriveInfo> ReadDriveMap()
{
    std::ifstream info("/proc/self/mountinfo");
    std::stringstream text;
    text << info.rdbuf();
    std::vector<MountEntry> mounts = ParseMountInfo(text.str());
    if (mounts.empty()) {
        std::ifstream table("/proc/self/mounts");
        text.str("");
        text << table.rdbuf();
        mounts = ParseMountTable(text.str());
    }
    std::vector<DriveInfo> drives = AssignDriveLetters(mounts);
    for (DriveInfo& d : drives)
        FillVolumeInfo(d);
    return drives;
}

void Install(std::vector<DriveInfo> drives)
{
    DriveMapState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.drives)
        s.retired.push_back(s.drives);
    s.drives = std::make_shared<const std::vector<DriveInfo>>(std::move(drives));
}

std::shared_ptr<const std::vector<DriveInfo>> Snapshot()
{
    DriveMapState& s = State();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.drives)
            return s.drives;
    }
    Install(ReadDriveMap());
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.drives;
}

}  // namespace

std::vector<MountEntry> ParseMountTable(const std::string& text)
{
    std::vector<MountEntry> entries;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        MountEntry m;
        if (!(fields >> m.device >> m.mountPoint >> m.fsType))
            continue;
        m.device = UnescapeMountField(m.device);
        m.mountPoint = UnescapeMountField(m.mountPoint);
        entries.push_back(std::move(m));
    }
    return entries;
}

std::vector<MountEntry> ParseMountInfo(const std::string& text)
{
    // id parent major:minor root mount-point options [optional fields...] - type source ...
    std::vector<MountEntry> entries;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id;
        std::string parent;
        std::string options;
        MountEntry m;
        if (!(fields >> id >> parent >> m.deviceId >> m.root >> m.mountPoint >> options))
            continue;
        std::string field;
        while (fields >> field && field != "-") {
        }
        if (field != "-" || !(fields >> m.fsType >> m.device))
            continue;
        m.device = UnescapeMountField(m.device);
        m.mountPoint = UnescapeMountField(m.mountPoint);
        m.root = UnescapeMountField(m.root);
        entries.push_back(std::move(m));
    }
    return entries;
}

std::vector<DriveInfo> AssignDriveLetters(const std::vector<MountEntry>& mounts)
{
    std::vector<DriveInfo> drives;
    std::vector<const MountEntry*> shown;  // per drive, the mount it shows
    DriveInfo root;
    root.letter = 'C';
    root.mountPoint = "/";
    root.type = DriveFixed;
    drives.push_back(root);
    shown.push_back(nullptr);
    // A bind mount of a subtree that a drive already shows would list the same files twice.
    auto alreadyShown = [&](const MountEntry& m) {
        if (m.deviceId.empty())
            return false;
        for (const MountEntry* s : shown)
            if (s && s->deviceId == m.deviceId && (s->root == "/" || StartsWithFolder(m.root, s->root)))
                return true;
        return false;
    };
    for (const MountEntry& m : mounts) {
        std::string point = m.mountPoint;
        while (point.size() > 1 && point.back() == '/')
            point.pop_back();
        if (point.empty() || point[0] != '/')
            continue;
        const bool isRoot = point == "/";
        if (!isRoot && (IsPseudoFileSystem(m.fsType) || IsSystemMountPoint(point) || m.fsType == "squashfs"))
            continue;
        if (isRoot && m.fsType == "rootfs")
            continue;
        auto same = std::find_if(drives.begin(), drives.end(), [&](const DriveInfo& d) { return d.mountPoint == point; });
        if (same == drives.end()) {
            // Bind mounts of single files (containers mount /etc/hosts and the like) are no volumes.
            struct stat st {};
            if (!isRoot && stat(point.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
                continue;
            if (drives.back().letter == 'Z' || alreadyShown(m))
                continue;
            DriveInfo d;
            d.letter = static_cast<char>(drives.back().letter + 1);
            d.mountPoint = point;
            drives.push_back(d);
            shown.push_back(nullptr);
            same = drives.end() - 1;
        }
        shown[static_cast<size_t>(same - drives.begin())] = &m;
        // Mounted over again: the newest mount is the one that shows.
        same->device = m.device;
        same->fsType = m.fsType;
        same->type = isRoot ? DriveFixed : DriveTypeOf(m);
    }
    return drives;
}

uint32_t SerialFromUuid(const std::string& uuid)
{
    std::string digits;
    for (char c : uuid)
        if (HexDigitValue(c) >= 0)
            digits.push_back(c);
    if (digits.empty())
        return 0;
    // FAT ("ABCD-1234") and NTFS (16 digits) UUIDs hold the volume's serial itself.
    if (digits.size() > 8 && digits.size() <= 16)
        digits = digits.substr(digits.size() - 8);
    uint32_t serial = 0;
    for (size_t start = 0; start < digits.size(); start += 8) {
        uint32_t word = 0;
        for (size_t i = start; i < std::min(start + 8, digits.size()); ++i)
            word = word << 4 | static_cast<uint32_t>(HexDigitValue(digits[i]));
        serial ^= word;
    }
    return serial;
}

void FillVolumeInfo(DriveInfo& drive)
{
    std::string label;
    std::string uuid;
    if (drive.device.rfind("/dev/", 0) == 0) {
        // Probing needs read access to the device; without it the udev links still answer.
        if (blkid_probe probe = blkid_new_probe_from_filename(drive.device.c_str())) {
            blkid_probe_enable_superblocks(probe, 1);
            blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID);
            if (blkid_do_safeprobe(probe) == 0) {
                const char* value = nullptr;
                if (blkid_probe_lookup_value(probe, "LABEL", &value, nullptr) == 0 && value)
                    label = value;
                if (blkid_probe_lookup_value(probe, "UUID", &value, nullptr) == 0 && value)
                    uuid = value;
            }
            blkid_free_probe(probe);
        }
        if (label.empty())
            label = LinkNameFor("/dev/disk/by-label", drive.device);
        if (uuid.empty())
            uuid = LinkNameFor("/dev/disk/by-uuid", drive.device);
    }
    drive.label = label;
    drive.serial = SerialFromUuid(uuid);
    if (drive.serial == 0) {
        struct statvfs vfs {};
        if (statvfs(drive.mountPoint.c_str(), &vfs) == 0)
            drive.serial = static_cast<uint32_t>(vfs.f_fsid) ^ static_cast<uint32_t>(uint64_t(vfs.f_fsid) >> 32);
    }
}

const std::vector<DriveInfo>& CurrentDrives()
{
    return *Snapshot();
}

void RefreshDriveMap()
{
    Install(ReadDriveMap());
}

void SetDriveMapForTest(std::vector<DriveInfo> drives)
{
    Install(std::move(drives));
}

std::optional<DriveInfo> DriveByLetter(char letter)
{
    if (letter >= 'a' && letter <= 'z')
        letter = static_cast<char>(letter - 'a' + 'A');
    const auto drives = Snapshot();
    for (const DriveInfo& d : *drives)
        if (d.letter == letter)
            return d;
    return std::nullopt;
}

namespace {

// Each component of `rest` ("\\dir\\name", '/' counting as '\\' too) mapped by `map`, joined
// with `separator`; separators, doubled or trailing ones included, stay where they are.
template <typename Map>
std::string MapComponents(const std::string& rest, const char* separators, char separator, Map map)
{
    std::string out;
    out.reserve(rest.size());
    size_t start = 0;
    while (start <= rest.size()) {
        const size_t end = std::min(rest.find_first_of(separators, start), rest.size());
        out += map(std::string_view(rest).substr(start, end - start));
        if (end == rest.size())
            break;
        out += separator;
        start = end + 1;
    }
    return out;
}

}  // namespace

std::string NativePath(const std::string& windowsPath)
{
    std::string path = windowsPath;
    if (path.rfind("\\\\?\\", 0) == 0)
        path = path.substr(4);
    if (path.size() < 2 || path[1] != ':' || path.find('\0') != std::string::npos)
        return "";
    const std::optional<DriveInfo> drive = DriveByLetter(path[0]);
    if (!drive)
        return "";
    bool expressible = true;
    const std::string components = path.substr(2);
    size_t start = 0;
    std::string rest = MapComponents(components, "\\/", '/', [&](std::string_view name) {
        std::string native = NativeName(name);
        // The edge every name passes: only the leading separator and a trailing one may
        // leave an empty part; nothing may spell ".", "..", a '/' or a NUL ("¤00").
        const bool first = start == 0, last = start + name.size() == components.size();
        start += name.size() + 1;
        if (!IsNativeComponent(native) && !(name.empty() && (first || last)))
            expressible = false;
        return native;
    });
    if (!expressible)
        return "";
    if (rest.empty() || rest[0] != '/')
        rest.insert(rest.begin(), '/');
    if (drive->mountPoint == "/")
        return rest;
    return rest == "/" ? drive->mountPoint + "/" : drive->mountPoint + rest;
}

std::string WindowsPath(const std::string& nativePath)
{
    if (nativePath.empty() || nativePath[0] != '/')
        return "";
    const auto drives = Snapshot();
    const DriveInfo* best = nullptr;
    for (const DriveInfo& d : *drives)
        if ((d.mountPoint == "/" || StartsWithFolder(nativePath, d.mountPoint))
            && (!best || d.mountPoint.size() > best->mountPoint.size()))
            best = &d;
    if (!best)
        return "";
    std::string rest = best->mountPoint == "/" ? nativePath : nativePath.substr(best->mountPoint.size());
    rest = MapComponents(rest, "/", '\\', ProgramName);
    if (rest.empty())
        rest = "\\";
    return std::string(1, best->letter) + ":" + rest;
}

std::optional<DriveInfo> ReadDrive(char letter)
{
    std::optional<DriveInfo> drive = DriveByLetter(letter);
    if (drive)
        FillVolumeInfo(*drive);
    return drive;
}

bool DriveSpace(const std::string& windowsRoot, uint64_t* freeBytes, uint64_t* totalBytes)
{
    const std::optional<DriveInfo> drive = windowsRoot.empty() ? std::nullopt : DriveByLetter(windowsRoot[0]);
    struct statvfs vfs {};
    if (!drive || statvfs(drive->mountPoint.c_str(), &vfs) != 0)
        return false;
    *freeBytes = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    *totalBytes = static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize;
    return true;
}
