#pragma once
#include "network/CacheCrawler.h"
#include "store/NodeFile.h"

#include <functional>
#include <memory>
#include <string>

// Which computers the cache updater crawls, as the node store holds them: the computer
// records of the network branch (Cache\Net\...) and of the expanded network
// (Cache\Expanded\...), found through the Domain nodes of each. FTP sites and bookmarks
// are not crawled.

/// Every computer record of the two branches under `cachePath` (ends in a backslash), in
/// node-file order. A node file that cannot be read goes to `onError` and its branch is
/// left out.
TNodeList StoredComputers(const std::string& cachePath, const std::function<void(const std::string&)>& onError = {});

/// The stored computer that `target` names: "\\NAME", "NAME" or "\\NAME\" (names compared
/// without regard to case), or a dotted address (matched with an expanded-network
/// computer's Host). When none is stored it is added: a name under `workgroup` of the
/// network branch, an address as an expanded-network computer; the roots and the
/// workgroup are made when missing. `added` says which. Throws Exception.
std::unique_ptr<TNodeData> FindOrAddComputer(const std::string& cachePath, const std::string& target,
                                             const std::string& workgroup, bool& added);

/// Writes the four counters into the computer's record, re-read first so that nothing
/// else of it is overwritten, and sets (partial) or clears bit 30 of its State, which
/// says the last crawl did not read everything. Waits while another program holds the
/// node file. Throws Exception.
void StoreCrawlCounters(const TNodeData& computer, const CrawlCounters& counters, bool partial);

/// True when the last crawl of this record was partial (bit 30 of State).
inline bool CrawlWasPartial(const TNodeData& computer) { return (computer.State & OtherWriterFlag) != 0; }
