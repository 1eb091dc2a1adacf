// Showing a node: the address, the back and forward history, the location line, which
// lister fills the list, and the automatic refresh after changes on disk.
#include "mainwindow/TMainForm.h"

#include "app/SetupInfo.h"
#include "local/ErrorText.h"
#include "platform/AddressText.h"
#include "platform/FileAccess.h"
#include "platform/TextCodec.h"
#include "platform/Win32Error.h"
#include "local/MessageBoxes.h"
#include "local/TImageLists.h"
#include "local/TObjDisk.h"
#include "local/TObjWatchDisk.h"
#include "local/UpdateTimerRule.h"
#include "mainwindow/TFileListDelegate.h"
#include "resources/StringTable.h"
#include "resources/UiText.h"
#include "store/NodePaths.h"
#include "store/TObjNodeDir.h"
#include "store/NodeTree.h"
#include "ui/TListView.h"
#include "ui/TStatusBar.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QTreeView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>

namespace {

enum : int {
    kStrDiskSpace = 33003, kStrFreeSpace = 33004, kStrCached = 33005, kStrItems = 33006, kStrNotExpanded = 33007,
    kStrMyComputer = 33012, kStrDoubleClickToExpand = 33022, kStrExpanding = 33109,
    kStrAddressNotFound = 44070, kStrFtpThroughNode = 44071, kStrAddressUnknown = 44072,
};

constexpr uint32_t kFolderAttribute = 0x10;

QString strWith(int number, const QString& argument)
{
    return QString::fromStdString(FormatMessageId(number, argument.toStdString()));
}

} // namespace

void TMainForm::FolderTreeViewChange()
{
    updateNewComputerCommand();
    if (!m_treeChanging)
        ShowNode(FolderTreeView->currentItem());
}

void TMainForm::forgetShownNodeBelow(const QTreeWidgetItem* node)
{
    for (const QTreeWidgetItem* current = m_shownNode; current; current = current->parent()) {
        if (current->parent() == node) {
            StopWorkers();
            m_shownNode = nullptr;
            return;
        }
    }
}

void TMainForm::ShowNode(QTreeWidgetItem* node)
{
    TNodeData* data = node ? GetNodeData(node) : nullptr;
    if (!data)
        return;
    m_shownNode = node;
    m_flat = FlatListing();
    ++m_listingGeneration;

    FileListView->beginUpdate();
    FileListView->model()->clear();
    FileListView->endUpdate();
    showSortIndicator(-1, true);  // a new listing comes in the lister's own order
    m_images->resetListImages();

    // Showing the same place again (a refresh, another view style) is no step in the
    // history: it would only make the way back lead to where the user already is.
    const std::string address = NodeToPath(node);
    if (!m_currentAddress.empty())
        recordAddress(QString::fromStdString(m_currentAddress), address != m_currentAddress);
    m_currentAddress = address;
    AddressComboBox->setEditText(QString::fromStdString(m_currentAddress));

    showLocation(node, data);
    StatusBar->setPanelText(1, QString());
    StopWorkers();

    switch (data->RootKind) {
    case LocalRoot:
        if (data->has(Update))
            rereadDrive(data);
        if (data->has(Container))
            ListChildNodes();
        else
            ListLocalFolder();
        if (data->has(Folder))
            watchShownFolder(data->RemoteName);
        break;
    case NetRoot:
    case ExpandedRoot:
        if (data->has(Container) && (data->RootKind == ExpandedRoot || !data->has(Folder)))
            ListChildNodes();
        else if (CacheMode || (data->State & CacheFallback))
            ListCachedFolder();
        else
            ListLocalFolder();
        if (data->State & CacheFallback)
            showCacheDate(data);
        if (SetupInfo.AutoExpand)
            node->setExpanded(true);
        break;
    case FtpRoot:
        if (data->has(Domain)) {
            ListChildNodes();
        } else if (data->State & Expanded) {
            ListCachedFolder();
        } else if (!data->has(Computer) && SetupInfo.AutoExpand) {
            node->setExpanded(true);
        }
        break;
    default:
        ListChildNodes();
        break;
    }
}

void TMainForm::recordAddress(const QString& address, bool newPlace)
{
    if (AddressComboBox->findText(address, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0) {
        AddressComboBox->insertItem(0, address);
        if (AddressComboBox->count() > kAddressLimit)
            AddressComboBox->removeItem(kAddressLimit);
    }
    if (!m_recordHistory || !newPlace)
        return;
    QList<QAction*> back = PriorPopupMenu->actions();
    if (back.size() > kBackLimit - 1) {
        PriorPopupMenu->removeAction(back[kBackLimit - 1]);
        back[kBackLimit - 1]->deleteLater();
    }
    const QList<QAction*> forward = NextPopupMenu->actions();
    if (!forward.isEmpty()) {
        NextPopupMenu->removeAction(forward.first());
        forward.first()->deleteLater();
    }
    PriorToolButton->setEnabled(true);
    NextToolButton->setEnabled(false);
    insertHistoryEntry(PriorPopupMenu, address, true);
}

QAction* TMainForm::insertHistoryEntry(QMenu* menu, const QString& address, bool back)
{
    auto* entry = new QAction(address, menu);
    entry->setStatusTip(address);
    entry->setToolTip(address);
    connect(entry, &QAction::triggered, this, [this, entry, back] {
        if (back)
            followBackEntry(entry);
        else
            followForwardEntry(entry);
    });
    const QList<QAction*> entries = menu->actions();
    menu->insertAction(entries.isEmpty() ? nullptr : entries.first(), entry);
    return entry;
}

void TMainForm::followBackEntry(QAction* entry)
{
    if (m_historyRunning)
        return;
    m_historyRunning = true;
    m_recordHistory = false;
    const QString target = entry->text();
    PriorPopupMenu->removeAction(entry);
    entry->deleteLater();
    PriorToolButton->setEnabled(!PriorPopupMenu->actions().isEmpty());
    // The way forward again is the place being left.
    insertHistoryEntry(NextPopupMenu, QString::fromStdString(m_currentAddress), false);
    NextToolButton->setEnabled(true);
    try {
        SelectPath(target.toStdString());
    } catch (const std::exception&) {
        // A step that fails leaves the window where it was.
    }
    m_recordHistory = true;
    m_historyRunning = false;
}

void TMainForm::followForwardEntry(QAction* entry)
{
    if (m_historyRunning)
        return;
    m_historyRunning = true;
    m_recordHistory = false;
    const QString target = entry->text();
    NextPopupMenu->removeAction(entry);
    entry->deleteLater();
    insertHistoryEntry(PriorPopupMenu, QString::fromStdString(m_currentAddress), true);
    NextToolButton->setEnabled(!NextPopupMenu->actions().isEmpty());
    PriorToolButton->setEnabled(true);
    try {
        SelectPath(target.toStdString());
    } catch (const std::exception&) {
    }
    m_recordHistory = true;
    m_historyRunning = false;
}

void TMainForm::PriorToolButtonClick()
{
    const QList<QAction*> entries = PriorPopupMenu->actions();
    if (!entries.isEmpty())
        followBackEntry(entries.first());
}

void TMainForm::NextToolButtonClick()
{
    const QList<QAction*> entries = NextPopupMenu->actions();
    if (!entries.isEmpty())
        followForwardEntry(entries.first());
}

void TMainForm::AddressComboBoxExit()
{
    const std::string text = AddressComboBox->currentText().toStdString();
    if (text == m_currentAddress)
        return;
    const Address address = ParseAddress(text);
    switch (address.kind) {
    case AddressKind::Virtual:
        if (!SelectPath(address.path))
            ShowError(strWith(kStrAddressNotFound, QString::fromStdString(address.path)));
        break;
    case AddressKind::Drive:
    case AddressKind::Unc:
        goToFolder(address.path);
        break;
    case AddressKind::Ftp:
        OpenFtpLink(address.path);
        break;
    case AddressKind::Unknown:
        ShowError(strWith(kStrAddressUnknown, QString::fromStdString(text)));
        break;
    }
}

void TMainForm::goToFolder(const std::string& path)
{
    int error = 0;
    FindEntry entry;
    if (!GetFileEntry(path, entry, &error)) {
        ShowError(strWith(kStrAddressNotFound, QString::fromStdString(path)) + QStringLiteral("\r\n")
                  + QString::fromStdString(Win32MessageText(error)));
        return;
    }
    // A file's address opens its folder.
    std::string folder = AddBackslash(path);
    if (!(entry.attributes & kFolderAttribute)) {
        folder = RemoveBackslash(path);
        folder.resize(folder.rfind('\\') + 1);
    }
    if (IsUncPath(folder))
        SelectSharePath(folder);
    else
        SelectLocalPath(folder);
    const TNodeData* shown = FolderTreeView->currentItem() ? GetNodeData(FolderTreeView->currentItem()) : nullptr;
    if (!shown || UpperAscii(AddBackslash(shown->RemoteName)) != UpperAscii(folder))
        ShowError(strWith(kStrAddressNotFound, QString::fromStdString(path)));
}

void TMainForm::showLocation(const QTreeWidgetItem* node, const TNodeData* data)
{
    if (data->RootKind == LocalRoot && data->has(Folder) && !data->RemoteName.empty()) {
        const int slot = QChar::fromLatin1(data->RemoteName[0]).toUpper().toLatin1() - 'A';
        if (slot >= 0 && slot < TObjDisk::kLetters) {
            TreePanel->setText(QString::fromStdString(m_disk->TypeName[slot]));
            const double totalGb = m_disk->TotalKB[slot] / 1048576.0;
            const double freeMb = m_disk->FreeKB[slot] / 1024.0;
            StatusBar->setPanelText(0, UiString(kStrDiskSpace) + QString::number(totalGb, 'f', 1) + QStringLiteral("GB,")
                                           + UiString(kStrFreeSpace) + QString::number(freeMb, 'f', 2) + QStringLiteral("MB"));
            return;
        }
    }
    QString caption = QString::fromStdString(data->Host.empty() ? data->Caption : data->Host);
    if (CacheMode)
        caption += UiString(kStrCached);
    TreePanel->setText(caption);
    if (data->State & Expanded)
        StatusBar->setPanelText(0, strWith(kStrItems, QString::number(node->childCount())));
    else
        StatusBar->setPanelText(0, UiString(SetupInfo.AutoExpand ? kStrExpanding : kStrNotExpanded));
}

void TMainForm::rereadDrive(TNodeData* data)
{
    const int slot = QChar::fromLatin1(data->RemoteName.empty() ? '?' : data->RemoteName[0]).toUpper().toLatin1() - 'A';
    if (slot < 0 || slot >= TObjDisk::kLetters)
        return;
    const uint32_t before = m_disk->VolumeId[slot];
    m_disk->RefreshDrive(data->RemoteName);
    if (m_disk->VolumeId[slot] == before || !m_disk->Present[slot])
        return;
    // Another medium: the drive node starts over with the new label.
    for (int i = 0; i < m_localRoot->childCount(); ++i) {
        QTreeWidgetItem* drive = m_localRoot->child(i);
        TNodeData* driveData = GetNodeData(drive);
        if (!driveData || driveData->RemoteName != m_disk->Root[slot])
            continue;
        driveData->Caption = m_disk->VolumeLabel[slot];
        drive->setText(0, QString::fromStdString(driveData->Caption));
        if (drive != m_shownNode) {
            ClearNodeChildren(drive);
            AddPlaceholderChild(drive);
        }
    }
}

void TMainForm::ListChildNodes()
{
    ListMode = 2;
    const TNodeData* data = GetNodeData(m_shownNode);
    if (!(data->State & Expanded)) {
        ListPanel->setText(UiString(kStrMyComputer));
        StatusBar->setPanelText(1, UiString(kStrDoubleClickToExpand));
        emit listingEnded(m_listingGeneration);
        return;
    }
    // Tree image i becomes list image i + 6.
    for (int image = 0; image < TImageLists::kTreeImages; ++image) {
        m_images->SImageList.add(TImageLists::treeIcon(image));
        m_images->LImageList.add(TImageLists::treeIcon(image));
    }
    ListPanel->setText(QString::fromStdString(data->Caption));
    StatusBar->setPanelText(1, strWith(kStrItems, QString::number(m_shownNode->childCount())));
    if (m_shownNode->childCount() >= kNodeListerThreshold) {
        startNodeLister();
        return;
    }
    std::vector<TListItem> items;
    items.reserve(size_t(m_shownNode->childCount()));
    for (int i = 0; i < m_shownNode->childCount(); ++i)
        items.push_back(childNodeRow(m_shownNode->child(i)));
    FileListView->beginUpdate();
    FileListView->model()->appendItems(items);
    FileListView->endUpdate();
    emit listingEnded(m_listingGeneration);
}

TListItem TMainForm::childNodeRow(const QTreeWidgetItem* child) const
{
    const TNodeData* childData = GetNodeData(child);
    TListItem item;
    item.Caption = child->text(0);
    item.ImageIndex = TObjNodeDir::ListImage(childData ? childData->ImageIndex : 0);
    return item;
}

void TMainForm::startNodeLister()
{
    auto* lister = new TObjNodeDir(m_shownNode, FileListView);
    lister->SetReceiver(this);
    lister->OnTerminate = [this](TWorkerThread* sender) {
        if (m_workers[NodeDirSlot] != sender)
            return;
        m_workers[NodeDirSlot] = nullptr;
        emit listingEnded(m_listingGeneration);
    };
    m_workers[NodeDirSlot] = lister;
    lister->StartListing();
}

void TMainForm::watchShownFolder(const std::string& folder)
{
    auto* watcher = new TObjWatchDisk(folder, false, TObjWatchDisk::ChangeFileName | TObjWatchDisk::ChangeDirName);
    watcher->SetReceiver(this);
    watcher->OnChange = [this] { ShownFolderChanged(); };
    watcher->OnTerminate = [this](TWorkerThread* sender) {
        if (m_workers[WatchDiskSlot] == sender)
            m_workers[WatchDiskSlot] = nullptr;
    };
    m_workers[WatchDiskSlot] = watcher;
}

void TMainForm::ShownFolderChanged()
{
    UpdateTimer->start(ShownFolderChangeInterval(UpdateTimer->isActive(), UpdateTimer->interval()));
    m_refreshShownFolder = true;
}

void TMainForm::DriveChanged()
{
    for (const QPointer<TObjWatchDisk>& watcher : m_driveWatchers) {
        if (!watcher || !watcher->InHandler || UpdateRunning)
            continue;
        const QString root = QString::fromStdString(watcher->Path());
        if (!m_changedDrives.contains(root))
            m_changedDrives << root;
    }
    UpdateTimer->start(DriveChangeInterval(UpdateTimer->isActive(), UpdateTimer->interval()));
}

void TMainForm::UpdateTimerTimer()
{
    if (!UpdateAllowed)
        return;
    UpdateAllowed = false;
    UpdateRunning = true;
    for (int i = 0; m_localRoot && i < m_localRoot->childCount(); ++i) {
        QTreeWidgetItem* drive = m_localRoot->child(i);
        const TNodeData* data = GetNodeData(drive);
        if (!data)
            continue;
        const QString root = QString::fromStdString(data->RemoteName);
        std::string busy;
        if (m_changedDrives.contains(root) && FindBusyNode(drive, busy)) {
            RefreshNode(drive, false);
            m_changedDrives.removeAll(root);
        }
    }
    if (m_refreshShownFolder) {
        m_refreshShownFolder = false;
        ShowNode(m_shownNode);
    }
    UpdateTimer->stop();
    UpdateAllowed = true;
    UpdateRunning = false;
}

void TMainForm::connectBrowsing()
{
    m_images = std::make_unique<TImageLists>();
    ShowError = [this](const QString& text) { ShowErrorText(this, text); };
    ShowInformation = [this](int number) { ShowMessageId(this, number, MsgInformation); };
    AskQuestion = [this](int number) { return ShowMessageId(this, number, MsgQuestion); };
    UpdateTimer = new QTimer(this);
    UpdateTimer->setObjectName(QStringLiteral("UpdateTimer"));
    connect(UpdateTimer, &QTimer::timeout, this, &TMainForm::UpdateTimerTimer);

    FolderTreeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(FolderTreeView, &QTreeWidget::itemExpanded, this, &TMainForm::FolderTreeViewExpanding);
    connect(FolderTreeView, &QTreeWidget::currentItemChanged, this, &TMainForm::FolderTreeViewChange);
    connect(FolderTreeView, &QTreeWidget::itemChanged, this, &TMainForm::FolderTreeViewEdited);
    connect(FolderTreeView->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
            &TMainForm::FolderTreeViewEditorClosed);
    connect(FolderTreeViewPopupMenu, &QMenu::aboutToShow, this, &TMainForm::FolderTreeViewPopupMenuPopup);
    connect(LocalListPopupMenu, &QMenu::aboutToShow, this, &TMainForm::LocalListPopupMenuPopup);

    const std::pair<const char*, void (TMainForm::*)()> commands[] = {
        {"DNRename", &TMainForm::DNRenameClick}, {"N34", &TMainForm::N34Click}, {"N30", &TMainForm::N30Click},
        {"N39", &TMainForm::N39Click},           {"N92", &TMainForm::N92Click}, {"N63", &TMainForm::N63Click},
        {"N19", &TMainForm::OpenItem},           {"N31", &TMainForm::N31Click}, {"N33", &TMainForm::N33Click},
        {"M1", &TMainForm::M1Click},             {"N16", &TMainForm::N16Click}, {"N36", &TMainForm::N36Click},
        {"C4", &TMainForm::C4Click},             {"N83", &TMainForm::N83Click}, {"N1", &TMainForm::N33Click},
        {"N3", &TMainForm::N3Click},             {"R1", &TMainForm::R1Click}, {"C1", &TMainForm::C1Click},
    };
    for (const auto& [name, handler] : commands) {
        QAction* entry = findChild<QAction*>(QString::fromLatin1(name));
        connect(entry, &QAction::triggered, this, handler);
        entry->setEnabled(true);
    }
    ExpandToolButton->setPopupMode(QToolButton::MenuButtonPopup);
    ExpandToolButton->setEnabled(true);
    connect(ExpandToolButton, &QToolButton::clicked, this, &TMainForm::ExpandToolButtonClick);
    connect(PriorToolButton, &QToolButton::clicked, this, &TMainForm::PriorToolButtonClick);
    connect(NextToolButton, &QToolButton::clicked, this, &TMainForm::NextToolButtonClick);
    connect(AddressComboBox->lineEdit(), &QLineEdit::editingFinished, this, &TMainForm::AddressComboBoxExit);
    connect(AddressComboBox, &QComboBox::activated, this, &TMainForm::AddressComboBoxExit);

    TListModel* model = FileListView->model();
    model->setColumns({UiText("檔名"), UiText("副檔名"), UiText("位置"), UiText("大小"),
                       UiText("屬性"), UiText("修改日期")});
    model->setColumnAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
    FileListView->setImageLists(&m_images->SImageList, &m_images->LImageList);
    FileListView->setItemDelegates([this] {
        return new TFileListDelegate(
            FileListView,
            [](const QModelIndex& index) { return itemColor(index.data().toString(), index.data(ListImageRole).toInt()); },
            this);
    });
    connect(model, &TListModel::captionEdited, this, &TMainForm::FileListViewEdited);
    connect(FileListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TMainForm::FileListViewSelectionChanged);
    for (QAbstractItemView* view : FileListView->findChildren<QAbstractItemView*>()) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QAbstractItemView::doubleClicked, this, &TMainForm::OpenItem);
        connect(view, &QWidget::customContextMenuRequested, this, &TMainForm::FileListViewContextPopup);
        if (auto* details = qobject_cast<QTreeView*>(view)) {
            details->header()->setSectionsClickable(true);
            connect(details->header(), &QHeaderView::sectionClicked, this, &TMainForm::FileListViewColumnClick);
            const int widths[] = {200, 60, 200, 100, 60, 130};
            for (int column = 0; column < 6; ++column)
                details->setColumnWidth(column, widths[column]);
        }
    }
}

void TMainForm::fitDetailColumns()
{
    // Wide enough for the longest usual text of each column in the window's font, so sizes
    // and dates are never cut; the view scrolls to what the window cannot hold. Columns
    // only widen, so a width the user chose stays.
    const char* const samples[] = {"", ".jpeg", "", "9,999,999.99KB", "唯讀,隱藏", "2026/12/31 23:59:59"};
    for (QTreeView* details : FileListView->findChildren<QTreeView*>()) {
        QStyle* style = details->style();
        const int padding = 2 * style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, details) + 12;
        // A heading needs room for the sort indicator beside it.
        QHeaderView* header = details->header();
        const int indicator = style->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, header)
            + 3 * style->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        for (int column = 0; column < header->count() && column < 6; ++column) {
            const QString heading = header->model()->headerData(column, Qt::Horizontal).toString();
            const int needed = std::max(details->fontMetrics().horizontalAdvance(UiText(samples[column])) + padding,
                                        header->fontMetrics().horizontalAdvance(heading) + indicator + padding);
            details->setColumnWidth(column, std::max(details->columnWidth(column), needed));
        }
    }
}
