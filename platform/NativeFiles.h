#pragma once
#include "platform/FileSystem.h"

#include <string>
#include <sys/stat.h>

// Small helpers on native (Linux) paths shared by the trash and the file operation
// engine, and the local disks' FileSystem (LocalFileSystem, FileSystem.h). Errors are
// Win32 codes, as everywhere above the platform layer.

/// Deletes a file, a symbolic link or a whole folder tree (links are not followed).
/// Stops at the first failure and returns false with *error set.
bool RemoveTree(const std::string& nativePath, int* error = nullptr);

/// The last component of a native path ("/a/b/" gives "b").
std::string NativeBaseName(const std::string& nativePath);
/// The folder part of a native path, without a trailing slash ("/a/b" gives "/a"; "/a" gives "/").
std::string NativeDirName(const std::string& nativePath);
/// `folder` + "/" + `name`, without doubling the slash.
std::string NativeJoin(const std::string& folder, const std::string& name);

/// True when `inner` is `outer` or lies below it (textual, both absolute and clean).
bool NativeIsSameOrBelow(const std::string& inner, const std::string& outer);

/// Creates a folder and every missing parent, new ones with `mode`. True when it exists.
bool MakeNativePath(const std::string& nativePath, unsigned mode = 0755);

/// Whether something (a link counts, even a dangling one) exists at the path.
bool NativeExists(const std::string& nativePath);

/// The status of a stat(2) answer (libsmbclient answers in the same form).
FileStatus StatusFromStat(const struct stat& st);

/// The mode a new file (or folder) of the user's gets: 0666 (0777) less the process's umask.
unsigned NewEntryMode(bool folder);
