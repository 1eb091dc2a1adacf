#pragma once
#include "platform/FileAccess.h"

#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>

// Files and folders on SMB shares through this thread's SMB2/3 context.
//
// Two spellings of one place: the program's UNC path "\\SERVER\SHARE\dir\name", and the
// native form "smb://SERVER/SHARE/dir/name" that the file operation engine joins and splits
// like a Linux path. The native form holds names as they are; only the calls into
// libsmbclient escape them, so a name with "%" or "#" in it stays what it is.

/// True for the native form of an SMB path.
bool IsSmbNative(const std::string& path);
/// The native form of "\\SERVER\SHARE[\...]"; empty when the path names no share.
std::string SmbNativePath(const std::string& uncPath);
/// The UNC path of a native form.
std::string UncFromSmbNative(const std::string& native);
/// The share part of a native form ("smb://server/share"), empty for a local path.
std::string SmbShareOf(const std::string& native);
/// The native form of any Windows-style path: a share's entry through SMB, a drive's
/// through the drive map; empty when it has none.
std::string AnyNativePath(const std::string& windowsPath);


// POSIX-like calls on native forms: 0 on success, -1 with errno set.
int SmbStat(const std::string& native, struct stat* st);
int SmbMkdir(const std::string& native);
int SmbRmdir(const std::string& native);
int SmbUnlink(const std::string& native);
/// Refuses (EEXIST) when `to` exists, unless `replace`.
int SmbRename(const std::string& from, const std::string& to, bool replace);
/// Sets the modification time (seconds since 1970).
int SmbSetModified(const std::string& native, time_t modified);

/// Lists a folder with one request per batch of entries (readdirplus2, attributes
/// included; a stat per entry is far slower). "." and ".." are left out, and so is a name
/// that IsPlainName (NativeNames.h) refuses (with a line on standard error). False with errno set.
bool SmbForEachEntry(const std::string& native, const std::function<bool(FindEntry&&)>& visit);

/// Opens a file of a share; null with *error (a Win32 code) on failure.
std::unique_ptr<PlatformFile> SmbOpenFile(const std::string& native, FileMode mode, int* error);

/// The Win32 code for the errno an SMB call on `native` left (1326 for a refused logon).
int SmbError(int err, const std::string& native);

// The FileAccess functions for UNC paths (FileAccess.h says what each does); errors are
// Win32 codes.
namespace smbpath {
std::unique_ptr<PlatformFile> openFile(const std::string& unc, FileMode mode, int* error);
bool fileExists(const std::string& unc);
bool directoryExists(const std::string& unc);
bool forceDirectories(const std::string& unc, int* error);
bool deleteFile(const std::string& unc, int* error);
bool removeDirectory(const std::string& unc, int* error);
bool renameFile(const std::string& from, const std::string& to, int* error);
bool getFileEntry(const std::string& unc, FindEntry& entry, int* error);
bool forEachEntry(const std::string& uncFolder, const std::function<bool(FindEntry&&)>& visit, int* error);
} // namespace smbpath
