#include "network/NetDiscovery.h"

#include "network/DnsSdSource.h"
#include "network/NetBiosSource.h"
#include "network/WsDiscovery.h"
#include "platform/NativeNames.h"
#include "resources/StringTable.h"
#include "platform/ThreadGuard.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace discovery {
namespace {

std::string upper(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return out;
}

std::string defaultBrowseProgram()
{
    if (const char* named = std::getenv("TAMSEL_NET"); named && *named)
        return named;
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return "tamsel-net";
    std::string path(self, size_t(n));
    return path.substr(0, path.rfind('/') + 1) + "tamsel-net";
}

} // namespace

std::vector<std::string> SourceNames(unsigned sources)
{
    std::vector<std::string> names;
    if (sources & NetBios)
        names.push_back("netbios");
    if (sources & Wsd)
        names.push_back("wsd");
    if (sources & DnsSd)
        names.push_back("dnssd");
    return names;
}

Result Merge(const std::vector<Sighting>& sightings)
{
    Result result;
    auto group = [&](const std::string& name, bool domain, unsigned source) {
        for (Group& g : result.groups) {
            if (upper(g.name) == upper(name)) {
                g.sources |= source;
                g.domain = g.domain || domain;
                return;
            }
        }
        result.groups.push_back({name, domain, source});
    };
    for (const Sighting& s : sightings) {
        if (s.name.empty())
            continue;
        // Every source's names enter the program here: one check for all of them.
        std::string fault = NameFault(s.name);
        if (fault.empty() && !s.workgroup.empty())
            fault = NameFault(s.workgroup);
        if (!fault.empty()) {
            result.refused.push_back(UiFormat("拒絕不安全的名稱: %1", {s.workgroup.empty() ? s.name : s.workgroup + "\\" + s.name}) + " (" + fault + ")");
            continue;
        }
        if (s.kind != Sighting::Computer) {
            group(s.name, s.kind == Sighting::Domain, s.source);
            continue;
        }
        if (!s.workgroup.empty())
            group(s.workgroup, s.domainMember, 0);
        Computer* known = nullptr;
        for (Computer& c : result.computers)
            if (upper(c.name) == upper(s.name))
                known = &c;
        if (!known) {
            result.computers.push_back({s.name, s.workgroup, s.address, 0});
            known = &result.computers.back();
        }
        known->sources |= s.source;
        if (known->workgroup.empty())
            known->workgroup = s.workgroup;
        if (known->address.empty())
            known->address = s.address;
    }
    // A group only a computer named has that computer's sources.
    for (Group& g : result.groups) {
        if (g.sources)
            continue;
        for (const Computer& c : result.computers)
            if (upper(c.workgroup) == upper(g.name))
                g.sources |= c.sources;
    }
    return result;
}

Result Discover(const Options& options, const std::atomic<bool>* stop)
{
    std::mutex lock;
    std::vector<Sighting> sightings;
    std::vector<Problem> problems;
    auto add = [&](std::vector<Sighting> more) {
        std::lock_guard<std::mutex> guard(lock);
        sightings.insert(sightings.end(), more.begin(), more.end());
    };
    // A source that fails is a source without an answer; it never ends the program.
    std::vector<std::thread> sources;
    if (options.sources & NetBios) {
        const std::string program = options.browseProgram.empty() ? defaultBrowseProgram() : options.browseProgram;
        sources.emplace_back([&, program] {
            RunGuarded([&] {
                NetBiosBrowse browse = BrowseNetBiosInChild(program, options.waitMs, stop);
                add(std::move(browse.sightings));
                std::lock_guard<std::mutex> guard(lock);
                problems = std::move(browse.problems);
            }, [](const std::string&) {});
        });
    }
    if (options.sources & Wsd)
        sources.emplace_back([&] { RunGuarded([&] { add(DiscoverWsd(options.waitMs, stop)); }, [](const std::string&) {}); });
    if (options.sources & DnsSd)
        sources.emplace_back([&] { RunGuarded([&] { add(DiscoverDnsSd(options.waitMs, stop)); }, [](const std::string&) {}); });
    for (std::thread& t : sources)
        t.join();
    // Sources finish in any order; the NetBIOS spelling of a name comes first.
    std::stable_sort(sightings.begin(), sightings.end(),
                     [](const Sighting& a, const Sighting& b) { return a.source < b.source; });
    Result result = Merge(sightings);
    result.problems = std::move(problems);
    return result;
}

} // namespace discovery
