#pragma once
#include "store/TNodeData.h"

#include <memory>
#include <string>
#include <vector>

// The node files: "ALL.NOD" in a node's StoreDir holds its 704-byte record. Every call
// opens, works and closes. A write holds the file exclusively, reads share it with reads;
// a conflict fails at once with the sharing-violation text. Failures throw Exception.

using TNodeList = std::vector<std::unique_ptr<TNodeData>>;

constexpr const char* NodeFileName = "ALL.NOD";

/// Writes the record of `data` into StoreDir + "ALL.NOD" (created when missing): at
/// RecordOffset when known, else over the first record with the same Key (tombstones
/// included), else after the last whole record; sets RecordOffset when it was -1. A live
/// node with the Domain flag gets its folder StoreDir + Key. A partial record at the end of
/// the file is first copied to DamagedTailPath (with a number after it when that exists)
/// and cut off, so the record goes after the last whole one.
void WriteNodeRecord(TNodeData& data);

/// Where a write keeps the partial record it found at the end of `nodeFile`: beside it.
std::string DamagedTailPath(const std::string& nodeFile);

/// Writes several records of one node file as one change: each is placed as
/// WriteNodeRecord places it, and the file is replaced through a temporary file, so a crash
/// leaves either all the old records or all the new ones. Every record must have the same
/// StoreDir. Sets RecordOffset of each; makes the folders of live Domain nodes.
void WriteNodeRecords(const std::vector<TNodeData*>& records);

/// Fills `data` from its record in StoreDir + "ALL.NOD": the one at RecordOffset when
/// known, else the first with the same Key ("Not Found Data" when none). The low 16 bits
/// of State become exactly Idle.
void ReadNodeRecord(TNodeData& data);

/// Appends a new TNodeData for every live record of folder + "ALL.NOD" (folder ends in a
/// backslash), with RecordOffset, StoreDir = folder and State's low bits exactly Idle;
/// sorted with CompareNodes when asked. A missing file adds nothing.
void LoadNodeFile(const std::string& folder, TNodeList& list, bool sorted);

/// Every whole record of folder + "ALL.NOD" exactly as stored (State untouched, tombstones
/// included), each with RecordOffset and StoreDir set. A missing file gives none.
TNodeList ReadStoredRecords(const std::string& folder);

/// Deletes the node's cache (a Computer's ".LST" and ".IDX", a Domain node's folder) and,
/// when asked, turns its record into a tombstone. A Key that is not a plain name ("..", a
/// path, empty) is refused: the cache of such a node would lie outside its StoreDir.
void DeleteNodeCache(TNodeData& data, bool markDeleted);
