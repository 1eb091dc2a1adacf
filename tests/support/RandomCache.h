#pragma once
// A cache of many computers filled with random entries, for the search's tests and its
// benchmark: names mix ASCII words (in both cases) with Traditional Chinese, sizes and dates
// are spread widely. The generator keeps what it wrote, so that a result can be checked
// against a plain scan of the truth.
#include "platform/DriveMap.h"
#include "store/CacheListing.h"
#include "store/NodeFile.h"
#include "store/TItemData.h"
#include "store/TNodeData.h"

#include <random>
#include <string>
#include <vector>

namespace randomcache {

struct Entry {
    std::string Computer;
    std::string Folder;  // UTF-8, with its trailing backslash
    std::string Name;    // UTF-8
    uint32_t Size = 0;
    uint32_t Attributes = 0;
    double Modified = 0;
};

inline std::string randomName(std::mt19937& rng)
{
    static const char* const words[] = {"report", "Photo", "DATA", "backup", "Setup", "notes", "Music",
                                        "video", "Readme", "invoice", "draft", "Final"};
    static const char* const han[] = {"報告", "照片", "資料", "備份", "音樂", "會議", "臺北", "預算",
                                      "發票", "草稿", "電影", "檔案"};
    static const char* const extensions[] = {".txt", ".JPG", ".mp3", ".doc", ".Zip", ".exe", ""};
    std::string name;
    const int parts = 1 + int(rng() % 3);
    for (int k = 0; k < parts; k++) {
        if (k)
            name += rng() % 2 ? "_" : " ";
        name += rng() % 3 == 0 ? han[rng() % 12] : words[rng() % 12];
    }
    name += std::to_string(rng() % 1000);
    name += extensions[rng() % 7];
    return name;
}

/// Writes `computers` computers PC0.. under workgroup "WG" of the network branch of
/// `cachePath` (Windows-style, trailing backslash), `entries` entries in all, in folders of
/// about `perFolder` entries; every `rareEvery`-th entry (when not 0) gets `rare` in its name.
/// Returns every entry written.
inline std::vector<Entry> makeRandomCache(const std::string& cachePath, int computers, int entries,
                                          unsigned seed, int perFolder = 50, const std::string& rare = {},
                                          int rareEvery = 0)
{
    std::mt19937 rng(seed);
    TNodeData net;
    net.Caption = "網路上的芳鄰";
    net.Key = "Net";
    net.RootKind = NetRoot;
    net.NodeAttributes = Sys | Domain | Container;
    net.StoreDir = cachePath;
    WriteNodeRecord(net);
    TNodeData group;
    group.Caption = "WG";
    group.Key = "WG";
    group.RootKind = NetRoot;
    group.NodeAttributes = Domain | Container;
    group.StoreDir = cachePath + "Net\\";
    WriteNodeRecord(group);
    const std::string computerDir = cachePath + "Net\\WG\\";
    std::vector<Entry> written;
    written.reserve(size_t(entries));
    for (int c = 0; c < computers; c++) {
        TNodeData pc;
        pc.Caption = "PC" + std::to_string(c);
        pc.Key = pc.Caption;
        pc.RootKind = NetRoot;
        pc.NodeAttributes = Computer | Container;
        pc.StoreDir = computerDir;
        pc.RemoteName = "\\\\" + pc.Caption;
        WriteNodeRecord(pc);
        const int share = entries / computers + (c < entries % computers ? 1 : 0);
        std::vector<TItemList> folders;
        for (int made = 0, f = 0; made < share; f++) {
            const std::string folder = "\\\\" + pc.Caption + "\\共用" + std::to_string(f % 7) + "\\"
                                       + randomName(rng) + std::to_string(f) + "\\";
            TItemList list;
            for (int k = 0; k < perFolder && made < share; k++, made++) {
                Entry e;
                e.Computer = pc.Caption;
                e.Folder = folder;
                e.Name = std::to_string(k) + "-" + randomName(rng);
                if (rareEvery > 0 && written.size() % size_t(rareEvery) == size_t(rareEvery) / 2)
                    e.Name.insert(e.Name.size() / 2, rare);
                e.Attributes = rng() % 10 == 0 ? FileAttributeDirectory : 0x20;
                e.Size = e.Attributes == FileAttributeDirectory ? 0 : uint32_t(rng() % 100000000);
                e.Modified = 36526 + double(rng() % 9000) + double(rng() % 86400) / 86400.0;  // 2000 to 2024
                TItemData item;
                SetItemPath(item, folder + e.Name);
                item.Size = e.Size;
                item.Attributes = e.Attributes;
                item.Modified = e.Modified;
                list.push_back(item);
                written.push_back(e);
            }
            folders.push_back(std::move(list));
        }
        ReplaceFolderListings(computerDir, pc.Key, folders);
    }
    return written;
}

} // namespace randomcache
