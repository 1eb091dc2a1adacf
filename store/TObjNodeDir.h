#pragma once
#include "local/TWorkerThread.h"
#include "ui/TListView.h"

#include <QPointer>
#include <QStringList>

#include <atomic>
#include <functional>
#include <vector>

class QTreeWidgetItem;
struct TNodeData;

// Lists the children of a tree node as file list items in the background, for nodes with
// many children. It copies the children's captions and images when it is made and never
// reads the tree again, so the tree may change while it runs.
class TObjNodeDir : public TWorkerThread {
    Q_OBJECT
public:
    /// Items between two renewals of the bulk update, so the list repaints as it fills.
    static constexpr int kRepaintEvery = 200;

    TObjNodeDir(QTreeWidgetItem* node, TListView* listView);

    void StartListing() { Resume(); }

    /// 0 created, 3 running, 5 done.
    std::atomic<int> RunState{0};
    /// The loop ran to its end without being stopped.
    bool Completed = false;
    std::function<void(TObjNodeDir*)> OnStatus;

    /// The list image of a tree image: the tree's images follow the list's six fixed ones,
    /// except that a plain folder shows the list's own folder picture.
    static int ListImage(int treeImage);

protected:
    void Execute() override;
    void ClearHandlers() override { OnStatus = nullptr; }

private:
    void reportStatus();

    QTreeWidgetItem* m_node;  // for reference only; never read after construction
    TNodeData* m_nodeData;
    QPointer<TListView> m_listView;
    int m_viewStyle;
    int m_count;
    QStringList m_captions;
    std::vector<int> m_imageIndexes;
};
