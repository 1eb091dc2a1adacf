#pragma once
#include "platform/DriveMap.h"
#include "support/TempFolder.h"

#include <filesystem>
#include <string>

// A temporary folder addressed as the program addresses folders: Windows-style, with a
// trailing backslash.
class StoreFolder : public TempFolder {
public:
    /// The folder (or `name` inside it) as a Windows-style path; folders end in "\".
    std::string win(const std::string& name = "") const
    {
        std::string native = path(name);
        std::string result = WindowsPath(native);
        // A folder that is a mount point is a drive root, which ends in "\" already.
        if ((name.empty() || std::filesystem::is_directory(native)) && result.back() != '\\')
            result += '\\';
        return result;
    }
    void copyFrom(const std::filesystem::path& source, const std::string& name) const
    {
        std::filesystem::copy_file(source, path(name), std::filesystem::copy_options::overwrite_existing);
        std::filesystem::permissions(path(name), std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    }
    bool exists(const std::string& name) const { return std::filesystem::exists(path(name)); }
};
