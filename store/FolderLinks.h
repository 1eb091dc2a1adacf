#pragma once
#include <string>

// Symbolic links inside the cache. The file layer lists a link with its target's
// attributes, so a link to a folder looks like a folder; deleting or archiving a cache
// tree must not walk through one into a folder outside the tree. Windows-style paths.

/// True when `path` is a symbolic link (to anything, or dangling).
bool IsSymbolicLink(const std::string& path);

/// Removes the link itself, never its target. False when it is not a link or cannot go.
bool RemoveSymbolicLink(const std::string& path);
