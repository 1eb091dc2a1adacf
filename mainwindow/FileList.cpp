// The file list: the local lister, the status line and summaries, sorting, colours, opening
// and renaming items.
#include "mainwindow/TMainForm.h"

#include "app/SetupInfo.h"
#include "local/ErrorText.h"
#include "local/FileOperationEngine.h"
#include "local/ItemProp.h"
#include "local/MessageBoxes.h"
#include "local/NameOrder.h"
#include "local/TImageLists.h"
#include "local/TObjLocalDir.h"
#include "local/TObjShell.h"
#include "platform/DriveMap.h"
#include "platform/FileAccess.h"
#include "platform/Win32Error.h"
#include "platform/ShellServices.h"
#include "resources/StringTable.h"
#include "resources/UiText.h"
#include "store/NodePaths.h"
#include "store/NodeTree.h"
#include "ui/TListView.h"
#include "ui/TStatusBar.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHeaderView>
#include <QTreeView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>

namespace {

enum : int {
    kStrFolders = 33008, kStrFiles = 33009, kStrReading = 33010, kStrNoRenameInCache = 33105,
    kStrHandToSystem = 33124, kStrNoApplication = 44075,
};

// Columns of the details view.
enum Column : int { NameColumn = 0, ExtColumn = 1, FolderColumn = 2, SizeColumn = 3, AttrColumn = 4, DateColumn = 5 };

constexpr int kStartCursorMs = 200;

QString strWith(int number, const QString& argument)
{
    return QString::fromStdString(FormatMessageId(number, argument.toStdString()));
}

bool isFolderItem(const TListItem& item)
{
    return item.ImageIndex == TImageLists::Folder;
}

QString upperExtension(const QString& name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot).toUpper();
}

} // namespace

// The lister and the window read the same roles of an item.
static_assert(TMainForm::ListImageRole == TObjLocalDir::ImageIndexRole);
static_assert(TMainForm::ListSizeRole == TObjLocalDir::StateIndexRole);

QString TMainForm::ListingSummary(int64_t folders, int64_t files, uint64_t bytes)
{
    const QLocale locale;
    QString size;
    if (bytes < 2048)
        size = QString::number(bytes) + QStringLiteral("Bytes)");
    else if (bytes < 2097152)
        size = locale.toString(double(bytes) / 1024.0, 'f', 2) + QStringLiteral("KB)");
    else
        size = locale.toString(double(bytes) / 1048576.0, 'f', 2) + QStringLiteral("MB)");
    return strWith(kStrFolders, QString::number(folders)) + QLatin1Char(',') + strWith(kStrFiles, QString::number(files))
        + QLatin1Char('(') + size;
}

void TMainForm::ListLocalFolder()
{
    ListMode = 1;
    const TNodeData* data = GetNodeData(m_shownNode);
    auto* lister = new TObjLocalDir(FileListView, m_images.get(), QString::fromStdString(data->RemoteName));
    lister->SetReceiver(this);
    lister->OnStatus = [this](TObjLocalDir* sender) { UpdateListingStatus(sender); };
    lister->OnItemImage = [this](int itemNumber, int imageIndex) { setItemImage(itemNumber, imageIndex); };
    lister->OnTerminate = [this](TWorkerThread* sender) {
        if (m_workers[LocalDirSlot] == sender)
            m_workers[LocalDirSlot] = nullptr;
    };
    m_workers[LocalDirSlot] = lister;
    lister->StartListing();
}

void TMainForm::setItemImage(int itemNumber, int imageIndex)
{
    FileListView->model()->setImageIndex(itemNumber, imageIndex);
}

void TMainForm::UpdateListingStatus(TObjLocalDir* lister)
{
    if (m_workers[LocalDirSlot] != lister)
        return;
    const int state = lister->RunState.load();
    showListingStatus(state, lister->Completed, lister->FolderTotal, lister->FileTotal, lister->ByteTotal,
                      lister->ErrorText);
    if (state == 5)
        emit listingEnded(m_listingGeneration);
}

void TMainForm::showListingStatus(int state, bool completed, int64_t folders, int64_t files, uint64_t bytes,
                                  const QString& error)
{
    if (state == 3) {
        m_lastSummary = UiString(kStrReading);
        if (const TNodeData* data = m_shownNode ? GetNodeData(m_shownNode) : nullptr)
            ListPanel->setText(QString::fromStdString(data->RemoteName));
        StatusBar->setBusy(true);
        StatusBar->setPanelText(1, m_lastSummary);
    } else if (state == 5 && completed) {
        StatusBar->setBusy(false);
        m_lastSummary = ListingSummary(folders, files, bytes);
        StatusBar->setPanelText(1, m_lastSummary);
    } else {
        StatusBar->setPanelText(1, error);
        StatusBar->setBusy(false);
    }
}

void TMainForm::FileListViewSelectionChanged()
{
    const TNodeData* data = m_shownNode ? GetNodeData(m_shownNode) : nullptr;
    if (!data || !(data->has(Folder) || data->has(Drive)))
        return;
    const QModelIndexList rows = FileListView->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        StatusBar->setPanelText(1, m_lastSummary);
        return;
    }
    int64_t folders = 0, files = 0;
    uint64_t bytes = 0;
    for (const QModelIndex& row : rows) {
        const TListItem& item = FileListView->model()->item(row.row());
        if (isFolderItem(item)) {
            ++folders;
        } else {
            ++files;
            bytes += item.StateIndex;
        }
    }
    StatusBar->setPanelText(1, ListingSummary(folders, files, bytes));
}

void TMainForm::FileListViewColumnClick(int column)
{
    TListModel* model = FileListView->model();
    if (model->rowCount() == 0)
        return;
    const bool ascending = m_sortToggle;
    m_sortToggle = !m_sortToggle;
    const NameOrder names;
    auto text = [column](const TListItem& item) { return column == NameColumn ? item.Caption : item.SubItems.value(column - 1); };
    auto less = [&](const TListItem& a, const TListItem& b) {
        if (column == NameColumn) {
            if (isFolderItem(a) != isFolderItem(b))
                return isFolderItem(a);
            return names.compare(a.Caption, b.Caption) < 0;
        }
        const QString ta = text(a), tb = text(b);
        if (column == SizeColumn && ta.size() != tb.size())
            return ta.size() < tb.size();
        return ta.compare(tb, Qt::CaseInsensitive) < 0;
    };
    FileListView->beginUpdate();
    if (ascending)
        model->sortItems(less);
    else
        model->sortItems([&](const TListItem& a, const TListItem& b) { return less(b, a); });
    FileListView->endUpdate();
    showSortIndicator(column, ascending);
}

void TMainForm::showSortIndicator(int column, bool ascending)
{
    // The details view sorts through us, not by itself: its header only shows the order.
    for (QTreeView* view : FileListView->findChildren<QTreeView*>()) {
        view->header()->setSortIndicatorShown(column >= 0);
        if (column >= 0)
            view->header()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    }
}

QColor TMainForm::itemColor(const QString& caption, int image)
{
    if (image == TImageLists::Folder)
        return Qt::black;
    const QString ext = upperExtension(caption);
    if (ext.isEmpty())
        return Qt::black;
    for (int group = 1; group <= 5; ++group) {
        if (SetupInfo.asExt(group) && QString::fromStdString(SetupInfo.ext(group)).contains(ext, Qt::CaseSensitive)) {
            const uint32_t colour = SetupInfo.color(group);
            return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
        }
    }
    return Qt::black;
}

QStringList TMainForm::selectedCaptions() const
{
    QStringList captions;
    for (const QModelIndex& row : FileListView->selectionModel()->selectedRows())
        captions << row.siblingAtColumn(NameColumn).data().toString();
    return captions;
}

std::string TMainForm::itemFolder(int row) const
{
    const QString location = FileListView->model()->item(row).SubItems.value(1);
    if (!location.isEmpty())
        return location.toStdString();
    const TNodeData* data = m_shownNode ? GetNodeData(m_shownNode) : nullptr;
    return data ? data->RemoteName : std::string();
}

int TMainForm::firstSelectedRow() const
{
    int first = -1;
    for (const QModelIndex& row : FileListView->selectionModel()->selectedRows())
        if (first < 0 || row.row() < first)
            first = row.row();
    return first;
}

void TMainForm::OpenItem()
{
    const int row = firstSelectedRow();
    const TNodeData* data = m_shownNode ? GetNodeData(m_shownNode) : nullptr;
    if (row < 0 || !data)
        return;
    const TListItem& item = FileListView->model()->item(row);
    const QString captionText = item.Caption;
    const bool fileSystem = data->RootKind == LocalRoot || data->RootKind == NetRoot || data->RootKind == ExpandedRoot;
    if (fileSystem && (data->has(Folder) || data->has(Computer)) && !isFolderItem(item)) {
        // A folder of a computer this system has no way to (a cached one, the computer
        // switched off or not mounted here) fails at once with the system's text, instead
        // of a silent failure or a wait on the network in the window.
        // A live share's file is fetched into Temp by the open itself, on its worker.
        const bool liveShare = IsUncPath(itemFolder(row)) && !(data->State & FromCache);
        if (!liveShare && NativePath(itemFolder(row)).empty()) {
            ShowError(QString::fromStdString(SystemErrorText(Win32::BadNetpath)));
            return;
        }
        const std::string file = itemFolder(row) + captionText.toStdString();
        std::string folder;
        const std::vector<std::string> names = selectionPaths(folder);
        if (names.size() == 1 && TObjShell::HasOpenCommand(file)) {
            m_shell->OpenFile(file);
            QApplication::setOverrideCursor(Qt::BusyCursor);
            QTimer::singleShot(kStartCursorMs, [] { QApplication::restoreOverrideCursor(); });
            return;
        }
        if (AskQuestion(kStrHandToSystem) != IdYes)
            return;
        const bool opened = names.size() == 1 ? ItemProp::PerformDefaultAction(this, file)
                                              : ItemProp::PerformDefaultAction(this, folder, names);
        // An application that is there but does not start is not "no application".
        const QString reason = ShellServices::LastFailureReason();
        if (!opened)
            ShowError(reason.isEmpty() ? QString::fromStdString(FormatMessageId(kStrNoApplication, file))
                                       : TObjShell::OpenFailureText(ShellServices::ShellFailed, file, reason, false));
        return;
    }
    if (data->RootKind == FtpRoot && openFtpItem(data, captionText, isFolderItem(item)))
        return;
    SelectChildByCaption(captionText);
    QApplication::processEvents();
}

void TMainForm::SelectChildByCaption(const QString& text)
{
    QTreeWidgetItem* node = m_shownNode;
    if (!node)
        return;
    if (!node->isExpanded())
        node->setExpanded(true);
    for (int i = 0; i < node->childCount(); ++i) {
        QTreeWidgetItem* child = node->child(i);
        if (child->text(0) != text)
            continue;
        FolderTreeView->setCurrentItem(child);
        const TNodeData* data = GetNodeData(child);
        if (data && (data->has(Computer) || data->has(Domain)) && !(data->State & Expanded))
            FolderTreeViewExpanding(child);
        return;
    }
}

void TMainForm::M1Click()
{
    const int row = firstSelectedRow();
    if (row < 0)
        return;
    const TListItem& item = FileListView->model()->item(row);
    m_listEditOld = item.Caption;
    m_listEditing = row;
    // A file's extension usually stays: the user types over the base name only.
    const qsizetype dot = isFolderItem(item) ? -1 : item.Caption.lastIndexOf(QLatin1Char('.'));
    QAbstractItemView* view = FileListView->currentView();
    const QModelIndex index = FileListView->model()->index(row, NameColumn);
    view->scrollTo(index);
    view->edit(index);
    auto* editor = qobject_cast<QLineEdit*>(view->indexWidget(index));
    if (editor && dot > 0)
        editor->setSelection(0, int(dot));
}

void TMainForm::FileListViewEdited(int row, const QString& newCaption)
{
    if (row != m_listEditing)
        return;
    m_listEditing = -1;
    const QString oldCaption = m_listEditOld;
    if (newCaption == oldCaption)
        return;
    bool renamed = false;
    const TNodeData* data = m_shownNode ? GetNodeData(m_shownNode) : nullptr;
    if (data && ListMode == 1) {
        // A name with a separator would move the entry instead of renaming it.
        if (!newCaption.isEmpty() && !newCaption.contains(QLatin1Char('\\')) && !newCaption.contains(QLatin1Char('/'))) {
            UpdateAllowed = false;
            const std::string folder = itemFolder(row);
            const std::string from = folder + oldCaption.toStdString();
            const std::string to = folder + newCaption.toStdString();
            renamed = m_shell->FileOperation(FO_RENAME, {from}, QString(), FOF_ALLOWUNDO, false, to) == 0;
            UpdateAllowed = true;
        }
    } else if (data && ListMode == 2) {
        for (int i = 0; i < m_shownNode->childCount(); ++i) {
            QTreeWidgetItem* child = m_shownNode->child(i);
            if (child->text(0) == oldCaption) {
                m_settingCaption = true;
                child->setText(0, newCaption);
                if (TNodeData* childData = GetNodeData(child))
                    childData->Caption = newCaption.toStdString();
                m_settingCaption = false;
                renamed = true;
                break;
            }
        }
    } else if (ListMode == 3 && data && data->RootKind == FtpRoot) {
        renamed = renameFtpItem(data, oldCaption, newCaption);
    } else if (ListMode == 3) {
        ShowInformation(kStrNoRenameInCache);
    }
    if (renamed) {
        FileListView->model()->setCaption(row, newCaption);
        // The renamed item stays the one selected, where the user can see it.
        const QModelIndex index = FileListView->model()->index(row, NameColumn);
        FileListView->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        FileListView->currentView()->scrollTo(index);
    }
}
