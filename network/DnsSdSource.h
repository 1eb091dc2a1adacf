#pragma once
// Computers that announce SMB file sharing over DNS-SD (service type _smb._tcp), asked of the
// local mDNS daemon through its client library. Where no daemon runs the source has nothing
// to say and returns at once.
#include "network/NetDiscovery.h"

#include <atomic>
#include <vector>

namespace discovery {

/// Browses for _smb._tcp on every interface (IPv4 addresses) and resolves each service, for
/// at most `waitMs`; returns earlier once the daemon has reported all it knows and every
/// service is resolved, or when `stop` is raised. A computer's name is the service's name;
/// DNS-SD knows no workgroup.
std::vector<Sighting> DiscoverDnsSd(int waitMs, const std::atomic<bool>* stop);

} // namespace discovery
