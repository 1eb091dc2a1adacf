#pragma once
// The NetBIOS browse list: workgroups from the master browsers, then each workgroup's
// servers, through libsmbclient's NT1 browsing. That browsing can crash the process, so the
// program runs it in a child (tamsel-net discover --source netbios) and reads its lines.
#include "network/NetDiscovery.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace discovery {

/// Browses in this process, handing each sighting to `found` as soon as it is known.
void BrowseNetBios(const std::function<void(const Sighting&)>& found, const std::atomic<bool>* stop);

/// Runs `program discover --source netbios --wait MS` and reads its lines for at most
/// about `waitMs`; the child is ended when the time is up or `stop` is raised. Lines a
/// crashed child wrote before it died still count.
std::vector<Sighting> BrowseNetBiosInChild(const std::string& program, int waitMs, const std::atomic<bool>* stop);

/// The JSON line of the discover command for one sighting or merged entry.
std::string SightingLine(const Sighting& sighting, unsigned sources);
/// Reads one such line back; false for anything else.
bool ParseSightingLine(const std::string& line, Sighting& sighting);

} // namespace discovery
