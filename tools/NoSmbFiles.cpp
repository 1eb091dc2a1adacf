// For programs that read only files of this machine (pallisk reads the local cache): the
// SMB side of the file layer answers "not supported" instead of reaching libsmbclient.
// Linked before the core, these definitions keep the core's SMB files, and with them
// libsmbclient and the hundred libraries it loads, out of the program: loading them took
// longer than a search of a million entries.
#include "platform/SmbFiles.h"

namespace {
constexpr int ErrorNotSupported = 50;  // the Win32 code

bool refuse(int* error)
{
    if (error)
        *error = ErrorNotSupported;
    return false;
}
} // namespace

namespace smbpath {
std::unique_ptr<PlatformFile> openFile(const std::string&, FileMode, int* error)
{
    refuse(error);
    return nullptr;
}
bool fileExists(const std::string&) { return false; }
bool directoryExists(const std::string&) { return false; }
bool forceDirectories(const std::string&, int* error) { return refuse(error); }
bool deleteFile(const std::string&, int* error) { return refuse(error); }
bool removeDirectory(const std::string&, int* error) { return refuse(error); }
bool renameFile(const std::string&, const std::string&, int* error) { return refuse(error); }
bool getFileEntry(const std::string&, FindEntry&, int* error) { return refuse(error); }
bool forEachEntry(const std::string&, const std::function<bool(FindEntry&&)>&, int* error) { return refuse(error); }
} // namespace smbpath
