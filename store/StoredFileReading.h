#pragma once
#include "platform/FileAccess.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// Reading the cache's stored files: whole or in slices. Every shortfall is damage
// or the system's error, never a silently shorter file.

/// Throws the program's text for a damaged cache file.
[[noreturn]] void RaiseDamagedCacheFile(const std::string& path);

/// All of `file` (at `path`), read into a string: the system's text when a read fails,
/// damage when the file ends before its size.
std::string ReadCacheFileWhole(PlatformFile& file, const std::string& path);

/// A file whole in memory, read into a buffer that is not cleared first and that the thread
/// keeps for its next file: the listing of a computer is megabytes, and clearing them, or
/// the system's handing out of fresh pages for each computer, cost as much as reading them.
/// A mapping of the file is no cheaper: every search takes all of its pages in afresh, which
/// cost the search more than the copy does. A read while the thread's buffer is in use (a
/// visit that reads another listing) gets a buffer of its own.
class WholeFile {
public:
    WholeFile();
    ~WholeFile();
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;

    /// Reads all of `file` (at `path`): the system's text when a read fails, damage when
    /// the file ends before its size.
    void read(PlatformFile& file, const std::string& path);
    const char* data() const { return m_data; }
    size_t size() const { return m_size; }

private:
    static constexpr size_t KeptBytes = size_t(64) << 20;  // a larger buffer is not kept
    static thread_local std::unique_ptr<char[]> t_buffer;
    static thread_local size_t t_capacity;
    static thread_local bool t_inUse;
    bool m_shared = false;
    std::unique_ptr<char[]> m_own;
    const char* m_data = nullptr;
    size_t m_size = 0;
};

/// Reads a file sequentially in slices, so that a large file is never held whole.
class SliceReader {
public:
    explicit SliceReader(PlatformFile& file) : m_file(file) {}

    /// Exactly `count` bytes, or false at the end of the file.
    bool read(unsigned char* out, size_t count);

private:
    bool refill();

    PlatformFile& m_file;
    std::vector<unsigned char> m_data;
    size_t m_pos = 0;
};
