// The cached view: switching it on and off, loading tree nodes from the node files and the
// cache listings, and listing a cached folder in the file list.
#include "mainwindow/TMainForm.h"

#include "local/ErrorText.h"
#include "local/MessageBoxes.h"
#include "local/TImageLists.h"
#include "local/TObjLocalDir.h"
#include "platform/Exception.h"
#include "resources/StringTable.h"
#include "resources/UiText.h"
#include "store/ListingPair.h"
#include "store/NodeFile.h"
#include "store/NodePaths.h"
#include "store/NodeTree.h"
#include "store/TObjCacheDir.h"
#include "network/TFTPEnumForm.h"
#include "ui/TListView.h"
#include "ui/TStatusBar.h"

#include <QAction>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <numeric>
#include <unordered_map>

namespace {

enum : int {
    kStrNoCacheYet = 44073, kStrHowToMakeCache = 44074, kStrExpandingCache = 33018, kStrNodeBusy = 33026, kStrCacheOff = 33033, kStrCacheOn = 33034,
    kStrFileCount = 33120, kStrImageCount = 33121, kStrAudioCount = 33122, kStrVideoCount = 33123,
};

// The state image of an FTP site read from a node file.
constexpr int kFtpSiteStateImage = 1;

QString strWith(int number, int32_t value)
{
    return QString::fromStdString(FormatMessageId(number, std::to_string(value)));
}

// Files that show a picture of their own are keyed by their name, the rest by extension.
bool OwnIconExtension(const QString& upperExt)
{
    return upperExt == QLatin1String(".LNK") || upperExt == QLatin1String(".EXE") || upperExt == QLatin1String(".ICO")
        || upperExt == QLatin1String(".CUR") || upperExt == QLatin1String(".ANI");
}

struct QtStringViewHash {
    size_t operator()(QStringView text) const { return qHash(text); }
};

} // namespace

void TMainForm::connectCachedView()
{
    ShowInformationText = [this](const QString& text) { ShowMessageText(this, text, MsgInformation); };
    QAction* entry = findChild<QAction*>(QStringLiteral("N91"));
    entry->setEnabled(true);
    connect(entry, &QAction::triggered, this, &TMainForm::N91Click);
    CacheToolButton->setEnabled(true);
    CacheToolButton->setCheckable(true);
    connect(CacheToolButton, &QToolButton::clicked, this, &TMainForm::N91Click);
    // Files of network folders open from the list's menu as from a double click.
    QAction* open = findChild<QAction*>(QStringLiteral("NetOpen"));
    open->setEnabled(true);
    connect(open, &QAction::triggered, this, &TMainForm::OpenItem);
    showCacheModeState();
}

void TMainForm::showCacheModeState()
{
    // The entry and the button toggle themselves when clicked; they are set back to what
    // the mode is, so a refused switch leaves them as they were.
    findChild<QAction*>(QStringLiteral("N91"))->setChecked(CacheMode);
    CacheToolButton->setChecked(CacheMode);
    const QString hint = UiString(CacheMode ? kStrCacheOff : kStrCacheOn);
    CacheToolButton->setToolTip(hint);
    CacheToolButton->setStatusTip(hint);
}

void TMainForm::N91Click()
{
    std::string busy;
    if (m_topRoot && !FindBusyNode(m_topRoot, busy)) {
        showCacheModeState();
        ShowInformationText(QString::fromStdString(FormatMessageId(kStrNodeBusy, busy)));
        return;
    }
    CacheMode = !CacheMode;
    showCacheModeState();
    if (!m_netRoot)
        return;
    FolderTreeView->setUpdatesEnabled(false);
    if (CacheMode)
        resetNetRootToCache();
    else
        LoadNetworkRoot();
    showBookmarkCounters(m_bookmarkRoot);
    showBookmarkCounters(m_expandedRoot);
    FolderTreeView->setUpdatesEnabled(true);
    // The address and the location panel name the mode: show the node again in the new one.
    if (m_shownNode)
        ShowNode(m_shownNode);
}

void TMainForm::resetNetRootToCache()
{
    forgetShownNodeBelow(m_netRoot);
    const bool wasExpanded = m_netRoot->isExpanded();
    ClearNodeChildren(m_netRoot);
    AddPlaceholderChild(m_netRoot);
    GetNodeData(m_netRoot)->State |= FromCache;
    // A root that stays open would never report its next expansion.
    if (wasExpanded)
        m_netRoot->setExpanded(false);
}

QString TMainForm::countedCaption(const TNodeData& data) const
{
    // A site's files are not counted by the crawl: "(共0)" would say it is empty.
    if (data.RootKind == FtpRoot)
        return QString::fromStdString(data.Caption);
    QString text = QString::fromStdString(data.Caption) + QLatin1Char('(') + strWith(kStrFileCount, data.FileCount);
    const std::pair<int, int32_t> counters[] = {
        {kStrImageCount, data.ImageCount}, {kStrAudioCount, data.AudioCount}, {kStrVideoCount, data.VideoCount}};
    for (const auto& [number, count] : counters)
        if (count != 0)
            text += QLatin1Char(',') + strWith(number, count);
    return text + QLatin1Char(')');
}

void TMainForm::LoadCachedChildren(QTreeWidgetItem* node, bool fromCache)
{
    TNodeData* data = GetNodeData(node);
    if (!data)
        return;
    forgetShownNodeBelow(node);
    // The desktop entries under the bookmark root are not stored records: they stay.
    QList<QTreeWidgetItem*> kept;
    if (node == m_bookmarkRoot)
        for (int i = node->childCount() - 1; i >= 0; --i)
            if (const TNodeData* child = GetNodeData(node->child(i)); child && child->has(Sys))
                kept.prepend(node->takeChild(i));
    // Clearing resets the state; a node shown from the cache stays so, or its next refresh
    // would go to the live network.
    const uint32_t keptState = data->State & FromCache;
    ClearNodeChildren(node);
    data->State |= Expanded | keptState;
    node->addChildren(kept);

    const bool updates = FolderTreeView->updatesEnabled();
    FolderTreeView->setUpdatesEnabled(false);
    int added = 0;
    try {
        if (data->has(Domain)) {
            TNodeList records;
            LoadNodeFile(data->StoreDir + data->Key + "\\", records, true);
            QList<QTreeWidgetItem*> children;
            children.reserve(qsizetype(records.size()));
            for (std::unique_ptr<TNodeData>& record : records) {
                auto* child = new QTreeWidgetItem;
                TNodeData* childData = record.release();
                ShowNodeData(childData, child);
                showNodeImages(child);
                if (childData->RootKind == FtpRoot && childData->has(Computer))
                    child->setData(0, StateIndexRole, kFtpSiteStateImage);
                childData->State &= ~uint32_t(Expanded);
                if (fromCache)
                    childData->State |= FromCache;
                if (CacheMode && childData->has(Computer))
                    child->setText(0, countedCaption(*childData));
                AddPlaceholderChild(child);
                children << child;
            }
            m_settingCaption = true;
            node->addChildren(children);
            m_settingCaption = false;
            added = int(children.size());
        } else {
            TItemList items;
            try {
                ReadFolderListing(items, data->StoreDir, data->Key, AddBackslash(data->RemoteName));
            } catch (const std::exception& error) {
                StatusBar->setPanelText(1, QString::fromUtf8(error.what()));
            }
            // Only the leading folders become nodes: decode each path once, sort the folders.
            std::vector<std::string> folders;
            for (const TItemData& item : items)
                if (item.isFolder())
                    folders.push_back(ItemPath(item));
            std::sort(folders.begin(), folders.end(),
                      [](const std::string& a, const std::string& b) { return CompareNamesNaturally(a, b) < 0; });
            QList<QTreeWidgetItem*> children;
            children.reserve(qsizetype(folders.size()));
            for (const std::string& path : folders) {
                auto* child = new QTreeWidgetItem;
                TNodeData* childData = NewNodeData(node);
                childData->Caption = std::string(BareName(path));
                childData->ImageIndex = TImageLists::TreeFolder;
                childData->SelectedIndex = TImageLists::TreeFolderOpen;
                childData->NodeAttributes = Folder;
                childData->RemoteName = AddBackslash(path);
                childData->State = fromCache ? (Idle | FromCache) : Idle;
                childData->Key = data->Key;
                ShowNodeData(childData, child);
                showNodeImages(child);
                AddPlaceholderChild(child);
                children << child;
            }
            m_settingCaption = true;
            node->addChildren(children);
            m_settingCaption = false;
            added = int(children.size());
        }
    } catch (const std::exception& error) {
        m_settingCaption = false;
        FolderTreeView->setUpdatesEnabled(updates);
        throw Exception(LoadStr(kStrExpandingCache) + error.what());
    }
    FolderTreeView->setUpdatesEnabled(updates);
    // The list of a shown container names its child nodes: show it again with them. A node
    // expanded while another is shown leaves the list alone.
    if (added > 0 && !data->has(Folder) && node == m_shownNode)
        ShowNode(node);
    // An empty cache would otherwise leave "expanding" standing with nothing to come.
    if (added == 0 && CacheMode && fromCache && (node == m_netRoot || node == m_expandedRoot)) {
        StatusBar->setPanelText(0, UiString(kStrNoCacheYet));
        if (node == m_shownNode)
            StatusBar->setPanelText(1, UiString(kStrHowToMakeCache));
    }
}

void TMainForm::ListCachedFolder()
{
    ListMode = 3;
    const TNodeData* data = GetNodeData(m_shownNode);
    auto* lister = new TObjCacheDir(data->StoreDir, m_images.get(), FileListView, data->RemoteName, data->Key);
    // A site folder just listed is shown from the entries its window stored.
    TItemList listed;
    if (TFTPEnumForm* site = data->RootKind == FtpRoot ? siteWindow(data) : nullptr)
        if (site->takeListedItems(data->RemoteName, listed))
            lister->UseListedItems(std::move(listed));
    lister->SetReceiver(this);
    lister->OnStatus = [this](TObjCacheDir* sender) { UpdateListingStatus(sender); };
    lister->OnTerminate = [this](TWorkerThread* sender) { CachedFolderListed(static_cast<TObjCacheDir*>(sender)); };
    m_workers[CacheDirSlot] = lister;
    lister->StartListing();
}

void TMainForm::UpdateListingStatus(TObjCacheDir* lister)
{
    if (m_workers[CacheDirSlot] != lister)
        return;
    showListingStatus(lister->RunState.load(), lister->Completed, lister->FolderTotal, lister->FileTotal,
                      lister->ByteTotal, lister->ErrorText);
}

void TMainForm::CachedFolderListed(TObjCacheDir* lister)
{
    if (lister->Completed)
        refreshCachedIcons();
    if (m_workers[CacheDirSlot] == lister) {
        m_workers[CacheDirSlot] = nullptr;
        emit listingEnded(m_listingGeneration);
    }
}

void TMainForm::refreshCachedIcons()
{
    // One look-up per extension, however many files share it. The extensions as the
    // captions spell them are looked at first, as views (the rows stay where they are
    // during the pass): thousands of rows then cost no string of their own.
    constexpr int kEachFile = -1;
    QHash<QString, int> byKey;
    std::unordered_map<QStringView, int, QtStringViewHash> bySpelling;
    FileListView->model()->setImageIndexes([&](const TListItem& item) {
        if (item.ImageIndex == TImageLists::Folder)
            return item.ImageIndex;
        const qsizetype dot = item.Caption.lastIndexOf(u'.');
        const QStringView spelling = dot < 0 ? QStringView() : QStringView(item.Caption).mid(dot);
        auto known = bySpelling.find(spelling);
        if (known == bySpelling.end()) {
            const QString ext = spelling.toString().toUpper();
            int image = kEachFile;
            if (!OwnIconExtension(ext)) {
                auto found = byKey.constFind(ext);
                if (found == byKey.cend())
                    found = byKey.insert(ext, IconIndexFor(item.Caption));
                image = *found;
            }
            known = bySpelling.emplace(spelling, image).first;
        }
        return known->second == kEachFile ? IconIndexFor(item.Caption) : known->second;
    });
    FileListView->relayout();
}

int TMainForm::IconIndexFor(const QString& name) const
{
    const QString ext = TObjLocalDir::Extension(name).toUpper();
    if (ext.isEmpty())
        return TImageLists::File;
    if (OwnIconExtension(ext)) {
        const int key = m_images->findKey(name);
        if (key >= 0)
            return key + TImageLists::kFixedImages;
        return ext == QLatin1String(".EXE") ? TImageLists::Program : TImageLists::File;
    }
    const int key = m_images->findKey(ext);
    return key >= 0 ? key + TImageLists::kFixedImages : TImageLists::File;
}
