// Discovery's parsing and merging, the child-process browse and the ping, without a LAN:
// everything here stays on loopback or in the process.
#include "network/DnsSdSource.h"
#include "network/NetBiosSource.h"
#include "network/NetDiscovery.h"
#include "network/WsDiscovery.h"
#include "network/CrawlTargets.h"
#include "platform/DriveMap.h"
#include "platform/Exception.h"
#include "platform/Ping.h"
#include "support/ScopedEnvironment.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace discovery;

namespace {

const char* const ProbeMatches =
    "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\">"
    "<s:Header><a:MessageID>urn:uuid:m-1</a:MessageID><a:RelatesTo>urn:uuid:p</a:RelatesTo></s:Header>"
    "<s:Body><d:ProbeMatches><d:ProbeMatch><a:EndpointReference><a:Address>urn:uuid:dev-1</a:Address>"
    "</a:EndpointReference><d:Types>wsdp:Device pub:Computer</d:Types>"
    "<d:XAddrs>http://[fe80::1]:5357/dev-1 http://10.0.0.5:5357/dev-1</d:XAddrs>"
    "<d:MetadataVersion>1</d:MetadataVersion></d:ProbeMatch></d:ProbeMatches></s:Body></s:Envelope>";

std::string writeScript(const TempFolder& folder, const char* name, const std::string& body)
{
    const std::string path = folder.path(name);
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    ::chmod(path.c_str(), 0755);
    return path;
}

} // namespace

TEST(WsDiscoveryParse, MatchesWithAnyPrefixAndWithoutAddresses)
{
    WsdMatch match;
    ASSERT_TRUE(ParseWsdMatch(ProbeMatches, match));
    EXPECT_EQ(match.messageId, "urn:uuid:m-1");
    EXPECT_EQ(match.endpoint, "urn:uuid:dev-1");
    EXPECT_EQ(match.types, "wsdp:Device pub:Computer");

    std::string host, path;
    int port = 0;
    ASSERT_TRUE(PickHttpAddress(match.xaddrs, host, port, path));  // the IPv6 one is passed over
    EXPECT_EQ(host, "10.0.0.5");
    EXPECT_EQ(port, 5357);
    EXPECT_EQ(path, "/dev-1");
    EXPECT_FALSE(PickHttpAddress("https://10.0.0.5/x http://10.0.0.5:99999/x http://name/x", host, port, path));

    // The metadata request goes only to the address the reply came from: never to another
    // computer or this one's loopback it names, never with a line break in its request line.
    EXPECT_FALSE(PickHttpAddressOf("http://127.0.0.1:5357/x http://10.0.0.6/x", "10.0.0.5", host, port, path));
    EXPECT_FALSE(PickHttpAddressOf("http://10.0.0.5:5357/x\r\nHost:%20evil", "10.0.0.5", host, port, path));
    EXPECT_FALSE(PickHttpAddressOf("http://10.0.0.5:5357/a\tb", "10.0.0.5", host, port, path));
    ASSERT_TRUE(PickHttpAddressOf("http://127.0.0.1/x http://10.0.0.5:5357/dev-1", "10.0.0.5", host, port, path));
    EXPECT_EQ(host, "10.0.0.5");
    EXPECT_EQ(path, "/dev-1");
    ASSERT_TRUE(PickHttpAddressOf("http://127.0.0.1:8080/me", "127.0.0.1", host, port, path)) << "a reply from loopback";

    // A ResolveMatch without transport addresses still names its endpoint.
    ASSERT_TRUE(ParseWsdMatch("<Envelope><Body><ResolveMatches><ResolveMatch><EndpointReference>"
                              "<Address> urn:uuid:dev-2 </Address></EndpointReference><XAddrs/>"
                              "</ResolveMatch></ResolveMatches></Body></Envelope>", match));
    EXPECT_EQ(match.endpoint, "urn:uuid:dev-2");
    EXPECT_EQ(match.xaddrs, "");

    // A Probe (ours, looped back), a Hello and broken text are not matches.
    EXPECT_FALSE(ParseWsdMatch("<Envelope><Body><Probe><Types>wsdp:Device</Types></Probe></Body></Envelope>", match));
    EXPECT_FALSE(ParseWsdMatch("<Body><ProbeMatch><EndpointReference><Address>urn:x", match));
    EXPECT_FALSE(ParseWsdMatch("<Body><ProbeMatch><Types>x</Types></ProbeMatch></Body>", match));
}

TEST(WsDiscoveryParse, ComputerMetadata)
{
    std::string name, group;
    bool domain = true;
    ASSERT_TRUE(ParseComputerMetadata("<wsx:Metadata><pub:Computer>ALPHA/Workgroup:TESTLAN</pub:Computer></wsx:Metadata>",
                                      name, group, domain));
    EXPECT_EQ(name, "ALPHA");
    EXPECT_EQ(group, "TESTLAN");
    EXPECT_FALSE(domain);
    ASSERT_TRUE(ParseComputerMetadata("<Computer>PC&amp;1/Domain:CORP</Computer>", name, group, domain));
    EXPECT_EQ(name, "PC&1");
    EXPECT_EQ(group, "CORP");
    EXPECT_TRUE(domain);
    EXPECT_FALSE(ParseComputerMetadata("<Metadata><FriendlyName>x</FriendlyName></Metadata>", name, group, domain));
    EXPECT_FALSE(ParseComputerMetadata("<Computer>/Workgroup:WG</Computer>", name, group, domain));
}

TEST(DiscoveryMerge, OneEntryPerNameWithEverySource)
{
    const std::vector<Sighting> seen = {
        {Sighting::Workgroup, "TESTLAN", {}, {}, false, NetBios},
        {Sighting::Computer, "ALPHA", "TESTLAN", {}, false, NetBios},
        {Sighting::Computer, "alpha", "testlan", "10.77.0.2", false, Wsd},
        {Sighting::Computer, "BETA", "TestLan", "10.77.0.3", false, Wsd},
        {Sighting::Computer, "DC1", "CORP", "10.1.1.1", true, Wsd},
        {Sighting::Computer, "", "X", {}, false, Wsd},
    };
    const Result merged = Merge(seen);
    ASSERT_EQ(merged.groups.size(), 2u);
    EXPECT_EQ(merged.groups[0].name, "TESTLAN");
    EXPECT_EQ(merged.groups[0].sources, unsigned(NetBios));
    EXPECT_FALSE(merged.groups[0].domain);
    // Known only through a computer of it: a domain, with that computer's source.
    EXPECT_EQ(merged.groups[1].name, "CORP");
    EXPECT_TRUE(merged.groups[1].domain);
    EXPECT_EQ(merged.groups[1].sources, unsigned(Wsd));

    ASSERT_EQ(merged.computers.size(), 3u);
    EXPECT_EQ(merged.computers[0].name, "ALPHA");
    EXPECT_EQ(merged.computers[0].address, "10.77.0.2");
    EXPECT_EQ(SourceNames(merged.computers[0].sources), (std::vector<std::string>{"netbios", "wsd"}));
    EXPECT_EQ(SourceNames(merged.computers[1].sources), (std::vector<std::string>{"wsd"}));
}

// Names from discovery replies enter through Merge: one that cannot name an entry is left
// out and said, whichever source gave it, as a computer's name or as its workgroup.
TEST(DiscoveryMerge, NamesThatCannotNameAnEntryAreLeftOutAndSaid)
{
    const std::string escapedNul = "\xC2\xA4" "00";
    const Result merged = Merge({
        {Sighting::Workgroup, "..", {}, {}, false, NetBios},
        {Sighting::Computer, "EVIL", "a/b", {}, false, Wsd},
        {Sighting::Computer, "x" + escapedNul, "TESTLAN", {}, false, DnsSd},
        {Sighting::Computer, "\xC2\xA4~..", "TESTLAN", {}, false, Wsd},
        {Sighting::Computer, "ALPHA", "TESTLAN", {}, false, NetBios},
    });
    ASSERT_EQ(merged.groups.size(), 1u);
    EXPECT_EQ(merged.groups[0].name, "TESTLAN");
    ASSERT_EQ(merged.computers.size(), 1u);
    EXPECT_EQ(merged.computers[0].name, "ALPHA");
    EXPECT_EQ(merged.refused.size(), 4u);
}

// A workgroup name a reply spelled with the codec's escapes, taken into the cache: its
// computers go into its own folder, never into the root node file or above the cache.
TEST(DiscoveryCache, WorkgroupNamesStayInsideTheCache)
{
    TempFolder folder;
    const std::string cache = WindowsPath(folder.path()) + "\\";
    const std::string dots = "\xC2\xA4" "2E" "\xC2\xA4" "2E";
    bool added = false;
    const auto computer = FindOrAddComputer(cache, "PC1", dots, added);
    EXPECT_TRUE(added);
    for (const auto& record : ReadStoredRecords(cache))
        EXPECT_FALSE(record->has(::Computer)) << "a computer reached the root node file";
    EXPECT_TRUE(std::filesystem::exists(folder.path("Net/" + dots + "/ALL.NOD")));
    EXPECT_EQ(StoredComputers(cache).size(), 1u);
    // Workgroups that would step out are refused with a clear error, and nothing is written.
    for (const std::string& bad : std::vector<std::string>{"..", "\xC2\xA4~..", "a" + std::string("\xC2\xA4") + "00"}) {
        try {
            FindOrAddComputer(cache, "PC2", bad, added);
            ADD_FAILURE() << bad;
        } catch (const Exception& e) {
            EXPECT_NE(e.message().find("工作群組"), std::string::npos) << e.message();
        }
    }
    EXPECT_EQ(StoredComputers(cache).size(), 1u);
}

TEST(DiscoveryLines, RoundTripThroughTheChildsOutput)
{
    const Sighting computer{Sighting::Computer, "名\"稱\\1", "WG", "10.0.0.9", false, NetBios};
    const std::string line = SightingLine(computer, NetBios | Wsd);
    EXPECT_NE(line.find("\"sources\": [\"netbios\", \"wsd\"]"), std::string::npos) << line;
    Sighting back;
    ASSERT_TRUE(ParseSightingLine(line, back));
    EXPECT_EQ(back.kind, Sighting::Computer);
    EXPECT_EQ(back.name, computer.name);
    EXPECT_EQ(back.workgroup, "WG");
    EXPECT_EQ(back.address, "10.0.0.9");
    ASSERT_TRUE(ParseSightingLine(SightingLine({Sighting::Domain, "CORP", {}, {}, false, 0}, 0), back));
    EXPECT_EQ(back.kind, Sighting::Domain);
    EXPECT_FALSE(ParseSightingLine("{\"type\": \"printer\", \"name\": \"P\"}", back));
    EXPECT_FALSE(ParseSightingLine("{\"type\": \"computer\", \"name\": \"unterminated", back));
    EXPECT_FALSE(ParseSightingLine("garbage", back));
}

// The browse program's children: the list of workgroups, then one child per workgroup.
// One that hangs, fails or crashes is reported for itself and costs nothing of the others.
TEST(NetBiosChild, EachWorkgroupIsListedOnItsOwnAndABadOneIsReportedForItself)
{
    TempFolder folder;
    const std::string done = "echo '{\"type\": \"done\"}'\n";
    auto computer = [](const std::string& name, const std::string& group) {
        return "echo '{\"type\": \"computer\", \"name\": \"" + name + "\", \"workgroup\": \"" + group
               + "\", \"address\": \"\", \"sources\": []}'\n";
    };
    const std::string browser = writeScript(folder, "browse",
        "case \"$4\" in\n"
        "--workgroups) for g in WG1 WG2 WG3 WG4; do echo \"{\\\"type\\\": \\\"workgroup\\\", \\\"name\\\": \\\"$g\\\"}\"; done\n"
        + done + ";;\n"
        "--workgroup) case \"$5\" in\n"
        "  WG1) " + computer("PC1", "WG1") + done + ";;\n"
        "  WG2) exec sleep 30;;\n"
        "  WG3) " + computer("PC3", "WG3")
        + "echo '{\"type\": \"problem\", \"name\": \"WG3\", \"code\": \"53\", \"message\": \"找不到網路路徑\"}'\n" + done + ";;\n"
        "  WG4) " + computer("PC4", "WG4") + "echo 'half a line'\nkill -SEGV $$;;\n"
        "  esac;;\n"
        "esac\n");
    const auto start = std::chrono::steady_clock::now();
    const NetBiosBrowse seen = BrowseNetBiosInChild(browser, 300, nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8)) << "the hanging child was not ended";
    std::set<std::string> names;
    for (const Sighting& s : seen.sightings) {
        names.insert(s.name);
        EXPECT_EQ(s.source, unsigned(NetBios));
    }
    EXPECT_EQ(names, (std::set<std::string>{"WG1", "WG2", "WG3", "WG4", "PC1", "PC3", "PC4"}));
    std::map<std::string, int> problems;
    for (const Problem& p : seen.problems)
        problems[p.text] = p.code;
    EXPECT_EQ(problems, (std::map<std::string, int>{
                            {"WG2: 無反應", 121}, {"WG3: 找不到網路路徑", 53}, {"WG4: 無反應", 121}}));
}

TEST(NetBiosChild, AHangIsEndedAndAStopEndsItAtOnce)
{
    TempFolder folder;
    const std::string hang = writeScript(folder, "hang", "exec sleep 30");
    auto start = std::chrono::steady_clock::now();
    NetBiosBrowse seen = BrowseNetBiosInChild(hang, 200, nullptr);
    EXPECT_TRUE(seen.sightings.empty() && seen.problems.empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    std::atomic<bool> stop{true};
    start = std::chrono::steady_clock::now();
    EXPECT_TRUE(BrowseNetBiosInChild(hang, 20000, &stop).sightings.empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    EXPECT_TRUE(BrowseNetBiosInChild(folder.path("missing"), 200, nullptr).sightings.empty());
}

// Most machines run no mDNS daemon: the source must say nothing and not wait out its time,
// nor hold up the discoveries beside it.
TEST(DnsSd, WithoutADaemonTheSourceAnswersNothingAtOnce)
{
    TempFolder folder;
    ScopedEnvironment saved({"DBUS_SYSTEM_BUS_ADDRESS"});
    setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + folder.path("no-bus")).c_str(), 1);
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(DiscoverDnsSd(600000, nullptr).empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));

    Options options;
    options.sources = DnsSd;
    options.waitMs = 600000;
    start = std::chrono::steady_clock::now();
    const Result found = Discover(options);
    EXPECT_TRUE(found.groups.empty() && found.computers.empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST(Ping, LoopbackAnswersAndAStopEndsTheWait)
{
    const PingResult up = PingHost("127.0.0.1", 1000);
    EXPECT_TRUE(up.reachable);
    EXPECT_EQ(up.error, 0);
    // Loopback answers at once, so only a stop that is honoured before the echo goes out
    // leaves it unreachable (a stop ignored until the wait's end would find the answer).
    std::atomic<bool> stop{true};
    const PingResult stopped = PingHost("127.0.0.1", 600000, &stop);
    EXPECT_FALSE(stopped.reachable);
}
