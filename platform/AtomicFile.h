#pragma once
#include <cstddef>
#include <string>
#include <vector>

// Replacing stored files so that a crash, a kill or a full disk at any moment leaves either
// the old file or the new one: the new content goes to a temporary file beside the target
// (same folder, so the rename never crosses a volume), is flushed to the disk, and is then
// renamed over the target. Windows-style paths, Win32 error codes, as in FileAccess.h.

/// The temporary name this process uses beside `path`: path + ".tmp-" + process id.
std::string TemporaryPath(const std::string& path);

/// A suffix for temporary names (after ".tmp-") that no other call of any process returns:
/// process id + "-" + a count. For files of which two versions may be under way at once.
std::string UniqueTemporarySuffix();

/// Renames `from` over `to`, replacing it in one step, and makes the rename itself durable.
/// False with *error on failure; `to` is then unchanged.
bool ReplaceFile(const std::string& from, const std::string& to, int* error = nullptr);

/// Replaces `path` by exactly `size` bytes of `data` through TemporaryPath(path). On any
/// failure (a full disk included) the old file is untouched and no temporary file is left.
bool WriteFileReplacing(const std::string& path, const void* data, size_t size, int* error = nullptr);

/// For a file that holds a secret (an FTP site's password): makes the folder of `path` one
/// only its owner can enter (0700) and the file, when it exists, readable by its owner only
/// (0600). Call it before the file is written, so the folder closes first, and after.
/// False when either cannot be changed.
bool KeepSecret(const std::string& path);

/// Removes what interrupted replacements of `path` left behind: path + ".tmp-<pid>" and
/// ".tmp-<pid>-<count>" files whose process no longer runs. Those of running processes are theirs to finish.
void RemoveStaleTemporaries(const std::string& path);
/// The same for several files of one folder, in one reading of the folder: a search opens
/// thousands of listings, and their folder can hold thousands of files.
void RemoveStaleTemporaries(const std::vector<std::string>& pathsInOneFolder);

/// True when `suffix` has the form of the text after ".tmp-": "<pid>" or "<pid>-<count>".
bool IsTemporarySuffix(const std::string& suffix);

/// True when `suffix` (the text after ".tmp-") names a process that no longer runs.
bool IsStaleTemporarySuffix(const std::string& suffix);
