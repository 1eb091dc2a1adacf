// The Edit menu's clipboard and undo. Files leave through the clipboard in the forms the
// desktop's file managers read and come back from them the same way; a paste goes through
// the shell object's file operations (or the FTP window for a site), and the last rename,
// move or delete that the window did can be taken back.
#include "mainwindow/TMainForm.h"

#include "local/TImageLists.h"
#include "local/TObjShell.h"
#include "local/UndoLog.h"
#include "mainwindow/DropEffect.h"
#include "mainwindow/FileMimeData.h"
#include "network/TFTPEnumForm.h"
#include "platform/FileAccess.h"
#include "resources/StringTable.h"
#include "resources/UiText.h"
#include "store/NodePaths.h"
#include "store/NodeTree.h"
#include "ui/TListView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>

namespace {

enum : int {
    kStrNoFilesOnClipboard = 44310, kStrPasteCopied = 44311, kStrPasteCut = 44312, kStrNoCutToFtp = 44313,
    kStrCannotPasteHere = 44314, kStrFtpSiteGone = 44315, kStrFtpOnlyToLocal = 44316, kStrCutSelected = 44317,
    kStrCopySelected = 44318, kStrNothingToCopy = 44319, kStrForeignEntries = 44320,
};

// The flat listing's rows that stand for a folder ("<name>") are headings, not entries.
bool isFolderHeading(const TListItem& item)
{
    return item.ImageIndex == TImageLists::Folder && item.Caption.startsWith(QLatin1Char('<'))
        && item.Caption.endsWith(QLatin1Char('>'));
}

bool samePath(const std::string& a, const std::string& b)
{
    return QString::fromStdString(AddBackslash(a)).compare(QString::fromStdString(AddBackslash(b)),
                                                            Qt::CaseInsensitive) == 0;
}

} // namespace

void TMainForm::connectEditCommands()
{
    m_undo = std::make_unique<UndoLog>();
    const std::pair<QAction**, std::pair<const char*, void (TMainForm::*)()>> entries[] = {
        {&m_U1, {"U1", &TMainForm::U1Click}},
        {&m_T3, {"T3", &TMainForm::T3Click}},
        {&m_C2, {"C2", &TMainForm::C2Click}},
        {&m_P1, {"P1", &TMainForm::P1Click}},
    };
    for (const auto& [member, command] : entries) {
        *member = findChild<QAction*>(QString::fromLatin1(command.first));
        connect(*member, &QAction::triggered, this, command.second);
    }
    if (QMenu* edit = menuBar()->findChild<QMenu*>(QStringLiteral("EditMenu")))
        connect(edit, &QMenu::aboutToShow, this, &TMainForm::updateEditCommands);

    m_shell->OnOperationDone = [this](uint32_t operation, const FileOperationOutcome& outcome, bool asynchronous) {
        fileOperationDone(operation, outcome, asynchronous);
    };
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &TMainForm::clipboardChanged);
    connect(FileListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TMainForm::scheduleEditUpdate);
    connect(FileListView->model(), &QAbstractItemModel::modelReset, this, &TMainForm::scheduleEditUpdate);
    connect(FileListView->model(), &QAbstractItemModel::rowsRemoved, this, &TMainForm::scheduleEditUpdate);
    connect(FolderTreeView, &QTreeWidget::currentItemChanged, this, &TMainForm::scheduleEditUpdate);
    connect(qApp, &QApplication::focusChanged, this, &TMainForm::scheduleEditUpdate);
    clipboardChanged();
}

void TMainForm::scheduleEditUpdate()
{
    // Selections change row by row during a listing: one update after them is enough.
    if (m_editUpdatePending)
        return;
    m_editUpdatePending = true;
    QTimer::singleShot(0, this, [this] {
        m_editUpdatePending = false;
        updateEditCommands();
    });
}

void TMainForm::clipboardChanged()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    FileMime::Entries entries = data ? FileMime::EntriesOf(*data) : FileMime::Entries();
    m_clipboardEntries = std::move(entries.entries);
    m_clipboardCut = entries.cut;
    m_clipboardOwn = entries.fromThisProcess;
    m_clipboardProgramOnly = std::any_of(m_clipboardEntries.begin(), m_clipboardEntries.end(),
                                         [](const std::string& entry) { return !FileMime::IsRealEntry(entry); });
    updateEditCommands();
}

bool TMainForm::treeHasFocus() const
{
    const QWidget* focus = QApplication::focusWidget();
    return focus && (focus == FolderTreeView || FolderTreeView->isAncestorOf(focus));
}

std::vector<std::string> TMainForm::clipboardSelection(bool& programOnly) const
{
    programOnly = false;
    std::vector<std::string> entries;
    if (treeHasFocus()) {
        const QTreeWidgetItem* node = selectedNode();
        const TNodeData* data = node ? GetNodeData(node) : nullptr;
        // A folder of this computer or of a share; drives and shares themselves stay put.
        const bool fileSystem = data && (data->RootKind == LocalRoot || data->RootKind == NetRoot
                                         || data->RootKind == ExpandedRoot);
        if (fileSystem && data->has(Folder) && !data->has(Drive) && !data->has(Share) && data->RemoteName.size() > 3)
            entries.push_back(RemoveBackslash(data->RemoteName));
        return entries;
    }
    const TNodeData* data = shownData();
    if (!data || !data->has(Folder))
        return entries;
    const bool ftp = data->RootKind == FtpRoot;
    const bool fileSystem = data->RootKind == LocalRoot || data->RootKind == NetRoot || data->RootKind == ExpandedRoot;
    // Real entries come from a folder's own listing or from the cache's record of one;
    // FTP items only while their site is connected.
    if (!(fileSystem && (ListMode == 1 || ListMode == 3)) && !(ftp && ListMode == 3 && siteWindow(data)))
        return entries;
    QModelIndexList rows = FileListView->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& index : rows) {
        const TListItem& item = FileListView->model()->item(index.row());
        if (isFolderHeading(item) || item.Caption.isEmpty())
            continue;
        if (ftp)
            entries.push_back((item.ImageIndex == TImageLists::Folder ? "2" : "1") + data->RemoteName
                              + item.Caption.toStdString());
        else
            entries.push_back(itemFolder(index.row()) + item.Caption.toStdString());
    }
    programOnly = ftp && !entries.empty();
    return entries;
}

QTreeWidgetItem* TMainForm::pasteNode(QString* why) const
{
    QTreeWidgetItem* node = treeHasFocus() ? selectedNode() : m_shownNode;
    const TNodeData* data = node ? GetNodeData(node) : nullptr;
    const bool local = data && data->RootKind == LocalRoot && data->has(Folder) && !data->RemoteName.empty();
    // A share's folder as it is now, not the cache's picture of it.
    const bool share = data && (data->RootKind == NetRoot || data->RootKind == ExpandedRoot) && data->has(Folder)
        && !CacheMode && !(data->State & FromCache) && IsUncPath(data->RemoteName);
    const bool ftp = data && data->RootKind == FtpRoot && data->has(Folder) && siteWindow(data);
    QString reason;
    if (m_clipboardEntries.empty())
        reason = UiString(kStrNoFilesOnClipboard);
    else if (!local && !share && !ftp)
        reason = UiString(kStrCannotPasteHere);
    else if (m_clipboardProgramOnly && !m_clipboardOwn)
        reason = UiString(kStrForeignEntries);
    else if (m_clipboardProgramOnly && !local)
        reason = UiString(kStrFtpOnlyToLocal);
    else if (m_clipboardProgramOnly && !m_clipboardSite)
        reason = UiString(kStrFtpSiteGone);
    else if (ftp && m_clipboardCut)
        reason = UiString(kStrNoCutToFtp);
    if (why)
        *why = reason;
    return reason.isEmpty() ? node : nullptr;
}

void TMainForm::updateEditCommands()
{
    if (!m_U1)
        return;
    bool programOnly = false;
    const std::vector<std::string> selection = clipboardSelection(programOnly);
    const int count = int(selection.size());
    m_T3->setEnabled(count > 0 && !programOnly);
    m_T3->setStatusTip(count > 0 && !programOnly ? UiString(kStrCutSelected).arg(count) : UiString(kStrNothingToCopy));
    m_C2->setEnabled(count > 0);
    m_C2->setStatusTip(count > 0 ? UiString(kStrCopySelected).arg(count) : UiString(kStrNothingToCopy));
    QString why;
    const bool canPaste = pasteNode(&why) != nullptr;
    m_P1->setEnabled(canPaste);
    const int onClipboard = int(m_clipboardEntries.size());
    m_P1->setStatusTip(canPaste ? UiString(m_clipboardCut ? kStrPasteCut : kStrPasteCopied).arg(onClipboard) : why);
    m_U1->setEnabled(m_undo->CanUndo());
    m_U1->setStatusTip(m_undo->Description());
}

void TMainForm::putOnClipboard(bool cut)
{
    bool programOnly = false;
    const std::vector<std::string> entries = clipboardSelection(programOnly);
    // FTP items cannot be taken away by a paste: only copied.
    if (entries.empty() || (cut && programOnly))
        return;
    m_clipboardSite = programOnly ? siteWindow(shownData()) : nullptr;
    QGuiApplication::clipboard()->setMimeData(FileMime::MakeFileData(entries, cut).release());
}

void TMainForm::T3Click()
{
    putOnClipboard(true);
}

void TMainForm::C2Click()
{
    putOnClipboard(false);
}

void TMainForm::P1Click()
{
    // The clipboard is read again: it may have changed since the entry was enabled.
    clipboardChanged();
    QString why;
    QTreeWidgetItem* node = pasteNode(&why);
    if (!node) {
        if (!m_clipboardEntries.empty())
            ShowError(why);
        return;
    }
    const TNodeData* data = GetNodeData(node);
    const std::string folder = AddBackslash(data->RemoteName);
    std::vector<std::string> ftpItems;
    std::vector<std::string> paths;
    for (const std::string& entry : m_clipboardEntries) {
        if (!entry.empty() && IsFtpItemKind(entry[0]))
            ftpItems.push_back(entry);
        else if (FileMime::IsRealEntry(entry))
            paths.push_back(entry);
    }
    if (!ftpItems.empty() && m_clipboardSite)
        m_clipboardSite->DownloadFiles(folder, ftpItems);
    if (paths.empty())
        return;
    if (data->RootKind == FtpRoot) {
        if (TFTPEnumForm* window = siteWindow(data)) {
            window->UploadFiles(data->RemoteName, paths);
            refreshFtpNode(node);
        }
        return;
    }
    const bool cut = m_clipboardCut;
    m_shell->FileOperation(cut ? FO_MOVE : FO_COPY, paths, QString(), FOF_ALLOWUNDO, true, folder);
    // Cut files are pasted once, as the desktop's file managers do.
    if (cut)
        QGuiApplication::clipboard()->clear();
}

void TMainForm::fileOperationDone(uint32_t operation, const FileOperationOutcome& outcome, bool asynchronous)
{
    m_undo->Record(operation, outcome, asynchronous);
    updateEditCommands();
    // No watcher hears of changes on a share: a job that ended shows its folder again.
    if (asynchronous && operation != FO_OPEN && showsUnwatchedFolder())
        ShowNode(m_shownNode);
}

void TMainForm::U1Click()
{
    if (!m_undo->CanUndo())
        return;
    UpdateAllowed = false;
    const UndoLog::Result result = m_undo->Undo(*m_shell);
    UpdateAllowed = true;
    if (!result.error.isEmpty())
        ShowError(result.error);
    refreshFolders(result.folders);
    updateEditCommands();
}

void TMainForm::refreshFolders(const std::vector<std::string>& folders)
{
    if (folders.empty())
        return;
    // The loaded folder nodes of those places load their children again.
    std::vector<QTreeWidgetItem*> stale;
    std::vector<QTreeWidgetItem*> pending{m_localRoot, m_netRoot, m_expandedRoot};
    while (!pending.empty()) {
        QTreeWidgetItem* node = pending.back();
        pending.pop_back();
        const TNodeData* data = node ? GetNodeData(node) : nullptr;
        if (!data || !(data->State & Expanded))
            continue;
        if (data->has(Folder) && std::any_of(folders.begin(), folders.end(), [&](const std::string& folder) {
                return samePath(folder, data->RemoteName);
            })) {
            stale.push_back(node);
            continue;
        }
        for (int i = 0; i < node->childCount(); ++i)
            pending.push_back(node->child(i));
    }
    for (QTreeWidgetItem* node : stale)
        RefreshNode(node, false);
    if (m_shownNode)
        ShowNode(m_shownNode);
}
