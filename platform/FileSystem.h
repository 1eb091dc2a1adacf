#pragma once
#include "platform/FileAccess.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct TrashItem;

// The file systems the file operations work on, by native path: a local disk through the
// system's calls (NativeFiles.h), a share ("smb://SERVER/SHARE/...", SmbFiles.h) through
// libsmbclient. FileSystemFor picks one for a path; above it nothing asks what kind of path
// it holds, so the copy, move, delete and rename rules are written once for both.
//
// Every call answers with a Win32 code (Win32Error.h), 0 on success. The codes are the
// plain ones of the system's answer: a share's refusal is AccessDenied whether the file or
// the logon was refused. explain() tells those apart for a failure that is reported.

enum class EntryKind { File, Folder, Link, Pipe, Other };

struct FileStatus {
    EntryKind kind = EntryKind::Other;
    uint64_t size = 0;          // bytes of a file (0 for a folder); a link's, its target text
    struct timespec modified {};
    struct timespec accessed {};
    unsigned mode = 0;          // permission bits (07777); a share's are made up, see keepsModes
    unsigned owner = 0;
    unsigned group = 0;
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t links = 0;         // names of the entry (hard links)

    bool isFolder() const { return kind == EntryKind::Folder; }
    bool isFile() const { return kind == EntryKind::File; }
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    /// The entry itself: a link is not followed unless `follow`.
    virtual int status(const std::string& path, FileStatus* status, bool follow = false) = 0;
    /// Whether anything (a dangling link too) is at the path.
    bool exists(const std::string& path);
    /// The names in a folder, "." and ".." left out.
    virtual int list(const std::string& folder, std::vector<std::string>* names) = 0;

    /// A new folder; the mode is a local one's, a share gives its own.
    virtual int makeFolder(const std::string& path, unsigned mode) = 0;
    /// A folder and every missing parent; 0 also when it is there.
    virtual int makePath(const std::string& path) = 0;
    /// DirNotEmpty when something is still in it.
    virtual int removeFolder(const std::string& path) = 0;
    virtual int removeFile(const std::string& path) = 0;
    /// A file, a link or a whole folder tree (links are not followed).
    virtual int removeTree(const std::string& path) = 0;
    /// Gives `from` the name `to` on this file system. With `replace` a file at `to` is
    /// replaced; without it the call fails with AlreadyExists, but a change of case only
    /// of a name is let through. NotSameDevice when the two lie on different volumes or
    /// shares: the caller copies instead.
    virtual int rename(const std::string& from, const std::string& to, bool replace) = 0;

    virtual std::unique_ptr<PlatformFile> openForReading(const std::string& path, int* code) = 0;
    /// A new file for writing, its owner's alone until setMode. On a local disk nothing may
    /// be at the path yet; a share's file is emptied.
    virtual std::unique_ptr<PlatformFile> createFile(const std::string& path, int* code) = 0;

    /// NotSupported where there are none (a share).
    virtual int readLink(const std::string& path, std::string* target) = 0;
    virtual int makeLink(const std::string& target, const std::string& path) = 0;
    virtual int makePipe(const std::string& path, unsigned mode) = 0;

    /// Whether the modes of its entries are its own: a share makes them up from DOS
    /// attributes (archive reads as u+x, hidden as o+x), so they are neither copied from it
    /// nor set on it.
    virtual bool keepsModes() const = 0;
    virtual int setMode(const std::string& path, unsigned mode) = 0;
    /// Gives the entry the modification and access times of `from` (a share keeps the
    /// modification time to the second, and takes it for the access time as well).
    virtual int setTimes(const std::string& path, const FileStatus& from) = 0;

    /// Whether a delete with undo can put the entry aside (a share has no trash).
    virtual bool hasTrash() const = 0;
    virtual int moveToTrash(const std::string& path, TrashItem* item) = 0;

    /// The code to report for a failure `code` of a call on `path`. A share looks at its
    /// server once more to tell a refused logon, a missing share or a missing folder from a
    /// refused or missing file; only the failures that are reported pay for those requests.
    virtual int explain(int code, const std::string& path) { (void)path; return code; }
};

/// The file system of the local disks (links, pipes, modes and the trash included).
FileSystem& LocalFileSystem();
/// The file system of every share, reached through this thread's SMB context.
FileSystem& SmbFileSystem();
/// The one a native path lies on.
FileSystem& FileSystemFor(const std::string& nativePath);

/// Picks the file system of a path; tests hand the file operations one of their own.
using FileSystemPicker = std::function<FileSystem&(const std::string& nativePath)>;
