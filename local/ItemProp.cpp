#include "local/ItemProp.h"

#include "local/FileOperationEngine.h"
#include "local/TObjShell.h"
#include "local/TOpenWithForm.h"
#include "local/TPropertiesForm.h"
#include "platform/DesktopApps.h"
#include "platform/DriveMap.h"
#include "platform/ShellServices.h"
#include "platform/SmbFiles.h"
#include "platform/TextPathAlias.h"
#include "resources/StringTable.h"
#include "resources/UiText.h"

#include <QDir>
#include <QMenu>
#include <QRegularExpression>

#include <algorithm>
#include <sys/stat.h>

namespace ItemProp {

namespace {

enum : int {
    kStrOpen = 44060, kStrOpenWith = 44061, kStrDelete = 44062, kStrRename = 44063, kStrProperties = 44064,
    kStrExplore = 44066,
};

std::string withBackslash(const std::string& folder)
{
    return folder.empty() || folder.back() == '\\' ? folder : folder + "\\";
}

bool isFolder(const std::string& native)
{
    struct stat st {};
    const int result = IsSmbNative(native) ? SmbStat(native, &st) : ::stat(native.c_str(), &st);
    return result == 0 && S_ISDIR(st.st_mode);
}

bool openOne(const std::string& windowsPath)
{
    const std::string native = AnyNativePath(windowsPath);
    return !native.empty() && ShellServices::Open(native, {}) > 32;
}

// The MIME type shared by all the files, or empty when they differ or a folder is among them.
QString commonType(const std::vector<std::string>& natives)
{
    QString type;
    for (const std::string& native : natives) {
        if (isFolder(native))
            return {};
        const QString one = DesktopApps::MimeTypeOfFile(QString::fromStdString(native));
        if (one == "inode/directory" || (!type.isEmpty() && type != one))
            return {};
        type = one;
    }
    return type;
}

} // namespace

std::vector<std::string> ResolvePaths(const std::string& path)
{
    const size_t slash = path.rfind('\\');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.find_first_of("*?") == std::string::npos)
        return AnyNativePath(path).empty() ? std::vector<std::string>{} : std::vector<std::string>{path};
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string native = AnyNativePath(folder);
    if (native.empty())
        return {};
    const QRegularExpression pattern(QRegularExpression::wildcardToRegularExpression(QString::fromStdString(name)));
    std::vector<std::string> paths;
    QDir dir(QString::fromStdString(native));
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                              QDir::Name);
    for (const QString& entry : entries)
        if (pattern.match(entry).hasMatch())
            paths.push_back(folder + entry.toStdString());
    return paths;
}

std::vector<std::string> ResolvePaths(const std::string& folder, const std::vector<std::string>& names)
{
    std::vector<std::string> paths;
    for (const std::string& name : names)
        for (const std::string& path : ResolvePaths(withBackslash(folder) + name))
            paths.push_back(path);
    return paths;
}

bool DisplayPropertiesDialog(QWidget* window, const std::string& path)
{
    const std::vector<std::string> paths = ResolvePaths(path);
    return !paths.empty() && TPropertiesForm::ShowFor(window, paths);
}

bool DisplayPropertiesDialog(QWidget* window, const std::string& folder, const std::vector<std::string>& names)
{
    const std::vector<std::string> paths = ResolvePaths(folder, names);
    return !paths.empty() && TPropertiesForm::ShowFor(window, paths);
}

QMenu* CreateContextMenu(QWidget* window, const std::vector<std::string>& paths, bool* rename, TObjShell* shell)
{
    auto* menu = new QMenu(window);
    std::vector<std::string> natives;
    for (const std::string& path : paths)
        natives.push_back(AnyNativePath(path));

    QAction* open = menu->addAction(UiString(kStrOpen), menu, [window, paths, natives, shell] {
        for (size_t i = 0; i < paths.size(); ++i) {
            // A share's file opens from a copy, and the shell says why when it cannot.
            if (shell && IsSmbNative(natives[i]))
                isFolder(natives[i]) ? shell->OpenPath(paths[i]) : shell->OpenFile(paths[i]);
            else
                PerformDefaultAction(window, paths[i]);
        }
    });
    menu->setDefaultAction(open);
    if (paths.size() == 1 && isFolder(natives.front()))
        menu->addAction(UiString(kStrExplore), menu, [window, paths, shell] {
            if (shell)
                shell->ExplorePath(paths.front());
            else
                PerformVerb("explore", window, paths.front());
        });

    // The chooser lists what the desktop offers for the type, and any program by its path.
    if (!commonType(natives).isEmpty())
        menu->addAction(UiString(kStrOpenWith) + QStringLiteral("…"), menu,
                        [window, natives] { OpenFilesWith(window, natives); });
    menu->addSeparator();
    if (shell) {
        menu->addAction(UiString(kStrDelete), menu, [shell, paths] {
            shell->FileOperation(FO_DELETE, paths, {}, FOF_ALLOWUNDO, true, {});
        });
    }
    if (paths.size() == 1 && rename)
        menu->addAction(UiString(kStrRename), menu, [rename] { *rename = true; });
    menu->addSeparator();
    menu->addAction(UiString(kStrProperties), menu, [window, paths] { TPropertiesForm::ShowFor(window, paths); });
    return menu;
}

namespace {

bool execContextMenu(QWidget* window, const std::vector<std::string>& paths, const QPoint& screenPoint,
                     bool* rename, TObjShell* shell)
{
    if (paths.empty())
        return false;
    bool renameChosen = false;
    QMenu* menu = CreateContextMenu(window, paths, &renameChosen, shell);
    const bool chosen = menu->exec(screenPoint) != nullptr;
    delete menu;
    if (rename)
        *rename = renameChosen;
    return chosen;
}

} // namespace

bool DisplayContextMenu(QWidget* window, const std::string& path, const QPoint& screenPoint, bool* rename,
                        TObjShell* shell)
{
    return execContextMenu(window, ResolvePaths(path), screenPoint, rename, shell);
}

bool DisplayContextMenu(QWidget* window, const std::string& folder, const std::vector<std::string>& names,
                        const QPoint& screenPoint, bool* rename, TObjShell* shell)
{
    return execContextMenu(window, ResolvePaths(folder, names), screenPoint, rename, shell);
}

bool PerformDefaultAction(QWidget*, const std::string& path)
{
    bool any = false;
    for (const std::string& one : ResolvePaths(path))
        any = openOne(one) || any;
    return any;
}

bool PerformDefaultAction(QWidget*, const std::string& folder, const std::vector<std::string>& names)
{
    bool any = false;
    for (const std::string& one : ResolvePaths(folder, names))
        any = openOne(one) || any;
    return any;
}

bool PerformVerb(const std::string& verb, QWidget* window, const std::string& path)
{
    if (verb == "open")
        return PerformDefaultAction(window, path);
    if (verb == "properties")
        return DisplayPropertiesDialog(window, path);
    if (verb == "explore") {
        bool any = false;
        for (const std::string& one : ResolvePaths(path)) {
            const std::string native = AnyNativePath(one);
            any = (!native.empty() && ShellServices::Explore(native) > 32) || any;
        }
        return any;
    }
    return false;
}

bool OpenWith(QWidget* window, const std::string& folder, const std::vector<std::string>& names)
{
    std::vector<std::string> natives;
    for (const std::string& path : ResolvePaths(folder, names)) {
        const std::string native = NativePath(path);
        struct stat st {};
        // Folders open in the file manager, not in an application.
        if (native.empty() || ::stat(native.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
            continue;
        natives.push_back(native);
    }
    return !natives.empty() && OpenFilesWith(window, natives);
}

} // namespace ItemProp
