#include "store/TObjNodeDir.h"

#include "local/TImageLists.h"
#include "local/TObjLocalDir.h"
#include "store/NodeTree.h"

#include <QTreeWidgetItem>

TObjNodeDir::TObjNodeDir(QTreeWidgetItem* node, TListView* listView)
    : m_node(node)
    , m_nodeData(GetNodeData(node))
    , m_listView(listView)
    , m_viewStyle(listView->viewStyle())
    , m_count(node->childCount())
{
    SetReceiver(listView);
    m_captions.reserve(m_count);
    m_imageIndexes.reserve(size_t(m_count));
    for (int i = 0; i < m_count; ++i) {
        const QTreeWidgetItem* child = node->child(i);
        m_captions.append(child->text(0));
        m_imageIndexes.push_back(child->data(0, ImageIndexRole).toInt());
    }
}

int TObjNodeDir::ListImage(int treeImage)
{
    return treeImage == 0 ? 0 : treeImage + TImageLists::kFixedImages;
}

void TObjNodeDir::reportStatus()
{
    SynchronizeUnlessStopped([this] {
        if (OnStatus)
            OnStatus(this);
    });
}

void TObjNodeDir::Execute()
{
    RunState = 3;
    reportStatus();
    // The list style draws as it goes; the others are filled inside bulk updates.
    const bool bulk = m_viewStyle != TListView::List;
    const QPointer<TListView> list = m_listView;
    auto beginBulk = [this, list] { Synchronize([list] { if (list) list->beginUpdate(); }); };
    auto endBulk = [this, list] { Synchronize([list] { if (list) list->endUpdate(); }); };
    if (bulk)
        beginBulk();
    for (int i = 0; i < m_count; ++i) {
        if (i > 0 && i % kRepaintEvery == 0 && bulk) {
            endBulk();
            beginBulk();
        }
        const QString caption = m_captions[i];
        const int image = ListImage(m_imageIndexes[size_t(i)]);
        if (Terminated())
            break;
        SynchronizeUnlessStopped([this, &caption, image] {
            if (!m_listView)
                return;
            TListItem item;
            item.Caption = caption;
            item.ImageIndex = image;
            m_listView->model()->appendItem(std::move(item));
        });
    }
    if (bulk)
        endBulk();
    RunState = 5;
    reportStatus();
    if (Terminated())
        OnTerminate = nullptr;
    else
        Completed = true;
}
