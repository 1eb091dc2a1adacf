// The live network in the tree: the network root with its provider, expansions through the
// expansion window, the cached folders of a computer that does not answer, and the
// commands of the network list's menu and of the network entries of the expand menu.
#include "mainwindow/TMainForm.h"

#include "app/SetupInfo.h"
#include "local/TImageLists.h"
#include "local/TObjShell.h"
#include "network/NetPassword.h"
#include "network/TNetEnumForm.h"
#include "platform/DateTime.h"
#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "platform/NetResource.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"
#include "resources/UiText.h"
#include "store/NodePaths.h"
#include "store/NodeTree.h"
#include "ui/TStatusBar.h"

#include <QAction>
#include <QApplication>
#include <QTreeWidget>

#include <algorithm>

namespace {

enum : int {
    kStrCached = 33005, kStrProviderName = 33016, kStrExpandingNetwork = 33019, kStrCannotDeleteNode = 33030,
    kStrNoAnswer = 33112,
};

// The listing file of a computer's cache, which its shares and folders share.
std::string cacheListingFile(const TNodeData& data) { return data.StoreDir + data.Key + ".LST"; }

bool hasCachedListing(const TNodeData& data)
{
    return !data.Key.empty() && FileExists(cacheListingFile(data)) && FileExists(data.StoreDir + data.Key + ".IDX");
}

} // namespace

void TMainForm::connectNetwork()
{
    // Stored passwords answer the SMB logons of the listers as well as the expansions.
    UseNetPasswordsForSmb();
    const std::pair<const char*, void (TMainForm::*)()> commands[] = {
        {"N76", &TMainForm::N76Click},         {"NetExplore", &TMainForm::N31Click},
        {"NetRefresh", &TMainForm::N36Click},  {"NetNewDir", &TMainForm::NetNewDirClick},
        {"NetRename", &TMainForm::M1Click},    {"NetDelete", &TMainForm::NetDeleteClick},
        {"NetProperties", &TMainForm::C4Click}, {"N60", &TMainForm::N60Click},
        {"N61", &TMainForm::N61Click},         {"N65", &TMainForm::N65Click},
        {"N66", &TMainForm::N66Click},
    };
    for (const auto& [name, handler] : commands) {
        QAction* entry = findChild<QAction*>(QString::fromLatin1(name));
        connect(entry, &QAction::triggered, this, handler);
        entry->setEnabled(true);
    }
}

void TMainForm::LoadNetworkRoot()
{
    ClearNodeChildren(m_netRoot);
    GetNodeData(m_netRoot)->State |= Expanded;
    // The network has one provider; what lies below it is found when it is expanded.
    auto* node = new QTreeWidgetItem(m_netRoot);
    TNodeData* data = NewNodeData(m_netRoot);
    data->RootKind = NetRoot;
    data->State = Idle;
    data->NodeAttributes = Domain | Container;
    data->Scope = int32_t(netres::ScopeGlobalNet);
    data->ResourceType = int32_t(netres::TypeAny);
    data->DisplayType = int32_t(netres::DisplayNetwork);
    data->Usage = int32_t(netres::UsageContainer);
    data->RemoteName = UiString(kStrProviderName).toStdString();
    data->Caption = data->RemoteName;
    data->Key = SafeFileName(data->Caption);
    data->ImageIndex = data->SelectedIndex = TImageLists::TreeDomain;
    ShowNodeData(data, node);
    showNodeImages(node);
    AddPlaceholderChild(node);
}

void TMainForm::LoadNetworkChildren(QTreeWidgetItem* node)
{
    TNodeData* data = GetNodeData(node);
    forgetShownNodeBelow(node);
    ClearNodeChildren(node);
    data->State |= Expanded;
    // A computer that answers again is shown live, under its own caption.
    m_settingCaption = true;
    node->setText(0, QString::fromStdString(data->Caption));
    m_settingCaption = false;
    try {
        auto* form = new TNetEnumForm(this);
        form->OnFinished = [this](TNetEnumForm* window) { NetworkDone(window); };
        form->OnNetEnumFailed = [this](TNetEnumForm* window, uint32_t code, const QString& error) {
            return offerCachedFolders(window->treeNode(), code, error);
        };
        if (NetEnumFormSetup)
            NetEnumFormSetup(form);
        form->StartEnum(node, UpdateAllowed, UpdateRunning);
    } catch (const std::exception& error) {
        throw Exception(LoadStr(kStrExpandingNetwork) + error.what());
    }
}

void TMainForm::NetworkDone(TNetEnumForm* window)
{
    if (window && window->treeNode() && window->treeNode() == m_shownNode)
        ShowNode(m_shownNode);
}

bool TMainForm::offerCachedFolders(QTreeWidgetItem* node, uint32_t code, const QString& error)
{
    TNodeData* data = node ? GetNodeData(node) : nullptr;
    // Only a computer that cannot be reached: a refused logon or a failed listing is no
    // reason to show yesterday's folders as if they were today's.
    const bool unreachable = (code == 0 && error == UiString(kStrNoAnswer)) || code == Win32::BadNetpath
        || code == Win32::NetworkUnreachable || code == Win32::HostUnreachable;
    if (!data || !data->has(Computer) || !unreachable || !hasCachedListing(*data))
        return false;
    LoadCachedChildren(node, true);
    if (node->childCount() == 0) {
        data->State &= ~uint32_t(Expanded);
        return false;
    }
    data->State |= CacheFallback;
    for (int i = 0; i < node->childCount(); ++i)
        if (TNodeData* child = GetNodeData(node->child(i)))
            child->State |= CacheFallback;
    m_settingCaption = true;
    node->setText(0, QString::fromStdString(data->Caption) + UiString(kStrCached));
    m_settingCaption = false;
    node->setExpanded(true);
    if (node == m_shownNode)
        ShowNode(node);
    else
        StatusBar->setPanelText(1, QString::fromStdString(data->Caption) + QLatin1Char(':') + error);
    return true;
}

void TMainForm::LoadFallbackChildren(QTreeWidgetItem* node)
{
    LoadCachedChildren(node, true);
    for (int i = 0; i < node->childCount(); ++i)
        if (TNodeData* child = GetNodeData(node->child(i)))
            child->State |= CacheFallback;
}

void TMainForm::showCacheDate(const TNodeData* data)
{
    FindEntry entry;
    const QString date = GetFileEntry(cacheListingFile(*data), entry)
        ? QString::fromStdString(DateTimeText(entry.modified))
        : QString();
    StatusBar->setPanelText(0, UiString(kStrCached) + QLatin1Char(' ') + date);
}

void TMainForm::N76Click()
{
    // The system menu of the selection, on a share as on a disk: a silent copy of the
    // paths to the clipboard left the user wondering what the entry did.
    N83Click();
}

bool TMainForm::showsUnwatchedFolder() const
{
    // A share reached by its address hangs below the network root as local folders do.
    const TNodeData* data = shownData();
    return data && data->has(Folder) && ListMode == 1 && IsUncPath(data->RemoteName);
}

bool TMainForm::showsLiveShareFolder() const
{
    const TNodeData* data = shownData();
    return data && (data->RootKind == NetRoot || data->RootKind == ExpandedRoot) && data->has(Folder)
        && ListMode == 1;
}

void TMainForm::NetNewDirClick()
{
    if (showsStoredNodes()) {
        newStoredListFolder();
        return;
    }
    if (!showsLiveShareFolder())
        return;
    try {
        NewFolder(shownData()->RemoteName, "");
    } catch (const std::exception& error) {
        ShowError(QString::fromUtf8(error.what()));
        return;
    }
    // No watcher hears of changes on a share: the list is read again.
    ShowNode(m_shownNode);
}

void TMainForm::NetDeleteClick()
{
    if (showsStoredNodes()) {
        deleteStoredListItems();
        return;
    }
    std::string folder;
    const std::vector<std::string> names = selectionPaths(folder);
    // A share under the network or reached by its address, as the server has it now.
    if (names.empty() || !(showsLiveShareFolder() || showsUnwatchedFolder()) || CacheMode
        || (shownData()->State & FromCache))
        return;
    std::vector<std::string> paths;
    for (const std::string& name : names)
        paths.push_back(folder + name);
    deleteShareEntries(paths, m_shownNode);
}

void TMainForm::deleteShareEntries(const std::vector<std::string>& paths, QTreeWidgetItem* folderNode)
{
    // A share has no recycle bin here: the entries go for good after the question, and
    // the caller waits for the end so that the tree and the list follow at once.
    m_shell->FileOperation(FO_DELETE, paths, QString(), 0, false, std::string());
    std::vector<QTreeWidgetItem*> gone;
    for (int i = 0; folderNode && i < folderNode->childCount(); ++i) {
        const TNodeData* child = GetNodeData(folderNode->child(i));
        if (!child || child->RemoteName.empty())
            continue;
        const std::string path = RemoveBackslash(child->RemoteName);
        if (std::find(paths.begin(), paths.end(), path) != paths.end() && !DirectoryExists(path))
            gone.push_back(folderNode->child(i));
    }
    for (QTreeWidgetItem* node : gone)
        removeTreeNode(node);
    if (m_shownNode == folderNode)
        ShowNode(m_shownNode);
}

bool TMainForm::deleteOnShare(QTreeWidgetItem* node)
{
    const TNodeData* data = GetNodeData(node);
    // A bookmark of a share folder is a node of its own: deleting it leaves the folder.
    if (!data || !IsUncPath(data->RemoteName) || data->has(Computer) || data->has(Domain) || data->has(Bookmark)
        || data->RootKind == BookmarkRoot || data->RootKind == FtpRoot)
        return false;
    // A share's root, and what the cache pictures, are not deleted from here.
    if (data->has(Share) || !data->has(Folder) || CacheMode || (data->State & FromCache)) {
        ShowInformationText(UiString(kStrCannotDeleteNode));
        return true;
    }
    QTreeWidgetItem* parent = node->parent();
    const std::string path = RemoveBackslash(data->RemoteName);
    m_shell->FileOperation(FO_DELETE, {path}, QString(), 0, false, std::string());
    if (DirectoryExists(path))
        return true;
    removeTreeNode(node);
    if (parent && m_shownNode == parent)
        ShowNode(parent);
    return true;
}

void TMainForm::expandBranch(QTreeWidgetItem* root, uint16_t stopAttribute)
{
    FolderTreeView->setUpdatesEnabled(false);
    if (!m_topRoot->isExpanded())
        m_topRoot->setExpanded(true);
    expandLevels(root, stopAttribute);
    FolderTreeView->setUpdatesEnabled(true);
}

void TMainForm::N60Click() { expandBranch(m_netRoot, Folder); }
void TMainForm::N61Click() { expandBranch(m_netRoot, 0); }
void TMainForm::N65Click() { expandBranch(m_expandedRoot, Folder); }
void TMainForm::N66Click() { expandBranch(m_expandedRoot, 0); }
