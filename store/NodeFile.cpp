#include "store/NodeFile.h"

#include "platform/AtomicFile.h"
#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "platform/NativeNames.h"
#include "platform/TextCodec.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"
#include "store/ListingPair.h"
#include "store/NodePaths.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Reads the next whole record; false at the end of the file or before a partial record.
bool readRecord(PlatformFile& file, NodeRecord& record)
{
    size_t got = 0;
    return file.read(record.data(), record.size(), &got) && got == record.size();
}

// The key as the file stores it: records are matched on their exact bytes.
std::string storedKey(const std::string& key)
{
    return EncodeCP950Cut(key, 127);
}

// A file that is not a whole number of records ends in a partial record (a write cut short,
// a disk that filled up). The whole records before it are good: the damaged tail is kept
// in a file of its own beside the node file, so nothing is thrown away unseen, and then cut
// off, so that the next record is appended where it belongs and the file stays writable.
void setDamagedTailAside(PlatformFile& file, const std::string& path)
{
    const int64_t size = file.size();
    if (size < 0)
        RaiseFileError(file.error());
    const int64_t whole = size - size % NodeRecordSize;
    if (whole == size)
        return;
    std::string tail(size_t(size - whole), '\0');
    size_t got = 0;
    if (!file.seek(whole) || !file.read(tail.data(), tail.size(), &got) || got != tail.size())
        RaiseFileError(file.error());
    std::string aside = DamagedTailPath(path);
    for (int n = 1; FileExists(aside) || DirectoryExists(aside); ++n)
        aside = DamagedTailPath(path) + std::to_string(n);
    int error = 0;
    if (!WriteFileReplacing(aside, tail.data(), tail.size(), &error))
        throw Exception(UiFormat("節點檔 %1 的結尾有 %2 位元組的殘缺記錄，無法另存到 %3，不再寫入：%4",
                                 {path, std::to_string(tail.size()), aside, Win32MessageText(error)}));
    if (!file.truncate(whole) || !file.seek(0))
        RaiseFileError(file.error());
    std::fprintf(stderr, "tamsel: %s\n",
                 UiFormat("節點檔 %1 的結尾有 %2 位元組的殘缺記錄，已另存到 %3 並從節點檔移除",
                          {path, std::to_string(tail.size()), aside})
                     .c_str());
}

// The offset of the first record with `key` in `bytes`, or the end of the last record.
size_t findRecord(const std::string& bytes, const std::string& key)
{
    size_t offset = 0;
    for (; offset + NodeRecordSize <= bytes.size(); offset += NodeRecordSize)
        if (RecordKeyBytes(reinterpret_cast<const unsigned char*>(bytes.data()) + offset) == key)
            break;
    return offset;
}

} // namespace

std::string DamagedTailPath(const std::string& nodeFile)
{
    return nodeFile + ".TAIL";
}

void WriteNodeRecords(const std::vector<TNodeData*>& records)
{
    if (records.empty())
        return;
    const std::string folder = records.front()->StoreDir;
    for (const TNodeData* data : records) {
        if (data->StoreDir != folder)
            throw Exception(UiCaption("一次寫入的節點記錄必須在同一個節點檔中"));
        if (data->has(Domain) && !(data->State & Deleted) && !IsPlainName(data->Key))
            throw Exception(UiFormat("節點名稱不可作為資料夾名稱：%1", {data->Key}));
    }
    const std::string path = folder + NodeFileName;
    RemoveStaleTemporaries(path);
    // The old file stays locked while its replacement is made, so no other writer's change
    // can fall between the read and the rename.
    auto file = OpenFileOrRaise(path, FileMode::OpenOrCreate);
    setDamagedTailAside(*file, path);
    std::string bytes(size_t(file->size()), '\0');
    size_t got = 0;
    if (!bytes.empty() && (!file->read(bytes.data(), bytes.size(), &got) || got != bytes.size()))
        RaiseFileError(file->error());
    std::vector<int32_t> offsets;
    for (TNodeData* data : records) {
        size_t offset = data->RecordOffset >= 0 ? size_t(data->RecordOffset) : findRecord(bytes, storedKey(data->Key));
        if (offset % NodeRecordSize != 0 || offset > bytes.size())
            throw Exception("Not Found Data");
        const NodeRecord record = EncodeNodeRecord(*data);
        if (offset == bytes.size())
            bytes.append(NodeRecordSize, '\0');
        std::memcpy(bytes.data() + offset, record.data(), record.size());
        offsets.push_back(int32_t(offset));
    }
    int error = 0;
    if (!WriteFileReplacing(path, bytes.data(), bytes.size(), &error))
        RaiseFileError(error);
    file.reset();
    for (size_t k = 0; k < records.size(); k++) {
        records[k]->RecordOffset = offsets[k];
        if (records[k]->has(Domain) && !(records[k]->State & Deleted)
            && !ForceDirectories(folder + records[k]->Key, &error))
            RaiseFileError(error);
    }
}

void WriteNodeRecord(TNodeData& data)
{
    const bool makeFolder = data.has(Domain) && !(data.State & Deleted);
    if (makeFolder && !IsPlainName(data.Key))
        throw Exception(UiFormat("節點名稱不可作為資料夾名稱：%1", {data.Key}));
    auto file = OpenFileOrRaise(data.StoreDir + NodeFileName, FileMode::OpenOrCreate);
    setDamagedTailAside(*file, data.StoreDir + NodeFileName);
    if (data.RecordOffset == -1) {
        const std::string key = storedKey(data.Key);
        NodeRecord record;
        int64_t offset = 0;
        while (readRecord(*file, record)) {
            if (RecordKeyBytes(record.data()) == key)
                break;
            offset += NodeRecordSize;
        }
        // Either the matching record or the end of the file.
        data.RecordOffset = int32_t(offset);
    }
    if (!file->seek(data.RecordOffset))
        RaiseFileError(file->error());
    const NodeRecord record = EncodeNodeRecord(data);
    if (!file->write(record.data(), record.size()))
        RaiseFileError(file->error());
    file.reset();

    if (makeFolder) {
        int error = 0;
        if (!ForceDirectories(data.StoreDir + data.Key, &error))
            RaiseFileError(error);
    }
}

void ReadNodeRecord(TNodeData& data)
{
    auto file = OpenFileOrRaise(data.StoreDir + NodeFileName, FileMode::Read);
    NodeRecord record;
    int64_t offset = 0;
    if (data.RecordOffset >= 0) {
        offset = data.RecordOffset;
        if (!file->seek(offset) || !readRecord(*file, record))
            throw Exception("Not Found Data");
    } else {
        const std::string key = storedKey(data.Key);
        for (;; offset += NodeRecordSize) {
            if (!readRecord(*file, record))
                throw Exception("Not Found Data");
            if (RecordKeyBytes(record.data()) == key)
                break;
        }
    }
    DecodeNodeRecord(record.data(), data);
    data.RecordOffset = int32_t(offset);
    ResetRunTimeState(data);
}

TNodeList ReadStoredRecords(const std::string& folder)
{
    TNodeList list;
    const std::string path = folder + NodeFileName;
    // Anything in the file's place, a folder or a FIFO too, is opened and refused by the
    // open; only nothing at all is an empty node file.
    if (!FileExists(path) && !DirectoryExists(path))
        return list;
    auto file = OpenFileOrRaise(path, FileMode::Read);
    NodeRecord record;
    for (int64_t offset = 0; readRecord(*file, record); offset += NodeRecordSize) {
        auto data = std::make_unique<TNodeData>();
        DecodeNodeRecord(record.data(), *data);
        data->RecordOffset = int32_t(offset);
        data->StoreDir = folder;
        list.push_back(std::move(data));
    }
    return list;
}

void LoadNodeFile(const std::string& folder, TNodeList& list, bool sorted)
{
    for (auto& data : ReadStoredRecords(folder)) {
        if (data->State & Deleted)
            continue;
        // A node's key names its cache files and folder: one that is not a plain name
        // (a crafted or damaged file) is left out, never joined onto the store folder.
        if (const std::string fault = NameFault(data->Key); !fault.empty()) {
            std::fprintf(stderr, "tamsel: %s%s: %s (%s)\n", folder.c_str(), NodeFileName,
                         UiFormat("拒絕不安全的名稱: %1", {data->Key}).c_str(), fault.c_str());
            continue;
        }
        ResetRunTimeState(*data);
        list.push_back(std::move(data));
    }
    if (sorted)
        std::stable_sort(list.begin(), list.end(),
                         [](const auto& a, const auto& b) { return CompareNodes(*a, *b) < 0; });
}

void DeleteNodeCache(TNodeData& data, bool markDeleted)
{
    if (!IsPlainName(data.Key))
        throw Exception(UiFormat("節點名稱不可作為快取檔名：%1", {data.Key}));
    const std::string base = data.StoreDir + data.Key;
    if (data.has(Computer)) {
        RecoverFolderListings(data.StoreDir, data.Key);
        for (const char* ext : {".LST", ".IDX", ".PAIR", ".CHG"}) {
            int error = 0;
            if (FileExists(base + ext) && !DeleteFile(base + ext, &error))
                RaiseFileError(error);
        }
    } else if (data.has(Domain) && DirectoryExists(base)) {
        if (!DeleteFolderTree(base))
            throw Exception(UiFormat("無法刪除快取資料夾 %1", {base}));
    }
    if (markDeleted) {
        data.State |= Deleted;
        WriteNodeRecord(data);
    }
}
