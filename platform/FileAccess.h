#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// File access by Windows-style path, with the sharing rules of the stored formats:
// a read shares with reads, a write excludes everything, a conflict fails at once with
// the sharing-violation code (32). The locks are advisory locks on the open file
// description (flock / open file description locks), honoured by every program of the
// family, so two programs never interleave writes in one file.

enum class FileMode { Read, ReadWrite, Create /* truncate or make, for writing */, OpenOrCreate };

class PlatformFile {
public:
    virtual ~PlatformFile() = default;
    /// Each returns false and leaves error() set on failure (a Win32 code).
    virtual bool read(void* buffer, size_t count, size_t* got) = 0;
    virtual bool write(const void* buffer, size_t count) = 0;
    virtual bool seek(int64_t offset) = 0;
    virtual int64_t size() = 0;
    virtual bool truncate(int64_t size) = 0;
    virtual bool flush() = 0;
    int error() const { return m_error; }

protected:
    int m_error = 0;
};

/// Opens a file; null with *error set (Win32 code) on failure.
std::unique_ptr<PlatformFile> OpenFile(const std::string& path, FileMode mode, int* error);

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
/// Creates a folder and every missing parent. False with *error on failure.
bool ForceDirectories(const std::string& path, int* error = nullptr);
bool DeleteFile(const std::string& path, int* error = nullptr);
bool RemoveDirectory(const std::string& path, int* error = nullptr);
bool RenameFile(const std::string& from, const std::string& to, int* error = nullptr);

struct FindEntry {
    std::string name;        // UTF-8
    uint64_t size = 0;
    uint32_t attributes = 0; // Win32 attribute bits (0x10 folder, 0x01 read-only, 0x02 hidden)
    double modified = 0;     // days since 1899-12-30, local time
};

/// Lists a folder ("." and ".." left out), in the order the file system gives.
/// False with *error on failure.
bool ListDirectory(const std::string& folder, std::vector<FindEntry>& entries, int* error = nullptr);
