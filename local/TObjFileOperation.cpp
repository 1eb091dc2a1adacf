#include "local/TObjFileOperation.h"

#include "local/TFileOperationDialog.h"
#include "local/TObjShell.h"
#include "platform/DriveMap.h"
#include "platform/NativeFiles.h"
#include "platform/SmbFiles.h"
#include "platform/ShellServices.h"
#include "platform/TextPathAlias.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"

#include <QProcess>
#include <QWidget>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kStrNotLocal = 44021;
constexpr int kStrFailed = 44018;

// Windows-style paths of the request to native ones; false names the first that has none.
bool toNative(const std::string& windows, std::string& native)
{
    native = NativePath(windows);
    return !native.empty();
}

// As toNative, for the engine, which also reaches the folders of shares.
bool toEngineNative(const std::string& windows, std::string& native)
{
    native = AnyNativePath(windows);
    return !native.empty();
}

// What the user reads of a native path: a share's entry in its UNC form.
std::string shownPath(const std::string& native)
{
    return IsSmbNative(native) ? UncFromSmbNative(native) : native;
}

} // namespace

QStringList TObjFileOperation::NativeArguments(const std::string& parameters)
{
    QStringList arguments = QProcess::splitCommand(QString::fromStdString(parameters));
    for (QString& argument : arguments) {
        const std::string native = NativePath(argument.toStdString());
        if (native.empty())
            continue;
        const std::string text = TextPathAlias(native);
        if (!text.empty())
            argument = QString::fromStdString(text);
    }
    return arguments;
}

TObjFileOperation::TObjFileOperation(QWidget* window) : m_window(window)
{
}

TObjFileOperation::~TObjFileOperation() = default;

void TObjFileOperation::RequestOpen(const std::string& file, const std::string& parameters,
                                    const std::string& tempFolder)
{
    m_source.assign(file.begin(), file.end());
    m_destination = parameters;
    m_tempFolder = tempFolder;
    m_operation = FO_OPEN;
    Resume();
}

void TObjFileOperation::RequestOpenArguments(const std::string& file, const QStringList& arguments,
                                             const std::string& tempFolder)
{
    m_arguments = arguments;
    RequestOpen(file, std::string(), tempFolder);
}

void TObjFileOperation::RequestFileOperation(uint32_t operation, const char* sourceList, uint16_t flags,
                                             const std::string& destination, size_t size)
{
    if (sourceList && size > 0)
        m_source.assign(sourceList, sourceList + size);
    m_destination = destination;
    m_operation = operation;
    m_flags = flags;
    Resume();
}

void TObjFileOperation::reportError(const QString& text)
{
    if (text.isEmpty())
        return;
    Synchronize([&] {
        if (Questions.showError)
            Questions.showError(m_window, text);
    });
}

void TObjFileOperation::Execute()
{
    if (m_operation == FO_OPEN) {
        const std::string file(m_source.begin(), m_source.end());
        std::string native;
        if (IsUncPath(file)) {
            native = downloadForOpen(file);
            if (native.empty()) {
                ResultCode = Outcome.code;
                CallCompletionAlways();
                return;
            }
        } else if (!file.empty() && file.front() == '/') {
            native = file; // a program named in this system's own form
        } else if (!toNative(file, native)) {
            native = ShellServices::FindProgram(file);
        }
        ResultCode = native.empty() ? int(ShellServices::ShellFileNotFound)
                                    : ShellServices::OpenWithArguments(native, m_arguments ? *m_arguments : NativeArguments(m_destination),
                                                                       AskBeforeRunning, [this](const std::string& file) {
                                                                           bool yes = false;
                                                                           Synchronize([&] { yes = ShellServices::AskBeforeRunning(file); });
                                                                           return yes;
                                                                       });
        // A program or file that did not start is said, with the reason, not left silent.
        if (ResultCode != ShellServices::ShellOk && ResultCode != ShellServices::ShellDeclined)
            reportError(TObjShell::OpenFailureText(ResultCode, file, ShellServices::LastFailureReason(), false));
        CallCompletionAlways();
        return;
    }

    std::vector<std::string> sources;
    std::string destination;
    bool translated = m_operation == FO_DELETE || toEngineNative(m_destination, destination);
    std::string untranslatable = translated ? std::string() : m_destination;
    for (const std::string& windows : FileOperationEngine::SplitSourceList(m_source.data(), m_source.size())) {
        std::string native;
        if (!toEngineNative(windows, native) && translated) {
            translated = false;
            untranslatable = windows;
        }
        sources.push_back(native);
    }
    if (!translated) {
        Outcome.code = ResultCode = Win32::PathNotFound;
        reportError(QString::fromStdString(LoadStr(kStrFailed))
                        .arg(QString::fromStdString(untranslatable), QString::fromStdString(LoadStr(kStrNotLocal))));
        CallCompletionAlways();
        return;
    }

    FileOperationEngine engine(*this, FileSystems);
    Outcome = engine.Run(m_operation, sources, destination, m_flags);
    Outcome.failedPath = shownPath(Outcome.failedPath);
    ResultCode = Outcome.code;

    Synchronize([this] {
        if (m_dialog)
            m_dialog->deleteLater();
    });
    reportError(TFileOperationDialog::ErrorText(Outcome));
    const QString notKept = TFileOperationDialog::NotKeptText(Outcome);
    if (!notKept.isEmpty()) {
        Synchronize([&] {
            if (Questions.showNotice)
                Questions.showNotice(m_window, notKept);
        });
    }
    CallCompletionAlways();
}

std::string TObjFileOperation::downloadForOpen(const std::string& unc)
{
    std::string source;
    std::string temp;
    if (!toEngineNative(unc, source) || !toNative(m_tempFolder, temp)) {
        Outcome.code = Win32::BadNetpath;
        reportError(QString::fromStdString(LoadStr(kStrFailed))
                        .arg(QString::fromStdString(unc), QString::fromStdString(Win32MessageText(Outcome.code))));
        return {};
    }
    // Each open gets a folder of its own: an earlier copy of the same name may hold edits
    // that never went back to the server.
    const std::string folder = TOpenedCopies::NewCopyFolder(temp);
    if (folder.empty()) {
        Outcome.code = Win32ErrorFromErrno(errno);
        reportError(QString::fromStdString(LoadStr(kStrFailed))
                        .arg(QString::fromStdString(m_tempFolder), QString::fromStdString(Win32MessageText(Outcome.code))));
        return {};
    }
    // The server's file before the copy: a save that goes back later compares with this.
    FileStatus st;
    if (FileSystems(source).status(source, &st) == 0)
        CopiedStamp = {true, int64_t(st.size), int64_t(st.modified.tv_sec)};
    const uint32_t operation = m_operation;
    m_operation = FO_COPY; // the progress window of a copy
    FileOperationEngine engine(*this, FileSystems);
    Outcome = engine.Run(FO_COPY, {source}, folder, FOF_NOCONFIRMATION | (m_flags & FOF_SILENT));
    Outcome.failedPath = shownPath(Outcome.failedPath);
    m_operation = operation;
    Synchronize([this] {
        if (m_dialog)
            m_dialog->deleteLater();
    });
    if (Outcome.code != 0) {
        reportError(TFileOperationDialog::ErrorText(Outcome));
        ::rmdir(folder.c_str());
        return {};
    }
    OpenedCopy = NativeJoin(folder, NativeBaseName(source));
    CopiedFrom = unc;
    return OpenedCopy;
}

void TObjFileOperation::begin(uint32_t, uint64_t totalBytes, uint64_t totalEntries)
{
    m_lastProgress = std::chrono::steady_clock::now();
    // The window comes with the work, after any question asked before it.
    Synchronize([&] {
        if (m_flags & FOF_SILENT)
            return;
        m_dialog = new TFileOperationDialog(m_window, m_operation, Title, (m_flags & FOF_SIMPLEPROGRESS) != 0);
        if (Modal)
            m_dialog->setWindowModality(Qt::ApplicationModal);
        m_cancel = m_dialog->CancelFlag();
        m_dialog->Begin(totalBytes, totalEntries);
    });
}

void TObjFileOperation::progress(uint64_t doneBytes, const std::string& current)
{
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastProgress < kProgressInterval)
        return;
    m_lastProgress = now;
    Synchronize([&] {
        if (m_dialog)
            m_dialog->SetProgress(doneBytes, shownPath(current));
    });
}

bool TObjFileOperation::cancelled()
{
    return Terminated() || (m_cancel && m_cancel->load());
}

OverwriteAnswer TObjFileOperation::askOverwrite(const FileOpEntry& existing, const FileOpEntry& incoming)
{
    OverwriteAnswer answer = OverwriteAnswer::Cancel;
    Synchronize([&] {
        if (Questions.askOverwrite)
            answer = Questions.askOverwrite(m_dialog ? static_cast<QWidget*>(m_dialog) : m_window.data(),
                                            existing, incoming);
    });
    return answer;
}

bool TObjFileOperation::confirmDelete(const std::vector<std::string>& paths, bool toTrash)
{
    bool yes = false;
    Synchronize([&] {
        yes = Questions.confirmDelete && Questions.confirmDelete(m_window, paths, toTrash);
    });
    return yes;
}
