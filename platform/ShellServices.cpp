#include "platform/ShellServices.h"

#include "platform/DesktopApps.h"
#include "platform/Environment.h"
#include "platform/TextPathAlias.h"
#include "platform/Trash.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>

#include <sys/stat.h>

namespace ShellServices {

namespace {

// MIME types of files that run as programs rather than open in an application. The
// execute bit alone is not enough: file systems without permissions set it on everything.
const char* const kProgramTypes[] = {
    "application/x-executable", "application/x-pie-executable", "application/x-sharedlib",
    "application/x-shellscript", "application/x-perl", "application/x-python-code",
    "text/x-python", "text/x-python3", "application/x-desktop",
};

int launchDefault(const QString& native, const QString& mimeType)
{
    const auto app = DesktopApps::DefaultFor(mimeType);
    if (!app)
        return ShellNoAssociation;
    return DesktopApps::Launch(*app, {native}) ? ShellOk : ShellFailed;
}

} // namespace

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

int OpenWithArguments(const std::string& nativePath, const QStringList& arguments)
{
    struct stat st {};
    if (::stat(nativePath.c_str(), &st) != 0)
        return ShellFileNotFound;
    if (S_ISDIR(st.st_mode))
        return Explore(nativePath);
    // Everything below speaks text; a name that is not UTF-8 goes on as an alias of it.
    const std::string textPath = TextPathAlias(nativePath);
    if (textPath.empty())
        return ShellFailed;
    const QString native = QString::fromStdString(textPath);
    // A launcher entry starts its application by its own Exec line, the arguments as its files.
    if (DesktopApps::MimeTypeOfFile(native) == QLatin1String("application/x-desktop")) {
        const auto app = DesktopApps::LoadFile(native);
        if (!app)
            return ShellFailed;
        return DesktopApps::Launch(*app, arguments) ? ShellOk : ShellFailed;
    }
    if (IsProgram(textPath)) {
        const size_t slash = nativePath.rfind('/');
        const std::string folder = TextPathAlias(slash == 0 ? std::string("/") : nativePath.substr(0, slash));
        if (folder.empty())
            return ShellFailed;
        return QProcess::startDetached(native, arguments, QString::fromStdString(folder)) ? ShellOk : ShellFailed;
    }
    return launchDefault(native, DesktopApps::MimeTypeOfFile(native));
}

int Explore(const std::string& nativePath)
{
    struct stat st {};
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
