#include "local/TObjLocalDir.h"
#include "store/NodeTree.h"
#include "store/TObjNodeDir.h"
#include "ui/TListView.h"

#include "local/WaitFor.h"

#include <gtest/gtest.h>

#include <QPointer>
#include <QTreeWidget>

namespace {

class NodeDirTest : public ::testing::Test {
protected:
    QTreeWidgetItem* makeNode(int children)
    {
        auto* node = new QTreeWidgetItem(&tree, QStringList(QStringLiteral("root")));
        for (int i = 0; i < children; ++i) {
            auto* child = new QTreeWidgetItem(node, QStringList(QStringLiteral("child %1").arg(i)));
            child->setData(0, ImageIndexRole, i % 9);
        }
        return node;
    }
    // Runs a lister over `node` and waits until it has freed itself.
    void run(QTreeWidgetItem* node, const std::function<void(TObjNodeDir*)>& prepare = {})
    {
        auto* worker = new TObjNodeDir(node, &view);
        QPointer<TObjNodeDir> watch(worker);
        worker->OnTerminate = [this](TWorkerThread* w) { completed = static_cast<TObjNodeDir*>(w)->Completed; };
        if (prepare)
            prepare(worker);
        worker->StartListing();
        ASSERT_TRUE(WaitFor([&] { return watch.isNull(); }, 20000));
    }

    QTreeWidget tree;
    TListView view;
    bool completed = false;
};

TEST_F(NodeDirTest, ThirtyChildrenInOrderWithListImages)
{
    QTreeWidgetItem* node = makeNode(30);
    view.setViewStyle(TListView::Details);
    run(node);
    EXPECT_TRUE(completed);
    ASSERT_EQ(view.model()->rowCount(), 30);
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(view.model()->item(i).Caption, QStringLiteral("child %1").arg(i));
        const int tree = i % 9;
        EXPECT_EQ(view.model()->item(i).ImageIndex, tree == 0 ? 0 : tree + 6);
    }
    EXPECT_EQ(TObjNodeDir::ListImage(0), 0);
    EXPECT_EQ(TObjNodeDir::ListImage(3), 9);
    EXPECT_EQ(view.updateCount(), 0);
}

TEST_F(NodeDirTest, BulkUpdateRenewedEveryTwoHundredItemsInReportStyle)
{
    QTreeWidgetItem* node = makeNode(450);
    view.setViewStyle(TListView::Details);
    std::vector<int> endedAt;
    QObject::connect(&view, &TListView::updatesEnded, [&] { endedAt.push_back(view.model()->rowCount()); });
    run(node);
    EXPECT_EQ(endedAt, (std::vector<int>{200, 400, 450}));
    EXPECT_EQ(view.model()->rowCount(), 450);
}

TEST_F(NodeDirTest, ListStyleAddsWithoutBulkUpdates)
{
    QTreeWidgetItem* node = makeNode(40);
    view.setViewStyle(TListView::List);
    int ended = 0;
    QObject::connect(&view, &TListView::updatesEnded, [&] { ++ended; });
    run(node);
    EXPECT_EQ(ended, 0);
    EXPECT_EQ(view.model()->rowCount(), 40);
}

TEST_F(NodeDirTest, StoppedAfterHundredItemsLeavesHundredAndBalancedUpdates)
{
    QTreeWidgetItem* node = makeNode(450);
    view.setViewStyle(TListView::Details);
    TObjNodeDir* running = nullptr;
    QObject::connect(view.model(), &TListModel::rowsInserted, [&] {
        if (view.model()->rowCount() == 100 && running)
            running->Terminate();
    });
    run(node, [&](TObjNodeDir* w) { running = w; });
    EXPECT_FALSE(completed);
    EXPECT_EQ(view.model()->rowCount(), 100);
    EXPECT_EQ(view.updateCount(), 0);
}

TEST_F(NodeDirTest, TheTreeMayChangeWhileItRuns)
{
    QTreeWidgetItem* node = makeNode(300);
    view.setViewStyle(TListView::Details);
    run(node, [&](TObjNodeDir*) { qDeleteAll(node->takeChildren()); });
    EXPECT_EQ(view.model()->rowCount(), 300);
    EXPECT_EQ(view.model()->item(299).Caption, QStringLiteral("child 299"));
}

} // namespace
