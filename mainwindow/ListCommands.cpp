// The commands on the selection of the file list and on the selected tree node: the list's
// context menu, explorer, properties, the system menu, new folder and delete.
#include "mainwindow/TMainForm.h"

#include "local/FileOperationEngine.h"
#include "local/ItemProp.h"
#include "local/TImageLists.h"
#include "local/TObjShell.h"
#include "platform/Exception.h"
#include "resources/StringTable.h"
#include "resources/UiText.h"
#include "store/NodePaths.h"
#include "store/NodeTree.h"
#include "ui/TListView.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QTreeWidget>

#include <algorithm>

namespace {

enum : int { kStrCannotDeleteNode = 33030, kStrNotExplorable = 33037 };
constexpr const char* kSystemDrive = "C:\\";

} // namespace

const TNodeData* TMainForm::shownData() const
{
    return m_shownNode ? GetNodeData(m_shownNode) : nullptr;
}

void TMainForm::FileListViewContextPopup(const QPoint& position)
{
    const TNodeData* data = shownData();
    if (!data)
        return;
    QMenu* menu = nullptr;
    switch (data->RootKind) {
    case LocalRoot: menu = LocalListPopupMenu; break;
    case NetRoot:
    case ExpandedRoot: menu = NetListPopupMenu; break;
    case FtpRoot: menu = FTPListPopupMenu; break;
    default: break;
    }
    m_listMenuPoint = FileListView->currentView()->viewport()->mapToGlobal(position);
    if (menu)
        menu->popup(m_listMenuPoint);
}

void TMainForm::N31Click()
{
    const TNodeData* data = shownData();
    if (!data)
        return;
    const int row = firstSelectedRow();
    if (row >= 0 && FileListView->model()->item(row).ImageIndex == TImageLists::Folder) {
        // The folder item itself, not the folder that holds it.
        m_shell->OpenPath(itemFolder(row) + FileListView->model()->item(row).Caption.toStdString());
        return;
    }
    m_shell->OpenPath(data->RemoteName);
}

void TMainForm::N30Click()
{
    const QTreeWidgetItem* node = selectedNode();
    const TNodeData* data = node ? GetNodeData(node) : nullptr;
    if (!data) {
        m_shell->ExplorePath(kSystemDrive);
        return;
    }
    const bool fileSystem = data->RootKind == LocalRoot || data->RootKind == NetRoot || data->RootKind == ExpandedRoot;
    if (fileSystem && (data->has(Folder) || data->has(Computer)) && !data->RemoteName.empty())
        m_shell->OpenPath(data->RemoteName);
    else
        ShowError(QString::fromStdString(LoadStr(kStrNotExplorable)));
}

std::vector<std::string> TMainForm::selectionPaths(std::string& folder) const
{
    const TNodeData* data = shownData();
    folder = data ? data->RemoteName : std::string();
    QModelIndexList rows = FileListView->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<std::string> names;
    if (rows.isEmpty())
        return names;
    // The flat listing holds files of many folders: names within one folder stay names;
    // a selection across folders becomes full paths with no common folder.
    const std::string first = itemFolder(rows.first().row());
    bool oneFolder = true;
    for (const QModelIndex& row : rows)
        oneFolder = oneFolder && itemFolder(row.row()) == first;
    folder = oneFolder ? first : std::string();
    for (const QModelIndex& row : rows) {
        const std::string caption = FileListView->model()->item(row.row()).Caption.toStdString();
        names.push_back(oneFolder ? caption : itemFolder(row.row()) + caption);
    }
    return names;
}

void TMainForm::C4Click()
{
    std::string folder;
    const std::vector<std::string> names = selectionPaths(folder);
    if (folder.empty() && names.empty())
        return;
    if (names.empty()) {
        // "C:\" stays whole; other folders lose their trailing backslash.
        ItemProp::DisplayPropertiesDialog(this, folder.size() >= 4 ? RemoveBackslash(folder) : folder);
    } else if (names.size() == 1) {
        std::string path = folder + names.front();
        if (path.size() < 3)
            path += "\\";
        ItemProp::DisplayPropertiesDialog(this, path);
    } else {
        ItemProp::DisplayPropertiesDialog(this, folder, names);
    }
}

void TMainForm::OpenWithClick()
{
    std::string folder;
    const std::vector<std::string> names = selectionPaths(folder);
    if (!names.empty())
        ItemProp::OpenWith(this, folder, names);
}

void TMainForm::N39Click()
{
    const QTreeWidgetItem* node = selectedNode();
    const TNodeData* data = node ? GetNodeData(node) : nullptr;
    if (!data || !data->has(Folder) || data->RemoteName.empty())
        return;
    const std::string& folder = data->RemoteName;
    ItemProp::DisplayPropertiesDialog(this, folder.size() >= 4 ? RemoveBackslash(folder) : folder);
}

void TMainForm::N83Click()
{
    std::string folder;
    const std::vector<std::string> names = selectionPaths(folder);
    if (folder.empty() && names.empty())
        return;
    bool rename = false;
    const QPoint point = m_listMenuPoint.isNull() ? QCursor::pos() : m_listMenuPoint;
    if (names.empty())
        ItemProp::DisplayContextMenu(this, folder.size() >= 4 ? RemoveBackslash(folder) : folder, point, &rename, m_shell);
    else
        ItemProp::DisplayContextMenu(this, folder, names, point, &rename, m_shell);
    if (rename && !names.empty())
        M1Click();
}

void TMainForm::N92Click()
{
    const QTreeWidgetItem* node = selectedNode();
    const TNodeData* data = node ? GetNodeData(node) : nullptr;
    if (!data || !data->has(Folder) || data->RemoteName.empty())
        return;
    bool rename = false;
    const std::string& folder = data->RemoteName;
    ItemProp::DisplayContextMenu(this, folder.size() >= 4 ? RemoveBackslash(folder) : folder, QCursor::pos(), &rename,
                                 m_shell);
    if (rename)
        DNRenameClick();
}

void TMainForm::N33Click()
{
    const TNodeData* data = shownData();
    if (showsStoredNodes()) {
        newStoredListFolder();
        return;
    }
    if (data && data->RootKind == FtpRoot) {
        ftpNewFolder(m_shownNode);
        return;
    }
    if (!data || data->RootKind != LocalRoot || !data->has(Folder))
        return;
    try {
        // The folder's watcher brings the new folder into the list and the tree.
        NewFolder(data->RemoteName, "");
    } catch (const std::exception& error) {
        ShowError(QString::fromUtf8(error.what()));
    }
}

void TMainForm::N16Click()
{
    // Bookmarks, stored folders, computers of the expanded network and FTP sites.
    if (showsStoredNodes()) {
        deleteStoredListItems();
        return;
    }
    if (shownData() && shownData()->RootKind == FtpRoot) {
        ftpDeleteItems();
        return;
    }
    // The Delete key and File › 刪除 in a share's list do what its menu's 刪除 does.
    if (showsLiveShareFolder() || showsUnwatchedFolder()) {
        NetDeleteClick();
        return;
    }
    std::string folder;
    const std::vector<std::string> names = selectionPaths(folder);
    const TNodeData* data = shownData();
    if (names.empty() || !data)
        return;
    // Drives, workgroups, computers and shares are never deleted from the list: say so.
    if (ListMode == 2) {
        ShowInformationText(UiString(kStrCannotDeleteNode));
        return;
    }
    if (data->RootKind != LocalRoot || ListMode != 1)
        return;
    std::vector<std::string> paths;
    for (const std::string& name : names)
        paths.push_back(folder + name);
    m_shell->FileOperation(FO_DELETE, paths, QString(), FOF_ALLOWUNDO, true, std::string());
}

void TMainForm::N36Click()
{
    ShowNode(FolderTreeView->currentItem());
}

void TMainForm::LocalListPopupMenuPopup()
{
    const bool selection = !selectedCaptions().isEmpty();
    const TNodeData* data = shownData();
    const bool folder = data && data->has(Folder) && ListMode == 1;
    for (const char* name : {"N19", "M1", "N16"})
        findChild<QAction*>(QString::fromLatin1(name))->setEnabled(selection && (folder || qstrcmp(name, "N19") == 0));
    findChild<QAction*>(QStringLiteral("N33"))->setEnabled(folder);
}
