#pragma once
#include "platform/FileAccess.h"

#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

// The file system calls of the file operation engine on native paths. Those of shares
// ("smb://server/share/...") go through the SMB layer, which answers with errno values
// just as the system calls do, so the engine keeps one set of rules for both.

int fsLstat(const std::string& path, struct stat* st);
int fsMkdir(const std::string& path, mode_t mode);
int fsRmdir(const std::string& path);
int fsUnlink(const std::string& path);
bool fsExists(const std::string& path);
/// The share part of an SMB path ("smb://server/share"), empty for a local one.
std::string shareOf(const std::string& path);
/// rename(2): replaces a file; EXDEV between volumes, between shares, or a share and a disk.
int fsRename(const std::string& from, const std::string& to);
/// Makes a folder and its missing parents.
bool fsMakePath(const std::string& path);
/// Deletes a file or a whole folder tree; false with *error (a Win32 code).
bool fsRemoveTree(const std::string& path, int* error);
/// The names in a folder, "." and ".." left out; *err is an errno value (0 on success).
std::vector<std::string> listNames(const std::string& folder, int* err);

/// One end of a file copy: a local file descriptor or a file of a share. Errors are
/// Win32 codes.
class CopyEnd {
public:
    /// Reading opens an existing file; writing makes a new one (a local one must not exist).
    bool open(const std::string& path, bool write, int* code);
    ~CopyEnd() { close(); }
    /// Bytes read, 0 at the end, -1 with *code on failure.
    ssize_t read(char* buffer, size_t count, int* code);
    bool write(const char* buffer, size_t count, int* code);
    /// Local files only (-1 otherwise): the descriptor, for the mode, times and fsync.
    int fd() const { return m_fd; }
    bool close();

private:
    int m_fd = -1;
    std::unique_ptr<PlatformFile> m_file;
};
