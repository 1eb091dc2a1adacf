#include "store/StoredNodes.h"

#include "platform/DateTime.h"
#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "resources/StringTable.h"
#include "store/NodeAttachment.h"
#include "store/NodeFile.h"
#include "store/NodePaths.h"

#include <array>

namespace {

// The network resource values of a server's disk resources.
constexpr int32_t kResourceDisk = 1, kDisplayServer = 2, kScopeGlobal = 2, kUsageContainer = 2;

} // namespace

TNodeData ExpandedComputerRecord(const std::string& storeDir, const std::string& caption, const std::string& name,
                                 const std::string& address, int image)
{
    TNodeData data;
    data.StoreDir = storeDir;
    data.Caption = caption;
    data.Key = SafeFileName(caption);
    data.Host = address;
    data.RemoteName = "\\\\" + name + "\\";
    data.RootKind = ExpandedRoot;
    data.NodeAttributes = Computer | Container;
    data.ResourceType = kResourceDisk;
    data.DisplayType = kDisplayServer;
    data.Scope = kScopeGlobal;
    data.Usage = kUsageContainer;
    data.ImageIndex = data.StateIndex = data.SelectedIndex = image;
    data.State = Idle;
    data.Created = NowDateTime();
    return data;
}

TNodeData FtpSiteRecord(const std::string& storeDir, const std::string& caption, const std::string& host, int image)
{
    TNodeData data;
    data.StoreDir = storeDir;
    data.Caption = caption;
    data.Key = SafeFileName(caption);
    data.Host = host;
    data.RootKind = FtpRoot;
    // Computer: its cached listing lies in its own ".LST"/".IDX", as the cached view reads it.
    data.NodeAttributes = Computer | Folder;
    data.ImageIndex = data.StateIndex = data.SelectedIndex = image;
    data.State = Idle;
    data.Created = NowDateTime();
    return data;
}

void EnsureRootRecord(const std::string& cachePath, const char* key, const std::string& caption, uint8_t rootKind,
                      int image)
{
    for (const auto& record : ReadStoredRecords(cachePath))
        if (record->Key == key && !(record->State & Deleted))
            return;
    TNodeData root;
    root.StoreDir = cachePath;
    root.Caption = caption;
    root.Key = key;
    root.RootKind = rootKind;
    root.NodeAttributes = Sys | Domain | Container;
    root.ImageIndex = root.StateIndex = root.SelectedIndex = image;
    root.State = Idle;
    root.Created = NowDateTime();
    WriteNodeRecord(root);
}

void AddStoredNodes(std::vector<TNodeData>& records)
{
    if (records.empty())
        return;
    const std::string& folder = records.front().StoreDir;
    TNodeList existing;
    LoadNodeFile(folder, existing, false);
    std::vector<TNodeData*> writes;
    for (TNodeData& record : records) {
        if (record.StoreDir != folder)
            throw Exception("AddStoredNodes: records of several node files");
        for (const auto& other : existing)
            if (other->Key == record.Key)
                throw Exception(UiFormat("已經有名為「%1」的節點", {other->Caption}));
        for (const TNodeData* earlier : writes)
            if (earlier->Key == record.Key)
                throw Exception(UiFormat("「%1」出現了兩次", {record.Caption}));
        record.RecordOffset = -1;
        writes.push_back(&record);
    }
    ForceDirectories(folder);
    WriteNodeRecords(writes);
}

void AddFtpSite(TNodeData& record, const FtpSiteBlock& block)
{
    std::vector<TNodeData> one{record};
    AddStoredNodes(one);
    record = one.front();
    std::array<unsigned char, FtpSiteBlockSize> bytes{};
    EncodeFtpSiteBlock(block, bytes.data());
    WriteNodeAttachment(record, bytes.data(), bytes.size());
}
