#include "platform/ProgramFolder.h"

#include "platform/DriveMap.h"
#include "platform/Environment.h"
#include "platform/FileAccess.h"

#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Tried rather than asked: access() says yes to root on a read-only file system.
bool IsWritableFolder(const std::string& folder)
{
    const std::string probe = folder + "/.tamsel-probe-" + std::to_string(getpid());
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

bool IsSystemFolder(const std::string& folder)
{
    for (const char* system : {"/usr", "/bin", "/sbin", "/lib", "/lib32", "/lib64"}) {
        const std::string s = system;
        if (folder == s || folder.rfind(s + "/", 0) == 0)
            return true;
    }
    return false;
}

std::string WithBackslash(const std::string& windowsPath)
{
    return !windowsPath.empty() && windowsPath.back() != '\\' ? windowsPath + "\\" : windowsPath;
}

}  // namespace

std::string ProgramFolderFrom(const std::string& exeFolder)
{
    std::string home = EnvironmentValue("TAMSEL_HOME");
    if (!home.empty()) {
        while (home.size() > 1 && home.back() == '/')
            home.pop_back();
        const std::string path = WithBackslash(WindowsPath(home));
        ForceDirectories(path);
        return path;
    }
    if (!exeFolder.empty() && !IsSystemFolder(exeFolder) && IsWritableFolder(exeFolder)) {
        const std::string path = WindowsPath(exeFolder);
        if (!path.empty())
            return WithBackslash(path);
    }
    const std::string path = WithBackslash(WindowsPath(XdgFolder("XDG_DATA_HOME", ".local/share") + "/tamsel"));
    ForceDirectories(path);
    return path;
}

std::string ExecutableFolder()
{
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string folder;
    if (n > 0) {
        folder.assign(exe, static_cast<size_t>(n));
        folder.resize(folder.rfind('/') == 0 ? 1 : folder.rfind('/'));
    }
    return folder;
}

std::string ProgramFolder()
{
    return ProgramFolderFrom(ExecutableFolder());
}
