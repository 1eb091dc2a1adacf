#include "platform/AtomicFile.h"

#include "platform/DriveMap.h"
#include "platform/FileAccess.h"
#include "platform/Win32Error.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string NativeFolderOf(const std::string& native)
{
    const size_t slash = native.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : native.substr(0, slash);
}

void SyncFolder(const std::string& native)
{
    const int fd = ::open(NativeFolderOf(native).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        ::close(fd);
    }
}

}  // namespace

std::string TemporaryPath(const std::string& path)
{
    return path + ".tmp-" + std::to_string(getpid());
}

std::string UniqueTemporarySuffix()
{
    static std::atomic<unsigned> count{0};
    return std::to_string(getpid()) + "-" + std::to_string(++count);
}

bool IsTemporarySuffix(const std::string& suffix)
{
    const auto digits = [](std::string_view text, size_t most) {
        return !text.empty() && text.size() <= most && text.find_first_not_of("0123456789") == std::string_view::npos;
    };
    const size_t dash = suffix.find('-');
    return digits(std::string_view(suffix).substr(0, dash), 9)
        && (dash == std::string::npos || digits(std::string_view(suffix).substr(dash + 1), 10));
}

bool IsStaleTemporarySuffix(const std::string& suffix)
{
    if (!IsTemporarySuffix(suffix))
        return false;
    const long pid = std::stol(suffix.substr(0, suffix.find('-')));
    return pid > 0 && pid != getpid() && kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

bool ReplaceFile(const std::string& from, const std::string& to, int* error)
{
    const std::string source = NativePath(from);
    const std::string target = NativePath(to);
    if (source.empty() || target.empty()) {
        if (error)
            *error = Win32::InvalidName;
        return false;
    }
    if (std::rename(source.c_str(), target.c_str()) != 0) {
        if (error)
            *error = Win32ErrorFromErrno(errno);
        return false;
    }
    SyncFolder(target);
    if (error)
        *error = Win32::NoError;
    return true;
}

bool WriteFileReplacing(const std::string& path, const void* data, size_t size, int* error)
{
    const std::string temp = TemporaryPath(path);
    int code = 0;
    {
        auto file = OpenFile(temp, FileMode::Create, &code);
        if (!file) {
            if (error)
                *error = code;
            return false;
        }
        if ((size > 0 && !file->write(data, size)) || !file->flush()) {
            code = file->error();
            file.reset();
            DeleteFile(temp);
            if (error)
                *error = code;
            return false;
        }
    }
    if (!ReplaceFile(temp, path, error)) {
        DeleteFile(temp);
        return false;
    }
    return true;
}

bool KeepSecret(const std::string& path)
{
    const std::string native = NativePath(path);
    if (native.empty())
        return false;
    if (::chmod(NativeFolderOf(native).c_str(), 0700) != 0)
        return false;
    return ::chmod(native.c_str(), 0600) == 0 || errno == ENOENT;
}

void RemoveStaleTemporaries(const std::string& path)
{
    RemoveStaleTemporaries(std::vector<std::string>{path});
}

void RemoveStaleTemporaries(const std::vector<std::string>& pathsInOneFolder)
{
    std::string folder;
    std::vector<std::string> prefixes;
    for (const std::string& path : pathsInOneFolder) {
        const std::string native = NativePath(path);
        if (native.empty())
            continue;
        folder = NativeFolderOf(native);
        prefixes.push_back(native.substr(native.rfind('/') + 1) + ".tmp-");
    }
    if (prefixes.empty())
        return;
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* d = readdir(dir)) {
        const std::string_view name = d->d_name;
        for (const std::string& prefix : prefixes)
            if (name.size() > prefix.size() && name.starts_with(prefix)
                && IsStaleTemporarySuffix(std::string(name.substr(prefix.size())))) {
                unlinkat(dirfd(dir), d->d_name, 0);
                break;
            }
    }
    closedir(dir);
}
