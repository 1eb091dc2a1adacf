#include "local/FileOperationPaths.h"

#include "platform/NativeFiles.h"
#include "platform/SmbFiles.h"
#include "platform/Win32Error.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

int fsLstat(const std::string& path, struct stat* st)
{
    return IsSmbNative(path) ? SmbStat(path, st) : lstat(path.c_str(), st);
}

int fsMkdir(const std::string& path, mode_t mode)
{
    return IsSmbNative(path) ? SmbMkdir(path) : mkdir(path.c_str(), mode);
}

int fsRmdir(const std::string& path)
{
    return IsSmbNative(path) ? SmbRmdir(path) : rmdir(path.c_str());
}

int fsUnlink(const std::string& path)
{
    return IsSmbNative(path) ? SmbUnlink(path) : unlink(path.c_str());
}

bool fsExists(const std::string& path)
{
    struct stat st;
    return IsSmbNative(path) ? SmbStat(path, &st) == 0 : NativeExists(path);
}

std::string shareOf(const std::string& path)
{
    if (!IsSmbNative(path))
        return {};
    const size_t share = path.find('/', 6);
    return share == std::string::npos ? path : path.substr(0, path.find('/', share + 1));
}

int fsRename(const std::string& from, const std::string& to)
{
    if (!IsSmbNative(from) && !IsSmbNative(to))
        return rename(from.c_str(), to.c_str());
    if (shareOf(from) != shareOf(to)) {
        errno = EXDEV;
        return -1;
    }
    return SmbRename(from, to, true);
}

bool fsMakePath(const std::string& path)
{
    if (!IsSmbNative(path))
        return MakeNativePath(path);
    int error = 0;
    return ForceDirectories(UncFromSmbNative(path), &error);
}

std::vector<std::string> listNames(const std::string& folder, int* err)
{
    std::vector<std::string> names;
    if (IsSmbNative(folder)) {
        errno = 0;
        const bool ok = SmbForEachEntry(folder, [&names](FindEntry&& entry) {
            names.push_back(std::move(entry.name));
            return true;
        });
        *err = ok ? 0 : errno;
        return names;
    }
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        *err = errno;
        return names;
    }
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(dir);
    *err = 0;
    return names;
}

bool fsRemoveTree(const std::string& path, int* error)
{
    if (!IsSmbNative(path))
        return RemoveTree(path, error);
    struct stat st;
    if (SmbStat(path, &st) != 0) {
        *error = SmbError(errno, path);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        int err = 0;
        for (const std::string& name : listNames(path, &err))
            if (!fsRemoveTree(NativeJoin(path, name), error))
                return false;
        if (err || SmbRmdir(path) != 0) {
            *error = SmbError(err ? err : errno, path);
            return false;
        }
    } else if (SmbUnlink(path) != 0) {
        *error = SmbError(errno, path);
        return false;
    }
    return true;
}

bool CopyEnd::open(const std::string& path, bool write, int* code)
{
    if (IsSmbNative(path)) {
        m_file = SmbOpenFile(path, write ? FileMode::Create : FileMode::Read, code);
        return m_file != nullptr;
    }
    m_fd = write ? ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR)
                 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    *code = m_fd < 0 ? Win32ErrorFromErrno(errno) : 0;
    return m_fd >= 0;
}

ssize_t CopyEnd::read(char* buffer, size_t count, int* code)
{
    if (m_file) {
        size_t got = 0;
        if (!m_file->read(buffer, count, &got)) {
            *code = m_file->error();
            return -1;
        }
        return ssize_t(got);
    }
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, count);
        if (got >= 0 || errno != EINTR) {
            *code = got < 0 ? Win32ErrorFromErrno(errno) : 0;
            return got;
        }
    }
}

bool CopyEnd::write(const char* buffer, size_t count, int* code)
{
    if (m_file) {
        *code = m_file->write(buffer, count) ? 0 : m_file->error();
        return *code == 0;
    }
    for (size_t put = 0; put < count;) {
        const ssize_t n = ::write(m_fd, buffer + put, count - put);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *code = Win32ErrorFromErrno(errno);
            return false;
        }
        put += size_t(n);
    }
    return true;
}

bool CopyEnd::close()
{
    if (m_file) {
        const bool closed = m_file->close();
        m_file.reset();
        return closed;
    }
    if (m_fd < 0)
        return true;
    const int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0;
}
