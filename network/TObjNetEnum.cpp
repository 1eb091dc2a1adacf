#include "network/TObjNetEnum.h"

#include "local/ErrorText.h"
#include "network/NetDiscovery.h"
#include "platform/NativeNames.h"
#include "platform/NetBiosName.h"
#include "platform/NetResource.h"
#include "platform/Ping.h"
#include "platform/Sockets.h"
#include "platform/ServerNames.h"
#include "platform/SmbContext.h"
#include "platform/SmbShares.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"
#include "store/NodePaths.h"

#include <QCollator>
#include <QString>

#include <algorithm>

namespace {

constexpr int kStrNoAnswer = 33112;   // 無反應
constexpr int kStrUserStopped = 20046; // 使用者中斷
constexpr int kNameQueryMs = 1500;

std::string upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return text;
}

std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    return first == std::string::npos ? std::string() : text.substr(first);
}

// Where a computer added by name alone is: the name table, then the system's resolver,
// then a NetBIOS name query on the LAN; the name itself when none knows it (the ping then
// says it does not answer).
std::string serverAddress(const std::string& remoteName, const std::atomic<bool>* stop)
{
    std::string name;
    SplitUncPath(remoteName, &name, nullptr);
    if (std::string address = ResolveServerName(name); !address.empty())
        return address;
    if (in_addr found{}; net::ResolveIpv4(name, found))
        return name;
    const std::string address = ResolveNetBiosName(name, kNameQueryMs, stop);
    return address.empty() ? name : address;
}

} // namespace

TObjNetEnum::TObjNetEnum(TNodeData* node)
    : m_node(node)
    , m_inheritedHost(node->Host)
    , m_request(*node)
{
}

TObjNetEnum::~TObjNetEnum()
{
    for (TNodeData* record : Results)
        delete record;
}

void TObjNetEnum::fail(uint32_t code)
{
    ErrorCode = code;
    ErrorText = SystemErrorText(int(code));
}

std::vector<NetResource> TObjNetEnum::enumerate(bool& ok)
{
    std::vector<NetResource> entries;
    ok = true;
    const TNodeData& node = m_request;
    if (node.DisplayType == int32_t(netres::DisplayServer) || node.has(Computer)) {
        // The expanded network reaches a computer through the address the user gave.
        const std::string host = node.RootKind == ExpandedRoot && !node.Host.empty() ? node.Host : node.RemoteName;
        std::vector<SmbShare> shares;
        int error = 0;
        if (!ListSmbShares(host, shares, &error)) {
            fail(uint32_t(error ? error : Win32::BadNetpath));
            ok = false;
            return entries;
        }
        // Listed through an address, the shares still belong to the computer's own name.
        const std::string server = RemoveBackslash(node.RemoteName);
        for (const SmbShare& share : shares) {
            if (share.hidden)
                continue;
            NetResource entry = share.resource;
            const size_t slash = entry.RemoteName.rfind('\\');
            if (!server.empty() && slash != std::string::npos)
                entry.RemoteName = server + entry.RemoteName.substr(slash);
            entries.push_back(entry);
        }
        return entries;
    }
    if (node.DisplayType != int32_t(netres::DisplayNetwork) && node.DisplayType != int32_t(netres::DisplayDomain)) {
        // The whole network: its one provider.
        NetResource provider;
        provider.ResourceType = netres::TypeAny;
        provider.DisplayType = netres::DisplayNetwork;
        provider.Usage = netres::UsageContainer;
        provider.RemoteName = netres::ProviderName;
        entries.push_back(provider);
        return entries;
    }
    discovery::Options options;
    options.waitMs = DiscoveryWaitMs;
    options.browseProgram = BrowseProgram;
    options.sources &= DiscoverySources;
    const discovery::Result found = discovery::Discover(options, TerminateFlag());
    Refused.insert(Refused.end(), found.refused.begin(), found.refused.end());
    for (const discovery::Problem& problem : found.problems)
        if (node.DisplayType == int32_t(netres::DisplayNetwork) || upper(problem.name) == upper(node.RemoteName))
            Problems.push_back(problem.text);
    if (node.DisplayType == int32_t(netres::DisplayNetwork)) {
        for (const discovery::Group& group : found.groups) {
            NetResource entry;
            entry.ResourceType = netres::TypeAny;
            entry.DisplayType = netres::DisplayDomain;
            entry.Usage = netres::UsageContainer;
            entry.RemoteName = group.name;
            entries.push_back(entry);
        }
    } else {
        const std::string group = upper(node.RemoteName);
        for (const discovery::Computer& computer : found.computers) {
            if (upper(computer.workgroup) != group)
                continue;
            NetResource entry;
            entry.ResourceType = netres::TypeAny;
            entry.DisplayType = netres::DisplayServer;
            entry.Usage = netres::UsageContainer;
            entry.RemoteName = "\\\\" + computer.name;
            entry.Comment = computer.address;
            // Expanding it reaches the address seen, when no name query would find it.
            if (!computer.address.empty())
                RememberServerAddress(computer.name, computer.address);
            entries.push_back(entry);
        }
    }
    return entries;
}

bool TObjNetEnum::addResource(const NetResource& resource)
{
    if (Terminated()) {
        ErrorText = LoadStr(kStrUserStopped);
        return false;
    }
    const std::string path = RemoveBackslash(resource.RemoteName);
    const size_t slash = path.rfind('\\');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (trimmed(name).empty())
        return true;
    if (const std::string fault = NameFault(name); !fault.empty()) {
        Refused.push_back(UiFormat("拒絕不安全的名稱: %1", {name}) + " (" + fault + ")");
        return true;
    }
    auto* record = new TNodeData(MakeChildData(m_request));
    record->State = Idle;
    record->Caption = name;
    record->RemoteName = resource.RemoteName;
    record->Scope = int32_t(resource.Scope);
    record->ResourceType = int32_t(resource.ResourceType);
    record->DisplayType = int32_t(resource.DisplayType);
    record->Usage = int32_t(resource.Usage);
    switch (resource.DisplayType) {
    case netres::DisplayDomain: record->NodeAttributes |= Domain; break;
    case netres::DisplayShare:
        record->NodeAttributes |= Share | Folder;
        record->RemoteName = AddBackslash(record->RemoteName);
        break;
    case netres::DisplayServer: record->NodeAttributes |= Computer; break;
    default: break;
    }
    if (resource.Usage & netres::UsageContainer)
        record->NodeAttributes |= Container;
    record->Host = resource.DisplayType == netres::DisplayDomain ? name : m_inheritedHost;
    record->Key = SafeFileName(name);
    Results.push_back(record);
    return true;
}

void TObjNetEnum::Execute()
{
    if (m_request.RootKind == ExpandedRoot && (m_request.has(Computer) || m_request.has(Folder))) {
        // On this thread, not the window's: a dead address costs the whole time limit.
        m_pingAddress = m_request.Host.empty() ? serverAddress(m_request.RemoteName, TerminateFlag()) : m_request.Host;
        m_reachable = PingHost(m_pingAddress, PingTimeoutMs, TerminateFlag()).reachable;
        if (Terminated())
            return;
        if (!m_reachable) {
            // A stopped worker's node may be gone by the time this would run.
            SynchronizeUnlessStopped([this] { m_node->State |= Idle; });
            ErrorText = LoadStr(kStrNoAnswer);
            return;
        }
    }
    bool ok = true;
    const std::vector<NetResource> entries = enumerate(ok);
    if (!ok)
        return;
    if (Terminated())
        return;
    if (entries.empty()) {
        fail(Win32::NoMoreItems);
        return;
    }
    for (const NetResource& entry : entries)
        if (!addResource(entry))
            return;
    Completed = true;
    if (!Results.empty() && Results.back()->has(Share)) {
        QCollator collator;
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        std::stable_sort(Results.begin(), Results.end(), [&](const TNodeData* a, const TNodeData* b) {
            return collator.compare(QString::fromStdString(a->RemoteName), QString::fromStdString(b->RemoteName)) < 0;
        });
    }
    CallCompletion();
}
