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

/// What the NetBIOS browse saw, and what went wrong on the way, one text per workgroup or
/// master that failed ("NAME: text"), so one bad entry is reported for itself.
struct NetBiosBrowse {
    std::vector<Sighting> sightings;
    std::vector<Problem> problems;
};

/// Browses in this process, handing each sighting to `found` as soon as it is known: the
/// workgroups the master browsers list when `workgroup` is empty, else that workgroup's
/// servers. A failure goes to `problem` with its Win32 code.
void BrowseNetBios(const std::string& workgroup, const std::function<void(const Sighting&)>& found,
                   const std::function<void(const std::string& name, int code)>& problem);

/// Runs `program discover --source netbios --workgroups` for the workgroups, then one
/// `program discover --source netbios --workgroup NAME` per workgroup, side by side, and
/// reads their lines. Each child has about `waitMs` of its own and is ended when that is
/// up or `stop` is raised, so a workgroup whose master never answers (or a crash) costs
/// only its own computers. Lines a child wrote before it died still count.
NetBiosBrowse BrowseNetBiosInChild(const std::string& program, int waitMs, const std::atomic<bool>* stop);

/// The JSON line of a browse child's problem, and of the end of its work.
std::string ProblemLine(const std::string& name, int code);
std::string DoneLine();

/// The JSON line of the discover command for one sighting or merged entry.
std::string SightingLine(const Sighting& sighting, unsigned sources);
/// Reads one such line back; false for anything else.
bool ParseSightingLine(const std::string& line, Sighting& sighting);

} // namespace discovery
