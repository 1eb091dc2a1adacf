#include "store/NameTable.h"

#include "platform/AtomicFile.h"
#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "platform/NativeNames.h"
#include "platform/TextCodec.h"
#include "platform/Win32Error.h"
#include "store/NodeFile.h"
#include "store/NodePaths.h"

#include <algorithm>

namespace {

constexpr const char* kColumnGap = "     ";
constexpr size_t kMaxTableBytes = 1 << 20;
// Stored folders nest as deep as the user made them; a deeper chain is not the user's.
constexpr int kMaxDepth = 64;

void visitFolder(const std::string& folder, int depth, const std::function<void(const TNodeData&)>& visit)
{
    if (depth > kMaxDepth)
        return;
    TNodeList records;
    LoadNodeFile(folder, records, false);
    for (const auto& record : records) {
        visit(*record);
        // A key that is not a plain name would lead outside the store.
        if (record->has(Domain) && IsPlainName(record->Key))
            visitFolder(folder + record->Key + "\\", depth + 1, visit);
    }
}

// The name part of a table line: what follows the address and its gap.
std::string_view lineName(const std::string& line)
{
    const size_t gap = line.find(kColumnGap);
    return gap == std::string::npos ? std::string_view(line) : std::string_view(line).substr(gap + 5);
}

} // namespace

std::string NameTablePath(const std::string& exePath)
{
    return exePath + "lmhosts";
}

void VisitStoredNodes(const std::string& cachePath, const std::function<void(const TNodeData&)>& visit)
{
    for (const char* branch : {"Expanded\\", "Bookmark\\"})
        visitFolder(cachePath + branch, 0, visit);
}

std::vector<StoredComputer> CollectStoredComputers(const std::string& cachePath, const std::function<void()>& afterRecord)
{
    std::vector<StoredComputer> found;
    VisitStoredNodes(cachePath, [&](const TNodeData& record) {
        if (afterRecord)
            afterRecord();
        if (!record.has(Domain) && record.has(Computer) && (record.RootKind == ExpandedRoot || record.has(Bookmark)))
            found.push_back({record.Host, record.Key});
    });
    return found;
}

std::vector<std::string> BuildNameTable(const std::vector<StoredComputer>& computers,
                                        const std::function<bool(const std::string&, const std::string&)>& replace)
{
    std::vector<std::string> lines;
    for (const StoredComputer& computer : computers) {
        std::string line = NameTableLine(computer.host, computer.name);
        if (line.empty())
            continue;
        bool placed = false;
        for (std::string& existing : lines) {
            if (CompareTextNoCase(lineName(existing), computer.name) != 0)
                continue;
            if (replace(line, existing))
                existing = line;
            placed = true;
            break;
        }
        if (!placed)
            lines.push_back(std::move(line));
    }
    return lines;
}

std::string NameTableLine(const std::string& address, const std::string& name)
{
    if (address.empty() || name.empty() || (address + name).find_first_of("\r\n") != std::string::npos)
        return {};
    return address + kColumnGap + name;
}

std::vector<NameTableEntry> ReadNameTable(const std::string& path)
{
    int error = 0;
    const auto file = OpenFile(path, FileMode::Read, &error);
    if (!file)
        return {};
    std::string text(static_cast<size_t>(std::clamp<int64_t>(file->size(), 0, kMaxTableBytes)), '\0');
    size_t got = 0;
    if (!file->read(text.data(), text.size(), &got))
        return {};
    text.resize(got);
    return ParseNameTable(text);
}

void SaveNameTable(const std::string& path, const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += EncodeCP950(line) + "\n"; // in the OEM code page, as the resolvers read it
    int error = 0;
    if (!WriteFileReplacing(path, text.data(), text.size(), &error))
        throw Exception(Win32MessageText(error));
}
