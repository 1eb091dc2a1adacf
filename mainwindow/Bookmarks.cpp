// Bookmarks and the computers of the expanded network: the nodes the program stores itself.
// The bookmark drop-down mirrors the stored bookmark tree as it was at the last reload.
#include "mainwindow/TMainForm.h"

#include "app/SetupInfo.h"
#include "local/ErrorText.h"
#include "local/TImageLists.h"
#include "resources/StringTable.h"
#include "local/TProcessForm.h"
#include "resources/UiText.h"
#include "platform/ServerNames.h"
#include "store/ImportedComputers.h"
#include "store/NameTable.h"
#include "store/NodeFile.h"
#include "store/NodePaths.h"
#include "store/NodeTree.h"
#include "store/StoredNodes.h"
#include "store/TEditForm.h"
#include "ui/Fonts.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>

namespace {

enum : int {
    kStrNodeBusy = 33026, kStrRebuildTitle = 33050, kStrRebuildText = 33051, kStrRebuildFailed = 33052,
    kStrRebuildDone = 33054, kStrBookmarkLost = 33115,
};

// Asked for a computer name that is in the table already: the new line, the old line twice.
constexpr const char* kSameNameQuestion =
    "%s與原來的電腦名稱(%s)相同,\n您要取代原來的電腦嗎?\n取代後%s的電腦將無法連接.";

QString sameNameQuestion(const std::string& fresh, const std::string& old)
{
    // Split first: a name holding "%s" must not be filled in itself.
    const QStringList parts = UiText(kSameNameQuestion).split(QStringLiteral("%s"));
    const QString freshText = QString::fromStdString(fresh);
    const QString oldText = QString::fromStdString(old);
    return parts[0] + freshText + parts[1] + oldText + parts[2] + oldText + parts[3];
}

// Names the computers an imported archive brought (a screenful at most) and asks whether
// their addresses may be trusted as the user's own.
QString importedComputersQuestion(const std::vector<StoredComputer>& imported)
{
    constexpr size_t kShown = 15;
    std::string list;
    for (size_t i = 0; i < imported.size() && i < kShown; ++i)
        list += "    " + imported[i].name + "    " + imported[i].host + "\n";
    if (imported.size() > kShown)
        list += "    " + UiFormat("…另外 %1 部", {std::to_string(imported.size() - kShown)}) + "\n";
    return QString::fromStdString(
        UiFormat("下列電腦的名稱和位址來自匯入的封存檔，不是您自己輸入的：\n%1\n"
                 "要信任這些位址嗎？信任之後，為這些名稱儲存的密碼會直接送到這些位址。\n"
                 "選「否」時仍可連線到這些電腦，但送出密碼之前會先詢問您。",
                 {list}));
}

// The bookmark drop-down's own entries: add, reload, a new FTP site and the separator after them.
constexpr int kFixedBookmarkEntries = 4;

// The tree's child order under the bookmark root: folders (image 8) first, then computers
// (image 6), then by image; nodes with the same image keep their order.
int bookmarkRank(const QTreeWidgetItem* node)
{
    const TNodeData* data = GetNodeData(node);
    const int image = data ? data->ImageIndex : -1;
    if (image == TImageLists::TreeDomain)
        return -2;
    if (image == TImageLists::TreeComputer)
        return -1;
    return image;
}

bool inSubtree(const QTreeWidgetItem* root, const QTreeWidgetItem* wanted)
{
    if (root == wanted)
        return true;
    for (int i = 0; i < root->childCount(); ++i)
        if (inSubtree(root->child(i), wanted))
            return true;
    return false;
}

} // namespace

void TMainForm::connectBookmarkCommands()
{
    auto wire = [this](const char* name, void (TMainForm::*handler)()) {
        QAction* entry = BookmarkPopupMenu->findChild<QAction*>(QString::fromLatin1(name));
        if (!entry)
            entry = findChild<QAction*>(QString::fromLatin1(name));
        connect(entry, &QAction::triggered, this, handler);
        entry->setEnabled(true);
    };
    wire("N99", &TMainForm::ToolButton3Click);
    wire("R2", &TMainForm::R2Click);
    wire("DNNewComputer", &TMainForm::DNNewComputerClick);
    wire("BookmarkNewFtpSite", &TMainForm::NewFtpSiteClick);
    wire("N89", &TMainForm::N89Click);
    updateNewComputerCommand();
    connect(AddressToolButton, &QToolButton::clicked, this, &TMainForm::ToolButton3Click);
    AddressToolButton->setEnabled(true);
}

void TMainForm::ToolButton3Click()
{
    QTreeWidgetItem* node = selectedNode();
    const TNodeData* data = node ? GetNodeData(node) : nullptr;
    if (!data) {
        ShowError(UiText("請先在樹狀目錄中選取要加入書籤的節點"));
        return;
    }
    TEditForm form(this);
    form.setFont(SettingsFont(SetupInfo.FontName, SetupInfo.FontSize));
    form.ShowError = ShowError;
    form.ShowPage(TEditForm::BookmarkPage, node);
    if (!form.Accepted)
        return;
    // A bookmark without a caption could be neither seen in the drop-down nor told apart.
    if (QString::fromStdString(form.BookmarkCaption).trimmed().isEmpty()) {
        ShowError(UiText("書籤標題不能空白"));
        return;
    }

    auto record = std::unique_ptr<TNodeData>(NewNodeData(m_bookmarkRoot));
    record->Caption = form.BookmarkCaption;
    record->Key = SafeFileName(record->Caption);
    record->RemoteName = data->RemoteName;
    record->NodeAttributes = data->NodeAttributes | Bookmark;
    record->Host = data->Host;
    record->RootKind = data->RootKind;
    record->ResourceType = data->ResourceType;
    record->Scope = data->Scope;
    record->Usage = data->Usage;
    record->DisplayType = data->DisplayType;
    record->ImageIndex = data->ImageIndex;
    record->SelectedIndex = data->SelectedIndex;
    record->State = Idle;
    record->SiteWindow = nullptr;
    record->RecordOffset = -1;
    std::vector<TNodeData> records{*record};
    try {
        // A caption the branch has already is refused rather than written over.
        AddStoredNodes(records);
    } catch (const std::exception& error) {
        ShowError(QString::fromUtf8(error.what()));
        return;
    }
    *record = records.front();
    auto* child = new QTreeWidgetItem(m_bookmarkRoot);
    ShowNodeData(record.release(), child);
    showNodeImages(child);
    AddPlaceholderChild(child);
}

void TMainForm::R2Click()
{
    ReloadBookmarks();
}

void TMainForm::ReloadBookmarks()
{
    std::string busy;
    if (!FindBusyNode(m_bookmarkRoot, busy)) {
        ShowError(QString::fromStdString(FormatMessageId(kStrNodeBusy, busy)));
        return;
    }
    m_bookmarkMap.clear();
    const QList<QAction*> entries = BookmarkPopupMenu->actions();
    for (qsizetype i = kFixedBookmarkEntries; i < entries.size(); ++i) {
        BookmarkPopupMenu->removeAction(entries[i]);
        // A submenu's entry belongs to its menu, which goes with it.
        if (QMenu* submenu = entries[i]->menu())
            submenu->deleteLater();
        else
            entries[i]->deleteLater();
    }

    // A list of the bookmarks, or of a place below one, shows nodes the reload replaces:
    // it is listed again from the new nodes, the same bookmark when it is still there.
    QTreeWidgetItem* shownBookmark = nullptr;
    for (QTreeWidgetItem* current = m_shownNode; current && !shownBookmark; current = current->parent())
        if (current == m_bookmarkRoot)
            shownBookmark = m_shownNode == m_bookmarkRoot ? m_bookmarkRoot : nullptr;
        else if (current->parent() == m_bookmarkRoot)
            shownBookmark = current;
    const bool reshow = shownBookmark != nullptr;
    const QString shownCaption = reshow && shownBookmark != m_bookmarkRoot ? shownBookmark->text(0) : QString();
    if (reshow) {
        StopWorkers();
        m_shownNode = nullptr;
    }

    // The desktop entries are the program's own, not stored records: the load keeps them.
    m_treeChanging = true;
    try {
        buildBookmarkMenu(BookmarkPopupMenu, m_bookmarkRoot);
    } catch (const std::exception& error) {
        ShowError(QString::fromUtf8(error.what()));
    }
    QList<QTreeWidgetItem*> children = m_bookmarkRoot->takeChildren();
    std::stable_sort(children.begin(), children.end(),
                     [](const QTreeWidgetItem* a, const QTreeWidgetItem* b) { return bookmarkRank(a) < bookmarkRank(b); });
    m_bookmarkRoot->addChildren(children);
    m_treeChanging = false;
    if (!reshow)
        return;
    QTreeWidgetItem* target = m_bookmarkRoot;
    for (int i = 0; !shownCaption.isEmpty() && i < m_bookmarkRoot->childCount(); ++i)
        if (m_bookmarkRoot->child(i)->text(0) == shownCaption) {
            target = m_bookmarkRoot->child(i);
            break;
        }
    if (FolderTreeView->currentItem() == target)
        ShowNode(target);
    else
        FolderTreeView->setCurrentItem(target);
}

void TMainForm::buildBookmarkMenu(QMenu* menu, QTreeWidgetItem* node)
{
    // The tree's children come as an expansion reads them; the menu follows their order.
    LoadCachedChildren(node, false);
    for (int i = 0; i < node->childCount(); ++i) {
        QTreeWidgetItem* child = node->child(i);
        const TNodeData* childData = GetNodeData(child);
        if (!childData || childData->has(Sys))
            continue;
        const QString caption = QString::fromStdString(childData->Caption);
        if (childData->RootKind == BookmarkRoot && childData->has(Domain)) {
            QMenu* submenu = menu->addMenu(child->icon(0), caption);
            m_bookmarkMap.insert(submenu->menuAction(), child);
            buildBookmarkMenu(submenu, child);
        } else {
            QAction* entry = menu->addAction(child->icon(0), caption);
            m_bookmarkMap.insert(entry, child);
            connect(entry, &QAction::triggered, this, [this, entry] { BookmarkEntryClick(entry); });
        }
    }
}

void TMainForm::addBookmarkEntry(QTreeWidgetItem* folder, QTreeWidgetItem* node)
{
    const TNodeData* data = node ? GetNodeData(node) : nullptr;
    if (!data)
        return;
    QMenu* menu = nullptr;
    if (folder == m_bookmarkRoot) {
        menu = BookmarkPopupMenu;
    } else {
        for (auto it = m_bookmarkMap.cbegin(); it != m_bookmarkMap.cend() && !menu; ++it)
            if (it.value() == folder)
                menu = it.key()->menu();
    }
    // A folder the drop-down does not show yet gets its entries at the next reload.
    if (!menu)
        return;
    QAction* entry = menu->addAction(node->icon(0), QString::fromStdString(data->Caption));
    m_bookmarkMap.insert(entry, node);
    connect(entry, &QAction::triggered, this, [this, entry] { BookmarkEntryClick(entry); });
}

void TMainForm::showBookmarkCounters(QTreeWidgetItem* node)
{
    if (!node)
        return;
    const bool settingCaption = m_settingCaption;
    m_settingCaption = true;
    for (int i = 0; i < node->childCount(); ++i) {
        QTreeWidgetItem* child = node->child(i);
        const TNodeData* data = GetNodeData(child);
        if (!data)
            continue;
        if (data->has(Computer))
            child->setText(0, CacheMode ? countedCaption(*data) : QString::fromStdString(data->Caption));
        else if (data->has(Domain))
            showBookmarkCounters(child);
    }
    m_settingCaption = settingCaption;
}

QTreeWidgetItem* TMainForm::bookmarkNodeOf(QAction* entry) const
{
    QTreeWidgetItem* node = m_bookmarkMap.value(entry);
    // A bookmark deleted since the last reload leaves its entry behind: its node is gone.
    return node && inSubtree(m_bookmarkRoot, node) ? node : nullptr;
}

void TMainForm::BookmarkEntryClick(QAction* entry)
{
    QTreeWidgetItem* node = bookmarkNodeOf(entry);
    if (!node) {
        ShowError(UiString(kStrBookmarkLost));
        return;
    }
    for (QTreeWidgetItem* parent = node->parent(); parent; parent = parent->parent())
        parent->setExpanded(true);
    FolderTreeView->scrollToItem(node);
    FolderTreeView->setCurrentItem(node);
}

void TMainForm::DNNewComputerClick()
{
    QTreeWidgetItem* node = selectedNode();
    const TNodeData* data = node ? GetNodeData(node) : nullptr;
    // A folder of FTP sites gets a new site, through the same dialog as the menus' entry.
    if (data && data->RootKind == FtpRoot && data->has(Domain) && !data->has(Bookmark)) {
        askNewFtpSite(node);
        return;
    }
    if (!data || data->RootKind != ExpandedRoot || !data->has(Domain))
        return;
    TEditForm form(this);
    form.setFont(SettingsFont(SetupInfo.FontName, SetupInfo.FontSize));
    form.ShowError = ShowError;
    form.ShowPage(TEditForm::NetPage, node);
    if (!form.Accepted)
        return;

    std::vector<TNodeData> records{ExpandedComputerRecord(data->StoreDir + data->Key + "\\", form.NetCaption,
                                                          form.NetName, form.NetAddress, TImageLists::TreeComputer)};
    UpdateRunning = true;
    try {
        // A caption the folder has already is refused: the two would share one cache.
        AddStoredNodes(records);
    } catch (const std::exception& error) {
        UpdateRunning = false;
        ShowError(QString::fromUtf8(error.what()));
        return;
    }
    // The stored branch is read again, so the new computer takes its sorted place.
    const std::string key = records.front().Key;
    RefreshNode(node, true);
    openNode(node);
    for (int i = 0; i < node->childCount(); ++i) {
        QTreeWidgetItem* child = node->child(i);
        if (const TNodeData* childData = GetNodeData(child); childData && childData->Key == key) {
            FolderTreeView->scrollToItem(child);
            break;
        }
    }
    UpdateRunning = false;
}

void TMainForm::N89Click()
{
    TProcessForm progress(this);
    progress.setFont(SettingsFont(SetupInfo.FontName, SetupInfo.FontSize));
    progress.setWindowTitle(UiString(kStrRebuildTitle));
    progress.setText(UiString(kStrRebuildText));
    progress.show();
    QApplication::processEvents();
    try {
        const std::vector<StoredComputer> computers =
            CollectStoredComputers(SetupInfo.CachePath, [] { QApplication::processEvents(); });
        SortedComputers sorted = SortByOrigin(computers, SetupInfo.CachePath);
        const bool vouched = sorted.imported.empty() || AskQuestionText(importedComputersQuestion(sorted.imported));
        const auto replace = [this](const std::string& fresh, const std::string& old) {
            return AskQuestionText(sameNameQuestion(fresh, old));
        };
        const std::string table = NameTablePath(SetupInfo.ExePath);
        SaveNameTable(table, BuildNameTable(vouched ? computers : sorted.vouched, replace));
        // Left unvouched, they are still reached when nothing else knows their names, but
        // no stored password goes to them unasked.
        SaveNameTable(UnverifiedNameTablePath(table),
                      vouched ? std::vector<std::string>() : BuildNameTable(sorted.imported, replace));
        if (vouched)
            ForgetImportedComputers(SetupInfo.CachePath);
    } catch (const std::exception& error) {
        progress.close();
        ShowError(UiString(kStrRebuildFailed) + QString::fromUtf8(error.what()));
        return;
    }
    progress.close();
    ShowInformationText(UiString(kStrRebuildDone));
}
