#pragma once
#include <QString>

#include <string>
#include <vector>

class QTreeWidgetItem;
struct TNodeData;

// What a drag from the tree or the list carries: one entry per dragged thing (a real path,
// or the program's own item behind a kind character), and the tree nodes whose records
// travel with it.

struct DragSelection {
    std::vector<std::string> entries;
    /// The nodes whose stored records the drag carries (entries "3" to "5").
    std::vector<QTreeWidgetItem*> nodes;
    /// The drag comes from an FTP node: that node's site window serves it.
    bool fromFtp = false;
};

/// One selected item of the list.
struct ListPick {
    QString caption;
    /// The folder the item lies in (the flat listing's items lie in many).
    std::string folder;
    /// A folder item (its picture is the folder's).
    bool folderItem = false;
};

/// Where a node's cache lies: StoreDir + Key.
std::string NodeCachePath(const TNodeData& data);

/// The drag of the list's selected items while `shown` is the shown node.
DragSelection ListDragEntries(QTreeWidgetItem* shown, const std::vector<ListPick>& picks);

/// The drag of the tree's node `node`.
DragSelection TreeDragEntries(QTreeWidgetItem* node);
