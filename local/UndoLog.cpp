#include "local/UndoLog.h"

#include "local/TObjShell.h"
#include "platform/DriveMap.h"
#include "platform/FileSystem.h"
#include "platform/NativeFiles.h"
#include "platform/SmbFiles.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"
#include "resources/UiText.h"

#include <algorithm>

namespace {

// Whether anything is at a native path, on a local disk or a share.
bool exists(const std::string& native)
{
    return FileSystemFor(native).exists(native);
}

enum : int {
    kStrNothingToUndo = 44300, kStrUndoRename = 44301, kStrUndoMoveTo = 44302, kStrUndoDelete = 44303,
    kStrCannotUndoDelete = 44304, kStrPlaceTaken = 44305, kStrEntryGone = 44306, kStrRestoreFailed = 44307,
    kStrUndoMoveBack = 44308,
};

QString shown(const std::string& native)
{
    return QString::fromStdString(UndoLog::WindowsFormOf(native));
}

std::string folderOf(const std::string& native)
{
    std::string folder = UndoLog::WindowsFormOf(NativeDirName(native));
    if (!folder.empty() && folder.back() != '\\')
        folder += '\\';
    return folder;
}

std::string trashedFile(const TrashItem& item)
{
    return item.trashDir + "/files/" + item.name;
}

} // namespace

std::string UndoLog::WindowsFormOf(const std::string& native)
{
    return IsSmbNative(native) ? UncFromSmbNative(native) : WindowsPath(native);
}

void UndoLog::Record(uint32_t operation, const FileOperationOutcome& outcome, bool asynchronous)
{
    // The undo's own renames and moves are waited for; they are not steps of their own.
    if (m_undoing && !asynchronous)
        return;
    switch (operation) {
    case FO_RENAME:
    case FO_MOVE:
        if (outcome.moved.empty())
            return;
        m_kind = operation == FO_RENAME ? Rename : Move;
        m_moves = outcome.moved;
        m_trashed.clear();
        return;
    case FO_DELETE:
        // A delete the user cancelled keeps the step before: undo looks at every place
        // again before it acts.
        if (outcome.trashed.empty() && outcome.aborted)
            return;
        m_moves.clear();
        m_trashed = outcome.trashed;
        // Nothing in the trash: gone for good (a share, or no undo asked for).
        m_kind = m_trashed.empty() ? Irreversible : Delete;
        return;
    default:
        return;
    }
}

QString UndoLog::Description() const
{
    switch (m_kind) {
    case Rename:
        return UiString(kStrUndoRename)
            .arg(QString::fromStdString(NativeBaseName(m_moves.front().second)),
                 QString::fromStdString(NativeBaseName(m_moves.front().first)));
    case Move: {
        const std::string folder = folderOf(m_moves.front().first);
        const bool oneFolder = std::all_of(m_moves.begin(), m_moves.end(),
                                           [&](const auto& move) { return folderOf(move.first) == folder; });
        if (oneFolder)
            return UiString(kStrUndoMoveTo).arg(m_moves.size()).arg(QString::fromStdString(folder));
        return UiString(kStrUndoMoveBack).arg(m_moves.size());
    }
    case Delete: return UiString(kStrUndoDelete).arg(m_trashed.size());
    case Irreversible: return UiString(kStrCannotUndoDelete);
    case Nothing: break;
    }
    return UiString(kStrNothingToUndo);
}

UndoLog::Result UndoLog::check() const
{
    Result result;
    for (const auto& [original, current] : m_moves) {
        if (!exists(current))
            result.error = UiString(kStrEntryGone).arg(shown(current));
        else if (exists(original))
            result.error = UiString(kStrPlaceTaken).arg(shown(original));
        if (!result.error.isEmpty())
            return result;
    }
    for (const TrashItem& item : m_trashed) {
        if (!exists(trashedFile(item)))
            result.error = UiString(kStrEntryGone).arg(shown(item.originalPath));
        else if (exists(item.originalPath))
            result.error = UiString(kStrPlaceTaken).arg(shown(item.originalPath));
        if (!result.error.isEmpty())
            return result;
    }
    return result;
}

UndoLog::Result UndoLog::Undo(TObjShell& shell)
{
    if (!CanUndo())
        return {};
    Result result = check();
    if (!result.error.isEmpty())
        return result;
    m_undoing = true;
    result = m_kind == Delete ? undoDelete() : undoMoves(shell);
    m_undoing = false;
    if (result.done)
        Clear();
    return result;
}

UndoLog::Result UndoLog::undoMoves(TObjShell& shell)
{
    Result result;
    for (const auto& [original, current] : m_moves)
        for (const std::string& folder : {folderOf(original), folderOf(current)})
            if (std::find(result.folders.begin(), result.folders.end(), folder) == result.folders.end())
                result.folders.push_back(folder);

    bool failed = false;
    if (m_kind == Rename) {
        const auto& [original, current] = m_moves.front();
        failed = shell.FileOperation(FO_RENAME, {WindowsFormOf(current)}, QString(), FOF_ALLOWUNDO, false,
                                     WindowsFormOf(original)) != 0;
    } else {
        // One move per folder the entries came from; each keeps its name on the way back.
        std::vector<std::string> done;
        for (const auto& [original, current] : m_moves) {
            const std::string folder = folderOf(original);
            if (failed || std::find(done.begin(), done.end(), folder) != done.end())
                continue;
            done.push_back(folder);
            std::vector<std::string> sources;
            for (const auto& [otherOriginal, otherCurrent] : m_moves)
                if (folderOf(otherOriginal) == folder)
                    sources.push_back(WindowsFormOf(otherCurrent));
            failed = shell.FileOperation(FO_MOVE, sources, QString(), FOF_ALLOWUNDO, false, folder) != 0;
        }
    }
    // What went back is no longer part of the step; the rest can be tried again.
    m_moves.erase(std::remove_if(m_moves.begin(), m_moves.end(),
                                 [](const auto& move) { return exists(move.first) && !exists(move.second); }),
                  m_moves.end());
    result.done = !failed && m_moves.empty();
    if (m_moves.empty())
        m_kind = Nothing;
    return result;
}

UndoLog::Result UndoLog::undoDelete()
{
    Result result;
    std::vector<TrashItem> left;
    for (const TrashItem& item : m_trashed) {
        const std::string folder = folderOf(item.originalPath);
        if (std::find(result.folders.begin(), result.folders.end(), folder) == result.folders.end())
            result.folders.push_back(folder);
        int error = 0;
        if (!result.error.isEmpty() || !RestoreFromTrash(item, &error)) {
            if (result.error.isEmpty())
                result.error = UiString(kStrRestoreFailed)
                                   .arg(shown(item.originalPath), QString::fromStdString(Win32MessageText(error)));
            left.push_back(item);
        }
    }
    m_trashed = left;
    result.done = left.empty();
    if (left.empty())
        m_kind = Nothing;
    return result;
}
