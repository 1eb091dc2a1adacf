#include "platform/TextPathAlias.h"

#include "platform/Environment.h"
#include "platform/NativeNames.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr time_t kAliasLifetimeSeconds = 24 * 60 * 60;
constexpr size_t kLongestName = 255;
constexpr size_t kLongestKeptExtension = 32;

// The private folder, made when missing. Anything else at its place (a link, a folder of
// another user or one that others may enter) is refused: an alias there could be swapped
// for a link to some other file before the application opens it.
bool privateFolder(const std::string& folder, int& error)
{
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = errno;
        return false;
    }
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) {
        error = errno;
        return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
        error = EACCES;
        return false;
    }
    return true;
}

// Removes the aliases that are older than their lifetime. Each alias is one folder holding
// one link; nothing is followed, so no file an alias points at is ever touched.
void removeOldAliases(const std::string& folder)
{
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folderFd < 0)
        return;
    DIR* dir = ::fdopendir(folderFd);
    if (!dir) {
        ::close(folderFd);
        return;
    }
    const time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat st {};
        if (name == "." || name == ".." || ::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISDIR(st.st_mode) || now - st.st_mtime < kAliasLifetimeSeconds)
            continue;
        const int aliasFd = ::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (aliasFd < 0)
            continue;
        if (DIR* alias = ::fdopendir(aliasFd)) {
            while (const dirent* link = ::readdir(alias)) {
                const std::string linkName = link->d_name;
                if (linkName != "." && linkName != "..")
                    ::unlinkat(aliasFd, linkName.c_str(), 0);
            }
            ::closedir(alias);
        } else {
            ::close(aliasFd);
        }
        ::unlinkat(folderFd, name.c_str(), AT_REMOVEDIR);
    }
    ::closedir(dir);
}

// The alias's name: the readable form of the native name, or, past the longest name a
// folder holds, a short name that keeps the extension so the type is still told by name.
std::string aliasName(const std::string& nativeName)
{
    const std::string readable = ProgramName(nativeName);
    if (readable.size() <= kLongestName)
        return readable;
    const size_t dot = readable.rfind('.');
    if (dot != std::string::npos && readable.size() - dot <= kLongestKeptExtension)
        return "file" + readable.substr(dot);
    return "file";
}

} // namespace

std::string TextPathAliasFolder()
{
    const std::string runtime = EnvironmentValue("XDG_RUNTIME_DIR");
    struct stat st {};
    if (!runtime.empty() && runtime[0] == '/' && ::stat(runtime.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return runtime + "/tamsel-aliases";
    return "/tmp/tamsel-aliases-" + std::to_string(::geteuid());
}

std::string TextPathAlias(const std::string& nativePath, int* error)
{
    if (IsValidUtf8(nativePath))
        return nativePath;
    int code = 0;
    auto fail = [&](int number) {
        if (error)
            *error = number;
        return std::string();
    };
    std::string target = nativePath;
    while (target.size() > 1 && target.back() == '/')
        target.pop_back();
    if (target.empty() || target[0] != '/') {
        char* current = ::getcwd(nullptr, 0);
        if (!current)
            return fail(errno);
        target = std::string(current) + "/" + target;
        std::free(current);
    }
    const std::string folder = TextPathAliasFolder();
    if (!privateFolder(folder, code))
        return fail(code);
    removeOldAliases(folder);
    std::string made = folder + "/XXXXXX";
    if (!::mkdtemp(made.data()))
        return fail(errno);
    const std::string alias = made + "/" + aliasName(target.substr(target.rfind('/') + 1));
    if (::symlink(target.c_str(), alias.c_str()) != 0) {
        code = errno;
        ::rmdir(made.c_str());
        return fail(code);
    }
    return alias;
}
