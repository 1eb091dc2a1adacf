#pragma once
// Our WS-Discovery client: a multicast Probe for devices on every up IPv4 interface, a
// Resolve for a device that answered without its transport addresses, then the metadata Get
// over HTTP that names the computer and its workgroup or domain.
#include "network/NetDiscovery.h"

#include <atomic>
#include <string>
#include <vector>

namespace discovery {

/// One ProbeMatch or ResolveMatch as it came over the wire.
struct WsdMatch {
    std::string messageId;
    std::string endpoint;   // the endpoint reference's address, "urn:uuid:..."
    std::string types;
    std::string xaddrs;     // space-separated transport addresses, maybe empty
};

/// Reads a ProbeMatches or ResolveMatches message; false for anything else or malformed.
bool ParseWsdMatch(const std::string& xml, WsdMatch& match);

/// Reads the "NAME/Workgroup:WG" or "NAME/Domain:DOM" of a metadata answer; false when the
/// answer holds no computer entry.
bool ParseComputerMetadata(const std::string& xml, std::string& name, std::string& group, bool& domain);

/// The first http:// transport address with an IPv4 host: host, port and path.
bool PickHttpAddress(const std::string& xaddrs, std::string& host, int& port, std::string& path);

/// As PickHttpAddress, among the addresses whose host is `sender`, the address the reply
/// came from: a reply cannot send the metadata request anywhere else (another computer,
/// this one's loopback). False when it names none there.
bool PickHttpAddressOf(const std::string& xaddrs, const std::string& sender, std::string& host, int& port,
                       std::string& path);

/// Probes, resolves and asks for metadata within `waitMs`; computers with their workgroup
/// or domain, and those groups. Bounded whatever the LAN sends: a fixed number of
/// endpoints, of requests at once, each answer's size.
std::vector<Sighting> DiscoverWsd(int waitMs, const std::atomic<bool>* stop);

} // namespace discovery
