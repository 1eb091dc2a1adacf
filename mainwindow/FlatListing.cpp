// The flat listing of the "展開" button: every file below the shown folder in one list, one
// folder after another, breadth first.
#include "mainwindow/TMainForm.h"

#include "local/TImageLists.h"
#include "local/TObjLocalDir.h"
#include "store/TObjCacheDir.h"
#include "resources/StringTable.h"
#include "store/NodeTree.h"
#include "ui/TListView.h"
#include "ui/TStatusBar.h"

#include <QTreeWidgetItem>

namespace {

enum : int { kStrReading = 33010, kStrNoFlatListing = 33056, kStrConnectFirst = 33057, kStrNotSupported = 33058 };

// The icons of the list are drawn again after this many more files, so a long listing shows
// its pictures as it goes.
constexpr int64_t kIconRefreshFiles = 1000;

// "D:\a\b\" gives "b"; a drive root "D:\" gives "D:".
QString lastFolderName(const QString& folder)
{
    QString path = folder;
    while (path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    return path.mid(path.lastIndexOf(QLatin1Char('\\')) + 1);
}

} // namespace

void TMainForm::ExpandToolButtonClick()
{
    StopWorkers();
    ++m_listingGeneration;
    FileListView->beginUpdate();
    FileListView->model()->clear();
    FileListView->endUpdate();
    m_images->resetListImages();
    m_flat = FlatListing();

    const TNodeData* data = m_shownNode ? GetNodeData(m_shownNode) : nullptr;
    if (!data)
        return;
    const bool fileSystem = data->RootKind == LocalRoot || data->RootKind == NetRoot || data->RootKind == ExpandedRoot;
    if (!fileSystem) {
        ShowInformation(kStrNotSupported);
        return;
    }
    if (data->has(Sys) || data->has(Domain)) {
        ShowInformation(kStrNoFlatListing);
        return;
    }
    QString start;
    if (data->RootKind != LocalRoot && CacheMode) {
        // The cached view lists the cache's copy of the folders.
        m_flat.cached = true;
        m_flat.storeDir = data->StoreDir;
        m_flat.key = data->Key;
        start = QString::fromStdString(data->RemoteName);
    } else if (data->has(Computer)) {
        if (!(data->State & Expanded) || m_shownNode->childCount() == 0) {
            ShowInformation(kStrConnectFirst);
            return;
        }
        for (int i = 0; i < m_shownNode->childCount(); ++i) {
            const TNodeData* child = GetNodeData(m_shownNode->child(i));
            if (child && !child->RemoteName.empty())
                m_flat.queue << QString::fromStdString(child->RemoteName);
        }
        if (m_flat.queue.isEmpty()) {
            ShowInformation(kStrConnectFirst);
            return;
        }
        start = m_flat.queue.takeFirst();
    } else {
        start = QString::fromStdString(data->RemoteName);
    }
    m_flat.running = true;
    ListMode = m_flat.cached ? 3 : 1;
    StatusBar->setBusy(true);
    StatusBar->setPanelText(1, QString::fromStdString(LoadStr(kStrReading)));
    startFlatLister(start);
}

void TMainForm::refreshFlatIcons()
{
    // Local listers give their items their pictures as they go; cached ones leave them to
    // the window.
    if (m_flat.cached)
        refreshCachedIcons();
    else
        FileListView->model()->iconsChanged();
}

void TMainForm::addFolderRow(const QString& folder)
{
    TListItem row;
    row.Caption = QLatin1Char('<') + lastFolderName(folder) + QLatin1Char('>');
    row.ImageIndex = TImageLists::Folder;
    row.SubItems = {QString(), folder, TObjLocalDir::SizeText(0)};
    FileListView->model()->appendItem(std::move(row));
}

void TMainForm::startFlatLister(const QString& folder)
{
    addFolderRow(folder);
    if (m_flat.cached) {
        auto* lister = new TObjCacheDir(m_flat.storeDir, m_images.get(), FileListView, folder.toStdString(), m_flat.key);
        lister->SetReceiver(this);
        lister->OnTerminate = [this](TWorkerThread* sender) {
            if (m_workers[FlatCacheDirSlot] != sender)
                return;
            const auto* done = static_cast<TObjCacheDir*>(sender);
            QStringList found;
            for (const std::string& path : done->FolderPaths)
                found << QString::fromStdString(path);
            FlatListingStep(done->FolderTotal, done->FileTotal, done->ByteTotal, found);
        };
        m_workers[FlatCacheDirSlot] = lister;
        lister->StartListing();
        return;
    }
    auto* lister = new TObjLocalDir(FileListView, m_images.get(), folder);
    lister->SetReceiver(this);
    lister->OnItemImage = [this](int itemNumber, int imageIndex) { setItemImage(itemNumber, imageIndex); };
    lister->OnTerminate = [this](TWorkerThread* sender) {
        if (m_workers[FlatLocalDirSlot] != sender)
            return;
        const auto* done = static_cast<TObjLocalDir*>(sender);
        QStringList found;
        for (const TLocalItem& item : done->Items) {
            // A link to a folder is listed as an entry, not followed: one pointing back up
            // the tree would make the listing endless.
            if (item.isFolder() && !item.Symlink)
                found << done->FolderPath() + item.Name + QLatin1Char('\\');
        }
        FlatListingStep(done->FolderTotal, done->FileTotal, done->ByteTotal, found);
    };
    m_workers[FlatLocalDirSlot] = lister;
    lister->StartListing();
}

void TMainForm::FlatListingStep(int64_t folders, int64_t files, uint64_t bytes, const QStringList& found)
{
    m_flat.folders += folders;
    m_flat.files += files;
    m_flat.bytes += bytes;
    m_lastSummary = ListingSummary(m_flat.folders, m_flat.files, m_flat.bytes);
    StatusBar->setPanelText(1, m_lastSummary);
    StatusBar->setBusy(true);
    if (m_flat.files - m_flat.iconMark > kIconRefreshFiles) {
        m_flat.iconMark = m_flat.files;
        refreshFlatIcons();
    }
    m_flat.queue << found;
    if (m_flat.queue.isEmpty()) {
        refreshFlatIcons();
        StatusBar->setBusy(false);
        m_workers[FlatLocalDirSlot] = nullptr;
        m_workers[FlatCacheDirSlot] = nullptr;
        m_flat.running = false;
        emit listingEnded(m_listingGeneration);
        return;
    }
    startFlatLister(m_flat.queue.takeFirst());
}
