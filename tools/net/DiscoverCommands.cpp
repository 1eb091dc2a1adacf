// discover and ping: the LAN's workgroups and computers, and whether a computer answers.
#include "network/NetBiosSource.h"
#include "network/NetDiscovery.h"
#include "platform/Ping.h"
#include "resources/StringTable.h"
#include "tools/JsonLine.h"
#include "tools/net/NetCli.h"
#include "tools/net/NetCommands.h"

#include <cstdio>
#include <sstream>

namespace netcli {
namespace {

unsigned parseSources(const std::string& text)
{
    unsigned sources = 0;
    std::stringstream words(text);
    std::string word;
    while (std::getline(words, word, ',')) {
        if (word == "netbios")
            sources |= discovery::NetBios;
        else if (word == "wsd")
            sources |= discovery::Wsd;
        else if (word == "dnssd")
            sources |= discovery::DnsSd;
        else
            throw CommandError{87, UiCaption("--source: netbios, wsd 或 dnssd"), true};
    }
    return sources;
}

} // namespace

int discoverCommand(const Words& words)
{
    NetArgs args(words, {"--wait", "--source", "--workgroup"}, {"--workgroups"});
    args.expect(0, 0, "tamsel-net discover [--wait MS] [--source netbios,wsd,dnssd]");
    discovery::Options options;
    options.waitMs = int(args.number("--wait", options.waitMs, 100, 600000));
    if (args.has("--source"))
        options.sources = parseSources(args.value("--source"));
    if (options.sources == discovery::NetBios && (args.has("--workgroups") || args.has("--workgroup"))) {
        // One piece of the browse: this is a child the NetBIOS source runs, for the list of
        // workgroups or for one workgroup's servers. Each line goes out as soon as it is
        // known, so a crash later loses only what was not yet found; the last line says the
        // child got to the end.
        discovery::BrowseNetBios(args.value("--workgroup"), [](const discovery::Sighting& s) {
            std::fputs(discovery::SightingLine(s, discovery::NetBios).c_str(), stdout);
            std::fflush(stdout);
        }, [](const std::string& name, int code) {
            std::fputs(discovery::ProblemLine(name, code).c_str(), stdout);
        });
        std::fputs(discovery::DoneLine().c_str(), stdout);
        std::fflush(stdout);
        return ExitOk;
    }
    const discovery::Result found = discovery::Discover(options);
    for (const std::string& refused : found.refused)
        std::fprintf(stderr, "tamsel-net: %s\n", refused.c_str());
    for (const discovery::Group& group : found.groups) {
        discovery::Sighting line{group.domain ? discovery::Sighting::Domain : discovery::Sighting::Workgroup,
                                 group.name, {}, {}, false, 0};
        std::fputs(discovery::SightingLine(line, group.sources).c_str(), stdout);
    }
    for (const discovery::Computer& computer : found.computers) {
        discovery::Sighting line{discovery::Sighting::Computer, computer.name, computer.workgroup,
                                 computer.address, false, 0};
        std::fputs(discovery::SightingLine(line, computer.sources).c_str(), stdout);
    }
    std::fflush(stdout);
    // What failed for one workgroup is said for itself; the rest stands, so the run succeeds.
    for (const discovery::Problem& problem : found.problems)
        report(CommandError{problem.code, problem.text});
    return ExitOk;
}

int pingCommand(const Words& words)
{
    NetArgs args(words, {"--timeout"}, {});
    args.expect(1, 1, "tamsel-net ping HOST [--timeout MS]");
    const std::string& host = args.positional()[0];
    const int timeout = int(args.number("--timeout", PingTimeoutMs, 1, 60000));
    const PingResult result = PingHost(host, timeout);
    JsonObject().text("host", host).boolean("reachable", result.reachable).number("ms", result.ms)
        .text("method", result.method).print();
    return result.reachable ? ExitOk : ExitUnreachable;
}

} // namespace netcli
