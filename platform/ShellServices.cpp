#include "platform/ShellServices.h"

#include "platform/DesktopApps.h"
#include "platform/Environment.h"
#include "platform/SmbFiles.h"
#include "platform/TextPathAlias.h"
#include "platform/Trash.h"

#include "local/MessageBoxes.h"
#include "resources/UiText.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>

namespace ShellServices {

namespace {

// MIME types of files that run as programs rather than open in an application. The
// execute bit alone is not enough: file systems without permissions set it on everything.
const char* const kProgramTypes[] = {
    "application/x-executable", "application/x-pie-executable", "application/x-sharedlib",
    "application/x-shellscript", "application/x-perl", "application/x-python-code",
    "text/x-python", "text/x-python3", "application/x-desktop",
};

// Why the last open or run of this thread failed, for the message that reports it.
thread_local QString t_failureReason;

int failed(const QString& reason)
{
    t_failureReason = reason;
    return ShellFailed;
}

int launch(const DesktopApp& app, const QStringList& arguments)
{
    QString reason;
    return DesktopApps::Launch(app, arguments, &reason) ? ShellOk : failed(reason);
}

int launchDefault(const QString& native, const QString& mimeType)
{
    const auto app = DesktopApps::DefaultFor(mimeType);
    if (!app)
        return ShellNoAssociation;
    return launch(*app, {native});
}

// File systems whose files came from another machine or a user-space program.
bool isRemoteFileSystem(const std::string& nativePath)
{
    struct statfs fs {};
    if (::statfs(nativePath.c_str(), &fs) != 0)
        return true;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case NFS_SUPER_MAGIC:
    case SMB_SUPER_MAGIC:
    case 0xFF534D42UL:  // cifs
    case 0xFE534D42UL:  // smb2
    case 0x65735546UL:  // fuse
    case CODA_SUPER_MAGIC:
    case AFS_SUPER_MAGIC:
    case 0x6B414653UL:  // kafs
    case 0x01021997UL:  // v9fs
        return true;
    default:
        return false;
    }
}

} // namespace

bool IsTrustedLauncher(const std::string& nativePath)
{
    struct stat st {};
    return ::stat(nativePath.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR)
           && !isRemoteFileSystem(nativePath);
}

bool AskBeforeRunning(const std::string& nativePath)
{
    const QString text = UiText("「%1」是可執行的程式，開啟它就會執行它。\r\n要執行嗎?")
                             .arg(QString::fromStdString(nativePath));
    if (!qApp || QThread::currentThread() != qApp->thread())
        return false;
    return ShowMessageText(QApplication::activeWindow(), text, MsgQuestion) == IdYes;
}

bool IsProgram(const std::string& nativePath)
{
    const QFileInfo info(QString::fromStdString(nativePath));
    if (!info.isFile() || !info.isExecutable())
        return false;
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(info);
    for (const char* type : kProgramTypes)
        if (mime.inherits(type))
            return true;
    return false;
}

int Open(const std::string& nativePath, const std::string& parameters)
{
    return OpenWithArguments(nativePath, QProcess::splitCommand(QString::fromStdString(parameters)));
}

std::string FindProgram(const std::string& name)
{
    if (name.empty() || name.find_first_of("/\\:") != std::string::npos)
        return {};
    QString program = QString::fromStdString(name);
    QString found = QStandardPaths::findExecutable(program);
    if (found.isEmpty() && program.endsWith(".exe", Qt::CaseInsensitive))
        found = QStandardPaths::findExecutable(program.left(program.size() - 4));
    return found.toStdString();
}

QStringList DisplaySettingsCommand()
{
    // Each desktop's own page for screens first, then the stand-alone tools.
    static const QStringList kCandidates[] = {
        {"gnome-control-center", "display"}, {"cinnamon-settings", "display"}, {"kcmshell6", "kcm_kscreen"},
        {"kcmshell5", "kcm_kscreen"},        {"systemsettings", "kcm_kscreen"}, {"xfce4-display-settings"},
        {"lxqt-config-monitor"},             {"mate-display-properties"},       {"arandr"},
    };
    for (const QStringList& candidate : kCandidates) {
        const QString program = QStandardPaths::findExecutable(candidate.front());
        if (!program.isEmpty())
            return QStringList{program} + candidate.mid(1);
    }
    return {};
}

QString LastFailureReason()
{
    return t_failureReason;
}

int OpenWithArguments(const std::string& nativePath, const QStringList& arguments, bool askBeforeRunning,
                      const RunQuestion& ask)
{
    t_failureReason.clear();
    auto declined = [&] { return askBeforeRunning && !(ask ? ask(nativePath) : AskBeforeRunning(nativePath)); };
    struct stat st {};
    // A share's folder opens as a folder; its files are opened from a copy by the caller.
    if (IsSmbNative(nativePath))
        return SmbStat(nativePath, &st) == 0 && S_ISDIR(st.st_mode) ? Explore(nativePath) : ShellFileNotFound;
    if (::stat(nativePath.c_str(), &st) != 0)
        return ShellFileNotFound;
    if (S_ISDIR(st.st_mode))
        return Explore(nativePath);
    // Everything below speaks text; a name that is not UTF-8 goes on as an alias of it.
    const std::string textPath = TextPathAlias(nativePath);
    if (textPath.empty())
        return ShellFailed;
    const QString native = QString::fromStdString(textPath);
    // A launcher entry starts its application by its own Exec line, the arguments as its
    // files; one from a server, or not marked executable, is only text.
    if (DesktopApps::MimeTypeOfFile(native) == QLatin1String("application/x-desktop")) {
        if (!IsTrustedLauncher(nativePath))
            return launchDefault(native, QStringLiteral("text/plain"));
        if (declined())
            return ShellDeclined;
        const auto app = DesktopApps::LoadFile(native);
        if (!app)
            return failed(UiText("「%1」不是可以執行的應用程式設定檔，或它要的程式不在這部電腦上").arg(native));
        return launch(*app, arguments);
    }
    if (IsProgram(textPath)) {
        if (declined())
            return ShellDeclined;
        const size_t slash = nativePath.rfind('/');
        const std::string folder = TextPathAlias(slash == 0 ? std::string("/") : nativePath.substr(0, slash));
        if (folder.empty())
            return ShellFailed;
        QProcess process;
        process.setProgram(native);
        process.setArguments(arguments);
        process.setWorkingDirectory(QString::fromStdString(folder));
        return process.startDetached() ? ShellOk : failed(process.errorString());
    }
    return launchDefault(native, DesktopApps::MimeTypeOfFile(native));
}

int Explore(const std::string& nativePath)
{
    t_failureReason.clear();
    struct stat st {};
    // The desktop's file manager is given the share's address; without one the caller
    // shows the folder itself.
    if (IsSmbNative(nativePath)) {
        if (SmbStat(nativePath, &st) != 0 || !S_ISDIR(st.st_mode))
            return ShellFileNotFound;
        return launchDefault(QString::fromStdString(nativePath), "inode/directory");
    }
    if (::stat(nativePath.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return ShellFileNotFound;
    const std::string textPath = TextPathAlias(nativePath);
    if (textPath.empty())
        return ShellFailed;
    return launchDefault(QString::fromStdString(textPath), "inode/directory");
}

bool HasSpecialFolder(int id)
{
    switch (id) {
    case 0: case 2: case 5: case 7: case 10: case 11: case 16: case 17: case 20: case 26:
        return true;
    default:
        return false;
    }
}

std::string SpecialFolderPath(int id)
{
    QString path;
    switch (id) {
    case 0:   // the desktop
    case 16:  // the desktop folder
        path = QString::fromStdString(XdgUserFolder("DESKTOP"));
        break;
    case 17:  // the computer
        path = "/";
        break;
    case 5:  // documents
        path = QString::fromStdString(XdgUserFolder("DOCUMENTS"));
        break;
    case 10:  // recycle bin
        path = QString::fromStdString(HomeTrashDir()) + "/files";
        break;
    case 20:  // fonts
        path = QString::fromStdString(XdgFolder("XDG_DATA_HOME", ".local/share")) + "/fonts";
        break;
    case 2:   // programs
    case 11:  // start menu
        path = QString::fromStdString(XdgFolder("XDG_DATA_HOME", ".local/share")) + "/applications";
        break;
    case 7:  // start-up
        path = QString::fromStdString(XdgFolder("XDG_CONFIG_HOME", ".config")) + "/autostart";
        break;
    case 26:  // application data
        path = QString::fromStdString(XdgFolder("XDG_DATA_HOME", ".local/share"));
        break;
    default:  // network, favourites, internet, recent, control panel, printers, send-to
        return {};
    }
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return {};
    return QDir::cleanPath(path).toStdString();
}

} // namespace ShellServices
