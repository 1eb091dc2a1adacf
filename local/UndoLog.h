#pragma once
#include "local/FileOperationEngine.h"
#include "platform/Trash.h"

#include <QString>

#include <string>
#include <utility>
#include <vector>

class TObjShell;

// The one step the main window can take back: its last rename, move or delete. It is
// taken from what a file operation reports it did (never from what was asked), so a move
// that merged into an existing folder, a delete that went for good or an operation that
// was cancelled before doing anything leaves nothing wrong to undo. Window thread only.
class UndoLog {
public:
    enum Kind { Nothing, Rename, Move, Delete, Irreversible };

    /// Takes the outcome of a finished operation. Copies change nothing that undo would
    /// take back, so they keep the step there is; an operation that did nothing does too.
    /// Waited-for operations that end while an undo runs are the undo's own and ignored.
    void Record(uint32_t operation, const FileOperationOutcome& outcome, bool asynchronous = false);
    /// Forgets the step.
    void Clear() { *this = UndoLog(); }

    Kind kind() const { return m_kind; }
    bool CanUndo() const { return m_kind == Rename || m_kind == Move || m_kind == Delete; }
    /// What undo will do, or why it cannot, in the program's words.
    QString Description() const;

    struct Result {
        bool done = false;
        /// Our own message for a refusal; empty when the file operation has reported its
        /// error itself.
        QString error;
        /// The folders (Windows form, ending in a backslash) whose contents changed or
        /// would have, for the caller to show again.
        std::vector<std::string> folders;
    };
    /// Takes the step back through the shell object's file operations (renames and moves)
    /// or the trash (deletes). Refuses without changing anything when an entry is no longer
    /// where the step left it or its old place is taken; the step stays then, so that the
    /// user can clear the way and try again. Otherwise the step is used up.
    Result Undo(TObjShell& shell);

    /// Windows-style form of a native path of the engine (a share's entry as UNC).
    static std::string WindowsFormOf(const std::string& native);

private:
    Result check() const;
    Result undoMoves(TObjShell& shell);
    Result undoDelete();

    Kind m_kind = Nothing;
    // (original place, current place), native.
    std::vector<std::pair<std::string, std::string>> m_moves;
    std::vector<TrashItem> m_trashed;
    bool m_undoing = false;
};
