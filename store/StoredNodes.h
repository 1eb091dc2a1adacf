#pragma once
#include "store/FtpSiteBlock.h"
#include "store/TNodeData.h"

#include <string>
#include <vector>

// The nodes the user makes by hand: computers of the expanded network (name and address)
// and FTP sites, as records for the node store, and their writing into a root's node file.

/// The record of an expanded-network computer: caption, NetBIOS name and dotted address;
/// it belongs in the node file of `storeDir` (an expanded-network container's folder).
TNodeData ExpandedComputerRecord(const std::string& storeDir, const std::string& caption, const std::string& name,
                                 const std::string& address, int image);

/// The record of an FTP site reached at `host`; its connection settings are the site block.
TNodeData FtpSiteRecord(const std::string& storeDir, const std::string& caption, const std::string& host, int image);

/// The record of a root of the tree under `cachePath` ("Expanded", "Bookmark", "Net")
/// with its caption, written only when the root's node file lacks it, as Tamsel writes it
/// on its first start: a program that runs before Tamsel ever did still finds the branch.
void EnsureRootRecord(const std::string& cachePath, const char* key, const std::string& caption, uint8_t rootKind,
                      int image);

/// Writes new records into their node file (all with one StoreDir) as one change. A key
/// that a live record of the file already has is refused, naming the record, and nothing
/// is written then: a second computer by the same caption would share the first one's cache.
void AddStoredNodes(std::vector<TNodeData>& records);

/// As AddStoredNodes for one FTP site, then its site block (".ATT").
void AddFtpSite(TNodeData& record, const FtpSiteBlock& block);
