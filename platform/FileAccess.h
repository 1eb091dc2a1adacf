#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// File access by Windows-style path, with the sharing rules of the stored formats:
// a read shares with reads, a write excludes everything, a conflict fails at once with
// the sharing-violation code (32). The locks are advisory locks on the open file
// description (flock), honoured by every program of the family, so two programs never
// interleave writes in one file; two opens within one process conflict the same way.
// Deleting or renaming a file that someone holds open fails with 32 too, as it does where
// these rules come from.
//
// Paths are translated by NativePath (DriveMap.h); a UNC path (\\SERVER\SHARE\...) goes to
// the share through libsmbclient (SmbFiles.h), where the server keeps the sharing rules.
// Errors are Win32 codes (Win32Error.h).

/// Read shares with other reads; the others are writes and exclude everything. Create
/// empties an existing file only after its lock is held, so a refused open changes nothing.
enum class FileMode { Read, ReadWrite, Create /* truncate or make, for writing */, OpenOrCreate };

class PlatformFile {
public:
    virtual ~PlatformFile() = default;
    /// Each returns false and leaves error() set on failure (a Win32 code).
    /// read() succeeds with *got < count at the end of the file.
    virtual bool read(void* buffer, size_t count, size_t* got) = 0;
    virtual bool write(const void* buffer, size_t count) = 0;
    virtual bool seek(int64_t offset) = 0;
    virtual int64_t size() = 0;
    virtual bool truncate(int64_t size) = 0;
    virtual bool flush() = 0;
    /// Current offset, -1 when unknown.
    virtual int64_t position() { return -1; }
    /// Closes now: false, with error() and errno set, when the server or the disk did not
    /// confirm the file's last writes. The destructor closes a file still open, silently.
    virtual bool close() { return true; }
    int error() const { return m_error; }

protected:
    int m_error = 0;
};

/// Raises Exception with the system's text for a Win32 code (0, which carries no reason,
/// reads as file-not-found).
[[noreturn]] void RaiseFileError(int code);

/// OpenFile that raises Exception with the system's text instead of returning null.
std::unique_ptr<PlatformFile> OpenFileOrRaise(const std::string& path, FileMode mode);

/// Opens a file; null with *error set (Win32 code) on failure.
std::unique_ptr<PlatformFile> OpenFile(const std::string& path, FileMode mode, int* error);

/// A local file already open, as a PlatformFile that owns the descriptor; no sharing lock
/// is taken.
std::unique_ptr<PlatformFile> PlatformFileFromDescriptor(int fd);

/// True for an existing file that is not a folder.
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
/// Creates a folder and every missing parent. False with *error on failure.
bool ForceDirectories(const std::string& path, int* error = nullptr);
/// True when `path` is a UNC path (\\SERVER\...).
bool IsUncPath(const std::string& path);
bool DeleteFile(const std::string& path, int* error = nullptr);
bool RemoveDirectory(const std::string& path, int* error = nullptr);
/// Fails with AlreadyExists (183) when `to` exists, as the system's move does.
bool RenameFile(const std::string& from, const std::string& to, int* error = nullptr);

struct FindEntry {
    std::string name;        // the program's form of the Linux name (ProgramName), valid UTF-8
                             // without a backslash, so that the path made from it opens it
    uint64_t size = 0;
    uint32_t attributes = 0; // Win32 attribute bits (0x10 folder, 0x01 read-only, 0x02 hidden,
                             // 0x20 archive on every file, as a typical volume shows them)
    double modified = 0;     // days since 1899-12-30, local time
    bool symlink = false;     // the name is a symbolic link (attributes are its target's)
    bool executable = false;  // a file its owner may run
};

/// The entry of one file or folder, as a listing of its folder would give it ("C:\dir\"
/// and "C:\dir" alike). False with *error on failure.
bool GetFileEntry(const std::string& path, FindEntry& entry, int* error = nullptr);

/// Lists a folder ("." and ".." left out), in the order the file system gives. `folder`
/// may end in a pattern with '*' and '?' ("C:\dir\*.*"; "*.*" matches every name),
/// matched without regard to ASCII case. Symbolic links show their target's attributes.
/// False with *error on failure.
bool ListDirectory(const std::string& folder, std::vector<FindEntry>& entries, int* error = nullptr);

/// As ListDirectory, but hands each entry to `visit` as it is read, without collecting them;
/// the listing ends early (still successfully) when `visit` returns false, so a caller can
/// stop between entries.
bool ForEachDirectoryEntry(const std::string& folder, const std::function<bool(FindEntry&&)>& visit,
                           int* error = nullptr);
