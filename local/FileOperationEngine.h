#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Trash.h"

// Our file operation service: copy and move of many files and folders into a folder,
// delete (into the trash when undo is allowed), rename. It works on native paths and asks
// its questions and reports its progress through a FileOperationUi, so it runs on any
// thread and tests answer the questions themselves.
//
// Nothing is lost on failure or cancel: a file is copied to a hidden temporary name in
// the target folder and renamed to its real name only when it is complete; a move deletes
// a source only after its copy is complete; the first error stops the operation.

// Operation codes, as the callers pass them.
enum FileOpCode : uint32_t { FO_MOVE = 1, FO_COPY = 2, FO_DELETE = 3, FO_RENAME = 4, FO_OPEN = 256 };

// Flag bits, as the callers pass them.
enum FileOpFlag : uint16_t {
    FOF_SILENT = 0x0004,           // no progress display
    FOF_NOCONFIRMATION = 0x0010,   // overwrite and delete without asking
    FOF_ALLOWUNDO = 0x0040,        // delete into the trash
    FOF_SIMPLEPROGRESS = 0x0100,   // progress without file names, showing the title
    FOF_NOCONFIRMMKDIR = 0x0200,   // create target folders without asking
};

// Result codes of our own beside the Win32 codes (the values the desktop shell used).
enum FileOpResult : int {
    FileOpSameFile = 0x71,          // source and target are the same entry
    FileOpDestinationInside = 0x76, // a folder into itself or below itself
};

enum class OverwriteAnswer { Yes, YesToAll, No, NoToAll, Cancel };

struct FileOpEntry {
    std::string path;    // native
    uint64_t size = 0;
    time_t modified = 0;
    bool isFolder = false;
};

/// The questions and the progress display of one operation. Called on the engine's thread.
class FileOperationUi {
public:
    virtual ~FileOperationUi() = default;
    /// Before the work, with what it amounts to.
    virtual void begin(uint32_t operation, uint64_t totalBytes, uint64_t totalEntries) = 0;
    /// After each piece of work: bytes done so far and the entry being worked on.
    virtual void progress(uint64_t doneBytes, const std::string& current) = 0;
    /// Asked at every checkpoint; true stops the operation.
    virtual bool cancelled() = 0;
    /// `existing` is in the way of `incoming`.
    virtual OverwriteAnswer askOverwrite(const FileOpEntry& existing, const FileOpEntry& incoming) = 0;
    /// Delete these (into the trash when `toTrash`)?
    virtual bool confirmDelete(const std::vector<std::string>& paths, bool toTrash) = 0;
    virtual void end() = 0;
};

/// A copy that is complete but could not keep its source's dates or mode.
struct FileOpNotKept {
    enum What { Dates, Mode };
    std::string path; // native path of the copy
    What what = Dates;
    int code = 0;     // the Win32 code of the refusal
};

struct FileOperationOutcome {
    int code = 0;                    // 0 success, Win32 code or FileOpResult otherwise
    std::string failedPath;          // native path the failure concerns
    bool aborted = false;            // stopped by the user
    std::vector<TrashItem> trashed;  // what a delete with undo put into the trash
    // Entries that now lie elsewhere as a whole, native (from, to): a rename, and each
    // moved entry whose target did not exist before. A move that merged into a folder or
    // replaced a file is left out, since moving it back would not restore what was there.
    std::vector<std::pair<std::string, std::string>> moved;
    // Copies (also those of a move between volumes) whose dates or mode the target would
    // not take: the first kMaxNotKept of them, and how many there were in all. The
    // operation itself goes on and can succeed.
    static constexpr size_t kMaxNotKept = 20;
    std::vector<FileOpNotKept> notKept;
    size_t notKeptCount = 0;
};

class FileOperationEngine {
public:
    /// Bytes copied per read and write; also the distance between cancel checkpoints.
    static constexpr size_t kCopyChunk = 1 << 20;

    /// `fileSystemFor` picks the file system of each path (FileSystem.h).
    explicit FileOperationEngine(FileOperationUi& ui, FileSystemPicker fileSystemFor = FileSystemFor)
        : m_ui(ui), m_fileSystemFor(std::move(fileSystemFor))
    {
    }

    /// Runs one request. Copy and move: `destination` is the target folder. Rename: one
    /// source and `destination` the new full path. Delete: `destination` unused.
    FileOperationOutcome Run(uint32_t operation, const std::vector<std::string>& sources,
                             const std::string& destination, uint16_t flags);

    /// The callers' source list: paths each followed by a zero byte, one more zero at the
    /// end. Reads at most `size` bytes; stops at the empty entry.
    static std::vector<std::string> SplitSourceList(const char* block, size_t size);
    static std::string MakeSourceList(const std::vector<std::string>& paths);

private:
    struct Stop {};  // unwinds the recursion after an error or a cancel

    void scan(const std::string& path, uint64_t& bytes, uint64_t& entries);
    void copyInto(const std::string& source, const std::string& target, bool move);
    void copyFolder(const std::string& source, const std::string& target, bool move);
    bool copyFile(const std::string& source, const std::string& target, bool move);
    void writeFileAtomically(const std::string& source, const std::string& target, bool durable);
    void copyContents(const std::string& source, const FileStatus& st, const std::string& temp,
                      const std::string& target, bool durable);
    /// Gives a finished copy the mode and dates of its source, noting what it would not take.
    void keepModeAndDates(const std::string& copy, const std::string& shownAs, const FileSystem& sourceFs,
                          const FileStatus& st);
    void noteNotKept(const std::string& path, FileOpNotKept::What what, int code);
    void moveEntry(const std::string& source, const std::string& target);
    bool resolveConflict(const std::string& source, const std::string& target);
    void doDelete(const std::vector<std::string>& sources, bool toTrash);
    void doRename(const std::string& source, const std::string& target);
    /// A rename on one file system; NotSameDevice between two.
    int renameEntry(const std::string& from, const std::string& to, bool replace);
    /// The entry at `path`, or the operation fails with the reason.
    FileStatus statusOrFail(const std::string& path);
    std::vector<std::string> namesOrFail(const std::string& folder);
    std::string copyNameInSameFolder(const std::string& source);
    void checkpoint();
    FileSystem& fs(const std::string& path) { return m_fileSystemFor(path); }
    [[noreturn]] void failWith(int code, const std::string& path);
    /// Fails with the reason its file system gives for `code` on `path`.
    [[noreturn]] void failOn(int code, const std::string& path);

    FileOperationUi& m_ui;
    FileSystemPicker m_fileSystemFor;
    uint16_t m_flags = 0;
    uint64_t m_doneBytes = 0;
    bool m_yesToAll = false;
    bool m_noToAll = false;
    FileOperationOutcome m_outcome;
};
