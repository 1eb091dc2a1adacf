#pragma once
#include <cstddef>

struct TNodeData;

// A node's attachment: StoreDir + Key + ".ATT", a block of fixed size that the node's kind
// gives meaning to (an FTP site's block, FtpSiteBlock.h). No header: the file is the block.

/// Reads exactly `size` bytes of StoreDir + Key + ".ATT" ("Read Error" when shorter).
void ReadNodeAttachment(const TNodeData& data, void* buffer, size_t size);
/// Replaces StoreDir + Key + ".ATT" by exactly `size` bytes through a temporary file
/// ("Write Error" on a full disk, the old file then kept). The file may hold a password:
/// it and its folder are kept readable by the owner alone.
void WriteNodeAttachment(const TNodeData& data, const void* buffer, size_t size);
