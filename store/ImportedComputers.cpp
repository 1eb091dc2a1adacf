#include "store/ImportedComputers.h"

#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "platform/ServerNames.h"
#include "platform/TextCodec.h"
#include "store/NodePaths.h"
#include "store/TLZHuff.h"

#include <algorithm>

namespace {

bool sameComputer(const StoredComputer& a, const std::string& address, const std::string& name)
{
    return a.host == address && CompareTextNoCase(a.name, name) == 0;
}

// The computers of the store, or none when a node file cannot be read: then every computer
// found after the import counts as imported, which errs on the side of asking.
std::vector<StoredComputer> computersOrNone(const std::string& cachePath)
{
    try {
        return CollectStoredComputers(cachePath);
    } catch (const Exception&) {
        return {};
    }
}

} // namespace

std::string ImportedComputersPath(const std::string& cachePath)
{
    return cachePath + "lmhosts.imported";
}

bool ImportArchiveIntoCache(TLZHuff& coder, const std::string& archivePath, const std::string& cachePath)
{
    const std::vector<StoredComputer> before = computersOrNone(cachePath);
    if (!coder.ImportArchive(archivePath, cachePath))
        return false;
    const std::string listPath = ImportedComputersPath(cachePath);
    std::vector<NameTableEntry> listed = ReadNameTable(listPath);
    const size_t listedBefore = listed.size();
    for (const StoredComputer& computer : computersOrNone(cachePath)) {
        if (computer.host.empty() || computer.name.empty())
            continue;
        const auto same = [&](const StoredComputer& other) { return sameComputer(other, computer.host, computer.name); };
        const auto listedSame = [&](const NameTableEntry& entry) { return sameComputer(computer, entry.address, entry.name); };
        if (std::none_of(before.begin(), before.end(), same) && std::none_of(listed.begin(), listed.end(), listedSame))
            listed.push_back({computer.host, computer.name});
    }
    if (listed.size() != listedBefore) {
        std::vector<std::string> lines;
        for (const NameTableEntry& entry : listed)
            if (std::string line = NameTableLine(entry.address, entry.name); !line.empty())
                lines.push_back(std::move(line));
        SaveNameTable(listPath, lines);
    }
    return true;
}

SortedComputers SortByOrigin(const std::vector<StoredComputer>& computers, const std::string& cachePath)
{
    const std::vector<NameTableEntry> listed = ReadNameTable(ImportedComputersPath(cachePath));
    SortedComputers sorted;
    for (const StoredComputer& computer : computers) {
        const bool imported = std::any_of(listed.begin(), listed.end(),
                                          [&](const NameTableEntry& entry) { return sameComputer(computer, entry.address, entry.name); });
        (imported ? sorted.imported : sorted.vouched).push_back(computer);
    }
    return sorted;
}

void ForgetImportedComputers(const std::string& cachePath)
{
    const std::string path = ImportedComputersPath(cachePath);
    if (FileExists(path))
        DeleteFile(path);
}
