#include "platform/NativeFiles.h"

#include "platform/Trash.h"
#include "platform/Win32Error.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool fail(int* error, int code)
{
    if (error)
        *error = code;
    return false;
}

// Removes the entries of the open folder `dirFd` and then the folder itself; the fd is
// consumed. Works with *at functions so that a name swapped for a link mid-way is never
// followed out of the tree.
bool removeContents(int dirFd, int* error)
{
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        const int err = errno;
        close(dirFd);
        return fail(error, Win32ErrorFromErrno(err));
    }
    bool ok = true;
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st;
        if (fstatat(dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = fail(error, Win32ErrorFromErrno(errno));
            break;
        }
        if (S_ISDIR(st.st_mode)) {
            const int child = openat(dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child < 0 || !removeContents(child, error)) {
                if (child < 0)
                    fail(error, Win32ErrorFromErrno(errno));
                ok = false;
                break;
            }
            if (unlinkat(dirfd(dir), name.c_str(), AT_REMOVEDIR) != 0) {
                ok = fail(error, Win32ErrorFromErrno(errno));
                break;
            }
        } else if (unlinkat(dirfd(dir), name.c_str(), 0) != 0) {
            ok = fail(error, Win32ErrorFromErrno(errno));
            break;
        }
    }
    closedir(dir);
    return ok;
}

} // namespace

bool RemoveTree(const std::string& nativePath, int* error)
{
    struct stat st;
    if (lstat(nativePath.c_str(), &st) != 0)
        return fail(error, Win32ErrorFromErrno(errno));
    if (!S_ISDIR(st.st_mode)) {
        if (unlink(nativePath.c_str()) != 0)
            return fail(error, Win32ErrorFromErrno(errno));
        return true;
    }
    const int fd = open(nativePath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return fail(error, Win32ErrorFromErrno(errno));
    if (!removeContents(fd, error))
        return false;
    if (rmdir(nativePath.c_str()) != 0)
        return fail(error, Win32ErrorFromErrno(errno));
    return true;
}

std::string NativeBaseName(const std::string& nativePath)
{
    std::string p = nativePath;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string NativeDirName(const std::string& nativePath)
{
    std::string p = nativePath;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    const size_t slash = p.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return p.substr(0, slash);
}

std::string NativeJoin(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    if (folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

bool NativeIsSameOrBelow(const std::string& inner, const std::string& outer)
{
    std::string o = outer;
    while (o.size() > 1 && o.back() == '/')
        o.pop_back();
    std::string i = inner;
    while (i.size() > 1 && i.back() == '/')
        i.pop_back();
    if (i == o)
        return true;
    if (o == "/")
        return !i.empty() && i[0] == '/';
    return i.size() > o.size() && i.compare(0, o.size(), o) == 0 && i[o.size()] == '/';
}

bool MakeNativePath(const std::string& nativePath, unsigned mode)
{
    if (nativePath.empty() || nativePath == "/")
        return true;
    struct stat st;
    if (stat(nativePath.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    if (!MakeNativePath(NativeDirName(nativePath), mode))
        return false;
    return mkdir(nativePath.c_str(), mode) == 0 || errno == EEXIST;
}

bool NativeExists(const std::string& nativePath)
{
    struct stat st;
    return lstat(nativePath.c_str(), &st) == 0;
}

FileStatus StatusFromStat(const struct stat& st)
{
    FileStatus status;
    if (S_ISREG(st.st_mode))
        status.kind = EntryKind::File;
    else if (S_ISDIR(st.st_mode))
        status.kind = EntryKind::Folder;
    else if (S_ISLNK(st.st_mode))
        status.kind = EntryKind::Link;
    else if (S_ISFIFO(st.st_mode))
        status.kind = EntryKind::Pipe;
    status.size = status.kind == EntryKind::Folder ? 0 : uint64_t(st.st_size);
    status.modified = st.st_mtim;
    status.accessed = st.st_atim;
    status.mode = st.st_mode & 07777;
    status.owner = st.st_uid;
    status.group = st.st_gid;
    status.device = st.st_dev;
    status.inode = st.st_ino;
    status.links = st.st_nlink;
    return status;
}

unsigned NewEntryMode(bool folder)
{
    // The umask read without changing it: umask() would, for every thread at once.
    unsigned mask = 022;
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "Umask: %o", &mask) == 1)
                break;
        std::fclose(status);
    }
    return (folder ? 0777u : 0666u) & ~(mask & 0777u);
}

namespace {

int done(int result)
{
    return result == 0 ? Win32::NoError : Win32ErrorFromErrno(errno);
}

class LocalFiles : public FileSystem {
public:
    int status(const std::string& path, FileStatus* status, bool follow) override
    {
        struct stat st;
        if ((follow ? ::stat(path.c_str(), &st) : lstat(path.c_str(), &st)) != 0)
            return Win32ErrorFromErrno(errno);
        *status = StatusFromStat(st);
        return Win32::NoError;
    }

    int list(const std::string& folder, std::vector<std::string>* names) override
    {
        DIR* dir = opendir(folder.c_str());
        if (!dir)
            return Win32ErrorFromErrno(errno);
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names->push_back(name);
        }
        closedir(dir);
        return Win32::NoError;
    }

    int makeFolder(const std::string& path, unsigned mode) override { return done(mkdir(path.c_str(), mode)); }

    int makePath(const std::string& path) override
    {
        errno = 0;
        if (MakeNativePath(path))
            return Win32::NoError;
        return errno ? Win32ErrorFromErrno(errno) : Win32::AlreadyExists;
    }

    int removeFolder(const std::string& path) override
    {
        // Linux says either of two for a folder that still holds something.
        if (rmdir(path.c_str()) == 0)
            return Win32::NoError;
        return errno == ENOTEMPTY || errno == EEXIST ? Win32::DirNotEmpty : Win32ErrorFromErrno(errno);
    }

    int removeFile(const std::string& path) override { return done(unlink(path.c_str())); }

    int removeTree(const std::string& path) override
    {
        int error = 0;
        return RemoveTree(path, &error) ? Win32::NoError : error;
    }

    int rename(const std::string& from, const std::string& to, bool replace) override
    {
        if (replace)
            return done(::rename(from.c_str(), to.c_str()));
        // A volume that ignores case (vfat, exfat) finds the entry itself under the new
        // name: a change of case only goes through a temporary name.
        if (sameEntry(from, to))
            return renameCaseOnly(from, to);
        if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return Win32::NoError;
        if (errno == EEXIST)
            return Win32::AlreadyExists;
        if (errno != EINVAL && errno != ENOSYS)
            return Win32ErrorFromErrno(errno);
        // The file system cannot refuse a replacement atomically: check, then rename.
        if (NativeExists(to))
            return Win32::AlreadyExists;
        return done(::rename(from.c_str(), to.c_str()));
    }

    std::unique_ptr<PlatformFile> openForReading(const std::string& path, int* code) override
    {
        return opened(::open(path.c_str(), O_RDONLY | O_CLOEXEC), code);
    }

    std::unique_ptr<PlatformFile> createFile(const std::string& path, int* code) override
    {
        return opened(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR), code);
    }

    int readLink(const std::string& path, std::string* target) override
    {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0)
            return Win32ErrorFromErrno(errno);
        std::string link(size_t(st.st_size) + 1, '\0');
        const ssize_t got = readlink(path.c_str(), link.data(), link.size());
        if (got < 0)
            return Win32ErrorFromErrno(errno);
        link.resize(size_t(got));
        *target = link;
        return Win32::NoError;
    }

    int makeLink(const std::string& target, const std::string& path) override
    {
        return done(symlink(target.c_str(), path.c_str()));
    }

    int makePipe(const std::string& path, unsigned mode) override { return done(mkfifo(path.c_str(), mode & 07777)); }

    bool keepsModes() const override { return true; }

    int setMode(const std::string& path, unsigned mode) override { return done(chmod(path.c_str(), mode & 07777)); }

    int setTimes(const std::string& path, const FileStatus& from) override
    {
        const struct timespec times[2] = {from.accessed, from.modified};
        return done(utimensat(AT_FDCWD, path.c_str(), times, 0));
    }

    bool hasTrash() const override { return true; }

    int moveToTrash(const std::string& path, TrashItem* item) override
    {
        int error = 0;
        return MoveToTrash(path, item, &error) ? Win32::NoError : error;
    }

private:
    static std::unique_ptr<PlatformFile> opened(int fd, int* code)
    {
        *code = fd < 0 ? Win32ErrorFromErrno(errno) : Win32::NoError;
        return fd < 0 ? nullptr : PlatformFileFromDescriptor(fd);
    }

    // Whether two names of one folder reach the same entry. Two hard links of one file are
    // two entries: only a file with one link, or a folder, found under both names is one
    // entry named without regard to case.
    static bool sameEntry(const std::string& from, const std::string& to)
    {
        struct stat a;
        struct stat b;
        return NativeDirName(from) == NativeDirName(to) && lstat(from.c_str(), &a) == 0 && lstat(to.c_str(), &b) == 0
            && a.st_dev == b.st_dev && a.st_ino == b.st_ino && (S_ISDIR(a.st_mode) || a.st_nlink == 1);
    }

    static int renameCaseOnly(const std::string& from, const std::string& to)
    {
        std::string temporary;
        for (int attempt = 0; temporary.empty() || NativeExists(temporary); ++attempt)
            temporary = NativeJoin(NativeDirName(from),
                                   ".tamsel-rename-" + std::to_string(getpid()) + "-" + std::to_string(attempt));
        if (::rename(from.c_str(), temporary.c_str()) != 0)
            return Win32ErrorFromErrno(errno);
        if (::rename(temporary.c_str(), to.c_str()) != 0) {
            const int error = errno;
            // The entry keeps its old name rather than the temporary one.
            ::rename(temporary.c_str(), from.c_str());
            return Win32ErrorFromErrno(error);
        }
        return Win32::NoError;
    }
};

} // namespace

FileSystem& LocalFileSystem()
{
    static LocalFiles files;
    return files;
}
