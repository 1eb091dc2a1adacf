#pragma once
// Finding the workgroups, domains and computers of the LAN. Several discoveries answer,
// each on its own thread and bounded by the same wait: the NetBIOS browse list (in a child
// process, since the library that reads it can crash), WS-Discovery, and DNS-SD where a
// local daemon offers it. Their sightings are merged, so a computer several of them find
// appears once, with every source that saw it.
#include <atomic>
#include <string>
#include <vector>

namespace discovery {

/// Bits of the sources that saw an entry.
enum Source : unsigned { NetBios = 1, Wsd = 2, DnsSd = 4 };
/// "netbios", "wsd", "dnssd" for the bits set, in that order.
std::vector<std::string> SourceNames(unsigned sources);

/// One thing one source saw. A computer carries its workgroup (or domain) when the source
/// knows it, and its IPv4 address when the source knows that.
struct Sighting {
    enum Kind { Workgroup, Domain, Computer } kind = Computer;
    std::string name;
    std::string workgroup;
    std::string address;
    bool domainMember = false;  // a computer whose `workgroup` is a domain
    unsigned source = 0;
};

struct Group {
    std::string name;
    bool domain = false;
    unsigned sources = 0;
};

struct Computer {
    std::string name;
    std::string workgroup;
    std::string address;
    unsigned sources = 0;
};

/// A workgroup (or master) that could not be listed while the rest was: its name, the
/// Win32 code and the text to report ("NAME: text").
struct Problem {
    std::string name;
    int code = 0;
    std::string text;
};

struct Result {
    std::vector<Group> groups;        // in the order first seen
    std::vector<Computer> computers;  // in the order first seen
    std::vector<std::string> refused; // a line for each name left out: it cannot name an entry
    /// What failed for one workgroup or master ("NAME: text"), while the rest was listed.
    std::vector<Problem> problems;
};

/// Merges sightings: names compare case-insensitively (ASCII), the first spelling stays; a
/// computer's workgroup makes that group known even when no source listed it; a later
/// sighting fills in a workgroup or address the earlier ones lacked. A sighting whose name
/// or workgroup fails the check of entering names (IsPlainName) is left out and listed in
/// `refused`.
Result Merge(const std::vector<Sighting>& sightings);

struct Options {
    int waitMs = 3000;
    unsigned sources = NetBios | Wsd | DnsSd;
    /// The program that does the NetBIOS browse ("tamsel-net"); empty: the environment
    /// variable TAMSEL_NET, else tamsel-net beside this executable.
    std::string browseProgram;
};

/// Runs the chosen sources side by side for at most about `waitMs` and merges what they
/// saw. A source that fails or crashes contributes nothing; the others still count.
/// Returns early with what was seen so far when `stop` is raised.
Result Discover(const Options& options, const std::atomic<bool>* stop = nullptr);

} // namespace discovery
