// The node commands of the main window: the content dialog, new folder and delete of the
// selected tree node.
#include "mainwindow/TMainForm.h"

#include "app/SetupInfo.h"
#include "local/ErrorText.h"
#include "local/MessageBoxes.h"
#include "local/TObjShell.h"
#include "local/FileOperationEngine.h"
#include "local/TImageLists.h"
#include "platform/DateTime.h"
#include "network/TFTPEnumForm.h"
#include "platform/FileAccess.h"
#include "platform/NativeNames.h"
#include "resources/StringTable.h"
#include "resources/UiText.h"
#include "store/NodeFile.h"
#include "store/NodePaths.h"
#include "store/NodeTree.h"
#include "store/TContentForm.h"
#include "ui/Fonts.h"

#include <QPointer>
#include <QTreeWidget>

namespace {

enum : int {
    kStrNodeBusy = 33026, kStrDeleteNode = 33027, kStrHasChildNodes = 33028, kStrDeleteFailed = 33029,
    kStrCannotDelete = 33030, kStrDeleteNodes = 33040, kStrDeleteOneNode = 33041,
};

} // namespace

void TMainForm::N26Click()
{
    showNodeContent(selectedNode());
}

void TMainForm::DNContentClick()
{
    showNodeContent(selectedNode());
}

void TMainForm::showNodeContent(QTreeWidgetItem* node)
{
    if (!node)
        return;
    TContentForm form(this);
    form.setFont(SettingsFont(SetupInfo.FontName, SetupInfo.FontSize));
    form.ShowError = ShowError;
    form.ResetChildren = [this](QTreeWidgetItem* edited) { resetStoredChildren(edited); };
    form.ShowFor(node);
    // The dialog shows and stores the bare name; the cached view shows a computer's counters.
    if (const TNodeData* data = GetNodeData(node); CacheMode && data && data->has(Computer)) {
        const bool settingCaption = m_settingCaption;
        m_settingCaption = true;
        node->setText(0, countedCaption(*data));
        m_settingCaption = settingCaption;
    }
}

void TMainForm::resetStoredChildren(QTreeWidgetItem* node)
{
    // The tree's own selection changes while the children go are not the user's. A list of
    // the node's children, or of a folder below it, goes with them (a lister may still be
    // reading them), and then the edited node itself is shown afresh.
    const bool hadShown = m_shownNode != nullptr;
    m_treeChanging = true;
    if (m_shownNode == node) {
        StopWorkers();
        m_shownNode = nullptr;
    }
    forgetShownNodeBelow(node);
    ClearNodeChildren(node);
    AddPlaceholderChild(node);
    m_treeChanging = false;
    if (hadShown && !m_shownNode) {
        if (FolderTreeView->currentItem() == node)
            ShowNode(node);
        else
            FolderTreeView->setCurrentItem(node);
    }
}

void TMainForm::DNNewDirClick()
{
    QTreeWidgetItem* node = selectedNode();
    const TNodeData* data = node ? GetNodeData(node) : nullptr;
    if (!data)
        return;
    if (data->RootKind == LocalRoot && data->has(Folder)) {
        try {
            // The folder's watcher brings the new folder into the tree and the list.
            NewFolder(data->RemoteName, "");
        } catch (const std::exception& error) {
            ShowError(QString::fromUtf8(error.what()));
        }
    } else if (data->RootKind == FtpRoot && data->has(Folder) && !data->has(Domain)) {
        ftpNewFolder(node);
    } else if ((data->RootKind == BookmarkRoot || data->RootKind == ExpandedRoot || data->RootKind == FtpRoot)
               && data->has(Domain)) {
        newStoredFolder(node);
    }
}

void TMainForm::newStoredFolder(QTreeWidgetItem* node)
{
    const TNodeData* data = GetNodeData(node);
    // The update timer must not read the branch while its folder and record are written.
    const bool updateAllowed = UpdateAllowed;
    UpdateAllowed = false;
    UpdateRunning = true;
    auto record = std::unique_ptr<TNodeData>(NewNodeData(node));
    try {
        const std::string folder = NewFolder(data->StoreDir + data->Key + "\\", "");
        record->Caption = record->Key = record->Host = std::string(BareName(RemoveBackslash(folder)));
        record->ImageIndex = record->SelectedIndex = TImageLists::TreeDomain;
        record->NodeAttributes = Domain | Container;
        record->State = Idle | FromCache;
        record->Created = NowDateTime();
        WriteNodeRecord(*record);
    } catch (const std::exception& error) {
        UpdateRunning = false;
        UpdateAllowed = updateAllowed;
        ShowError(QString::fromUtf8(error.what()));
        return;
    }
    UpdateRunning = false;
    UpdateAllowed = updateAllowed;
    // The new child joins a branch already read; an unread one reads it with the rest.
    if (!(data->State & Expanded)) {
        openNode(node);
    } else {
        auto* child = new QTreeWidgetItem(node);
        ShowNodeData(record.release(), child);
        showNodeImages(child);
    }
    node->setExpanded(true);
}

void TMainForm::newStoredListFolder()
{
    QTreeWidgetItem* node = m_shownNode;
    newStoredFolder(node);
    // The list shows the node's children: the new folder joins them there too.
    if (m_shownNode == node)
        ShowNode(node);
}

void TMainForm::DNDelClick()
{
    QTreeWidgetItem* node = selectedNode();
    TNodeData* data = node ? GetNodeData(node) : nullptr;
    if (!data)
        return;
    std::string busy;
    if (!FindBusyNode(node, busy)) {
        ShowError(QString::fromStdString(FormatMessageId(kStrNodeBusy, busy)));
        return;
    }
    if (data->has(Sys)) {
        ShowError(UiString(kStrCannotDelete));
        return;
    }
    const bool ftp = data->RootKind == FtpRoot;
    if (ftp && data->has(Folder) && !data->has(Computer) && !data->has(Domain)) {
        ftpDeleteFolderNode(node);
        return;
    }
    // What lies on a share is deleted there; shares, computers and workgroups never are.
    if (deleteOnShare(node))
        return;
    if (data->has(Bookmark) || data->RootKind == BookmarkRoot || data->RootKind == ExpandedRoot || ftp) {
        // A connected site's window works on its node: it goes only after "斷線".
        if (siteWindow(data)) {
            ShowError(QString::fromStdString(FormatMessageId(kStrNodeBusy, node->text(0).toStdString())));
            return;
        }
        deleteStoredNode(node, data);
        return;
    }
    if (data->RootKind == LocalRoot && !data->RemoteName.empty()) {
        m_shell->FileOperation(FO_DELETE, {RemoveBackslash(data->RemoteName)}, QString(), FOF_ALLOWUNDO, true,
                               std::string());
        return;
    }
    ShowInformationText(UiString(kStrCannotDelete));
}

void TMainForm::deleteStoredNode(QTreeWidgetItem* node, TNodeData* data)
{
    QString question = UiString(kStrDeleteNode);
    if (data->has(Domain)) {
        TNodeList children;
        LoadNodeFile(data->StoreDir + data->Key + "\\", children, false);
        if (!children.empty())
            question = UiString(kStrHasChildNodes) + QStringLiteral("\r\n") + question;
    }
    if (!AskQuestionText(question))
        return;
    UpdateRunning = true;
    try {
        deleteStoredRecord(*data);
    } catch (const std::exception& error) {
        UpdateRunning = false;
        ShowError(UiString(kStrDeleteFailed) + QString::fromUtf8(error.what()));
        return;
    }
    UpdateRunning = false;
    // The record is a tombstone now: the node leaves the tree as a reload of its parent
    // would leave it out.
    removeTreeNode(node);
}

void TMainForm::deleteStoredRecord(TNodeData& data)
{
    DeleteNodeCache(data, true);
    // A site's block holds its password in plain text: it goes with the site.
    if (data.RootKind == FtpRoot && data.has(Computer) && IsPlainName(data.Key))
        for (const char* extension : {".ATT", ".OPT"})
            if (FileExists(data.StoreDir + data.Key + extension))
                ::DeleteFile(data.StoreDir + data.Key + extension);
}

bool TMainForm::showsStoredNodes() const
{
    const TNodeData* data = shownData();
    return data && ListMode == 2 && data->has(Domain)
        && (data->RootKind == BookmarkRoot || data->RootKind == ExpandedRoot || data->RootKind == FtpRoot);
}

void TMainForm::deleteStoredListItems()
{
    QTreeWidgetItem* node = m_shownNode;
    const QStringList captions = selectedCaptions();
    if (!node || captions.isEmpty())
        return;
    // The nodes are found by their captions before anything is asked or deleted: a node
    // that is busy, or a site whose window is open, stops the delete before it starts.
    QList<QTreeWidgetItem*> chosen;
    for (const QString& caption : captions) {
        for (int i = 0; i < node->childCount(); ++i) {
            QTreeWidgetItem* child = node->child(i);
            const TNodeData* childData = GetNodeData(child);
            if (!childData || QString::fromStdString(childData->Caption) != caption)
                continue;
            std::string busy;
            if (!FindBusyNode(child, busy)) {
                ShowError(QString::fromStdString(FormatMessageId(kStrNodeBusy, busy)));
                return;
            }
            if (siteWindow(childData)) {
                ShowError(QString::fromStdString(FormatMessageId(kStrNodeBusy, childData->Caption)));
                return;
            }
            chosen << child;
            break;
        }
    }
    if (chosen.isEmpty())
        return;
    if (AskQuestion(chosen.size() == 1 ? kStrDeleteOneNode : kStrDeleteNodes) != IdYes)
        return;
    // The update timer must not read the branch while its records are marked.
    const bool updateAllowed = UpdateAllowed;
    UpdateAllowed = false;
    UpdateRunning = true;
    for (QTreeWidgetItem* child : chosen) {
        TNodeData* childData = GetNodeData(child);
        if (childData->has(Sys)) {
            ShowError(UiString(kStrCannotDelete));
            break;
        }
        try {
            deleteStoredRecord(*childData);
        } catch (const std::exception& error) {
            ShowError(UiString(kStrDeleteFailed) + QString::fromUtf8(error.what()));
            break;
        }
    }
    UpdateRunning = false;
    UpdateAllowed = updateAllowed;
    // The branch is read again from the store, so the list shows what is left.
    if (node == m_bookmarkRoot) {
        ReloadBookmarks();
        return;
    }
    m_treeChanging = true;
    StopWorkers();
    m_shownNode = nullptr;
    ClearNodeChildren(node);
    AddPlaceholderChild(node);
    openNode(node);
    m_treeChanging = false;
    if (FolderTreeView->currentItem() == node)
        ShowNode(node);
    else
        FolderTreeView->setCurrentItem(node);
}

void TMainForm::removeTreeNode(QTreeWidgetItem* node)
{
    QTreeWidgetItem* parent = node->parent();
    m_treeChanging = true;
    bool shownGone = false;
    for (const QTreeWidgetItem* current = m_shownNode; current && !shownGone; current = current->parent())
        shownGone = current == node;
    if (shownGone) {
        StopWorkers();
        m_shownNode = nullptr;
    }
    FreeNodeTree(node);
    delete node;
    m_treeChanging = false;
    if (shownGone && parent) {
        if (FolderTreeView->currentItem() == parent)
            ShowNode(parent);
        else
            FolderTreeView->setCurrentItem(parent);
    }
}
