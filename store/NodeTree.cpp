#include "store/NodeTree.h"

#include <QTreeWidgetItem>
#include <QVariant>

TNodeData* GetNodeData(const QTreeWidgetItem* node)
{
    if (!node)
        return nullptr;
    return reinterpret_cast<TNodeData*>(node->data(0, NodeDataRole).value<quintptr>());
}

namespace {

void hang(TNodeData* data, QTreeWidgetItem* node)
{
    node->setData(0, NodeDataRole, QVariant::fromValue(reinterpret_cast<quintptr>(data)));
}

int intRole(const QTreeWidgetItem* node, int role)
{
    return node->data(0, role).toInt();
}

} // namespace

TNodeData* NewNodeData(const QTreeWidgetItem* parent)
{
    if (const TNodeData* parentData = GetNodeData(parent))
        return new TNodeData(MakeChildData(*parentData));
    auto* data = new TNodeData;
    data->RecordOffset = -1;
    data->State = 0;
    return data;
}

void BindNodeData(TNodeData* data, QTreeWidgetItem* node)
{
    data->ImageIndex = intRole(node, ImageIndexRole);
    data->StateIndex = intRole(node, StateIndexRole);
    data->SelectedIndex = intRole(node, SelectedIndexRole);
    data->Caption = node->text(0).toStdString();
    hang(data, node);
}

void ShowNodeData(TNodeData* data, QTreeWidgetItem* node)
{
    node->setText(0, QString::fromStdString(data->Caption));
    node->setData(0, ImageIndexRole, data->ImageIndex);
    node->setData(0, SelectedIndexRole, data->SelectedIndex);
    hang(data, node);
}

QTreeWidgetItem* AddPlaceholderChild(QTreeWidgetItem* node)
{
    return new QTreeWidgetItem(node);
}

void FreeNodeTree(QTreeWidgetItem* node)
{
    TNodeData* data = GetNodeData(node);
    if (!data)
        return;
    // Children are visited whatever the Expanded bit says: a record hung below a node
    // that lost the bit would otherwise be lost when the subtree is deleted.
    for (int k = 0; k < node->childCount(); k++)
        FreeNodeTree(node->child(k));
    delete data;
    node->setData(0, NodeDataRole, QVariant());
}

void ClearNodeChildren(QTreeWidgetItem* node)
{
    for (int k = 0; k < node->childCount(); k++)
        FreeNodeTree(node->child(k));
    qDeleteAll(node->takeChildren());
    if (TNodeData* data = GetNodeData(node))
        data->State = Idle;
}

bool FindBusyNode(const QTreeWidgetItem* node, std::string& name)
{
    const TNodeData* data = GetNodeData(node);
    if (!data)
        return true;
    if (!(data->State & Idle)) {
        name = data->Caption;
        return false;
    }
    if (data->State & Expanded)
        for (int k = 0; k < node->childCount(); k++)
            if (!FindBusyNode(node->child(k), name))
                return false;
    return true;
}
