#pragma once
#include "store/TNodeData.h"

#include <Qt>
#include <string>

class QTreeWidgetItem;

// The node store's operations on tree nodes. Each tree node may carry one TNodeData,
// owned by the node and freed by FreeNodeTree; it is kept in the item's NodeDataRole.
// The image indexes of a node are kept in roles too, for the window that owns the image
// list to turn into icons.
enum NodeTreeRole : int {
    NodeDataRole = Qt::UserRole + 1,
    ImageIndexRole,
    SelectedIndexRole,
    StateIndexRole,
};

/// The node's record, or null.
TNodeData* GetNodeData(const QTreeWidgetItem* node);

/// A fresh record for a new child of `parent`: MakeChildData of the parent's record if it
/// has one, else an empty record (RecordOffset -1, State 0).
TNodeData* NewNodeData(const QTreeWidgetItem* parent);

/// Copies the node's image, state and selected indexes and its text into `data` and hangs
/// `data` on the node (the node owns it from then on).
void BindNodeData(TNodeData* data, QTreeWidgetItem* node);

/// Sets the node's text, image index and selected index from `data` and hangs `data` on it.
void ShowNodeData(TNodeData* data, QTreeWidgetItem* node);

/// Adds one child with empty text and no data, so that the tree shows an expand button.
QTreeWidgetItem* AddPlaceholderChild(QTreeWidgetItem* node);

/// Frees the records of every child subtree, deletes the children and sets the node's
/// State to exactly Idle.
void ClearNodeChildren(QTreeWidgetItem* node);

/// Frees the record of `node` and those of its subtree and clears their data.
void FreeNodeTree(QTreeWidgetItem* node);

/// True when no node of the loaded subtree is busy; else false with `name` set to the
/// caption of the first busy node (depth-first; a node without data ends its branch; only
/// Expanded nodes are entered).
bool FindBusyNode(const QTreeWidgetItem* node, std::string& name);
