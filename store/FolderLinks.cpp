#include "store/FolderLinks.h"

#include "platform/DriveMap.h"

#include <sys/stat.h>
#include <unistd.h>

bool IsSymbolicLink(const std::string& path)
{
    std::string native = NativePath(path);
    while (native.size() > 1 && native.back() == '/')
        native.pop_back();
    struct stat st;
    return !native.empty() && lstat(native.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool RemoveSymbolicLink(const std::string& path)
{
    if (!IsSymbolicLink(path))
        return false;
    std::string native = NativePath(path);
    while (native.size() > 1 && native.back() == '/')
        native.pop_back();
    return unlink(native.c_str()) == 0;
}
