#include "store/NodeFile.h"

#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "platform/TextCodec.h"
#include "platform/Win32Error.h"
#include "store/NodePaths.h"

#include <algorithm>

namespace {

[[noreturn]] void raiseSystemError(int code)
{
    throw Exception(Win32MessageText(code));
}

std::unique_ptr<PlatformFile> openOrRaise(const std::string& path, FileMode mode)
{
    int error = 0;
    auto file = OpenFile(path, mode, &error);
    if (!file)
        raiseSystemError(error ? error : Win32::FileNotFound);
    return file;
}

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

} // namespace

bool IsPlainKey(const std::string& key)
{
    return !key.empty() && key != "." && key != ".." && key.find_first_of(std::string("\\/\0", 3)) == std::string::npos;
}

void WriteNodeRecord(TNodeData& data)
{
    const bool makeFolder = data.has(Domain) && !(data.State & Deleted);
    if (makeFolder && !IsPlainKey(data.Key))
        throw Exception("節點名稱不可作為資料夾名稱：" + data.Key);
    auto file = openOrRaise(data.StoreDir + NodeFileName, FileMode::OpenOrCreate);
    if (data.RecordOffset == -1) {
        const std::string key = storedKey(data.Key);
        NodeRecord record;
        int64_t offset = 0;
        while (readRecord(*file, record)) {
            if (RecordKeyBytes(record.data()) == key)
                break;
            offset += NodeRecordSize;
        }
        // Either the matching record or the end of the last whole record: a partial
        // record left by a damaged file is overwritten.
        data.RecordOffset = int32_t(offset);
    }
    if (!file->seek(data.RecordOffset))
        raiseSystemError(file->error());
    const NodeRecord record = EncodeNodeRecord(data);
    if (!file->write(record.data(), record.size()))
        raiseSystemError(file->error());
    file.reset();

    if (makeFolder) {
        int error = 0;
        if (!ForceDirectories(data.StoreDir + data.Key, &error))
            raiseSystemError(error);
    }
}

void ReadNodeRecord(TNodeData& data)
{
    auto file = openOrRaise(data.StoreDir + NodeFileName, FileMode::Read);
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
    if (!FileExists(path))
        return list;
    auto file = openOrRaise(path, FileMode::Read);
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
        ResetRunTimeState(*data);
        list.push_back(std::move(data));
    }
    if (sorted)
        std::stable_sort(list.begin(), list.end(),
                         [](const auto& a, const auto& b) { return CompareNodes(*a, *b) < 0; });
}

void DeleteNodeCache(TNodeData& data, bool markDeleted)
{
    if (!IsPlainKey(data.Key))
        throw Exception("節點名稱不可作為快取檔名：" + data.Key);
    const std::string base = data.StoreDir + data.Key;
    if (data.has(Computer)) {
        for (const char* ext : {".LST", ".IDX"}) {
            int error = 0;
            if (FileExists(base + ext) && !DeleteFile(base + ext, &error))
                raiseSystemError(error);
        }
    } else if (data.has(Domain) && DirectoryExists(base)) {
        if (!DeleteFolderTree(base))
            throw Exception("無法刪除快取資料夾 " + base);
    }
    if (markDeleted) {
        data.State |= Deleted;
        WriteNodeRecord(data);
    }
}
