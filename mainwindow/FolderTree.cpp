// The folder tree: its roots, the local drives and folders, virtual paths, refreshing and
// renaming nodes, and the tree's menu.
#include "mainwindow/TMainForm.h"

#include "app/SetupInfo.h"
#include "local/ErrorText.h"
#include "local/NameOrder.h"
#include "local/TImageLists.h"
#include "local/TObjDisk.h"
#include "local/TObjShell.h"
#include "local/TObjWatchDisk.h"
#include "platform/DateTime.h"
#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "platform/NativeNames.h"
#include "platform/RegistryFile.h"
#include "platform/TextCodec.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"
#include "resources/UiText.h"
#include "store/NodeFile.h"
#include "store/NodePaths.h"
#include "store/NodeTree.h"

#include <QAction>
#include <QMenu>
#include <QTreeWidget>
#include <algorithm>

namespace {

enum : int {
    kStrTopRoot = 30000, kStrBookmarks = 33011, kStrMyComputer = 33012, kStrNetwork = 33013,
    kStrExpandedNetwork = 33014, kStrExpandingFolder = 33017, kStrRenameFailed = 33024,
    kStrEmptyName = 33025, kStrNodeBusy = 33026, kStrRefreshFailed = 33032, kStrCannotRename = 33114,
};

constexpr uint32_t kDirectoryAttribute = 0x10;
constexpr const char* kShellFoldersKey = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::string caption(const QTreeWidgetItem* node)
{
    return node->text(0).toStdString();
}

// The sub-folders of a folder, sorted without regard to case; names that no path can hold
// are left out, as the tree could never open them.
std::vector<std::string> subfolderNames(const std::string& folder)
{
    std::vector<FindEntry> entries;
    int error = 0;
    if (!ListDirectory(AddBackslash(folder) + "*.*", entries, &error))
        throw Exception(Win32MessageText(error));
    std::vector<std::string> names;
    for (const FindEntry& entry : entries)
        if (entry.attributes & kDirectoryAttribute)
            names.push_back(entry.name);
    // The list shows the same folders in the same order.
    const NameOrder order;
    std::vector<std::pair<QCollatorSortKey, std::string>> keyed;
    keyed.reserve(names.size());
    for (std::string& name : names)
        keyed.emplace_back(order.key(QString::fromStdString(name)), std::move(name));
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first.compare(b.first) < 0; });
    names.clear();
    for (auto& [key, name] : keyed)
        names.push_back(std::move(name));
    return names;
}

bool HasSubfolders(const std::string& folder)
{
    std::vector<FindEntry> entries;
    if (!ListDirectory(AddBackslash(folder) + "*.*", entries))
        return false;
    return std::any_of(entries.begin(), entries.end(),
                       [](const FindEntry& entry) { return (entry.attributes & kDirectoryAttribute) != 0; });
}

// Folders shared with the network are not marked on this system: sharing is the file
// server's business, not a property of the folder.
bool IsShared(const std::string&)
{
    return false;
}

bool childrenLoaded(const QTreeWidgetItem* node)
{
    const TNodeData* data = GetNodeData(node);
    return data && (data->State & Expanded);
}

// Collects the caption paths of the visible leaves below `node`, relative to it.
void collectVisibleLeaves(const QTreeWidgetItem* node, const QString& prefix, QStringList& paths)
{
    if (!node->isExpanded() || node->childCount() == 0) {
        if (!prefix.isEmpty())
            paths << prefix;
        return;
    }
    for (int i = 0; i < node->childCount(); ++i) {
        const QTreeWidgetItem* child = node->child(i);
        collectVisibleLeaves(child, prefix.isEmpty() ? child->text(0) : prefix + '\\' + child->text(0), paths);
    }
}

QTreeWidgetItem* childByCaption(const QTreeWidgetItem* node, const QString& text)
{
    for (int i = 0; i < node->childCount(); ++i)
        if (node->child(i)->text(0) == text)
            return node->child(i);
    return nullptr;
}

// After a stored folder moved from `from` to `to` (both with their trailing backslash),
// the records loaded below it are found in the moved folder: each StoreDir that lay in the
// old one is moved with it, so the next write goes to the folder that exists.
void moveLoadedStoreDirs(QTreeWidgetItem* node, const std::string& from, const std::string& to)
{
    for (int i = 0; i < node->childCount(); ++i) {
        QTreeWidgetItem* child = node->child(i);
        if (TNodeData* data = GetNodeData(child); data && data->StoreDir.compare(0, from.size(), from) == 0)
            data->StoreDir = to + data->StoreDir.substr(from.size());
        moveLoadedStoreDirs(child, from, to);
    }
}

} // namespace

void TMainForm::showNodeImages(QTreeWidgetItem* node)
{
    TImageLists::showTreeImages(node);
    // A site is stored with a computer's image number; it shows as what it is.
    const TNodeData* data = GetNodeData(node);
    if (data && data->RootKind == FtpRoot && data->has(Computer))
        node->setIcon(0, TImageLists::ftpSiteIcon());
}

QTreeWidgetItem* TMainForm::addRoot(QTreeWidgetItem* parent, int captionNumber, int image, uint8_t rootKind,
                                    const char* key, uint32_t state, bool write)
{
    auto* node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(FolderTreeView);
    TNodeData* data = NewNodeData(parent);
    data->Caption = LoadStr(captionNumber);
    data->ImageIndex = image;
    data->SelectedIndex = image;
    data->RootKind = rootKind;
    data->Key = key;
    data->State = state;
    data->NodeAttributes = Sys | Domain | Container;
    if (!parent) {
        data->StoreDir = SetupInfo.ExePath;
        data->Created = NowDateTime();
    }
    ShowNodeData(data, node);
    showNodeImages(node);
    if (write) {
        // A node file that cannot be written costs the cached view, not the tree.
        try {
            WriteNodeRecord(*data);
        } catch (const std::exception&) {
        }
    }
    return node;
}

void TMainForm::BuildTree()
{
    FolderTreeView->clear();
    m_topRoot = addRoot(nullptr, kStrTopRoot, TImageLists::TreeComputer, TopRoot, "Cache", Expanded | Idle, true);
    m_bookmarkRoot = addRoot(m_topRoot, kStrBookmarks, TImageLists::TreeBookmarkRoot, BookmarkRoot, "Bookmark", Idle, true);
    m_localRoot = addRoot(m_topRoot, kStrMyComputer, TImageLists::TreeComputer, LocalRoot, "Local", Idle, false);
    m_netRoot = addRoot(m_topRoot, kStrNetwork, TImageLists::TreeNetwork, NetRoot, "Net", Expanded | Idle, true);
    m_expandedRoot = addRoot(m_topRoot, kStrExpandedNetwork, TImageLists::TreeNetwork, ExpandedRoot, "Expanded", Idle, true);
    AddPlaceholderChild(m_bookmarkRoot);
    AddPlaceholderChild(m_expandedRoot);
    m_topRoot->setExpanded(true);

    m_disk->RefreshDrives();
    for (int slot = 0; slot < TObjDisk::kLetters; ++slot) {
        if (!m_disk->Present[slot] || m_disk->DriveType[slot] != DriveFixed)
            continue;
        auto* watcher = new TObjWatchDisk(m_disk->Root[slot], true, TObjWatchDisk::ChangeDirName);
        watcher->SetReceiver(this);
        watcher->OnChange = [this] { DriveChanged(); };
        m_driveWatchers.emplace_back(watcher);
    }
    LoadDrives();
    LoadNetworkRoot();
    addDesktopEntries();
    ReloadBookmarks();
}

void TMainForm::addDesktopEntries()
{
    try {
        Registry registry;
        if (!registry.openKey(kShellFoldersKey, false))
            return;
        const std::pair<const char*, const char*> entries[] = {{"桌面", "Desktop"}, {"我的文件", "Personal"}};
        for (const auto& [text, value] : entries) {
            if (!registry.valueExists(value))
                continue;
            auto* node = new QTreeWidgetItem(m_bookmarkRoot);
            TNodeData* data = NewNodeData(m_bookmarkRoot);
            data->Caption = UiCaption(text);
            data->ImageIndex = TImageLists::TreeFolder;
            data->SelectedIndex = TImageLists::TreeFolderOpen;
            data->RootKind = LocalRoot;
            data->NodeAttributes = Sys | Folder;
            data->State = Idle;
            data->RemoteName = AddBackslash(registry.readString(value));
            ShowNodeData(data, node);
            showNodeImages(node);
            if (HasSubfolders(data->RemoteName))
                AddPlaceholderChild(node);
        }
    } catch (const std::exception&) {
        // Without the desktop entries the tree is still whole.
    }
}

void TMainForm::LoadDrives()
{
    forgetShownNodeBelow(m_localRoot);
    ClearNodeChildren(m_localRoot);
    GetNodeData(m_localRoot)->State |= Expanded;
    for (int slot = 0; slot < TObjDisk::kLetters; ++slot) {
        if (!m_disk->Present[slot])
            continue;
        const std::string& root = m_disk->Root[slot];
        auto* node = new QTreeWidgetItem(m_localRoot);
        TNodeData* data = NewNodeData(m_localRoot);
        data->Caption = m_disk->VolumeLabel[slot];
        data->RootKind = LocalRoot;
        data->NodeAttributes = Drive | Folder;
        data->Host = RemoveBackslash(root);
        data->RemoteName = root;
        data->State = Idle;
        const bool shared = IsShared(root);
        int image = shared ? TImageLists::TreeSharedDrive : TImageLists::TreeFixed;
        switch (m_disk->DriveType[slot]) {
        case DriveRemovable:
            image = TImageLists::TreeRemovable;
            data->NodeAttributes |= Update;
            break;
        case DriveRemote:
            image = shared ? TImageLists::TreeSharedDrive : TImageLists::TreeNetworkDrive;
            break;
        case DriveCdrom:
            image = shared ? TImageLists::TreeSharedCd : TImageLists::TreeCd;
            data->NodeAttributes |= Update;
            break;
        default:
            break;
        }
        data->ImageIndex = image;
        data->SelectedIndex = image;
        ShowNodeData(data, node);
        showNodeImages(node);
        AddPlaceholderChild(node);
    }
}

void TMainForm::LoadLocalChildren(QTreeWidgetItem* node)
{
    ClearNodeChildren(node);
    TNodeData* parent = GetNodeData(node);
    parent->State |= Expanded;
    try {
        for (const std::string& name : subfolderNames(parent->RemoteName)) {
            auto* child = new QTreeWidgetItem(node);
            TNodeData* data = NewNodeData(node);
            data->Caption = name;
            data->RootKind = LocalRoot;
            data->NodeAttributes = Folder | (parent->NodeAttributes & Update);
            data->State = Idle;
            data->RemoteName = parent->RemoteName + name + "\\";
            data->Host = name;
            const bool shared = IsShared(data->RemoteName);
            data->ImageIndex = shared ? TImageLists::TreeSharedFolder : TImageLists::TreeFolder;
            data->SelectedIndex = shared ? TImageLists::TreeSharedFolderOpen : TImageLists::TreeFolderOpen;
            ShowNodeData(data, child);
            showNodeImages(child);
            if (HasSubfolders(data->RemoteName))
                AddPlaceholderChild(child);
        }
    } catch (const std::exception& error) {
        throw Exception(LoadStr(kStrExpandingFolder) + error.what());
    }
    watchLoadedFolder(parent->RemoteName);
}

void TMainForm::watchLoadedFolder(const std::string& folder)
{
    // A drive watcher hears of new, renamed and deleted folders only in the folders it
    // watches; the tree shows the subfolders of every folder it has loaded, so each of
    // those is watched by its drive's watcher.
    for (const QPointer<TObjWatchDisk>& watcher : m_driveWatchers) {
        if (!watcher || folder.size() <= watcher->Path().size() || folder.rfind(watcher->Path(), 0) != 0)
            continue;
        // A folder deleted and made again under the same name lost its old watch.
        watcher->RemoveFolder(folder);
        watcher->AddFolder(folder);
    }
}

std::string TMainForm::NodeToPath(const QTreeWidgetItem* node) const
{
    std::string path;
    for (const QTreeWidgetItem* current = node; current; current = current->parent()) {
        if (current->parent() == m_topRoot && m_topRoot) {
            const TNodeData* data = GetNodeData(current);
            switch (data ? data->RootKind : 0) {
            case BookmarkRoot: return "bookmark:\\" + path;
            case LocalRoot: return "local:\\" + path;
            case NetRoot: return "nethood:\\" + path;
            case ExpandedRoot: return "expanded:\\" + path;
            case FtpRoot: return "ftp:\\" + path;
            default: return path;
            }
        }
        path = caption(current) + "\\" + path;
    }
    return path;
}

bool TMainForm::SelectPath(const std::string& path)
{
    const QStringList parts = QString::fromStdString(path).split(QLatin1Char('\\'));
    const QString prefix = parts.value(0).toLower();
    const std::pair<const char*, QTreeWidgetItem*> roots[] = {
        {"local:", m_localRoot}, {"nethood:", m_netRoot}, {"expanded:", m_expandedRoot}, {"bookmark:", m_bookmarkRoot},
        {"ftp:", nullptr}};
    QTreeWidgetItem* current = nullptr;
    bool matched = false;
    for (const auto& [text, root] : roots) {
        if (prefix == QLatin1String(text)) {
            matched = true;
            current = root;
            break;
        }
    }
    // No prefix, or the FTP prefix, which no node of this tree carries.
    if (!matched || !current)
        return false;
    bool reached = true;
    for (int part = 1; part < parts.size(); ++part) {
        if (parts[part].isEmpty())
            continue;
        // The folders on the way are loaded as the user would open them; a node whose
        // children come from a task window is not waited for.
        QTreeWidgetItem* child = childByCaption(current, parts[part]);
        if (!child && !childrenLoaded(current)) {
            FolderTreeViewExpanding(current);
            child = childByCaption(current, parts[part]);
        }
        if (!child) {
            reached = false;
            break;
        }
        current->setExpanded(true);
        current = child;
    }
    FolderTreeView->scrollToItem(current);
    FolderTreeView->setCurrentItem(current);
    return reached;
}

bool TMainForm::SelectLocalPath(const std::string& path)
{
    return selectFolderBelow(m_localRoot, AddBackslash(path), 1);
}

bool TMainForm::SelectSharePath(const std::string& path)
{
    // \\SERVER\SHARE\DIR\: the parts after the two backslashes are SERVER, SHARE, DIR...
    const std::string full = AddBackslash(path);
    const std::string rest = full.substr(2);
    const std::string server = PathPart(rest, 1);
    const std::string share = PathPart(rest, 2);
    if (!m_netRoot || server.empty() || share.empty())
        return false;
    const std::string shareName = "\\\\" + server + "\\" + share + "\\";
    // A share reached by its address hangs under the network root, found again by its
    // path, and lists and expands like a local folder through its network path.
    QTreeWidgetItem* shareNode = nullptr;
    for (int i = 0; i < m_netRoot->childCount() && !shareNode; ++i) {
        const TNodeData* data = GetNodeData(m_netRoot->child(i));
        if (data && data->RootKind == LocalRoot && UpperAscii(data->RemoteName) == UpperAscii(shareName))
            shareNode = m_netRoot->child(i);
    }
    if (!shareNode) {
        shareNode = new QTreeWidgetItem(m_netRoot);
        TNodeData* data = NewNodeData(m_netRoot);
        data->Caption = share + " (" + server + ")";
        data->RootKind = LocalRoot;
        data->NodeAttributes = Share | Folder;
        data->State = Idle;
        data->RemoteName = shareName;
        data->Host = data->Caption;
        data->ImageIndex = TImageLists::TreeSharedFolder;
        data->SelectedIndex = TImageLists::TreeSharedFolderOpen;
        ShowNodeData(data, shareNode);
        showNodeImages(shareNode);
        AddPlaceholderChild(shareNode);
        m_netRoot->setExpanded(true);
    }
    if (CountBackslashes(rest) <= 2) {
        FolderTreeView->scrollToItem(shareNode);
        FolderTreeView->setCurrentItem(shareNode);
        return true;
    }
    return selectFolderBelow(shareNode, rest, 3);
}

bool TMainForm::selectFolderBelow(QTreeWidgetItem* start, const std::string& full, int firstPart)
{
    const int parts = CountBackslashes(full);
    QTreeWidgetItem* current = start;
    bool found = false;
    FolderTreeView->setUpdatesEnabled(false);
    try {
        if (firstPart > 1 && !childrenLoaded(start))
            LoadLocalChildren(start);
        for (int part = firstPart; part <= parts; ++part) {
            const QString name = QString::fromStdString(PathPart(full, part));
            // Linux names keep their case: an exact match wins over one that differs in case.
            QTreeWidgetItem* match = nullptr;
            QTreeWidgetItem* caseMatch = nullptr;
            for (int i = 0; i < current->childCount() && !match; ++i) {
                const TNodeData* data = GetNodeData(current->child(i));
                const QString host = data ? QString::fromStdString(data->Host) : QString();
                if (host == name)
                    match = current->child(i);
                else if (!caseMatch && data && host.compare(name, Qt::CaseInsensitive) == 0)
                    caseMatch = current->child(i);
            }
            if (!match)
                match = caseMatch;
            if (!match)
                break;
            if (!childrenLoaded(match))
                LoadLocalChildren(match);
            current = match;
            found = true;
            FolderTreeView->scrollToItem(current);
            if (part == parts)
                break;
            current->setExpanded(true);
        }
    } catch (...) {
        FolderTreeView->setUpdatesEnabled(true);
        throw;
    }
    FolderTreeView->setCurrentItem(current);
    FolderTreeView->setUpdatesEnabled(true);
    return found;
}

void TMainForm::openNode(QTreeWidgetItem* node)
{
    // A node that stays open while its children are replaced reports no expansion.
    FolderTreeViewExpanding(node);
    node->setExpanded(true);
}

void TMainForm::FolderTreeViewExpanding(QTreeWidgetItem* node)
{
    TNodeData* data = GetNodeData(node);
    if (!data || (data->State & Expanded))
        return;
    try {
        const bool fromCache = (data->State & FromCache) != 0;
        // A computer that did not answer goes on showing its cached folders below it.
        if ((data->State & CacheFallback) && (data->RootKind == NetRoot || data->RootKind == ExpandedRoot)) {
            LoadFallbackChildren(node);
            return;
        }
        switch (data->RootKind) {
        case BookmarkRoot:
            LoadCachedChildren(node, false);
            break;
        case LocalRoot:
            LoadLocalChildren(node);
            break;
        case NetRoot:
            if (fromCache && (CacheMode || data->has(Domain)))
                LoadCachedChildren(node, true);
            else
                LoadNetworkChildren(node);
            break;
        case ExpandedRoot:
            if (data->has(Domain) || (fromCache && CacheMode))
                LoadCachedChildren(node, true);
            else
                LoadNetworkChildren(node);
            break;
        case FtpRoot:
            if (data->has(Domain) || (fromCache && CacheMode))
                LoadCachedChildren(node, true);
            else
                LoadFtpChildren(node);
            break;
        default:
            break;
        }
    } catch (const std::exception& error) {
        ShowError(QString::fromUtf8(error.what()));
    }
}

void TMainForm::RefreshNode(QTreeWidgetItem* node, bool checkBusy)
{
    TNodeData* data = GetNodeData(node);
    if (!data)
        return;
    std::string busy;
    if (checkBusy && !FindBusyNode(node, busy)) {
        ShowError(QString::fromStdString(FormatMessageId(kStrNodeBusy, busy)));
        return;
    }
    if (node == m_topRoot) {
        for (int i = 0; i < node->childCount(); ++i)
            RefreshNode(node->child(i), checkBusy);
        return;
    }
    if (data->RootKind == LocalRoot && data->has(Sys) && node == m_localRoot) {
        LoadDrives();
        return;
    }
    if (data->RootKind == NetRoot && data->has(Sys)) {
        if (CacheMode)
            resetNetRootToCache();
        else
            LoadNetworkRoot();
        return;
    }
    if (node == m_bookmarkRoot) {
        // The bookmarks are read again from the store, with their drop-down.
        ReloadBookmarks();
        return;
    }
    const QTreeWidgetItem* shown = FolderTreeView->currentItem();
    const QString shownCaption = shown ? shown->text(0) : QString();
    QStringList leaves;
    collectVisibleLeaves(node, QString(), leaves);
    const bool wasExpanded = node->isExpanded();
    // The tree's own selection changes while nodes go and come are not the user's: the
    // node to show is chosen at the end.
    m_treeChanging = true;
    forgetShownNodeBelow(node);
    const bool shownGone = m_shownNode == nullptr;
    FolderTreeView->setUpdatesEnabled(false);
    QTreeWidgetItem* reselect = nullptr;
    try {
        ClearNodeChildren(node);
        AddPlaceholderChild(node);
        if (wasExpanded)
            openNode(node);
        for (const QString& leaf : leaves) {
            QTreeWidgetItem* current = node;
            for (const QString& part : leaf.split(QLatin1Char('\\'))) {
                openNode(current);
                QTreeWidgetItem* child = childByCaption(current, part);
                if (!child)
                    break;
                current = child;
                if (shownGone && !reselect && current->text(0) == shownCaption)
                    reselect = current;
            }
        }
    } catch (const std::exception& error) {
        ShowError(UiString(kStrRefreshFailed) + QString::fromUtf8(error.what()));
    }
    FolderTreeView->setUpdatesEnabled(true);
    m_treeChanging = false;
    if (shownGone) {
        // The shown folder went with the old children: show its new self, or the node.
        QTreeWidgetItem* target = reselect ? reselect : node;
        if (FolderTreeView->currentItem() == target)
            ShowNode(target);
        else
            FolderTreeView->setCurrentItem(target);
    }
}

QTreeWidgetItem* TMainForm::selectedNode() const
{
    return FolderTreeView->currentItem();
}

void TMainForm::DNRenameClick()
{
    QTreeWidgetItem* node = selectedNode();
    if (!node)
        return;
    node->setFlags(node->flags() | Qt::ItemIsEditable);
    m_editedNode = node;
    FolderTreeView->editItem(node, 0);
}

void TMainForm::FolderTreeViewEditorClosed()
{
    // The tree is read-only again after every edit, whether it was taken or cancelled.
    // The node is forgotten first: changing its flags reports a change of the item too.
    QTreeWidgetItem* node = m_editedNode;
    m_editedNode = nullptr;
    if (node)
        node->setFlags(node->flags() & ~Qt::ItemIsEditable);
}

void TMainForm::FolderTreeViewEdited(QTreeWidgetItem* node)
{
    if (m_settingCaption || node != m_editedNode)
        return;
    FolderTreeViewEditorClosed();
    TNodeData* data = GetNodeData(node);
    const std::string text = caption(node);
    if (!data || text == data->Caption)
        return;
    if (data->RootKind == LocalRoot && !data->has(Sys)) {
        renameLocalFolder(node, data, text);
    } else if ((data->RootKind == BookmarkRoot || data->RootKind == ExpandedRoot || data->RootKind == FtpRoot)
               && !data->has(Sys)) {
        renameStoredNode(node, data, text);
    } else if (text.empty()) {
        ShowError(UiString(kStrEmptyName));
        m_settingCaption = true;
        node->setText(0, QString::fromStdString(data->Caption));
        m_settingCaption = false;
        FolderTreeView->setCurrentItem(node);
        DNRenameClick();
    } else {
        data->Caption = text;
    }
}

void TMainForm::renameLocalFolder(QTreeWidgetItem* node, TNodeData* data, const std::string& text)
{
    const std::string oldPath = RemoveBackslash(data->RemoteName);
    const std::string newPath = std::string(FolderPart(oldPath)) + text;
    // A name with a separator would move the folder somewhere else instead of renaming it.
    const bool plainName = !text.empty() && text.find_first_of("\\/") == std::string::npos;
    bool renamed = false;
    if (plainName && oldPath.size() > 3) {
        UpdateRunning = true;
        renamed = m_shell->FileOperation(FO_RENAME, {oldPath}, QString(), FOF_ALLOWUNDO, false, newPath) == 0
            && DirectoryExists(newPath);
        UpdateRunning = false;
    }
    m_settingCaption = true;
    if (renamed) {
        data->RemoteName = newPath + "\\";
        data->Caption = text;
        // The folder is found by its new name from now on.
        data->Host = text;
        // Loaded sub-folders carry the old path: load them again when next opened.
        if (data->State & Expanded) {
            const bool expanded = node->isExpanded();
            ClearNodeChildren(node);
            AddPlaceholderChild(node);
            if (expanded)
                openNode(node);
        }
    } else {
        if (!plainName)
            ShowError(UiString(kStrRenameFailed));
        node->setText(0, QString::fromStdString(data->Host));
    }
    m_settingCaption = false;
}

void TMainForm::renameStoredNode(QTreeWidgetItem* node, TNodeData* data, const std::string& text)
{
    m_settingCaption = true;
    if (!data->has(Domain)) {
        ShowError(UiString(kStrCannotRename));
        node->setText(0, QString::fromStdString(data->Caption));
        m_settingCaption = false;
        return;
    }
    // A window working below the node holds paths into the folder that is about to move.
    std::string busy;
    if (!FindBusyNode(node, busy)) {
        ShowError(QString::fromStdString(FormatMessageId(kStrNodeBusy, busy)));
        node->setText(0, QString::fromStdString(data->Caption));
        m_settingCaption = false;
        return;
    }
    const std::string newKey = SafeFileName(text);
    const std::string oldFolder = data->StoreDir + data->Key + "\\";
    int error = 0;
    if (text.empty() || !IsPlainName(data->Key)
        || !RenameFile(data->StoreDir + data->Key, data->StoreDir + newKey, &error)) {
        ShowError(UiString(kStrRenameFailed));
        node->setText(0, QString::fromStdString(data->Caption));
        m_settingCaption = false;
        return;
    }
    if (data->Host == data->Caption)
        data->Host = text;
    data->Caption = text;
    data->Key = newKey;
    moveLoadedStoreDirs(node, oldFolder, data->StoreDir + newKey + "\\");
    m_settingCaption = false;
    try {
        WriteNodeRecord(*data);
    } catch (const std::exception& failure) {
        ShowError(UiString(kStrRenameFailed) + QString::fromUtf8(failure.what()));
    }
}

void TMainForm::FolderTreeViewPopupMenuPopup()
{
    // Nothing of the live network is renamed, deleted or given folders here; fixed nodes
    // are not deleted, computers and sites get no folders from the tree.
    QAction* rename = findChild<QAction*>(QStringLiteral("DNRename"));
    QAction* remove = findChild<QAction*>(QStringLiteral("DNDel"));
    QAction* newFolder = findChild<QAction*>(QStringLiteral("DNNewDir"));
    const QTreeWidgetItem* node = selectedNode();
    const TNodeData* data = node ? GetNodeData(node) : nullptr;
    const bool network = data && data->RootKind == NetRoot;
    rename->setEnabled(!network);
    remove->setEnabled(!network && !(data && data->has(Sys)));
    newFolder->setEnabled(!network && !(data && data->has(Computer)));
    findChild<QAction*>(QStringLiteral("FtpSiteOptions"))
        ->setVisible(data && data->RootKind == FtpRoot && data->has(Computer));
    updateNewComputerCommand();
}

void TMainForm::updateNewComputerCommand()
{
    // Computers are added to the expanded network's folders, and sites to a folder of FTP
    // sites (DNNewComputerClick); elsewhere the entry is greyed and its hint says where it works.
    QAction* newComputer = findChild<QAction*>(QStringLiteral("DNNewComputer"));
    if (!newComputer)
        return;
    const QTreeWidgetItem* node = selectedNode();
    const TNodeData* data = node ? GetNodeData(node) : nullptr;
    const bool applies = data && data->has(Domain)
                         && (data->RootKind == ExpandedRoot || (data->RootKind == FtpRoot && !data->has(Bookmark)));
    newComputer->setEnabled(applies);
    const QString hint = applies ? QString() : UiText("請先在「擴大網路芳鄰」或它的資料夾上選取，才能新增電腦");
    newComputer->setStatusTip(hint);
    newComputer->setToolTip(hint.isEmpty() ? newComputer->text() : hint);
}

void TMainForm::expandLevels(QTreeWidgetItem* node, uint16_t stopAttribute)
{
    // Only what is loaded opens: nothing is read from disk or the network on the way.
    const TNodeData* data = GetNodeData(node);
    if (!data || !(data->State & Expanded) || (stopAttribute && data->has(stopAttribute)))
        return;
    node->setExpanded(true);
    for (int i = 0; i < node->childCount(); ++i)
        expandLevels(node->child(i), stopAttribute);
}

void TMainForm::N63Click()
{
    expandBranch(m_localRoot, 0);
}

void TMainForm::N34Click()
{
    QTreeWidgetItem* node = selectedNode();
    if (!node)
        return;
    RefreshNode(node, true);
    FolderTreeViewChange();
}
