#include "platform/NativeFiles.h"

#include "platform/Win32Error.h"

#include <cerrno>
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
