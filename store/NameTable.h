#pragma once
#include "platform/ServerNames.h"
#include "store/TNodeData.h"

#include <functional>
#include <string>
#include <vector>

// The name table of the expanded network: an lmhosts-format file ("address     NAME" a
// line) built from the computers the user stored with their addresses, so that a name of
// the expanded network resolves to the address the user gave for it.

struct StoredComputer {
    std::string host;  // the address the user gave
    std::string name;  // the record's key
};

/// The name table file in the program folder `exePath` (which ends in a backslash).
std::string NameTablePath(const std::string& exePath);

/// Every record of the node store below `cachePath`, depth first: first the expanded
/// network ("Expanded\"), then the bookmarks ("Bookmark\"), a stored folder's records right
/// after it. A damaged node file raises its Exception.
void VisitStoredNodes(const std::string& cachePath, const std::function<void(const TNodeData&)>& visit);

/// The computers of the node store below `cachePath`, depth first: first the expanded
/// network ("Expanded\"), then the bookmarks ("Bookmark\"). A stored folder is descended
/// into; an expanded-network computer or a bookmarked computer contributes its address and
/// key. `afterRecord` runs after each record read (the window lets its messages run).
/// A damaged node file raises its Exception.
std::vector<StoredComputer> CollectStoredComputers(const std::string& cachePath,
                                                   const std::function<void()>& afterRecord = {});

/// The lines of the table in collection order: address, five spaces, name. A name already
/// in the table (letters compared without case) asks `replace(newLine, oldLine)`: true puts
/// the new line in the old one's place, false drops the new line.
std::vector<std::string> BuildNameTable(const std::vector<StoredComputer>& computers,
                                        const std::function<bool(const std::string&, const std::string&)>& replace);

/// One line of a table: address, five spaces, name; empty when either is blank or holds a
/// line break, which would make a line the resolver reads as something else.
std::string NameTableLine(const std::string& address, const std::string& name);

/// The entries of the table file at `path`; none when it is missing or unreadable. A file far
/// beyond a few lines per computer is not one of ours: only its first mebibyte counts.
std::vector<NameTableEntry> ReadNameTable(const std::string& path);

/// Replaces the file at `path` by `lines`, written in CP950; the old table stays whole when
/// writing fails.
/// Raises Exception with the system's text on failure.
void SaveNameTable(const std::string& path, const std::vector<std::string>& lines);
