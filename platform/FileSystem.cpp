#include "platform/FileSystem.h"

#include "platform/SmbFiles.h"

bool FileSystem::exists(const std::string& path)
{
    FileStatus status;
    return this->status(path, &status) == 0;
}

FileSystem& FileSystemFor(const std::string& nativePath)
{
    return IsSmbNative(nativePath) ? SmbFileSystem() : LocalFileSystem();
}
