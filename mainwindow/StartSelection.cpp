// The place the window opens at when another program asks for one (`tamsel --select`, a
// link, the desktop's "show in folder"): a folder of this machine or of a share, live, or a
// cached folder of a cached computer, with an entry of it selected when asked.
#include "mainwindow/TMainForm.h"

#include "platform/FileAccess.h"
#include "platform/TextCodec.h"
#include "resources/UiText.h"
#include "store/NodePaths.h"
#include "store/NodeTree.h"

#include "ui/TListModel.h"
#include "ui/TListView.h"

#include <QItemSelectionModel>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>

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
        // The folder could not be opened (the user was told why): an entry of the folder
        // shown before is not the one asked for.
        const TNodeData* shown = m_shownNode ? GetNodeData(m_shownNode) : nullptr;
        if (!shown || UpperAscii(AddBackslash(shown->RemoteName)) != UpperAscii(AddBackslash(path))) {
            m_pendingEntry.clear();
            return;
        }
    } else if (!SelectCachedPath(AddBackslash(path), computer)) {
        ShowError(UiText("快取中找不到 %1").arg(QString::fromStdString(path)));
        return;
    }
    if (!item.empty())
        selectWhenListed(QString::fromStdString(item));
}

void TMainForm::ShowItem(const std::string& path, bool properties)
{
    const std::string item = RemoveBackslash(path);
    const size_t cut = item.rfind('\\');
    // A drive or a share has no folder above it in which it could be selected.
    const bool root = cut == std::string::npos || cut + 1 >= item.size()
                      || (IsUncPath(item) && std::count(item.begin(), item.end(), '\\') <= 3);
    if (root) {
        m_pendingEntry.clear();
        goToFolder(path);
        if (properties)
            C4Click();
        return;
    }
    SelectOnStart(item.substr(0, cut + 1), false, {}, {});
    if (m_shownNode && UpperAscii(AddBackslash(GetNodeData(m_shownNode)->RemoteName)) == UpperAscii(item.substr(0, cut + 1)))
        selectWhenListed(QString::fromStdString(item.substr(cut + 1)), properties);
}

void TMainForm::selectWhenListed(const QString& name, bool properties)
{
    m_pendingEntry = name;
    m_pendingEntryNode = m_shownNode;
    m_pendingProperties = properties;
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
    int row = 0;
    while (row < model->rowCount() && model->item(row).Caption.compare(m_pendingEntry, Qt::CaseInsensitive) != 0)
        ++row;
    if (row == model->rowCount())
        return;  // a folder listed in the background brings its entries in batches
    m_pendingEntry.clear();
    const QModelIndex index = model->index(row, 0);
    FileListView->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    FileListView->currentView()->scrollTo(index);
    FileListView->currentView()->setFocus();
    if (m_pendingProperties) {
        // Not inside the model's insertion: the dialog runs its own loop.
        QTimer::singleShot(0, this, [this] { C4Click(); });
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
