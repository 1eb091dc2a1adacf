// Drag and drop of the tree and the list: what a drag from them carries, the drop target
// they are for drags from anywhere (the window itself, the desktop, other programs), the
// effect a drop would have and what it does.
#include "mainwindow/TMainForm.h"

#include "app/SetupInfo.h"
#include "local/ErrorText.h"
#include "local/FileOperationEngine.h"
#include "local/TImageLists.h"
#include "local/TObjShell.h"
#include "mainwindow/DragCursors.h"
#include "mainwindow/DragEntries.h"
#include "mainwindow/DropEffect.h"
#include "mainwindow/FileMimeData.h"
#include "mainwindow/FtpDragData.h"
#include "network/TFTPEnumForm.h"
#include "platform/FileAccess.h"
#include "platform/NativeNames.h"
#include "resources/StringTable.h"
#include "store/NodeFile.h"
#include "store/NodePaths.h"
#include "store/NodeTree.h"
#include "ui/TDropHighlight.h"
#include "ui/TListView.h"

#include <QAbstractItemView>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>

#include <set>

namespace {

enum : int { kStrItems = 33006, kStrNodeInUse = 33031 };

constexpr int kScrollInterval = 50;
// The cache items of a stored node besides its folder: listing, index, site block and
// the site's own options.
constexpr const char* kCacheExtensions[] = {".LST", ".IDX", ".ATT", ".OPT"};

uint32_t keyStateOf(Qt::KeyboardModifiers modifiers)
{
    uint32_t state = 0;
    if (modifiers & Qt::ShiftModifier)
        state |= DragKeyShift;
    if (modifiers & Qt::ControlModifier)
        state |= DragKeyControl;
    return state;
}

QTreeWidgetItem* childByCaption(QTreeWidgetItem* node, const QString& caption)
{
    for (int i = 0; node && i < node->childCount(); ++i)
        if (node->child(i)->text(0) == caption)
            return node->child(i);
    return nullptr;
}

// A site window at work anywhere below a node: its listing files lie in the node's cache.
TFTPEnumForm* siteWindowBelow(const QTreeWidgetItem* node)
{
    const TNodeData* data = GetNodeData(node);
    if (data && data->SiteWindow)
        return static_cast<TFTPEnumForm*>(data->SiteWindow);
    for (int i = 0; i < node->childCount(); ++i)
        if (TFTPEnumForm* window = siteWindowBelow(node->child(i)))
            return window;
    return nullptr;
}

// The effect as the drag source understands it; a source that does not offer a move gets
// the copy it does offer.
Qt::DropAction qtAction(uint32_t effect, Qt::DropActions possible)
{
    Qt::DropAction action = effect == DropEffectMove ? Qt::MoveAction
                          : effect == DropEffectCopy ? Qt::CopyAction : Qt::IgnoreAction;
    if (action == Qt::MoveAction && !(possible & Qt::MoveAction))
        action = Qt::CopyAction;
    return action != Qt::IgnoreAction && (possible & action) ? action : Qt::IgnoreAction;
}

} // namespace

// A drop accepted and carried out once the drag has ended: the data of the moment of
// the drop, since the tree may change while a transfer runs.
struct TMainForm::PendingDrop {
    int action = DropNone;
    bool move = false;
    char kind = 0;
    DropTargetNode target;
    std::vector<std::string> entries;
    std::vector<TNodeData> nodes;
    QPointer<TFTPEnumForm> dragWindow;
    QPointer<TFTPEnumForm> targetWindow;
};

void TMainForm::connectDragDrop()
{
    ScrollTimer = new QTimer(this);
    ScrollTimer->setObjectName(QStringLiteral("ScrollTimer"));
    ScrollTimer->setInterval(kScrollInterval);
    connect(ScrollTimer, &QTimer::timeout, this, &TMainForm::ScrollTimerTimer);
    m_dropHighlight = new TDropHighlight(FolderTreeView->viewport());
    m_dragCursors = std::make_unique<TDragCursors>();
    // A drag held still near an edge of the tree keeps it scrolling, as if it moved.
    m_dragScrollTimer = new QTimer(this);
    m_dragScrollTimer->setObjectName(QStringLiteral("DragScrollTimer"));
    m_dragScrollTimer->setInterval(kScrollInterval);
    connect(m_dragScrollTimer, &QTimer::timeout, this, [this] {
        if (!scrollTreeForDrag(m_dragScrollPoint))
            stopDragScroll();
        else
            markDropTarget(FolderTreeView->viewport(), m_dragScrollPoint);
    });

    // The auto-scroll follows the mouse over the tree even without a button held.
    FolderTreeView->viewport()->setMouseTracking(true);
    FolderTreeView->viewport()->setAcceptDrops(true);
    FolderTreeView->viewport()->installEventFilter(this);
    for (QAbstractItemView* view : FileListView->findChildren<QAbstractItemView*>()) {
        // A press on one of several selected items keeps them all selected, to drag them
        // together; the view's own drag never starts, as its moves come here.
        view->setDragEnabled(true);
        view->viewport()->setAcceptDrops(true);
        view->viewport()->installEventFilter(this);
    }
}

bool TMainForm::isListViewport(const QObject* watched) const
{
    const QWidget* view = watched && watched->isWidgetType() ? static_cast<const QWidget*>(watched)->parentWidget() : nullptr;
    return view && view->parentWidget() == FileListView && qobject_cast<const QAbstractItemView*>(view);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (filterOpenKey(watched, event))
        return true;
    const bool tree = FolderTreeView && watched == FolderTreeView->viewport();
    if (!tree && !isListViewport(watched))
        return QMainWindow::eventFilter(watched, event);
    auto* viewport = static_cast<QWidget*>(watched);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            m_mouseDownPoint = mouse->position().toPoint();
            m_pressOnItem = tree ? FolderTreeView->itemAt(m_mouseDownPoint) != nullptr
                                 : static_cast<QAbstractItemView*>(viewport->parentWidget())->indexAt(m_mouseDownPoint).isValid();
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        m_pressOnItem = false;
        break;
    case QEvent::MouseMove: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (tree)
            FolderTreeViewAutoScroll(mouse->position().toPoint());
        // Pressed on an item, a move drags it; the view would otherwise select by dragging.
        if ((mouse->buttons() & Qt::LeftButton) && m_pressOnItem) {
            if (tree)
                FolderTreeViewMouseMove(mouse);
            else
                FileListViewMouseMove(mouse);
            return true;
        }
        break;
    }
    case QEvent::Leave:
        if (tree)
            m_scrollDirection = 0;
        break;
    case QEvent::DragEnter: {
        // Taken whenever the data is something the window knows, so that the moves, the
        // leave and the drop come here; each move says whether its point takes a drop.
        auto* drag = static_cast<QDragEnterEvent*>(event);
        if (!DropFileTargetEnter(drag)) {
            drag->ignore();
            return true;
        }
        DropFileTargetDragOver(drag, viewport);
        if (!drag->isAccepted()) {
            drag->setDropAction(Qt::IgnoreAction);
            drag->accept();
        }
        return true;
    }
    case QEvent::DragMove:
        DropFileTargetDragOver(static_cast<QDragMoveEvent*>(event), viewport);
        return true;
    case QEvent::DragLeave:
        DropFileTargetLeave();
        return true;
    case QEvent::Drop:
        DropFileTargetDrop(static_cast<QDropEvent*>(event), viewport);
        return true;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::FileListViewMouseMove(const QMouseEvent* event)
{
    if (m_mouseDownPoint == QPoint(-1, -1))
        return;
    const QPoint moved = event->position().toPoint() - m_mouseDownPoint;
    if (!DragDistanceReached(moved.x(), moved.y()))
        return;
    QModelIndexList rows = FileListView->selectionModel()->selectedRows();
    if (rows.isEmpty() || !m_shownNode)
        return;
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<ListPick> picks;
    for (const QModelIndex& row : rows) {
        const TListItem& item = FileListView->model()->item(row.row());
        const QString location = item.SubItems.value(1);
        picks.push_back({item.Caption, location.toStdString(), item.ImageIndex == TImageLists::Folder});
    }
    startDrag(ListDragEntries(m_shownNode, picks), siteWindow(shownData()), FileListView->currentView()->viewport());
}

void TMainForm::FolderTreeViewMouseMove(const QMouseEvent* event)
{
    if (m_mouseDownPoint == QPoint(-1, -1))
        return;
    const QPoint moved = event->position().toPoint() - m_mouseDownPoint;
    QTreeWidgetItem* node = selectedNode();
    if (!DragDistanceReached(moved.x(), moved.y()) || !node)
        return;
    startDrag(TreeDragEntries(node), siteWindow(GetNodeData(node)), FolderTreeView->viewport());
}

void TMainForm::startDrag(const DragSelection& drag, TFTPEnumForm* window, QWidget* source)
{
    // One drag per press: the view never sees the release that ends it.
    m_mouseDownPoint = QPoint(-1, -1);
    m_pressOnItem = false;
    m_dragEntries = drag.entries;
    m_draggedNodes.clear();
    m_dragFtpWindow = drag.fromFtp ? window : nullptr;
    for (QTreeWidgetItem* node : drag.nodes) {
        if (const TNodeData* data = GetNodeData(node))
            m_draggedNodes.push_back(*data);
        // A connected site among the records keeps its listing files in their cache.
        if (!m_dragFtpWindow)
            m_dragFtpWindow = siteWindowBelow(node);
    }
    if (m_dragEntries.empty())
        return;

    const char kind = DragSourceKind(m_dragEntries);
    std::unique_ptr<QMimeData> data;
    if (IsFtpItemKind(kind) && m_dragFtpWindow)
        data = std::make_unique<TFtpDragData>(m_dragEntries, m_dragFtpWindow, SetupInfo.TempPath);
    else
        data = FileMime::MakeFileData(m_dragEntries, false);
    auto* qdrag = new QDrag(source);
    qdrag->setMimeData(data.release());
    m_activeDrag = qdrag;
    m_dragCursors->applyTo(*qdrag, false);
    qdrag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
}

void TMainForm::DropFileSourceFeedback(bool scrolling)
{
    // The drag changes the cursor only when the picture of the effect differs.
    if (m_activeDrag)
        m_dragCursors->applyTo(*m_activeDrag, scrolling);
}

void TMainForm::stopDragScroll()
{
    m_dragScrollTimer->stop();
    DropFileSourceFeedback(false);
}

void TMainForm::holdUpdatesForDrag()
{
    // Only a flag this window cleared is set again: a task window may hold it meanwhile.
    if (!m_dragHoldsUpdates && UpdateAllowed) {
        UpdateAllowed = false;
        m_dragHoldsUpdates = true;
    }
}

void TMainForm::releaseUpdatesForDrag()
{
    if (m_dragHoldsUpdates) {
        UpdateAllowed = true;
        m_dragHoldsUpdates = false;
    }
}

bool TMainForm::DropFileTargetEnter(QDragEnterEvent* event)
{
    const FileMime::Entries entries = FileMime::EntriesOf(*event->mimeData());
    m_dropEntries = entries.entries;
    m_sourceKind = DragSourceKind(m_dropEntries);
    // Another process's FTP items and records name things only that process can reach.
    if (!entries.fromThisProcess && !IsRealSourceKind(m_sourceKind))
        m_sourceKind = 0;
    if (!m_sourceKind)
        return false;
    holdUpdatesForDrag();
    return true;
}

TMainForm::DropTargetNode TMainForm::TreeDropFileTargetNode(const QPoint& point)
{
    DropTargetNode target;
    target.node = FolderTreeView->itemAt(point);
    if (const TNodeData* data = target.node ? GetNodeData(target.node) : nullptr) {
        target.data = *data;
        target.valid = true;
    }
    return target;
}

TMainForm::DropTargetNode TMainForm::ListDropFileTargetNode(QWidget* viewport, const QPoint& point)
{
    DropTargetNode target;
    const TNodeData* shown = shownData();
    if (!shown)
        return target;
    const QModelIndex index = static_cast<QAbstractItemView*>(viewport->parentWidget())->indexAt(point);
    if (!index.isValid()) {
        target.node = m_shownNode;
        target.data = *shown;
        target.valid = true;
        return target;
    }
    const TListItem& item = FileListView->model()->item(index.row());
    if (QTreeWidgetItem* child = childByCaption(m_shownNode, item.Caption)) {
        if (const TNodeData* data = GetNodeData(child)) {
            target.node = child;
            target.data = *data;
            target.valid = true;
        }
        return target;
    }
    // A folder of a real folder's listing whose node the tree has not loaded yet.
    const bool realFolder = shown->has(Folder)
        && (shown->RootKind == LocalRoot || shown->RootKind == NetRoot || shown->RootKind == ExpandedRoot);
    if (realFolder && item.ImageIndex == TImageLists::Folder) {
        target.data = MakeChildData(*shown);
        target.data.Caption = item.Caption.toStdString();
        target.data.NodeAttributes = Folder;
        target.data.RemoteName = AddBackslash(itemFolder(index.row()) + target.data.Caption);
        target.valid = true;
    }
    return target;
}

DropChoice TMainForm::DropFileTargetGetDropEffect(const DropTargetNode& target, uint32_t keyState) const
{
    if (!target.valid)
        return {};
    const TNodeData& data = target.data;
    const DropChoice choice = ChooseDropEffect(data.RootKind, data.NodeAttributes, m_sourceKind, keyState);
    switch (choice.action) {
    case DropShellOperation:
        // Onto its own folder, into itself: nothing a drop should try.
        return IsPointlessFileDrop(m_dropEntries, data.RemoteName) ? DropChoice() : choice;
    case DropFtpUpload:
        return data.SiteWindow ? choice : DropChoice();
    case DropFtpDownload:
        return m_dragFtpWindow ? choice : DropChoice();
    case DropFtpRecords:
    case DropExpandedRecords:
    case DropBookmarkRecords: {
        std::vector<std::string> caches;
        for (const TNodeData& node : m_draggedNodes)
            caches.push_back(NodeCachePath(node));
        return IsRecordDropAllowed(caches, NodeCachePath(data) + "\\") ? choice : DropChoice();
    }
    default:
        return choice;
    }
}

void TMainForm::markDropTarget(QWidget* viewport, const QPoint& point)
{
    QRect rect;
    if (viewport == FolderTreeView->viewport()) {
        m_listDropRow = -1;
        m_treeDropItem = FolderTreeView->itemAt(point);
        if (m_treeDropItem)
            rect = FolderTreeView->visualItemRect(m_treeDropItem);
    } else {
        m_treeDropItem = nullptr;
        const auto* view = static_cast<QAbstractItemView*>(viewport->parentWidget());
        const QModelIndex index = view->indexAt(point);
        m_listDropRow = index.isValid() ? index.row() : -1;
        if (index.isValid()) {
            rect = view->visualRect(index.siblingAtColumn(0));
            // The details view marks the whole row, as it selects it.
            if (FileListView->viewStyle() == TListView::Details)
                rect = QRect(0, rect.top(), viewport->width(), rect.height());
        }
    }
    if (m_dropHighlight->parentWidget() != viewport)
        m_dropHighlight->setParent(viewport);
    m_dropHighlight->mark(rect);
}

void TMainForm::clearDropMark()
{
    m_treeDropItem = nullptr;
    m_listDropRow = -1;
    m_dropHighlight->mark(QRect());
}

bool TMainForm::scrollTreeForDrag(const QPoint& point)
{
    const QRect area = FolderTreeView->viewport()->rect();
    // Only a bar that can still move counts: at the end of the range nothing scrolls.
    const auto step = [](QScrollBar* bar, bool forward) {
        if (forward ? bar->value() >= bar->maximum() : bar->value() <= bar->minimum())
            return false;
        bar->triggerAction(forward ? QAbstractSlider::SliderSingleStepAdd : QAbstractSlider::SliderSingleStepSub);
        return true;
    };
    bool scrolled = false;
    QScrollBar* vertical = FolderTreeView->verticalScrollBar();
    if (point.y() >= area.bottom() - kDragScrollMargin)
        scrolled = step(vertical, true);
    else if (point.y() <= area.top() + kDragScrollMargin)
        scrolled = step(vertical, false);
    QScrollBar* horizontal = FolderTreeView->horizontalScrollBar();
    if (point.x() >= area.right() - kDragScrollMargin)
        scrolled = step(horizontal, true) || scrolled;
    else if (point.x() <= area.left() + kDragScrollMargin)
        scrolled = step(horizontal, false) || scrolled;
    return scrolled;
}

void TMainForm::DropFileTargetDragOver(QDragMoveEvent* event, QWidget* viewport)
{
    const QPoint point = event->position().toPoint();
    const bool tree = viewport == FolderTreeView->viewport();
    const bool scrolling = tree && scrollTreeForDrag(point);
    if (scrolling) {
        m_dragScrollPoint = point;
        if (!m_dragScrollTimer->isActive())
            m_dragScrollTimer->start();
        DropFileSourceFeedback(true);
    } else {
        stopDragScroll();
    }
    markDropTarget(viewport, point);
    m_dropNode = tree ? TreeDropFileTargetNode(point) : ListDropFileTargetNode(viewport, point);
    const DropChoice choice = DropFileTargetGetDropEffect(m_dropNode, keyStateOf(event->modifiers()));
    m_dropAction = choice.action;
    const Qt::DropAction action = qtAction(choice.effect, event->possibleActions());
    if (action == Qt::IgnoreAction) {
        m_dropAction = DropNone;
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
}

void TMainForm::DropFileTargetLeave()
{
    stopDragScroll();
    clearDropMark();
    releaseUpdatesForDrag();
}

void TMainForm::DropFileTargetDrop(QDropEvent* event, QWidget* viewport)
{
    const QPoint point = event->position().toPoint();
    const bool tree = viewport == FolderTreeView->viewport();
    stopDragScroll();
    clearDropMark();
    m_dropNode = tree ? TreeDropFileTargetNode(point) : ListDropFileTargetNode(viewport, point);
    const DropChoice choice = DropFileTargetGetDropEffect(m_dropNode, keyStateOf(event->modifiers()));
    const Qt::DropAction action = qtAction(choice.effect, event->possibleActions());
    if (choice.action == DropNone || action == Qt::IgnoreAction) {
        event->ignore();
        releaseUpdatesForDrag();
        return;
    }
    event->setDropAction(action);
    event->accept();

    PendingDrop drop;
    drop.action = choice.action;
    drop.move = action == Qt::MoveAction;
    drop.kind = m_sourceKind;
    drop.target = m_dropNode;
    drop.entries = m_dropEntries;
    drop.nodes = m_draggedNodes;
    drop.dragWindow = m_dragFtpWindow;
    drop.targetWindow = siteWindow(&m_dropNode.data);
    // The work waits until the drag has ended, so that the source is not kept waiting by
    // a transfer; the update timer stays held until it is done.
    QTimer::singleShot(0, this, [this, drop] {
        try {
            performDrop(drop);
        } catch (const std::exception&) {
            // The target keeps what was done; file operations have reported their own errors.
        }
        releaseUpdatesForDrag();
    });
}

void TMainForm::performDrop(const PendingDrop& drop)
{
    const TNodeData& target = drop.target.data;
    switch (drop.action) {
    case DropShellOperation:
        m_shell->FileOperation(drop.move ? FO_MOVE : FO_COPY, drop.entries, QString(), FOF_ALLOWUNDO, true,
                               AddBackslash(target.RemoteName));
        break;
    case DropFtpUpload:
        if (drop.targetWindow) {
            drop.targetWindow->UploadFiles(target.RemoteName, drop.entries);
            // The site's folder as it is now; the node is still the shown one only if the
            // tree kept it meanwhile.
            if (drop.target.node && m_shownNode == drop.target.node)
                refreshFtpNode(m_shownNode);
        }
        break;
    case DropFtpDownload:
        if (!drop.move && drop.dragWindow)
            drop.dragWindow->DownloadFiles(AddBackslash(target.RemoteName), drop.entries);
        break;
    case DropFtpRecords:
    case DropExpandedRecords:
    case DropBookmarkRecords:
        dropRecords(drop);
        break;
    default:
        break;
    }
}

void TMainForm::dropRecords(const PendingDrop& drop)
{
    if (drop.dragWindow) {
        ShowInformation(kStrNodeInUse);
        return;
    }
    const std::string targetFolder = NodeCachePath(drop.target.data) + "\\";
    // A record whose key the target folder has already would overwrite that record and
    // its cache: it stays where it is.
    TNodeList present;
    LoadNodeFile(targetFolder, present, false);
    std::set<std::string> taken;
    for (const std::unique_ptr<TNodeData>& record : present)
        taken.insert(record->Key);
    std::vector<TNodeData> records;
    for (const TNodeData& node : drop.nodes)
        if (IsPlainName(node.Key) && !taken.count(node.Key))
            records.push_back(node);
    if (records.empty())
        return;

    std::vector<std::string> items;
    for (const TNodeData& node : records) {
        const std::string cache = NodeCachePath(node);
        if (DirectoryExists(cache))
            items.push_back(cache);
        for (const char* extension : kCacheExtensions)
            if (FileExists(cache + extension))
                items.push_back(cache + extension);
    }
    if (!items.empty()) {
        const QString title = QString::fromStdString(FormatMessageId(kStrItems, std::to_string(drop.entries.size())));
        const int32_t result = m_shell->FileOperation(drop.move ? FO_MOVE : FO_COPY, items, title,
                                                      FOF_NOCONFIRMATION | FOF_SIMPLEPROGRESS | FOF_NOCONFIRMMKDIR,
                                                      false, targetFolder);
        // Records without their cache would show empty nodes; on a move the sources would
        // lose theirs. The operation has said what went wrong.
        if (result != 0)
            return;
    }

    UpdateRunning = true;
    try {
        for (const TNodeData& node : records) {
            TNodeData copy = node;
            copy.StoreDir = targetFolder;
            copy.RecordOffset = -1;
            copy.SiteWindow = nullptr;
            copy.Reserved = 0;
            WriteNodeRecord(copy);
            if (drop.move) {
                TNodeData source = node;
                DeleteNodeCache(source, true);
            }
        }
    } catch (const std::exception&) {
        UpdateRunning = false;
        throw;
    }
    UpdateRunning = false;

    // The nodes on screen are the old records: the branch is read again. FTP sites and
    // their folders live among the bookmarks.
    StopWorkers();
    m_shownNode = nullptr;
    if (drop.kind == '4')
        RefreshNode(m_expandedRoot, true);
    else
        ReloadBookmarks();
    if (!m_shownNode && FolderTreeView->currentItem())
        ShowNode(FolderTreeView->currentItem());
}

void TMainForm::FolderTreeViewAutoScroll(const QPoint& point)
{
    if (!SetupInfo.AutoScroll)
        return;
    const QRect area = FolderTreeView->viewport()->rect();
    if (!area.contains(point)) {
        m_scrollDirection = 0;
        return;
    }
    if (point.y() >= area.bottom() - kDragScrollMargin) {
        m_scrollDirection = 2;
        ScrollTimer->start();
    } else if (point.y() <= area.top() + kDragScrollMargin) {
        m_scrollDirection = 1;
        ScrollTimer->start();
    } else if (ScrollTimer->isActive()) {
        m_scrollDirection = 0;
    }
}

void TMainForm::ScrollTimerTimer()
{
    QScrollBar* bar = m_scrollDirection == 3 || m_scrollDirection == 4 ? FolderTreeView->horizontalScrollBar()
                                                                       : FolderTreeView->verticalScrollBar();
    const bool backwards = m_scrollDirection == 1 || m_scrollDirection == 3;
    if (m_scrollDirection == 0 || bar->maximum() <= bar->minimum()
        || (backwards ? bar->value() <= bar->minimum() : bar->value() >= bar->maximum())) {
        ScrollTimer->stop();
        return;
    }
    bar->triggerAction(backwards ? QAbstractSlider::SliderSingleStepSub : QAbstractSlider::SliderSingleStepAdd);
}
