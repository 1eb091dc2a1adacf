#include "store/NodeTree.h"

#include <gtest/gtest.h>

#include <QTreeWidget>
#include <QTreeWidgetItem>

namespace {

QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const char* caption, uint32_t state)
{
    auto* item = new QTreeWidgetItem(parent, QStringList(QString::fromUtf8(caption)));
    auto* data = NewNodeData(parent);
    data->Caption = caption;
    data->State = state;
    ShowNodeData(data, item);
    return item;
}

TNodeData* dataWithState(uint32_t state)
{
    auto* data = new TNodeData;
    data->State = state;
    return data;
}

} // namespace

TEST(NodeTree, NewDataBindAndShow)
{
    QTreeWidget tree;
    auto* root = new QTreeWidgetItem(&tree, QStringList(QStringLiteral("書籤")));
    TNodeData* fresh = NewNodeData(root);  // a parent without data
    EXPECT_EQ(fresh->RecordOffset, -1);
    EXPECT_EQ(fresh->State, 0u);
    root->setData(0, ImageIndexRole, 5);
    root->setData(0, SelectedIndexRole, 6);
    root->setData(0, StateIndexRole, 1);
    fresh->StoreDir = "C:\\Cache\\";
    fresh->Key = "Bookmark";
    fresh->NodeAttributes = Domain;
    BindNodeData(fresh, root);
    EXPECT_EQ(GetNodeData(root), fresh);
    EXPECT_EQ(fresh->Caption, "書籤");
    EXPECT_EQ(fresh->ImageIndex, 5);
    EXPECT_EQ(fresh->SelectedIndex, 6);
    EXPECT_EQ(fresh->StateIndex, 1);

    TNodeData* child = NewNodeData(root);
    EXPECT_EQ(child->StoreDir, "C:\\Cache\\Bookmark\\");
    EXPECT_EQ(child->State, uint32_t(Idle));
    child->Caption = "工作群組";
    child->ImageIndex = 3;
    child->SelectedIndex = 4;
    auto* item = new QTreeWidgetItem(root);
    ShowNodeData(child, item);
    EXPECT_EQ(item->text(0), QStringLiteral("工作群組"));
    EXPECT_EQ(item->data(0, ImageIndexRole).toInt(), 3);
    EXPECT_EQ(item->data(0, SelectedIndexRole).toInt(), 4);
    EXPECT_EQ(GetNodeData(AddPlaceholderChild(item)), nullptr);
    EXPECT_EQ(item->child(0)->text(0), QString());
    FreeNodeTree(root);
    EXPECT_EQ(GetNodeData(root), nullptr);
    EXPECT_EQ(GetNodeData(item), nullptr);
}

TEST(NodeTree, FindBusyNodeWalksOnlyLoadedSubtrees)
{
    QTreeWidget tree;
    auto* top = new QTreeWidgetItem(&tree);
    ShowNodeData(dataWithState(Idle | Expanded), top);
    auto* collapsed = addNode(top, "收起", Idle);
    addNode(collapsed, "看不到的忙碌節點", 0);  // below a node that is not Expanded
    auto* open = addNode(top, "展開", Idle | Expanded);
    AddPlaceholderChild(open);                    // no data: ends its branch
    std::string name;
    EXPECT_TRUE(FindBusyNode(top, name));
    addNode(open, "忙碌", FromCache);               // busy: lacks Idle
    EXPECT_FALSE(FindBusyNode(top, name));
    EXPECT_EQ(name, "忙碌");
    GetNodeData(top)->State = Expanded;             // the node itself busy comes first
    EXPECT_FALSE(FindBusyNode(top, name));
    FreeNodeTree(top);
}

TEST(NodeTree, ClearNodeChildrenLeavesAnIdleEmptyNode)
{
    QTreeWidget tree;
    auto* top = new QTreeWidgetItem(&tree);
    ShowNodeData(dataWithState(Idle | Expanded | FromCache), top);
    auto* a = addNode(top, "a", Idle | Expanded);
    addNode(a, "a1", Idle);
    AddPlaceholderChild(addNode(top, "b", Idle));
    ClearNodeChildren(top);
    EXPECT_EQ(top->childCount(), 0);
    EXPECT_EQ(GetNodeData(top)->State, uint32_t(Idle));
    FreeNodeTree(top);
}
