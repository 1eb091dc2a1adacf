#include "mainwindow/DragEntries.h"

#include "store/NodePaths.h"
#include "store/NodeTree.h"

#include <QTreeWidgetItem>

namespace {

QTreeWidgetItem* childByCaption(QTreeWidgetItem* node, const QString& caption)
{
    for (int i = 0; i < node->childCount(); ++i)
        if (node->child(i)->text(0) == caption)
            return node->child(i);
    return nullptr;
}

// A folder path as a drag names it: without the trailing separator.
std::string withoutBackslash(const std::string& path)
{
    return path.size() > 1 && path.back() == '\\' ? RemoveBackslash(path) : path;
}

// A stored child record joins the drag as `kind` + its cache path. The program's own
// entries (the desktop folders under the bookmarks) and items the tree has not loaded as
// nodes have no record to carry.
void addRecord(DragSelection& drag, char kind, QTreeWidgetItem* shown, const QString& caption)
{
    QTreeWidgetItem* child = childByCaption(shown, caption);
    const TNodeData* data = child ? GetNodeData(child) : nullptr;
    if (!data || data->has(Sys))
        return;
    drag.entries.push_back(kind + NodeCachePath(*data));
    drag.nodes.push_back(child);
}

void addOwnRecord(DragSelection& drag, char kind, QTreeWidgetItem* node, const TNodeData& data)
{
    drag.entries.push_back(kind + NodeCachePath(data));
    drag.nodes.push_back(node);
}

} // namespace

std::string NodeCachePath(const TNodeData& data)
{
    return data.StoreDir + data.Key;
}

DragSelection ListDragEntries(QTreeWidgetItem* shown, const std::vector<ListPick>& picks)
{
    DragSelection drag;
    const TNodeData* data = shown ? GetNodeData(shown) : nullptr;
    if (!data)
        return drag;
    const bool records = data->has(Bookmark) || (data->RootKind == BookmarkRoot && data->has(Domain));
    for (const ListPick& pick : picks) {
        const std::string caption = pick.caption.toStdString();
        const std::string real = (pick.folder.empty() ? data->RemoteName : pick.folder) + caption;
        if (records) {
            addRecord(drag, '5', shown, pick.caption);
            continue;
        }
        switch (data->RootKind) {
        case LocalRoot:
            drag.entries.push_back(real);
            break;
        case NetRoot:
            if (data->has(Folder))
                drag.entries.push_back(real);
            break;
        case ExpandedRoot:
            if (data->has(Folder))
                drag.entries.push_back(real);
            else
                addRecord(drag, '4', shown, pick.caption);
            break;
        case FtpRoot:
            drag.fromFtp = true;
            if (data->has(Folder))
                drag.entries.push_back((pick.folderItem ? '2' : '1') + data->RemoteName + caption);
            else
                addRecord(drag, '3', shown, pick.caption);
            break;
        default:
            break;
        }
    }
    return drag;
}

DragSelection TreeDragEntries(QTreeWidgetItem* node)
{
    DragSelection drag;
    const TNodeData* data = node ? GetNodeData(node) : nullptr;
    if (!data)
        return drag;
    const bool storedFolder = data->has(Domain) && !data->has(Sys);
    if (data->has(Bookmark) || (data->RootKind == BookmarkRoot && storedFolder)) {
        addOwnRecord(drag, '5', node, *data);
        return drag;
    }
    // Drives, shares and the program's own folders (the desktop's) are places, not things to
    // carry off: a move would empty a whole volume, a share or the desktop.
    const bool movableFolder = data->has(Folder) && !data->has(Drive) && !data->has(Share) && !data->has(Sys)
        && !data->RemoteName.empty();
    switch (data->RootKind) {
    case LocalRoot:
    case NetRoot:
        if (movableFolder)
            drag.entries.push_back(withoutBackslash(data->RemoteName));
        break;
    case ExpandedRoot:
        if (data->has(Folder)) {
            if (movableFolder)
                drag.entries.push_back(withoutBackslash(data->RemoteName));
        } else if (storedFolder) {
            addOwnRecord(drag, '4', node, *data);
        }
        break;
    case FtpRoot:
        drag.fromFtp = true;
        if (storedFolder)
            addOwnRecord(drag, '3', node, *data);
        else if (data->has(Folder) && withoutBackslash(data->RemoteName).size() > 1)
            drag.entries.push_back('2' + withoutBackslash(data->RemoteName));
        break;
    default:
        break;
    }
    return drag;
}
