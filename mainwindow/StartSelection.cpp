// The place the window opens at when another program asks for one (`tamsel --select`): a
// folder of this machine or of a share, live, or a cached folder of a cached computer.
#include "mainwindow/TMainForm.h"

#include "platform/FileAccess.h"
#include "resources/UiText.h"
#include "store/NodePaths.h"
#include "store/NodeTree.h"

#include "ui/TListModel.h"
#include "ui/TListView.h"

#include <QItemSelectionModel>
#include <QTreeWidget>

namespace {

// Node folders nest one per Domain node; deeper than this is a damaged cache.
constexpr int kMaxCacheDepth = 32;

bool holds(const std::string& folder, const TNodeData& data)
{
    const std::string prefix = FoldTextCase(AddBackslash(data.RemoteName));
    return !data.RemoteName.empty() && folder.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

void TMainForm::SelectOnStart(const std::string& path, bool cached, const std::string& computer, const std::string& item)
{
    if (!cached) {
        goToFolder(path);
    } else if (!SelectCachedPath(AddBackslash(path), computer)) {
        ShowError(UiText("快取中找不到 %1").arg(QString::fromStdString(path)));
        return;
    }
    if (!item.empty())
        selectWhenListed(QString::fromStdString(item));
}

void TMainForm::ShowRequested(const std::string& path, bool cached, const std::string& computer, const std::string& item)
{
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    SelectOnStart(path, cached, computer, item);
}

void TMainForm::selectWhenListed(const QString& name)
{
    m_pendingEntry = name;
    m_pendingEntryNode = m_shownNode;
    selectPendingEntry();
}

void TMainForm::selectPendingEntry()
{
    // Another folder shown meanwhile: the entry belonged to the one asked for.
    if (m_pendingEntry.isEmpty() || m_shownNode != m_pendingEntryNode) {
        m_pendingEntry.clear();
        return;
    }
    TListModel* model = FileListView->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->item(row).Caption.compare(m_pendingEntry, Qt::CaseInsensitive) != 0)
            continue;
        m_pendingEntry.clear();
        const QModelIndex index = model->index(row, 0);
        FileListView->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        FileListView->currentView()->scrollTo(index);
        FileListView->currentView()->setFocus();
        return;
    }
}

QTreeWidgetItem* TMainForm::findCachedComputer(QTreeWidgetItem* node, const std::string& folded,
                                              const std::string& computer, int depth)
{
    const TNodeData* data = GetNodeData(node);
    if (!data || depth > kMaxCacheDepth)
        return nullptr;
    if (!(data->State & Expanded))
        FolderTreeViewExpanding(node);
    for (int i = 0; i < node->childCount(); ++i) {
        QTreeWidgetItem* child = node->child(i);
        const TNodeData* childData = GetNodeData(child);
        if (!childData)
            continue;
        if (childData->has(Computer) && holds(folded, *childData)
            && (computer.empty() || CompareTextNoCase(childData->Caption, computer) == 0))
            return child;
        if (childData->has(Domain))
            if (QTreeWidgetItem* found = findCachedComputer(child, folded, computer, depth + 1))
                return found;
    }
    return nullptr;
}

bool TMainForm::SelectCachedPath(const std::string& folder, const std::string& computer)
{
    if (!CacheMode)
        N91Click();
    if (!CacheMode)
        return false;  // refused while a node is busy; the user was told why
    const std::string folded = FoldTextCase(folder);
    QTreeWidgetItem* current = nullptr;
    for (QTreeWidgetItem* root : {m_netRoot, m_expandedRoot, m_bookmarkRoot})
        if (!current && root)
            current = findCachedComputer(root, folded, computer, 0);
    if (!current)
        return false;
    // Down from the computer, one folder of the listing at a time, as the user would open them.
    bool reached = false;
    for (int depth = 0; depth <= kMaxCacheDepth; ++depth) {
        const TNodeData* data = GetNodeData(current);
        if (FoldTextCase(AddBackslash(data->RemoteName)) == folded) {
            reached = true;
            break;
        }
        if (!(data->State & Expanded))
            FolderTreeViewExpanding(current);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < current->childCount() && !next; ++i)
            if (const TNodeData* child = GetNodeData(current->child(i)); child && holds(folded, *child))
                next = current->child(i);
        if (!next)
            break;
        current->setExpanded(true);
        current = next;
    }
    for (QTreeWidgetItem* up = current->parent(); up; up = up->parent())
        up->setExpanded(true);
    FolderTreeView->scrollToItem(current);
    FolderTreeView->setCurrentItem(current);
    return reached;
}
