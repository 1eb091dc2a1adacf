#pragma once
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <string>

#include "local/FileOperationEngine.h"
#include "local/FileOperationQuestions.h"
#include "local/TOpenedCopies.h"

class QWidget;
class TWorkerThread;

// The shell helper of the main window: runs shell jobs and counts the running ones
// (asking before more than WorkLimit run), opens and explores paths, the special folders,
// the recycle bin, and the one entry for file operations. Window thread only. Paths are
// Windows-style.
class TObjShell : public QObject {
public:
    explicit TObjShell(QWidget* window);
    ~TObjShell() override;

    int32_t WorkLimit = 30;
    int32_t JobCount = 0;
    /// Where a share's file is copied before it is opened (Windows-style, ending in a
    /// backslash); set by the main window from the program's folders.
    std::string TempFolder;
    /// Set by the main window to its UpdateTaskCounts.
    std::function<void()> OnCountChanged;
    /// Called on the window thread after a share's file was opened as a copy in
    /// TempFolder: the copy (native), the share's file (UNC), the server's file as copied.
    std::function<void(const std::string& copy, const std::string& unc, const ServerStamp& copied)> OnCopyOpened;

    /// The questions of file operations (our dialogs unless replaced).
    FileOperationQuestions Questions = FileOperationQuestions::Dialogs();
    /// The yes/no question of too many jobs; returns IdYes or IdNo.
    std::function<int(QWidget* owner, const QString& text)> AskQuestion;

    /// Counts a new job, asking first when it would be one more than WorkLimit.
    bool CanStartJob();
    /// Completion handler of every job worker.
    void JobDone(TWorkerThread* sender);

    /// Opens `file` with "open" and `parameters`, as a counted job.
    void RunProgram(const std::string& file, const std::string& parameters);
    /// The same with the program's arguments given one by one (no splitting, no shell).
    void RunProgram(const std::string& file, const QStringList& arguments);
    /// Opens a file the user chose, as RunProgram without parameters; a file that would run
    /// as a program runs only after ShellServices::AskBeforeRunning said yes.
    void OpenFile(const std::string& file);
    /// "open" and "explore" of a Windows-style path, off the window thread; a failure is
    /// reported through Questions.showError in the program's words.
    void OpenPath(const std::string& path);
    void ExplorePath(const std::string& path);
    /// Called on the window thread when an OpenPath or ExplorePath has ended, with its
    /// path and its result (a ShellServices code; ShellDeclined when the user said no).
    /// Whatever it started has started by then.
    std::function<void(const std::string& path, int result)> OnPathDone;
    /// Shows a folder in the program itself, for an "explore" the desktop has no file
    /// manager for (set by the main window).
    std::function<void(const std::string& path)> ExploreHere;
    /// The desktop's search tool on `path` (the folder, when there is none).
    void ShowFind(const std::string& path);
    /// Explores a special folder; says so when this machine has no counterpart for it.
    void OpenSpecialFolder(int id);
    void SpecialFolderProperties(int id);
    void EmptyRecycleBin();
    /// Whether the path's type has an "open" command: programs by extension, other types
    /// when the desktop names a default application for them.
    static bool HasOpenCommand(const std::string& path);
    /// The message for an open, run or explore of `path` that did not start (`result` a
    /// ShellServices code other than ShellOk and ShellDeclined), with `reason` when known.
    static QString OpenFailureText(int result, const std::string& path, const QString& reason, bool explore);

    /// Every copy, move, delete and rename of the main window passes here. `sourceList`
    /// holds paths each followed by a zero byte and one more zero (`sourceSize` bytes).
    /// Asynchronous: returns 0 at once and the job is counted until it ends. Synchronous:
    /// returns 0 on success (above 32 for an open), non-zero otherwise. Returns 1 without
    /// doing anything when the user declines to start more jobs.
    int32_t FileOperation(uint32_t operation, const char* sourceList, const QString& title, uint16_t flags,
                          bool asynchronous, const std::string& destination, size_t sourceSize);
    /// Overload for callers that hold the paths as a list.
    int32_t FileOperation(uint32_t operation, const std::vector<std::string>& sources, const QString& title,
                          uint16_t flags, bool asynchronous, const std::string& destination);

    /// The outcome of the last synchronous file operation (what went to the trash).
    const FileOperationOutcome& LastOutcome() const { return m_lastOutcome; }

    /// Called on the window thread when a copy, move, delete or rename has ended, with the
    /// operation code and what it did; `asynchronous` tells a job's end from a waited one.
    std::function<void(uint32_t operation, const FileOperationOutcome& outcome, bool asynchronous)> OnOperationDone;

private:
    /// A counted open worker with its completion handler, or null when the user declined.
    class TObjFileOperation* newOpenJob();
    void startShellExec(const std::string& path, int kind);
    void shellExecDone(class TObjShellExec* worker);
    void countChanged();
    int ask(const QString& text);

    QPointer<QWidget> m_window;
    FileOperationOutcome m_lastOutcome;
};
