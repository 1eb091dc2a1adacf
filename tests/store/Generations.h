#pragma once
// Content of every stored file in numbered generations, each generation internally
// consistent and told apart from the others, and the reader's verdict on what a folder
// holds: the generation it reads as a whole, or -1 when it reads as a mix, damaged or not
// at all. Shared by the crash tests and the kill tests.
#include "platform/Exception.h"
#include "platform/RegistryFile.h"
#include "platform/RegistryStore.h"
#include "store/CacheListing.h"
#include "store/NodeFile.h"

#include <string>
#include <vector>

namespace generations {

constexpr int MaxFolders = 5;

inline std::string folderPath(int k)
{
    return "\\\\SRV\\SHARE\\D" + std::to_string(k) + "\\";
}

/// Generation g of a computer's listing: 1 + g % MaxFolders folders of 50 + g % 7 entries
/// whose sizes are g.
inline std::vector<TItemList> pairFolders(int g)
{
    std::vector<TItemList> folders(size_t(1 + g % MaxFolders));
    for (size_t k = 0; k < folders.size(); k++)
        for (int i = 0; i < 50 + g % 7; i++) {
            TItemData item;
            SetItemPath(item, folderPath(int(k)) + "檔案" + std::to_string(g) + "_" + std::to_string(i) + ".txt");
            item.Size = uint32_t(g);
            item.Attributes = 0x20;
            item.Modified = 45000 + g;
            folders[k].push_back(item);
        }
    return folders;
}

inline int pairVerdict(const std::string& storeDir, const std::string& key)
{
    int g = -1;
    int found = 0;
    bool ended = false;
    for (int k = 0; k < MaxFolders; k++) {
        TItemList list;
        try {
            ReadFolderListing(list, storeDir, key, folderPath(k));
        } catch (const Exception& e) {
            if (e.message().find("沒有") == std::string::npos)
                return -1;  // damaged or unreadable, not merely a folder this generation lacks
            ended = true;
            continue;
        }
        if (ended || list.empty())
            return -1;
        found++;
        if (k == 0)
            g = int(list.front().Size);
        if (list.size() != size_t(50 + g % 7))
            return -1;
        for (const TItemData& item : list)
            if (int(item.Size) != g)
                return -1;
    }
    return g >= 0 && found == 1 + g % MaxFolders ? g : -1;
}

/// Generation g of a LIST.DAT: 300 + 40 * (g % 9) records of size g.
inline TItemList listDat(int g)
{
    TItemList list(size_t(300 + 40 * (g % 9)));
    for (size_t i = 0; i < list.size(); i++) {
        SetItemPath(list[i], "C:\\資料\\" + std::to_string(g) + "\\" + std::to_string(i));
        list[i].Size = uint32_t(g);
    }
    return list;
}

inline int listDatVerdict(const std::string& path)
{
    TItemList list;
    try {
        ReadListDat(path, list);
    } catch (const Exception&) {
        return -1;
    }
    if (list.empty())
        return -1;
    const int g = int(list.front().Size);
    if (list.size() != listDat(g).size())
        return -1;
    for (const TItemData& item : list)
        if (int(item.Size) != g)
            return -1;
    return g;
}

/// Generation g of an FTP site's block.
inline FtpSiteBlock siteBlock(int g)
{
    FtpSiteBlock b;
    b.Host = "ftp" + std::to_string(g) + ".example";
    b.User = "使用者" + std::to_string(g);
    b.Password = std::string(size_t(g % 60), 'p');
    b.ProxyHost = "proxy" + std::to_string(g);
    b.Port = g;
    b.ProxyPort = g + 1;
    return b;
}

inline int siteVerdict(const TNodeData& node)
{
    unsigned char bytes[FtpSiteBlockSize];
    try {
        ReadNodeAttachment(node, bytes, sizeof bytes);
    } catch (const Exception&) {
        return -1;
    }
    const FtpSiteBlock b = DecodeFtpSiteBlock(bytes);
    const FtpSiteBlock want = siteBlock(b.Port);
    return b.Host == want.Host && b.User == want.User && b.Password == want.Password
                   && b.ProxyHost == want.ProxyHost && b.ProxyPort == want.ProxyPort
               ? b.Port
               : -1;
}

/// Generation g of the records of one node file: NodeCount records, each counting g files.
constexpr int NodeCount = 6;

inline std::vector<TNodeData> nodes(const std::string& storeDir, int g)
{
    std::vector<TNodeData> list(NodeCount);
    for (int k = 0; k < NodeCount; k++) {
        list[size_t(k)].StoreDir = storeDir;
        list[size_t(k)].Key = list[size_t(k)].Caption = "電腦" + std::to_string(k);
        list[size_t(k)].NodeAttributes = Computer;
        list[size_t(k)].State = Idle;
        list[size_t(k)].FileCount = g;
    }
    return list;
}

inline int nodesVerdict(const std::string& storeDir)
{
    TNodeList list;
    try {
        LoadNodeFile(storeDir, list, false);
    } catch (const Exception&) {
        return -1;
    }
    if (list.size() != size_t(NodeCount))
        return -1;
    for (const auto& d : list)
        if (d->FileCount != list.front()->FileCount)
            return -1;
    return list.front()->FileCount;
}

/// Generation g of the settings: three values under one key, saved as one change.
inline void writeSettings(int g)
{
    Registry reg;
    reg.openKey("Software\\Test", true);
    reg.writeInteger("First", uint32_t(g));
    reg.writeString("Text", std::string(size_t(200 + g % 50), char('a' + g % 26)));
    reg.writeInteger("Last", uint32_t(g));
    reg.closeKey();
}

inline int settingsVerdict(const std::string& text)
{
    std::vector<RegKey> keys;
    std::string error;
    if (!RegistryStore::parse(text, keys, &error))
        return -1;
    for (const RegKey& key : keys) {
        if (RegistryStore::foldCase(key.path) != "software\\test" || key.values.size() != 3)
            continue;
        const int g = int(key.values[0].dword);
        if (int(key.values[2].dword) == g
            && key.values[1].text == std::string(size_t(200 + g % 50), char('a' + g % 26)))
            return g;
    }
    return -1;
}

}  // namespace generations
