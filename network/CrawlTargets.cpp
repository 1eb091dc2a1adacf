#include "network/CrawlTargets.h"

#include "platform/DateTime.h"
#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "platform/NativeNames.h"
#include "platform/NetResource.h"
#include "resources/StringTable.h"
#include "store/NodePaths.h"

#include <arpa/inet.h>

namespace {

// Deep enough for every branch the program makes; a loop of folders cannot go on forever.
constexpr int MaxDepth = 16;
constexpr int StrNetwork = 33013, StrExpandedNetwork = 33014;
constexpr int ImageComputer = 6, ImageNetwork = 7, ImageDomain = 8;

void collect(const std::string& folder, int depth, TNodeList& out, const std::function<void(const std::string&)>& onError)
{
    if (depth > MaxDepth)
        return;
    TNodeList records;
    try {
        LoadNodeFile(folder, records, false);
    } catch (const Exception& e) {
        if (onError)
            onError(folder + "ALL.NOD: " + e.message());
        return;
    }
    for (auto& record : records) {
        if (record->has(Computer) && (record->RootKind == NetRoot || record->RootKind == ExpandedRoot))
            out.push_back(std::move(record));
        else if (record->has(Domain) && IsPlainName(record->Key))
            collect(record->StoreDir + record->Key + "\\", depth + 1, out, onError);
    }
}

bool isAddress(const std::string& text)
{
    unsigned char buffer[16];
    return inet_pton(AF_INET, text.c_str(), buffer) == 1 || inet_pton(AF_INET6, text.c_str(), buffer) == 1;
}

void writeRecord(TNodeData& data)
{
    RetryWhileShared([&] { WriteNodeRecord(data); });
}

// The record of `key` in `folder`, or null.
std::unique_ptr<TNodeData> findRecord(const std::string& folder, const std::string& key)
{
    TNodeList records;
    LoadNodeFile(folder, records, false);
    for (auto& record : records)
        if (record->Key == key)
            return std::move(record);
    return nullptr;
}

TNodeData ensureRoot(const std::string& cachePath, const char* key, uint8_t rootKind, int caption)
{
    if (auto found = findRecord(cachePath, key))
        return *found;
    TNodeData root;
    root.Caption = LoadStr(caption);
    root.ImageIndex = root.SelectedIndex = ImageNetwork;
    root.RootKind = rootKind;
    root.Key = key;
    root.NodeAttributes = Sys | Domain | Container;
    root.State = Idle;
    root.StoreDir = cachePath;
    root.Created = NowDateTime();
    writeRecord(root);
    return root;
}

} // namespace

TNodeList StoredComputers(const std::string& cachePath, const std::function<void(const std::string&)>& onError)
{
    TNodeList out;
    const std::string cache = AddBackslash(cachePath);
    collect(cache + "Net\\", 0, out, onError);
    collect(cache + "Expanded\\", 0, out, onError);
    return out;
}

std::unique_ptr<TNodeData> FindOrAddComputer(const std::string& cachePath, const std::string& target,
                                             const std::string& workgroup, bool& added)
{
    added = false;
    std::string name = RemoveBackslash(target);
    while (!name.empty() && name.front() == '\\')
        name.erase(0, 1);
    if (name.empty() || name.find('\\') != std::string::npos)
        throw Exception(UiFormat("不是電腦名稱或位址：%1", {target}));
    const bool address = isAddress(name);
    const std::string cache = AddBackslash(cachePath);
    int error = 0;
    if (!ForceDirectories(cache, &error))
        RaiseFileError(error);
    for (auto& computer : StoredComputers(cache)) {
        if (CompareTextNoCase(CrawlComputerName(*computer), name) == 0)
            return std::move(computer);
        if (address && computer->RootKind == ExpandedRoot && computer->Host == name)
            return std::move(computer);
    }
    auto computer = std::make_unique<TNodeData>();
    computer->Caption = name;
    computer->ImageIndex = computer->SelectedIndex = ImageComputer;
    computer->NodeAttributes = Computer | Container;
    computer->Key = SafeFileName(name);
    computer->State = Idle;
    computer->Scope = int32_t(netres::ScopeGlobalNet);
    computer->DisplayType = int32_t(netres::DisplayServer);
    computer->Usage = int32_t(netres::UsageContainer);
    if (address) {
        const TNodeData root = ensureRoot(cache, "Expanded", ExpandedRoot, StrExpandedNetwork);
        computer->RootKind = ExpandedRoot;
        computer->RemoteName = "\\\\" + name + "\\";
        computer->Host = name;
        computer->ResourceType = int32_t(netres::TypeDisk);
        computer->StoreDir = cache + "Expanded\\";
        computer->Created = root.Created;
    } else {
        const TNodeData root = ensureRoot(cache, "Net", NetRoot, StrNetwork);
        const std::string groupName = workgroup.empty() ? "WORKGROUP" : workgroup;
        const std::string groupKey = SafeFileName(groupName);
        if (const std::string fault = NameFault(groupKey); !fault.empty())
            throw Exception(UiFormat("不是工作群組名稱：%1（%2）", {groupName, fault}));
        std::unique_ptr<TNodeData> group = findRecord(cache + "Net\\", groupKey);
        if (!group) {
            group = std::make_unique<TNodeData>();
            group->Caption = groupName;
            group->ImageIndex = group->SelectedIndex = ImageDomain;
            group->RootKind = NetRoot;
            group->RemoteName = groupName;
            group->Host = groupName;
            group->Key = groupKey;
            group->NodeAttributes = Domain | Container;
            group->State = Idle;
            group->Scope = int32_t(netres::ScopeGlobalNet);
            group->DisplayType = int32_t(netres::DisplayDomain);
            group->Usage = int32_t(netres::UsageContainer);
            group->StoreDir = cache + "Net\\";
            group->Created = root.Created;
            writeRecord(*group);
        }
        computer->RootKind = NetRoot;
        computer->RemoteName = "\\\\" + name;
        computer->Host = group->Caption;
        computer->ResourceType = int32_t(netres::TypeAny);
        computer->StoreDir = cache + "Net\\" + groupKey + "\\";
        computer->Created = group->Created;
    }
    if (!IsPlainName(computer->Key))
        throw Exception(UiFormat("不是電腦名稱或位址：%1", {target}));
    writeRecord(*computer);
    added = true;
    return computer;
}

void StoreCrawlCounters(const TNodeData& computer, const CrawlCounters& counters, bool partial)
{
    RetryWhileShared([&] {
        // Read and written in one go each time, so a retry never writes a stale copy.
        TNodeData fresh = computer;
        fresh.RecordOffset = -1;
        ReadNodeRecord(fresh);
        fresh.FileCount = counters.Files;
        fresh.ImageCount = counters.Images;
        fresh.AudioCount = counters.Audio;
        fresh.VideoCount = counters.Video;
        fresh.State = partial ? (fresh.State | OtherWriterFlag) : (fresh.State & ~uint32_t(OtherWriterFlag));
        WriteNodeRecord(fresh);
    });
}
