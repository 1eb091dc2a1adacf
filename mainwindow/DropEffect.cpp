#include "mainwindow/DropEffect.h"

#include "store/NodePaths.h"
#include "store/TNodeData.h"

#include <cstdlib>

namespace {

enum class Source { Real, FtpItem, FtpRecord, ExpandedRecord, BookmarkRecord, Other };

Source Classify(char kind)
{
    if (IsRealSourceKind(kind))
        return Source::Real;
    switch (kind) {
    case '1':
    case '2': return Source::FtpItem;
    case '3': return Source::FtpRecord;
    case '4': return Source::ExpandedRecord;
    case '5': return Source::BookmarkRecord;
    default: return Source::Other;
    }
}

// Move unless Shift or Ctrl is held.
uint32_t MoveUnlessCopyKey(uint32_t keyState)
{
    return (keyState & (DragKeyShift | DragKeyControl)) ? DropEffectCopy : DropEffectMove;
}

// Folder paths compare without their trailing separator.
std::string Folded(const std::string& path)
{
    return path.size() > 3 ? RemoveBackslash(path) : path;
}

bool IsSameOrInside(const std::string& path, const std::string& folder)
{
    const std::string inner = Folded(path), outer = Folded(folder);
    if (inner == outer)
        return true;
    return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0
        && (outer.back() == '\\' || inner[outer.size()] == '\\');
}

} // namespace

char DragSourceKind(const std::vector<std::string>& entries)
{
    return entries.empty() || entries.front().empty() ? '\0' : entries.front().front();
}

DropChoice ChooseDropEffect(uint8_t rootKind, uint16_t attributes, char sourceKind, uint32_t keyState)
{
    const Source source = Classify(sourceKind);
    const bool domain = (attributes & Domain) != 0;
    const bool folder = (attributes & Folder) != 0;
    switch (rootKind) {
    case BookmarkRoot:
        if (domain && source == Source::BookmarkRecord)
            return {DropBookmarkRecords, MoveUnlessCopyKey(keyState)};
        break;
    case LocalRoot:
    case NetRoot:
        if (folder && source == Source::FtpItem)
            return {DropFtpDownload, DropEffectCopy};
        if (folder && source == Source::Real) {
            // A drive is another volume: what lands there is copied, as between volumes.
            const uint32_t effect = (attributes & Drive) ? uint32_t(DropEffectCopy) : MoveUnlessCopyKey(keyState);
            return {DropShellOperation, effect};
        }
        break;
    case ExpandedRoot:
        if (domain && source == Source::ExpandedRecord)
            return {DropExpandedRecords, MoveUnlessCopyKey(keyState)};
        if (folder && source == Source::Real)
            return {DropShellOperation, MoveUnlessCopyKey(keyState)};
        break;
    case FtpRoot:
        if (domain && source == Source::FtpRecord)
            return {DropFtpRecords, MoveUnlessCopyKey(keyState)};
        // An upload leaves the local files where they are, whatever the keys say.
        if (folder && source == Source::Real)
            return {DropFtpUpload, DropEffectCopy};
        break;
    default:
        break;
    }
    return {};
}

bool DragDistanceReached(int dx, int dy)
{
    return std::abs(dx) >= kDragThreshold || std::abs(dy) >= kDragThreshold;
}

bool IsPointlessFileDrop(const std::vector<std::string>& sources, const std::string& targetFolder)
{
    if (sources.empty() || targetFolder.empty())
        return true;
    const std::string target = Folded(targetFolder);
    bool allThere = true;
    for (const std::string& source : sources) {
        if (IsSameOrInside(targetFolder, source))
            return true;
        allThere = allThere && Folded(std::string(FolderPart(Folded(source)))) == target;
    }
    return allThere;
}

bool IsRecordDropAllowed(const std::vector<std::string>& sourceCaches, const std::string& targetFolder)
{
    if (sourceCaches.empty() || targetFolder.empty())
        return false;
    const std::string target = Folded(targetFolder);
    for (const std::string& cache : sourceCaches) {
        if (IsSameOrInside(targetFolder, cache))
            return false;
        if (Folded(std::string(FolderPart(cache))) == target)
            return false;
    }
    return true;
}
