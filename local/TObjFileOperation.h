#pragma once
#include <QPointer>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "local/FileOperationEngine.h"
#include "local/FileOperationQuestions.h"
#include "local/TOpenedCopies.h"
#include "local/TWorkerThread.h"

class QWidget;
class TFileOperationDialog;

// One file operation (or one "open" request) off the window thread. Created suspended;
// one of the two request operations stores the request and starts it. Its progress
// window, questions and error message appear on the window thread; its completion
// handler is called at the end in every case, also after a cancel.
class TObjFileOperation : public TWorkerThread, private FileOperationUi {
    Q_OBJECT
public:
    /// Longest interval between two progress updates on the screen.
    static constexpr std::chrono::milliseconds kProgressInterval{100};

    explicit TObjFileOperation(QWidget* window);
    ~TObjFileOperation() override;

    /// Opens `file` (Windows-style) with the shell's "open", `parameters` passed to a program.
    /// A file of a share is copied into the Temp folder first (with the progress window),
    /// since the programs of the desktop cannot open the UNC form: into `tempFolder`
    /// (Windows-style, ending in a backslash).
    void RequestOpen(const std::string& file, const std::string& parameters, const std::string& tempFolder);
    /// As RequestOpen, with the program's arguments given one by one and passed unchanged.
    void RequestOpenArguments(const std::string& file, const QStringList& arguments, const std::string& tempFolder);
    /// For an open: whether a file that would run as a program asks first (a file the user
    /// opened) or runs at once (a program the user set up to run).
    bool AskBeforeRunning = true;
    /// Copies `size` bytes of the source list (paths each ending in a zero byte, one more
    /// zero at the end; Windows-style) and the destination, then starts.
    void RequestFileOperation(uint32_t operation, const char* sourceList, uint16_t flags,
                              const std::string& destination, size_t size);

    /// The result: 0 for a file operation that succeeded, above 32 for an open that did.
    int ResultCode = 0;
    /// Details of a file operation, for the completion handler (trashed entries, failure).
    FileOperationOutcome Outcome;
    /// After an open of a share's file: the copy that was opened (native; empty when none
    /// was made), the share's file (UNC) and what the server said of it before the copy.
    std::string OpenedCopy;
    std::string CopiedFrom;
    ServerStamp CopiedStamp;
    /// Set by the creator before the request, or our dialogs.
    FileOperationQuestions Questions = FileOperationQuestions::Dialogs();
    /// The file system of each path (FileSystem.h); tests hand in one of their own.
    FileSystemPicker FileSystems = FileSystemFor;
    /// Title of a simple progress display.
    QString Title;
    /// Show the progress window as application-modal (synchronous requests).
    bool Modal = false;

    /// The parameters of an open request as a program's arguments, split by the shell's
    /// quoting; an argument that is a Windows-style local path (a tool's "%FILE") becomes
    /// the native path, since programs here cannot open the other form.
    static QStringList NativeArguments(const std::string& parameters);

protected:
    void Execute() override;

private:
    void begin(uint32_t operation, uint64_t totalBytes, uint64_t totalEntries) override;
    void progress(uint64_t doneBytes, const std::string& current) override;
    bool cancelled() override;
    OverwriteAnswer askOverwrite(const FileOpEntry& existing, const FileOpEntry& incoming) override;
    bool confirmDelete(const std::vector<std::string>& paths, bool toTrash) override;
    void end() override {}
    void reportError(const QString& text);
    /// The native path of the Temp copy of a share's file; empty after a failure, reported.
    std::string downloadForOpen(const std::string& unc);

    QPointer<QWidget> m_window;
    std::vector<char> m_source;
    std::string m_destination;
    std::string m_tempFolder; // where a share's file is put to be opened
    std::optional<QStringList> m_arguments; // given one by one, instead of the parameter text
    uint32_t m_operation = 0;
    uint16_t m_flags = 0;
    QPointer<TFileOperationDialog> m_dialog;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    std::chrono::steady_clock::time_point m_lastProgress;
};
