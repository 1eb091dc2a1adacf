#include "platform/FileAccess.h"

#include "platform/DateTime.h"
#include "platform/DriveMap.h"
#include "platform/Exception.h"
#include "platform/NativeNames.h"
#include "platform/SmbFiles.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void SetError(int* error, int code)
{
    if (error)
        *error = code;
}

bool ParentExists(const std::string& native)
{
    std::string parent = native;
    while (parent.size() > 1 && parent.back() == '/')
        parent.pop_back();
    const size_t slash = parent.rfind('/');
    if (slash == std::string::npos)
        return true;
    parent = slash == 0 ? "/" : parent.substr(0, slash);
    struct stat st {};
    return stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The Win32 code for an errno of an operation on `native`: a missing parent folder is a
// missing path, as the system reports it.
int ErrorFor(int err, const std::string& native)
{
    if (err == ENOENT && !ParentExists(native))
        return Win32::PathNotFound;
    return Win32ErrorFromErrno(err);
}

// The native path of `path`, or false with the code the system gives for such a path.
bool Translate(const std::string& path, std::string* native, int* error)
{
    if (IsUncPath(path)) {  // the functions below hand these to the SMB layer first
        SetError(error, Win32::BadNetpath);
        return false;
    }
    *native = NativePath(path);
    if (native->empty()) {
        const bool drivePath = path.size() >= 2 && path[1] == ':';
        SetError(error, drivePath ? Win32::PathNotFound : Win32::InvalidName);
        return false;
    }
    return true;
}

class LocalFile : public PlatformFile {
public:
    explicit LocalFile(int fd) : m_fd(fd) {}
    ~LocalFile() override  // closing the description drops its lock
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool close() override
    {
        if (m_fd < 0)
            return true;
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) == 0)
            return true;
        const int err = errno;
        fail(err);
        errno = err;
        return false;
    }

    bool read(void* buffer, size_t count, size_t* got) override
    {
        size_t done = 0;
        while (done < count) {
            const ssize_t n = ::read(m_fd, static_cast<char*>(buffer) + done, count - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                if (got)
                    *got = done;
                return fail(errno);
            }
            if (n == 0)
                break;
            done += static_cast<size_t>(n);
        }
        if (got)
            *got = done;
        return true;
    }

    bool write(const void* buffer, size_t count) override
    {
        size_t done = 0;
        while (done < count) {
            const ssize_t n = ::write(m_fd, static_cast<const char*>(buffer) + done, count - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)  // a handle opened for reading refuses writes as access denied
                return fail(errno == EBADF ? EACCES : errno);
            done += static_cast<size_t>(n);
        }
        return true;
    }

    bool seek(int64_t offset) override
    {
        return lseek(m_fd, offset, SEEK_SET) >= 0 || fail(errno);
    }

    int64_t size() override
    {
        struct stat st {};
        if (fstat(m_fd, &st) != 0) {
            fail(errno);
            return -1;
        }
        return st.st_size;
    }

    bool truncate(int64_t size) override
    {
        return ftruncate(m_fd, size) == 0 || fail(errno);
    }

    bool flush() override
    {
        return fdatasync(m_fd) == 0 || fail(errno);
    }

    int64_t position() override
    {
        return lseek(m_fd, 0, SEEK_CUR);
    }

private:
    bool fail(int err)
    {
        m_error = Win32ErrorFromErrno(err);
        return false;
    }

    int m_fd;
};

} // namespace

std::unique_ptr<PlatformFile> PlatformFileFromDescriptor(int fd)
{
    return std::make_unique<LocalFile>(fd);
}

namespace {

// Whether anyone holds `native` open under the sharing rules (a delete or rename of it
// would pull the file from under them).
bool HeldByOthers(const std::string& native)
{
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

bool IsDirectory(const std::string& native)
{
    struct stat st {};
    return stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Windows wildcard match without regard to ASCII case; "*.*" matches every name.
bool MatchesPattern(const char* name, const char* pattern)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (std::string(pattern) == "*.*" || std::string(pattern) == "*")
        return true;
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*pattern == '?' || (*pattern && *pattern != '*' && lower(*pattern) == lower(*name))) {
            ++pattern;
            ++name;
        } else if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == 0;
}

FindEntry EntryFromStat(const std::string& name, const struct stat& st)
{
    FindEntry e;
    e.name = ProgramName(name);
    const bool isDir = S_ISDIR(st.st_mode);
    e.size = isDir ? 0 : static_cast<uint64_t>(st.st_size);
    e.attributes = isDir ? 0x10 : 0x20;
    if (!(st.st_mode & S_IWUSR))
        e.attributes |= 0x01;
    if (!name.empty() && name[0] == '.')
        e.attributes |= 0x02;
    e.modified = DateTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    return e;
}

}  // namespace

bool IsUncPath(const std::string& path)
{
    return path.size() >= 2 && path[0] == '\\' && path[1] == '\\' && path.rfind("\\\\?\\", 0) != 0;
}

std::unique_ptr<PlatformFile> OpenFile(const std::string& path, FileMode mode, int* error)
{
    if (IsUncPath(path))
        return smbpath::openFile(path, mode, error);
    std::string native;
    if (!Translate(path, &native, error))
        return nullptr;
    int flags = O_CLOEXEC;
    switch (mode) {
    case FileMode::Read: flags |= O_RDONLY; break;
    case FileMode::ReadWrite: flags |= O_RDWR; break;
    case FileMode::Create:
    case FileMode::OpenOrCreate: flags |= O_RDWR | O_CREAT; break;
    }
    std::unique_ptr<LocalFile> file;
    int fd = -1;
    // The lock is taken after the open, and a rename may give the name to another file in
    // between. The file handed back must be the one the name stands for while it is locked,
    // as an open with sharing modes is elsewhere: a reader that locked a file already
    // replaced would pair it with the files replaced after it.
    for (int attempt = 0;; attempt++) {
        // Without blocking: opening a FIFO for reading would wait for a writer. A FIFO, a
        // device or a folder is refused at once, before anything reads or truncates it.
        fd = ::open(native.c_str(), flags | O_NONBLOCK, 0666);
        if (fd < 0) {
            SetError(error, ErrorFor(errno, native));
            return nullptr;
        }
        file = std::make_unique<LocalFile>(fd);  // owns fd from here
        struct stat st {};
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            SetError(error, S_ISDIR(st.st_mode) ? Win32::AccessDenied : Win32::InvalidFunction);
            return nullptr;
        }
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        if (flock(fd, (mode == FileMode::Read ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
            SetError(error, errno == EWOULDBLOCK ? Win32::SharingViolation : Win32ErrorFromErrno(errno));
            return nullptr;
        }
        struct stat named {};
        if (stat(native.c_str(), &named) == 0 && named.st_dev == st.st_dev && named.st_ino == st.st_ino)
            break;
        if (attempt == 100) {  // replaced over and over: someone else is busy with it
            SetError(error, Win32::SharingViolation);
            return nullptr;
        }
    }
    if (mode == FileMode::Create && ftruncate(fd, 0) != 0) {
        SetError(error, Win32ErrorFromErrno(errno));
        return nullptr;
    }
    SetError(error, Win32::NoError);
    return file;
}

bool FileExists(const std::string& path)
{
    if (IsUncPath(path))
        return smbpath::fileExists(path);
    std::string native;
    struct stat st {};
    return Translate(path, &native, nullptr) && stat(native.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path)
{
    if (IsUncPath(path))
        return smbpath::directoryExists(path);
    std::string native;
    return Translate(path, &native, nullptr) && IsDirectory(native);
}

bool ForceDirectories(const std::string& path, int* error)
{
    if (IsUncPath(path))
        return smbpath::forceDirectories(path, error);
    std::string native;
    if (!Translate(path, &native, error))
        return false;
    while (native.size() > 1 && native.back() == '/')
        native.pop_back();
    for (size_t slash = native.find('/', 1);; slash = native.find('/', slash + 1)) {
        const std::string part = slash == std::string::npos ? native : native.substr(0, slash);
        if (mkdir(part.c_str(), 0777) != 0) {
            if (errno != EEXIST) {
                SetError(error, Win32ErrorFromErrno(errno));
                return false;
            }
            if (!IsDirectory(part)) {
                SetError(error, Win32::AlreadyExists);  // a file stands where a folder should be
                return false;
            }
        }
        if (slash == std::string::npos)
            break;
    }
    SetError(error, Win32::NoError);
    return true;
}

bool DeleteFile(const std::string& path, int* error)
{
    if (IsUncPath(path))
        return smbpath::deleteFile(path, error);
    std::string native;
    if (!Translate(path, &native, error))
        return false;
    if (IsDirectory(native)) {
        SetError(error, Win32::AccessDenied);
        return false;
    }
    if (HeldByOthers(native)) {
        SetError(error, Win32::SharingViolation);
        return false;
    }
    if (unlink(native.c_str()) != 0) {
        SetError(error, ErrorFor(errno, native));
        return false;
    }
    SetError(error, Win32::NoError);
    return true;
}

bool RemoveDirectory(const std::string& path, int* error)
{
    if (IsUncPath(path))
        return smbpath::removeDirectory(path, error);
    std::string native;
    if (!Translate(path, &native, error))
        return false;
    if (rmdir(native.c_str()) != 0) {
        const int err = errno;
        SetError(error, err == ENOTDIR ? Win32::DirectoryInvalid : ErrorFor(err, native));
        return false;
    }
    SetError(error, Win32::NoError);
    return true;
}

bool RenameFile(const std::string& from, const std::string& to, int* error)
{
    if (IsUncPath(from) && IsUncPath(to))
        return smbpath::renameFile(from, to, error);
    if (IsUncPath(from) || IsUncPath(to)) {
        SetError(error, Win32::NotSameDevice);  // a move across them is a copy and a delete
        return false;
    }
    std::string source;
    std::string target;
    if (!Translate(from, &source, error) || !Translate(to, &target, error))
        return false;
    if (!IsDirectory(source) && HeldByOthers(source)) {
        SetError(error, Win32::SharingViolation);
        return false;
    }
    if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
        int err = errno;
        if (err == EINVAL || err == ENOSYS) {
            // The file system cannot refuse to replace: check first, then rename.
            struct stat st {};
            if (lstat(target.c_str(), &st) == 0)
                err = EEXIST;
            else
                err = std::rename(source.c_str(), target.c_str()) == 0 ? 0 : errno;
        }
        if (err != 0) {
            SetError(error, err == EEXIST ? Win32::AlreadyExists : ErrorFor(err, source));
            return false;
        }
    }
    SetError(error, Win32::NoError);
    return true;
}

bool GetFileEntry(const std::string& path, FindEntry& entry, int* error)
{
    if (IsUncPath(path))
        return smbpath::getFileEntry(path, entry, error);
    std::string native;
    if (!Translate(path, &native, error))
        return false;
    while (native.size() > 1 && native.back() == '/')
        native.pop_back();
    struct stat st {};
    if (stat(native.c_str(), &st) != 0 && lstat(native.c_str(), &st) != 0) {
        SetError(error, ErrorFor(errno, native));
        return false;
    }
    entry = EntryFromStat(native == "/" ? "" : native.substr(native.rfind('/') + 1), st);
    SetError(error, Win32::NoError);
    return true;
}

bool ListDirectory(const std::string& folder, std::vector<FindEntry>& entries, int* error)
{
    return ForEachDirectoryEntry(folder, [&entries](FindEntry&& entry) {
        entries.push_back(std::move(entry));
        return true;
    }, error);
}

bool ForEachDirectoryEntry(const std::string& folder, const std::function<bool(FindEntry&&)>& visit, int* error)
{
    if (IsUncPath(folder)) {
        const size_t backslash = folder.rfind('\\');
        if (folder.find_first_of("*?", backslash) == std::string::npos)
            return smbpath::forEachEntry(folder, visit, error);
        const std::string pattern = folder.substr(backslash + 1);
        return smbpath::forEachEntry(folder.substr(0, backslash + 1), [&](FindEntry&& entry) {
            return !MatchesPattern(entry.name.c_str(), pattern.c_str()) || visit(std::move(entry));
        }, error);
    }
    std::string native;
    if (!Translate(folder, &native, error))
        return false;
    std::string pattern = "*";
    const size_t slash = native.rfind('/');
    if (slash != std::string::npos && native.find_first_of("*?", slash) != std::string::npos) {
        pattern = ProgramName(native.substr(slash + 1));
        native.resize(slash + 1);
    }
    const bool matchesAll = pattern == "*" || pattern == "*.*";
    DIR* dir = opendir(native.c_str());
    if (!dir) {
        const int err = errno;
        // A folder that is not there is a path not found, whatever its parent.
        SetError(error, err == ENOTDIR ? Win32::DirectoryInvalid
                        : err == ENOENT ? Win32::PathNotFound : Win32ErrorFromErrno(err));
        return false;
    }
    const int dirFd = dirfd(dir);
    errno = 0;
    while (const dirent* d = readdir(dir)) {
        const std::string name = d->d_name;
        if (name == "." || name == ".." || (!matchesAll && !MatchesPattern(ProgramName(name).c_str(), pattern.c_str())))
            continue;
        struct stat st {};
        bool symlink = d->d_type == DT_LNK;
        if (fstatat(dirFd, d->d_name, &st, 0) != 0) {
            if (fstatat(dirFd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;  // gone since readdir
            symlink = S_ISLNK(st.st_mode);  // a dangling link
        } else if (d->d_type == DT_UNKNOWN) {
            struct stat lst {};
            symlink = fstatat(dirFd, d->d_name, &lst, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(lst.st_mode);
        }
        FindEntry entry = EntryFromStat(name, st);
        entry.symlink = symlink;
        entry.executable = S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR) != 0;
        if (!visit(std::move(entry)))
            break;
    }
    closedir(dir);
    SetError(error, Win32::NoError);
    return true;
}

void RaiseFileError(int code)
{
    throw Exception(Win32MessageText(code ? code : Win32::FileNotFound));
}

std::unique_ptr<PlatformFile> OpenFileOrRaise(const std::string& path, FileMode mode)
{
    int error = 0;
    auto file = OpenFile(path, mode, &error);
    if (!file) {
        std::string native;
        struct stat st {};
        if (Translate(path, &native, nullptr) && stat(native.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            const std::string kind = S_ISDIR(st.st_mode) ? UiCaption("資料夾") : S_ISFIFO(st.st_mode) ? UiCaption("具名管道")
                               : S_ISSOCK(st.st_mode) ? UiCaption("通訊端") : UiCaption("裝置");
            throw Exception(UiFormat("%1 是%2，不是一般檔案，無法開啟", {path, kind}));
        }
        RaiseFileError(error);
    }
    return file;
}
