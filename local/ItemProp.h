#pragma once
#include <QPoint>

#include <string>
#include <vector>

class QMenu;
class QWidget;
class TObjShell;

// Actions on files and folders given by Windows-style paths: our context menu (open, open
// with an application chosen among those the desktop offers, rename, delete, properties), our properties
// window, the default action and named verbs. Each comes for one path (whose name part may
// hold the wildcards * and ?) and for a folder with names in it. All return true when the
// request was accepted. Window thread only.
namespace ItemProp {

/// The entries a path names: itself, or every entry its wildcard name matches (hidden
/// ones included), in name order. Empty when the folder cannot be read here.
std::vector<std::string> ResolvePaths(const std::string& path);
std::vector<std::string> ResolvePaths(const std::string& folder, const std::vector<std::string>& names);

bool DisplayPropertiesDialog(QWidget* window, const std::string& path);
bool DisplayPropertiesDialog(QWidget* window, const std::string& folder, const std::vector<std::string>& names);

/// Shows the menu at `screenPoint` and runs the chosen entry. Rename is not carried out:
/// it sets *rename and the caller starts editing the name. Delete goes to the trash
/// through the shell object's file operation (the entry is missing without one).
bool DisplayContextMenu(QWidget* window, const std::string& path, const QPoint& screenPoint, bool* rename,
                        TObjShell* shell = nullptr);
bool DisplayContextMenu(QWidget* window, const std::string& folder, const std::vector<std::string>& names,
                        const QPoint& screenPoint, bool* rename, TObjShell* shell = nullptr);
/// The menu DisplayContextMenu shows, for `paths` already resolved; the caller owns it.
/// `*rename` must stay valid while the menu lives.
QMenu* CreateContextMenu(QWidget* window, const std::vector<std::string>& paths, bool* rename, TObjShell* shell);

/// Opens each entry: folders explored, programs run, files in their default application.
bool PerformDefaultAction(QWidget* window, const std::string& path);
bool PerformDefaultAction(QWidget* window, const std::string& folder, const std::vector<std::string>& names);

/// "開啟檔案方式": the chooser for the files (one folder and names in it), and the chosen
/// application opens them. False when nothing was opened.
bool OpenWith(QWidget* window, const std::string& folder, const std::vector<std::string>& names);

/// "open", "explore" or "properties".
bool PerformVerb(const std::string& verb, QWidget* window, const std::string& path);

} // namespace ItemProp
