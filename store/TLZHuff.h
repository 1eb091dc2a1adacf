#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

class PlatformFile;

/// The block coder of the cache archive: LZSS with a 4096-byte window, 18-byte look-ahead
/// and a binary-tree match finder, plus the archive's export and import.
///
/// One window serves every block of one archive: it starts zero-filled, is never cleared,
/// and each block starts writing at position 4078, so a block may refer to bytes that
/// earlier blocks left behind. Only the match finder's tree is reset per block. Blocks
/// must therefore be coded and decoded in archive order by one object; an object serves
/// one job (one export or one import).
class TLZHuff {
public:
    static constexpr int N = 4096;          // window size
    static constexpr int F = 18;            // look-ahead, the longest match
    static constexpr int Threshold = 2;     // matches of Threshold + 1 bytes or more are coded
    static constexpr uint32_t ProgressStep = 10240;
    static constexpr uint16_t Magic = 0xE1E1;

    using Event = std::function<void(TLZHuff& sender)>;

    TLZHuff();
    TLZHuff(const TLZHuff&) = delete;
    TLZHuff& operator=(const TLZHuff&) = delete;

    /// Appends one block (4-byte size, then the coded data) for `source` to `archive`.
    /// Returns false without writing when cancelled; writes only the size 0 and returns
    /// false for an empty source; else true. Throws Exception for a source of 4 GiB or
    /// more, which the 32-bit size field cannot state.
    bool EncodeBlock(std::span<const uint8_t> source, std::vector<uint8_t>& archive);

    /// Reads the block that starts at `archive[pos]` into `target` (replaced) and moves
    /// `pos` just past the last coded byte consumed. Returns false when cancelled or when
    /// the block is empty (size 0). Throws Exception("Read Error") when fewer than 4 bytes
    /// remain for the size. When the coded bytes run out before the stated size was
    /// produced, `target` holds what was decoded and lastBlockShort() is true.
    bool DecodeBlock(std::span<const uint8_t> archive, size_t& pos, std::vector<uint8_t>& target);

    /// Writes the archive `archivePath` of the files and folders `paths`, which lie directly
    /// in `baseFolder`. Windows-style paths. The archive is made under a temporary name and
    /// replaces an old one only when complete: on failure (Exception) or when stopped by
    /// Cancel (false) the old archive stays as it was and no partial file is left.
    bool ExportArchive(const std::string& baseFolder, const std::vector<std::string>& paths,
                       const std::string& archivePath);

    /// Recreates the files of `archivePath` under `baseFolder`, all or none: every member is
    /// decoded to a temporary file beside its target, and only when the whole archive is
    /// sound (each member complete, none larger than its stated size, nothing after the
    /// last) do they replace the files of the cache. Throws Exception on a foreign file, a
    /// name that would leave the base folder or a damaged member (named in the message);
    /// returns false when stopped by Cancel. Either way nothing of the cache is changed.
    bool ImportArchive(const std::string& archivePath, const std::string& baseFolder);

    /// Appends the relative names of all files under baseFolder + relFolder (relFolder
    /// empty or ending in a backslash), depth-first in the order the folders list them.
    void CollectFiles(const std::string& baseFolder, const std::string& relFolder,
                      std::vector<std::string>& list);

    /// Stops the running job at the next check; safe from a progress handler.
    void Cancel() { m_cancel.store(true, std::memory_order_relaxed); }
    bool cancelled() const { return m_cancel.load(std::memory_order_relaxed); }

    /// Zero-fills the window, as at the start of an archive.
    void resetWindow();

    // Progress of the current block and job, for the event handlers.
    uint32_t sourceSize() const { return m_sourceSize; }
    uint64_t produced() const { return m_produced; }
    int fileIndex() const { return m_fileIndex; }
    int fileCount() const { return m_fileCount; }
    const std::string& currentPath() const { return m_currentPath; }
    const std::string& currentName() const { return m_currentName; }
    bool lastBlockShort() const { return m_lastBlockShort; }
    /// The last decoded block holds more coded content than its size states (a damaged
    /// size field): told by a match that runs past the size or a literal still due.
    bool lastBlockLong() const { return m_lastBlockLong; }

    Event OnProgress;
    Event OnBlockDecoded;
    Event OnBlockEncoded;

private:
    static constexpr int Nil = N;  // the tree's empty mark

    void initTree();
    uint32_t childPair(int p) const;
    void insertNode(int r);
    void deleteNode(int p);
    void replaceNode(int p, int r);
    size_t encode(const uint8_t* in, size_t size, uint8_t* out);
    size_t decode(const uint8_t* in, size_t inSize, uint32_t size, std::vector<uint8_t>& target);
    void progress(uint64_t produced);

    bool encodeFile(PlatformFile& archive, const std::string& path);
    bool decodeToFile(PlatformFile& archive, int64_t& pos, int64_t archiveSize,
                      const std::string& path, std::vector<uint8_t>* keep);

    // The window plus a copy of its first F - 1 bytes, so that comparisons never wrap,
    // plus room for the match finder's reads at the empty mark (N).
    uint8_t m_window[N + F - 1 + 8];
    uint16_t m_child[N + 257][2];  // [0] left, [1] right; N + 1 + c is the root for byte c
    uint16_t m_parent[N + 1];
    int m_matchPosition = 0;
    int m_matchLength = 0;
    int m_prevInsert = Nil;  // the last position inserted, and the node it matched in full
    int m_prevFull = Nil;

    uint64_t m_nextProgress = 0;
    uint32_t m_sourceSize = 0;
    uint64_t m_produced = 0;
    int m_fileIndex = 0;
    int m_fileCount = 1;
    bool m_lastBlockShort = false;
    bool m_lastBlockLong = false;
    std::atomic<bool> m_cancel{false};
    std::string m_currentPath;
    std::string m_currentName;
};
