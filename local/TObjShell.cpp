#include "local/TObjShell.h"

#include "local/ErrorText.h"
#include "local/MessageBoxes.h"
#include "local/TObjFileOperation.h"
#include "local/TObjShellExec.h"
#include "local/TPropertiesForm.h"
#include "platform/DesktopApps.h"
#include "platform/DriveMap.h"
#include "platform/FileAccess.h"
#include "platform/ShellServices.h"
#include "platform/Trash.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"
#include "resources/UiText.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QWidget>

namespace {

enum : int {
    kStrTooManyJobs = 20049, kStrEmptyTrash = 44023, kStrEmptyTrashFailed = 44024, kStrNoApplication = 44075,
    kStrNoFileManager = 44076, kStrCannotStart = 44077, kStrOpenNotFound = 44078, kStrNoSpecialFolder = 44079,
};

// Search tools of the common desktops, tried in this order.
const char* const kSearchTools[] = {"catfish", "gnome-search-tool", "mate-search-tool", "kfind", "searchmonkey"};

} // namespace

TObjShell::TObjShell(QWidget* window) : m_window(window)
{
    AskQuestion = [](QWidget* owner, const QString& text) { return ShowMessageText(owner, text, MsgQuestion); };
}

TObjShell::~TObjShell() = default;

int TObjShell::ask(const QString& text)
{
    return AskQuestion ? AskQuestion(m_window, text) : int(IdYes);
}

void TObjShell::countChanged()
{
    if (OnCountChanged)
        OnCountChanged();
}

bool TObjShell::CanStartJob()
{
    if (JobCount >= WorkLimit) {
        const QString text = QString::fromStdString(FormatMessageId(kStrTooManyJobs, std::to_string(JobCount + 1)));
        if (ask(text) != IdYes)
            return false;
    }
    ++JobCount;
    countChanged();
    return true;
}

void TObjShell::JobDone(TWorkerThread*)
{
    --JobCount;
    countChanged();
}

TObjFileOperation* TObjShell::newOpenJob()
{
    if (!CanStartJob())
        return nullptr;
    auto* worker = new TObjFileOperation(m_window);
    // A failure to start is said through the same questions as a copy's.
    worker->Questions = Questions;
    worker->SetReceiver(this);
    worker->OnTerminate = [this](TWorkerThread* sender) {
        JobDone(sender);
        const auto* job = static_cast<TObjFileOperation*>(sender);
        // A copy no application opened is nothing the user will save.
        if (!job->OpenedCopy.empty() && job->ResultCode > 32 && OnCopyOpened)
            OnCopyOpened(job->OpenedCopy, job->CopiedFrom, job->CopiedStamp);
    };
    return worker;
}

void TObjShell::RunProgram(const std::string& file, const std::string& parameters)
{
    if (TObjFileOperation* worker = newOpenJob()) {
        worker->AskBeforeRunning = false;  // a program the user named to run
        worker->RequestOpen(file, parameters, TempFolder);
    }
}

void TObjShell::OpenFile(const std::string& file)
{
    if (TObjFileOperation* worker = newOpenJob())
        worker->RequestOpen(file, std::string(), TempFolder);
}

void TObjShell::RunProgram(const std::string& file, const QStringList& arguments)
{
    if (TObjFileOperation* worker = newOpenJob()) {
        worker->AskBeforeRunning = false;
        worker->RequestOpenArguments(file, arguments, TempFolder);
    }
}

void TObjShell::OpenPath(const std::string& path)
{
    startShellExec(path, TObjShellExec::Open);
}

void TObjShell::ExplorePath(const std::string& path)
{
    startShellExec(path, TObjShellExec::Explore);
}

void TObjShell::startShellExec(const std::string& path, int kind)
{
    auto* worker = new TObjShellExec(m_window, path, kind);
    worker->SetReceiver(this);
    worker->OnTerminate = [this](TWorkerThread* sender) { shellExecDone(static_cast<TObjShellExec*>(sender)); };
    worker->Start();
}

void TObjShell::shellExecDone(TObjShellExec* worker)
{
    const int result = worker->Result;
    if (OnPathDone)
        OnPathDone(worker->Path(), result);
    if (result == ShellServices::ShellOk || result == ShellServices::ShellDeclined)
        return;
    const QString path = QString::fromStdString(worker->Path());
    // A folder with no file manager on this desktop is shown here instead.
    if (result == ShellServices::ShellNoAssociation && ExploreHere
        && (worker->Kind() == TObjShellExec::Explore || DirectoryExists(worker->Path()))) {
        ExploreHere(worker->Path());
        return;
    }
    Questions.showError(m_window, OpenFailureText(result, worker->Path(), worker->FailureReason,
                                                  worker->Kind() == TObjShellExec::Explore));
}

QString TObjShell::OpenFailureText(int result, const std::string& path, const QString& reason, bool explore)
{
    int number = kStrCannotStart;
    if (result == ShellServices::ShellNoAssociation)
        number = explore ? kStrNoFileManager : kStrNoApplication;
    else if (result == ShellServices::ShellFileNotFound)
        number = kStrOpenNotFound;
    QString text = QString::fromStdString(FormatMessageId(number, path));
    // "Cannot start" alone leaves the user guessing: the reason goes with it.
    if (number == kStrCannotStart && !reason.isEmpty())
        text += QStringLiteral("\r\n") + reason;
    return text;
}

void TObjShell::ShowFind(const std::string& path)
{
    const std::string native = NativePath(path);
    if (native.empty())
        return;
    for (const char* tool : kSearchTools) {
        const QString program = QStandardPaths::findExecutable(tool);
        if (!program.isEmpty()) {
            QProcess::startDetached(program, {QString::fromStdString(native)});
            return;
        }
    }
    ShellServices::Explore(native);
}

void TObjShell::OpenSpecialFolder(int id)
{
    const std::string native = ShellServices::SpecialFolderPath(id);
    const std::string windows = native.empty() ? std::string() : WindowsPath(native);
    if (windows.empty()) {
        Questions.showError(m_window, UiString(kStrNoSpecialFolder));
        return;
    }
    ExplorePath(windows);
}

void TObjShell::SpecialFolderProperties(int id)
{
    const std::string native = ShellServices::SpecialFolderPath(id);
    if (native.empty())
        return;
    const std::string windows = WindowsPath(native);
    if (!windows.empty())
        TPropertiesForm::ShowFor(m_window, {windows});
}

void TObjShell::EmptyRecycleBin()
{
    if (ask(UiString(kStrEmptyTrash)) != IdYes)
        return;
    int error = 0;
    if (!EmptyAllTrash(&error) && Questions.showError)
        Questions.showError(m_window, UiString(kStrEmptyTrashFailed) + QString::fromStdString(Win32MessageText(error)));
}

bool TObjShell::HasOpenCommand(const std::string& path)
{
    const size_t slash = path.find_last_of("\\/");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    const QString ext = QString::fromStdString(name.substr(dot)).toUpper();
    if (ext == ".EXE" || ext == ".COM" || ext == ".LNK" || ext == ".SCR")
        return true;
    const QString mime = DesktopApps::MimeTypeOfName(QString::fromStdString(name));
    if (mime.isEmpty() || mime == "application/octet-stream")
        return false;
    return DesktopApps::DefaultFor(mime).has_value();
}

int32_t TObjShell::FileOperation(uint32_t operation, const char* sourceList, const QString& title, uint16_t flags,
                                 bool asynchronous, const std::string& destination, size_t sourceSize)
{
    // Counts the running jobs as they are, unlike CanStartJob, which counts the new one.
    if (JobCount > WorkLimit) {
        const QString text = QString::fromStdString(FormatMessageId(kStrTooManyJobs, std::to_string(JobCount)));
        if (ask(text) != IdYes)
            return 1;
    }
    if (asynchronous) {
        auto* worker = new TObjFileOperation(m_window);
        worker->Questions = Questions;
        worker->Title = title;
        worker->SetReceiver(this);
        worker->OnTerminate = [this, operation](TWorkerThread* sender) {
            JobDone(sender);
            if (OnOperationDone)
                OnOperationDone(operation, static_cast<TObjFileOperation*>(sender)->Outcome, true);
        };
        worker->RequestFileOperation(operation, sourceList, flags, destination, sourceSize);
        ++JobCount;
        countChanged();
        return 0;
    }
    if (operation == FO_OPEN) {
        const std::vector<std::string> paths = FileOperationEngine::SplitSourceList(sourceList, sourceSize);
        std::string native = paths.empty() ? std::string() : NativePath(paths.front());
        if (native.empty() && !paths.empty())
            native = ShellServices::FindProgram(paths.front());
        if (native.empty())
            return ShellServices::ShellFileNotFound;
        // A program named to run with these arguments, as RunProgram does.
        return ShellServices::OpenWithArguments(native, TObjFileOperation::NativeArguments(destination), false);
    }

    // The caller needs the outcome: run the operation and wait for it here, with its
    // progress window modal so the user cannot act on the window meanwhile.
    TObjFileOperation worker(m_window);
    worker.FreeOnTerminate = false;
    worker.Questions = Questions;
    worker.Title = title;
    worker.Modal = true;
    // The window thread never blocks on a worker (the worker may still want it): wait
    // in an event loop until the thread has ended.
    QEventLoop loop;
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
    worker.RequestFileOperation(operation, sourceList, flags, destination, sourceSize);
    while (!worker.isFinished())
        loop.exec();
    m_lastOutcome = worker.Outcome;
    if (OnOperationDone)
        OnOperationDone(operation, m_lastOutcome, false);
    return worker.ResultCode;
}

int32_t TObjShell::FileOperation(uint32_t operation, const std::vector<std::string>& sources, const QString& title,
                                 uint16_t flags, bool asynchronous, const std::string& destination)
{
    const std::string block = FileOperationEngine::MakeSourceList(sources);
    return FileOperation(operation, block.data(), title, flags, asynchronous, destination, block.size());
}
