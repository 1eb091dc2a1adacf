#include "platform/Trash.h"

#include "platform/Environment.h"
#include "platform/NativeFiles.h"
#include "platform/Win32Error.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kInfoSuffix = ".trashinfo";
// Names tried for one entry before giving up ("name", "name.2", ... ).
constexpr int kMaxNameAttempts = 10000;

bool fail(int* error, int code)
{
    if (error)
        *error = code;
    return false;
}

dev_t deviceOf(const std::string& path, bool* ok)
{
    struct stat st;
    *ok = lstat(path.c_str(), &st) == 0;
    return *ok ? st.st_dev : 0;
}

// The mount point holding `path`: the highest ancestor on the same device.
std::string topDirOf(const std::string& path)
{
    bool ok = false;
    const dev_t dev = deviceOf(path, &ok);
    std::string current = path;
    for (;;) {
        const std::string parent = NativeDirName(current);
        if (parent == current)
            return current;
        bool parentOk = false;
        if (deviceOf(parent, &parentOk) != dev || !parentOk)
            return current;
        current = parent;
    }
}

// The trash folder for an entry on another volume, made when missing. Empty when none
// can be used: the entry is then not trashed (never deleted in its place).
std::string volumeTrashDir(const std::string& topDir)
{
    const std::string uid = std::to_string(getuid());
    const std::string shared = NativeJoin(topDir, ".Trash");
    struct stat st;
    // A shared .Trash must be a real sticky folder; otherwise it is ignored, as the
    // trash rules demand, so nobody can redirect our deletions through a link.
    if (lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const std::string mine = NativeJoin(shared, uid);
        if (MakeNativePath(mine, 0700))
            return mine;
    }
    const std::string own = NativeJoin(topDir, ".Trash-" + uid);
    if (lstat(own.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode) && st.st_uid == getuid())
            return own;
        return {};
    }
    if (mkdir(own.c_str(), 0700) == 0)
        return own;
    return {};
}

std::string nowText()
{
    const time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    char buffer[32];
    strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &local);
    return buffer;
}

bool isHomeTrash(const std::string& trashDir)
{
    return trashDir == HomeTrashDir();
}

// The volume's top folder for a trash folder on it ($topdir/.Trash-uid or $topdir/.Trash/uid).
std::string topDirOfTrash(const std::string& trashDir)
{
    const std::string parent = NativeDirName(trashDir);
    if (NativeBaseName(parent) == ".Trash")
        return NativeDirName(parent);
    return parent;
}

} // namespace

std::string HomeTrashDir()
{
    return NativeJoin(XdgFolder("XDG_DATA_HOME", ".local/share"), "Trash");
}

std::string TrashEncodePath(const std::string& path)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~' || c == '!'
            || c == '*' || c == '\'' || c == '(' || c == ')')
            out += char(c);
        else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string TrashDecodePath(const std::string& encoded)
{
    std::string out;
    for (size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '%' && i + 2 < encoded.size() && isxdigit((unsigned char)encoded[i + 1])
            && isxdigit((unsigned char)encoded[i + 2])) {
            out += char(std::stoi(encoded.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += encoded[i];
        }
    }
    return out;
}

bool MoveToTrash(const std::string& nativePath, TrashItem* item, int* error)
{
    if (nativePath.empty() || nativePath[0] != '/')
        return fail(error, Win32::InvalidName);
    bool ok = false;
    const dev_t dev = deviceOf(nativePath, &ok);
    if (!ok)
        return fail(error, Win32ErrorFromErrno(errno));

    // The home trash is used for the home volume. Its folders are made before use: a
    // missing data folder must never make us trash somewhere unexpected.
    std::string trashDir = HomeTrashDir();
    std::string recordedPath = nativePath;
    bool useHome = MakeNativePath(trashDir, 0700);
    if (useHome) {
        bool trashOk = false;
        useHome = deviceOf(trashDir, &trashOk) == dev && trashOk;
    }
    if (!useHome) {
        const std::string topDir = topDirOf(nativePath);
        trashDir = volumeTrashDir(topDir);
        if (trashDir.empty())
            return fail(error, Win32::AccessDenied);
        // Paths in a volume's trash are relative to its top folder, so they stay right
        // when the volume is mounted elsewhere.
        recordedPath = nativePath.substr(topDir == "/" ? 1 : topDir.size() + 1);
    }
    const std::string filesDir = NativeJoin(trashDir, "files");
    const std::string infoDir = NativeJoin(trashDir, "info");
    if (!MakeNativePath(filesDir, 0700) || !MakeNativePath(infoDir, 0700))
        return fail(error, Win32ErrorFromErrno(errno));

    const std::string base = NativeBaseName(nativePath);
    std::string name;
    std::string infoPath;
    int infoFd = -1;
    for (int attempt = 1; attempt <= kMaxNameAttempts && infoFd < 0; ++attempt) {
        name = attempt == 1 ? base : base + "." + std::to_string(attempt);
        infoPath = NativeJoin(infoDir, name + kInfoSuffix);
        if (NativeExists(NativeJoin(filesDir, name)))
            continue;
        infoFd = open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (infoFd < 0 && errno != EEXIST)
            return fail(error, Win32ErrorFromErrno(errno));
    }
    if (infoFd < 0)
        return fail(error, Win32::FileExists);

    const std::string date = nowText();
    const std::string info = "[Trash Info]\nPath=" + TrashEncodePath(recordedPath)
                             + "\nDeletionDate=" + date + "\n";
    const bool written = write(infoFd, info.data(), info.size()) == ssize_t(info.size());
    const int writeErr = errno;
    close(infoFd);
    if (!written) {
        unlink(infoPath.c_str());
        return fail(error, Win32ErrorFromErrno(writeErr));
    }
    if (rename(nativePath.c_str(), NativeJoin(filesDir, name).c_str()) != 0) {
        const int err = errno;
        unlink(infoPath.c_str());
        return fail(error, Win32ErrorFromErrno(err));
    }
    if (item) {
        item->trashDir = trashDir;
        item->name = name;
        item->originalPath = nativePath;
        item->deletionDate = date;
    }
    return true;
}

bool ReadTrashInfo(const std::string& trashDir, const std::string& name, TrashItem& item)
{
    std::ifstream in(NativeJoin(NativeJoin(trashDir, "info"), name + kInfoSuffix));
    if (!in)
        return false;
    std::string line;
    bool header = false;
    std::string path;
    std::string date;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line == "[Trash Info]") {
            header = true;
            continue;
        }
        if (!header)
            continue;
        if (line.rfind("Path=", 0) == 0 && path.empty())
            path = TrashDecodePath(line.substr(5));
        else if (line.rfind("DeletionDate=", 0) == 0 && date.empty())
            date = line.substr(13);
        else if (!line.empty() && line[0] == '[')
            break;
    }
    if (!header || path.empty())
        return false;
    if (path[0] != '/') {
        if (isHomeTrash(trashDir))
            return false;
        path = NativeJoin(topDirOfTrash(trashDir), path);
    }
    item.trashDir = trashDir;
    item.name = name;
    item.originalPath = path;
    item.deletionDate = date;
    return true;
}

std::vector<TrashItem> ListTrash(const std::string& trashDir)
{
    std::vector<TrashItem> items;
    DIR* dir = opendir(NativeJoin(trashDir, "info").c_str());
    if (!dir)
        return items;
    const std::string suffix = kInfoSuffix;
    while (dirent* entry = readdir(dir)) {
        std::string file = entry->d_name;
        if (file.size() <= suffix.size() || file.compare(file.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        TrashItem item;
        if (ReadTrashInfo(trashDir, file.substr(0, file.size() - suffix.size()), item))
            items.push_back(item);
    }
    closedir(dir);
    return items;
}

std::vector<std::string> AllTrashDirs()
{
    std::vector<std::string> dirs;
    struct stat st;
    const std::string home = HomeTrashDir();
    if (stat(home.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        dirs.push_back(home);
    std::ifstream mounts("/proc/self/mounts");
    std::string line;
    const std::string uid = std::to_string(getuid());
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string device, mountPoint;
        fields >> device >> mountPoint;
        if (mountPoint.empty() || mountPoint[0] != '/')
            continue;
        for (const std::string& candidate :
             {NativeJoin(NativeJoin(mountPoint, ".Trash"), uid), NativeJoin(mountPoint, ".Trash-" + uid)}) {
            if (lstat(candidate.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid()
                && candidate != home)
                dirs.push_back(candidate);
        }
    }
    return dirs;
}

bool RestoreFromTrash(const TrashItem& item, int* error)
{
    const std::string stored = NativeJoin(NativeJoin(item.trashDir, "files"), item.name);
    if (!NativeExists(stored))
        return fail(error, Win32::FileNotFound);
    if (NativeExists(item.originalPath))
        return fail(error, Win32::FileExists);
    if (!MakeNativePath(NativeDirName(item.originalPath), 0755))
        return fail(error, Win32ErrorFromErrno(errno));
    if (rename(stored.c_str(), item.originalPath.c_str()) != 0)
        return fail(error, Win32ErrorFromErrno(errno));
    unlink(NativeJoin(NativeJoin(item.trashDir, "info"), item.name + kInfoSuffix).c_str());
    return true;
}

bool EmptyTrashDir(const std::string& trashDir, int* error)
{
    bool ok = true;
    for (const char* sub : {"files", "info"}) {
        const std::string folder = NativeJoin(trashDir, sub);
        DIR* dir = opendir(folder.c_str());
        if (!dir)
            continue;
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            if (!RemoveTree(NativeJoin(folder, name), error))
                ok = false;
        }
        closedir(dir);
    }
    unlink(NativeJoin(trashDir, "directorysizes").c_str());
    return ok;
}

bool EmptyAllTrash(int* error)
{
    bool ok = true;
    for (const std::string& trashDir : AllTrashDirs())
        ok = EmptyTrashDir(trashDir, error) && ok;
    return ok;
}
