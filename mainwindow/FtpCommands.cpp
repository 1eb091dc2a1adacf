// The main window's side of FTP sites: expanding a site or one of its folders through the
// site window, opening, renaming, deleting and making remote files and folders from the
// tree and the list, disconnecting.
#include "mainwindow/TMainForm.h"

#include "app/SetupInfo.h"
#include "local/ErrorText.h"
#include "local/MessageBoxes.h"
#include "local/TImageLists.h"
#include "platform/AddressText.h"
#include "platform/Exception.h"
#include "network/NetPassword.h"
#include "network/TFTPEnumForm.h"
#include "network/TFtpOptionsForm.h"
#include "network/TFtpPropertiesForm.h"
#include "resources/StringTable.h"
#include "resources/UiText.h"
#include "store/FtpSiteBlock.h"
#include "store/NodeAttachment.h"
#include "store/NodeFile.h"
#include "store/NodePaths.h"
#include "platform/NativeNames.h"
#include "platform/TextCodec.h"
#include "store/StoredNodes.h"
#include "store/TEditForm.h"
#include "store/NodeTree.h"
#include "ui/Fonts.h"
#include "ui/TListView.h"

#include <QAction>
#include <QMenu>
#include <QSet>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <QUrl>

#include <array>

namespace {

enum : int {
    kStrNodeBusy = 33026, kStrCannotDeleteNode = 33030, kStrSiteNotConnected = 44093, kStrDeleteOne = 44015,
    kStrDeleteMany = 44016, kStrAddressNotFound = 44070,
};

QString UiFormatText(const char* chinese, const QString& value)
{
    return QString::fromStdString(UiFormat(chinese, {value.toStdString()}));
}

bool isFolderRow(const TListItem& item)
{
    return item.ImageIndex == TImageLists::Folder;
}

// The site node of an FTP node: the node itself or the nearest FTP computer above it.
QTreeWidgetItem* ftpSiteOf(QTreeWidgetItem* node)
{
    for (QTreeWidgetItem* current = node; current; current = current->parent()) {
        const TNodeData* data = GetNodeData(current);
        if (!data || data->RootKind != FtpRoot)
            return nullptr;
        if (data->has(Computer))
            return current;
    }
    return nullptr;
}

// The local delete's permanent question, and what it means on a server: a folder goes
// with everything in it, and nothing comes back.
QString ftpDeleteQuestion(const QStringList& names, bool anyFolder)
{
    QString text = names.size() == 1 ? UiString(kStrDeleteOne).arg(names.front())
                                     : UiString(kStrDeleteMany).arg(names.size());
    text += QStringLiteral("\r\n");
    text += anyFolder ? UiText("資料夾裡的所有檔案和資料夾會一起刪除。伺服器上的刪除無法復原。")
                      : UiText("伺服器上的刪除無法復原。");
    return text;
}

} // namespace

void TMainForm::connectFtpCommands()
{
    AskQuestionText = [this](const QString& text) { return ShowMessageText(this, text, MsgQuestion) == IdYes; };
    // The FTP list's new folder and delete are the list's own (N33Click, N16Click), which
    // hand FTP folders on to the site window.
    const std::pair<const char*, void (TMainForm::*)()> commands[] = {
        {"DNNewDir", &TMainForm::DNNewDirClick}, {"DNDel", &TMainForm::DNDelClick},
        {"FTPOpen", &TMainForm::OpenItem},       {"FTPRename", &TMainForm::M1Click},
        {"FTPNewDir", &TMainForm::N33Click},     {"FTPDelete", &TMainForm::N16Click},
        {"FtpSiteOptions", &TMainForm::FtpSiteOptionsClick},
        {"FTP1", &TMainForm::FTP1Click},         {"FTP2", &TMainForm::FTP2Click},
        {"FTPExplore", &TMainForm::FTPExploreClick}, {"FTPProperties", &TMainForm::FTPPropertiesClick},
    };
    for (const auto& [name, handler] : commands) {
        QAction* entry = findChild<QAction*>(QString::fromLatin1(name));
        connect(entry, &QAction::triggered, this, handler);
        entry->setEnabled(true);
    }
    // Properties are of items: with none selected there is nothing to show.
    findChild<QAction*>(QStringLiteral("FTPProperties"))->setEnabled(false);
    connect(FTPListPopupMenu, &QMenu::aboutToShow, this, &TMainForm::FTPListPopupMenuPopup);
    QAction* refresh = findChild<QAction*>(QStringLiteral("FTPRefresh"));
    refresh->setEnabled(true);
    connect(refresh, &QAction::triggered, this, [this] { refreshFtpNode(m_shownNode); });
}

TFTPEnumForm* TMainForm::siteWindow(const TNodeData* data)
{
    return data ? static_cast<TFTPEnumForm*>(data->SiteWindow) : nullptr;
}

bool TMainForm::LoadFtpChildren(QTreeWidgetItem* node)
{
    TNodeData* data = GetNodeData(node);
    if (!data)
        return false;
    data->State |= Expanded;
    try {
        if (TFTPEnumForm* window = siteWindow(data)) {
            FTPEnumForm = window;
            window->ListFolder(node);
            return true;
        }
        ClearNodeChildren(node);
        data->State |= Expanded;
        auto* window = new TFTPEnumForm(nullptr);
        FTPEnumForm = window;
        data->SiteWindow = window;
        window->OnFinished = [this](QTreeWidgetItem* listed) { FtpSiteListed(listed); };
        // The site window's boxes go the way the main window's go.
        window->ShowError = ShowError;
        window->ShowInformation = ShowInformationText;
        window->OnCopyOpened = [this, window](const std::string& remotePath, const std::string& copy,
                                              const ServerStamp& copied) { watchFtpCopy(window, remotePath, copy, copied); };
        if (!window->ConnectSite(node, UpdateAllowed, UpdateRunning)) {
            data->SiteWindow = nullptr;
            return false;
        }
        return true;
    } catch (const std::exception& error) {
        throw Exception(LoadStr(33020) + error.what());
    }
}

void TMainForm::FtpSiteListed(QTreeWidgetItem* node)
{
    // A listing of the shown folder refreshes the list; the site closing collapses it.
    const TNodeData* data = GetNodeData(node);
    if (data && !data->SiteWindow && node == m_shownNode) {
        node->setExpanded(false);
        FileListView->model()->clear();
        return;
    }
    if (node == m_shownNode)
        ShowNode(node);
}

bool TMainForm::openFtpItem(const TNodeData* data, const QString& caption, bool folderItem)
{
    TFTPEnumForm* window = siteWindow(data);
    if (!window || folderItem || !data->has(Folder))
        return false;
    window->OpenRemoteFile(data->RemoteName + caption.toStdString());
    return true;
}

bool TMainForm::renameFtpItem(const TNodeData* data, const QString& oldCaption, const QString& newCaption)
{
    TFTPEnumForm* window = siteWindow(data);
    if (!window)
        return false;
    // The full path, so that the rename does not depend on the server's current folder.
    return window->RenameRemote(data->RemoteName + oldCaption.toStdString(), newCaption.toStdString());
}

void TMainForm::Disconnect2Click()
{
    if (!selectedNode() || !m_shownNode)
        return;
    const TNodeData* data = GetNodeData(m_shownNode);
    if (data && data->RootKind == FtpRoot)
        if (TFTPEnumForm* window = siteWindow(data))
            window->close();
}

void TMainForm::refreshFtpNode(QTreeWidgetItem* node)
{
    TNodeData* data = node ? GetNodeData(node) : nullptr;
    TFTPEnumForm* window = siteWindow(data);
    if (!window)
        return;
    std::string busy;
    if (!FindBusyNode(node, busy)) {
        ShowError(QString::fromStdString(FormatMessageId(kStrNodeBusy, busy)));
        return;
    }
    // The listing replaces the node's children: a list showing one of them goes first, and
    // the tree's own selection changes meanwhile are not the user's.
    m_treeChanging = true;
    forgetShownNodeBelow(node);
    FTPEnumForm = window;
    window->ListFolder(node);
    m_treeChanging = false;
    // A listing of the shown node has shown it again already (FtpSiteListed).
    if (FolderTreeView->currentItem() != node)
        FolderTreeView->setCurrentItem(node);
    else if (m_shownNode != node)
        ShowNode(node);
}

void TMainForm::ftpNewFolder(QTreeWidgetItem* node)
{
    TNodeData* data = node ? GetNodeData(node) : nullptr;
    TFTPEnumForm* window = siteWindow(data);
    if (!window || !data->has(Folder))
        return;
    // "New", or the first "New (n)" that no folder or file of the folder is called yet.
    QSet<QString> taken;
    for (int i = 0; i < node->childCount(); ++i)
        taken.insert(node->child(i)->text(0).toLower());
    if (node == m_shownNode)
        for (const TListItem& item : FileListView->model()->items())
            taken.insert(item.Caption.toLower());
    QString name = QStringLiteral("New");
    for (int n = 2; taken.contains(name.toLower()); ++n)
        name = QStringLiteral("New (%1)").arg(n);
    if (window->MakeRemoteFolder(data->RemoteName + name.toStdString()))
        refreshFtpNode(node);
}

void TMainForm::ftpDeleteItems()
{
    QTreeWidgetItem* node = m_shownNode;
    const TNodeData* data = shownData();
    QPointer<TFTPEnumForm> window = siteWindow(data);
    if (!window || !data->has(Folder))
        return;
    QStringList captions;
    QSet<QString> folders;
    for (const QModelIndex& index : FileListView->selectionModel()->selectedRows()) {
        const TListItem& item = FileListView->model()->item(index.row());
        if (item.Caption.isEmpty())
            continue;
        captions << item.Caption;
        if (isFolderRow(item))
            folders.insert(item.Caption);
    }
    if (captions.isEmpty() || !AskQuestionText(ftpDeleteQuestion(captions, !folders.isEmpty())))
        return;
    const std::string folder = data->RemoteName;
    for (const QString& caption : captions) {
        const bool sent = window->DeleteRemote(folder + caption.toStdString(), folders.contains(caption));
        // A busy window has said so once; a closed one took the folder's nodes with it.
        if (!window || (!sent && window->busy()) || m_shownNode != node)
            return;
    }
    refreshFtpNode(node);
}

void TMainForm::ftpDeleteFolderNode(QTreeWidgetItem* node)
{
    const TNodeData* data = GetNodeData(node);
    QPointer<TFTPEnumForm> window = siteWindow(data);
    QTreeWidgetItem* parent = node->parent();
    // Without its site window it is a folder of a listing only, with no record to delete.
    if (!window) {
        ShowInformationText(UiString(kStrCannotDeleteNode));
        return;
    }
    if (!AskQuestionText(ftpDeleteQuestion({node->text(0)}, true)))
        return;
    window->DeleteRemote(RemoveBackslash(data->RemoteName), true);
    if (window && parent)
        refreshFtpNode(parent);
}

void TMainForm::NewFtpSiteClick()
{
    // Into the selected bookmark or FTP folder, else among the bookmarks, where the tree shows it.
    QTreeWidgetItem* folder = m_bookmarkRoot;
    QTreeWidgetItem* selected = selectedNode();
    const TNodeData* selectedData = selected ? GetNodeData(selected) : nullptr;
    if (selectedData && (selectedData->RootKind == BookmarkRoot || selectedData->RootKind == FtpRoot)
        && selectedData->has(Domain) && !selectedData->has(Bookmark))
        folder = selected;
    askNewFtpSite(folder);
}

void TMainForm::askNewFtpSite(QTreeWidgetItem* folder)
{
    const TNodeData* data = folder ? GetNodeData(folder) : nullptr;
    if (!data)
        return;
    TEditForm form(this);
    form.setFont(SettingsFont(SetupInfo.FontName, SetupInfo.FontSize));
    form.ShowError = ShowError;
    form.ShowPage(TEditForm::FtpPage, folder);
    if (!form.Accepted)
        return;
    FtpSiteBlock block;
    block.Host = form.FtpHost;
    block.User = form.FtpUser;
    block.Password = form.FtpPassword;
    block.ProxyHost = form.FtpProxy;
    block.Port = form.FtpPort;
    block.ProxyPort = form.FtpProxyPort;
    if (QTreeWidgetItem* site = storeNewFtpSite(folder, form.FtpCaption, block)) {
        FolderTreeView->setCurrentItem(site);
        FolderTreeView->scrollToItem(site);
    }
}

QTreeWidgetItem* TMainForm::storeNewFtpSite(QTreeWidgetItem* folder, const std::string& caption, const FtpSiteBlock& block)
{
    TNodeData* data = GetNodeData(folder);
    TNodeData record = FtpSiteRecord(data->StoreDir + data->Key + "\\", caption, block.Host, TImageLists::TreeComputer);
    UpdateRunning = true;
    try {
        AddFtpSite(record, FtpSiteBlockForFile(block));
    } catch (const std::exception& error) {
        UpdateRunning = false;
        ShowError(QString::fromUtf8(error.what()));
        return nullptr;
    }
    UpdateRunning = false;
    QTreeWidgetItem* site = nullptr;
    if (!(data->State & Expanded)) {
        // Not loaded yet: loading the folder brings the new site with the others.
        openNode(folder);
        for (int i = 0; i < folder->childCount() && !site; ++i)
            if (const TNodeData* childData = GetNodeData(folder->child(i)); childData && childData->Key == record.Key)
                site = folder->child(i);
    } else {
        // Loaded: the site joins in its sorted place, and nothing already open is read again
        // (a connected site beside it keeps its window and its records).
        auto* fresh = new TNodeData(record);
        int at = folder->childCount();
        for (int i = 0; i < folder->childCount(); ++i)
            if (const TNodeData* other = GetNodeData(folder->child(i));
                other && !other->has(Sys) && CompareNodes(*fresh, *other) < 0) {
                at = i;
                break;
            }
        site = new QTreeWidgetItem;
        folder->insertChild(at, site);
        ShowNodeData(fresh, site);
        showNodeImages(site);
        AddPlaceholderChild(site);
        folder->setExpanded(true);
    }
    addBookmarkEntry(folder, site);
    return site;
}

namespace {

// A stored site is the one the address names when host and port agree, and the user too
// when the address gives one.
bool isSiteOf(const TNodeData& data, const FtpLink& link)
{
    std::array<unsigned char, FtpSiteBlockSize> bytes{};
    try {
        ReadNodeAttachment(data, bytes.data(), bytes.size());
    } catch (const std::exception&) {
        return false;  // a site whose block cannot be read is not the one asked for
    }
    const FtpSiteBlock block = DecodeFtpSiteBlock(bytes.data());
    const auto anonymous = [](const std::string& user) { return user.empty() || UpperAscii(user) == "ANONYMOUS"; };
    const bool sameUser = link.user.empty() || block.User == link.user || (anonymous(block.User) && anonymous(link.user));
    return UpperAscii(block.Host.empty() ? data.Host : block.Host) == UpperAscii(link.host) && block.Port == link.port
        && sameUser;
}

// The folders of a link's path, "/a/b/" as {"a", "b"}.
QStringList folderParts(const std::string& folder)
{
    QStringList parts;
    for (const QString& part : QString::fromStdString(folder).split(QLatin1Char('/'), Qt::SkipEmptyParts))
        if (part != QLatin1String("."))
            parts << part;
    return parts;
}

// Whether a stored folder (or one below it) holds the site, read from the node files
// without loading anything into the tree.
bool storedSiteBelow(const std::string& folder, const FtpLink& link, int depth)
{
    if (depth > 32)
        return false;
    TNodeList records;
    try {
        LoadNodeFile(folder, records, false);
    } catch (const std::exception&) {
        return false;
    }
    for (const auto& record : records) {
        if (record->RootKind == FtpRoot && record->has(Computer) && isSiteOf(*record, link))
            return true;
        if (record->has(Domain) && !record->has(Bookmark) && IsPlainName(record->Key)
            && storedSiteBelow(folder + record->Key + "\\", link, depth + 1))
            return true;
    }
    return false;
}

} // namespace

QTreeWidgetItem* TMainForm::findFtpSite(QTreeWidgetItem* node, const FtpLink& link)
{
    for (int i = 0; i < node->childCount(); ++i) {
        QTreeWidgetItem* child = node->child(i);
        const TNodeData* data = GetNodeData(child);
        if (!data || data->has(Sys))
            continue;
        if (data->RootKind == FtpRoot && data->has(Computer)) {
            if (isSiteOf(*data, link))
                return child;
            continue;
        }
        if (!data->has(Domain) || data->has(Bookmark) || (data->RootKind != BookmarkRoot && data->RootKind != FtpRoot))
            continue;
        // A folder not loaded yet is opened only when the site is stored somewhere below it.
        if (!(data->State & Expanded)) {
            if (!IsPlainName(data->Key) || !storedSiteBelow(data->StoreDir + data->Key + "\\", link, 0))
                continue;
            openNode(child);
        }
        if (QTreeWidgetItem* site = findFtpSite(child, link))
            return site;
    }
    return nullptr;
}

void TMainForm::OpenFtpLink(const std::string& text)
{
    FtpLink link;
    if (!ParseFtpLink(text, link)) {
        ShowError(UiFormatText("無法辨識的 FTP 位址：%1\r\n請輸入 ftp://[使用者@]主機[:埠]/資料夾", QString::fromStdString(text)));
        return;
    }
    if (!(GetNodeData(m_bookmarkRoot)->State & Expanded))
        openNode(m_bookmarkRoot);
    QTreeWidgetItem* site = findFtpSite(m_bookmarkRoot, link);
    if (!site) {
        const std::string shown = (link.user.empty() ? std::string() : link.user + "@") + link.host
            + (link.port == 21 ? std::string() : ":" + std::to_string(link.port));
        if (!AskQuestionText(UiFormatText("書籤中沒有 %1 的 FTP 站台。\r\n要新增這個站台並連線嗎?",
                                          QString::fromStdString("ftp://" + shown))))
            return;
        FtpSiteBlock block;
        block.Host = link.host;
        // Without a user the site is anonymous, and no password is asked for.
        block.User = link.user.empty() ? std::string("anonymous") : link.user;
        block.Port = link.port;
        site = storeNewFtpSite(m_bookmarkRoot, shown, block);
        if (!site)
            return;
    }
    for (QTreeWidgetItem* parent = site->parent(); parent; parent = parent->parent())
        parent->setExpanded(true);
    FolderTreeView->setCurrentItem(site);
    site->setExpanded(true);
    // Connected: each folder of the link is a child of the one before it. A folder the site
    // does not have stops the walk at the nearest one.
    QTreeWidgetItem* node = site;
    for (const QString& folder : folderParts(link.folder)) {
        const TNodeData* data = GetNodeData(node);
        if (!data || !(data->State & Expanded))
            return;  // the connection failed; the user was told why
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < node->childCount() && !next; ++i)
            if (node->child(i)->text(0) == folder)
                next = node->child(i);
        if (!next) {
            ShowError(UiText("站台上找不到資料夾 %1").arg(QString::fromStdString(link.folder)));
            break;
        }
        node = next;
        FolderTreeView->setCurrentItem(node);
        node->setExpanded(true);
    }
    FolderTreeView->scrollToItem(node);
}

void TMainForm::FtpSiteOptionsClick()
{
    QTreeWidgetItem* node = selectedNode();
    const TNodeData* data = node ? GetNodeData(node) : nullptr;
    if (!data || data->RootKind != FtpRoot || !data->has(Computer))
        return;
    TFtpOptionsForm form(this);
    form.setFont(SettingsFont(SetupInfo.FontName, SetupInfo.FontSize));
    form.ShowError = ShowError;
    form.ShowFor(node);
}

void TMainForm::FTP1Click() { expandFtpNodes(Folder); }
void TMainForm::FTP2Click() { expandFtpNodes(0); }

void TMainForm::expandFtpNodes(uint16_t stopAttribute)
{
    // The tree has no branch of its own for FTP: sites and their stored folders lie among
    // the bookmarks and the expanded network. Each loaded FTP subtree is opened, and the
    // way down to it; nothing is read from the store or a server on the way.
    FolderTreeView->setUpdatesEnabled(false);
    if (!m_topRoot->isExpanded())
        m_topRoot->setExpanded(true);
    std::vector<QTreeWidgetItem*> pending{m_topRoot};
    while (!pending.empty()) {
        QTreeWidgetItem* node = pending.back();
        pending.pop_back();
        const TNodeData* data = GetNodeData(node);
        if (!data || !(data->State & Expanded))
            continue;
        for (int i = 0; i < node->childCount(); ++i) {
            QTreeWidgetItem* child = node->child(i);
            const TNodeData* childData = GetNodeData(child);
            if (!childData || childData->RootKind != FtpRoot) {
                pending.push_back(child);
                continue;
            }
            for (QTreeWidgetItem* above = node; above; above = above->parent())
                above->setExpanded(true);
            expandLevels(child, stopAttribute);
        }
    }
    FolderTreeView->setUpdatesEnabled(true);
}

void TMainForm::FTPListPopupMenuPopup()
{
    findChild<QAction*>(QStringLiteral("FTPProperties"))->setEnabled(firstSelectedRow() >= 0);
}

void TMainForm::FTPExploreClick()
{
    QTreeWidgetItem* node = m_shownNode;
    const TNodeData* data = shownData();
    if (!data || data->RootKind != FtpRoot)
        return;
    // A selected folder item is the folder to open, as in the other lists.
    const int row = firstSelectedRow();
    if (row >= 0 && isFolderRow(FileListView->model()->item(row))) {
        const QString caption = FileListView->model()->item(row).Caption;
        QTreeWidgetItem* folder = nullptr;
        for (int i = 0; i < node->childCount() && !folder; ++i)
            if (node->child(i)->text(0) == caption && GetNodeData(node->child(i)))
                folder = node->child(i);
        if (folder)
            node = folder;
    }
    const TNodeData* target = GetNodeData(node);
    QPointer<TFTPEnumForm> window = siteWindow(target);
    if (!window) {
        QTreeWidgetItem* site = ftpSiteOf(node);
        if (site != node || !site) {
            ShowError(QString::fromStdString(
                FormatMessageId(kStrSiteNotConnected, site ? site->text(0).toStdString() : node->text(0).toStdString())));
            return;
        }
        // A site not connected yet connects, which lists its root in its window.
        FolderTreeView->setCurrentItem(site);
        site->setExpanded(true);
        window = siteWindow(GetNodeData(site));
        if (!window)
            return;
    } else {
        refreshFtpNode(node);
    }
    if (window) {
        window->show();
        window->raise();
        window->activateWindow();
    }
}

void TMainForm::FTPPropertiesClick()
{
    const TNodeData* data = shownData();
    if (!data || data->RootKind != FtpRoot)
        return;
    const TFTPEnumForm* window = siteWindow(data);
    std::vector<TFtpItemFacts> items;
    for (const QModelIndex& index : FileListView->selectionModel()->selectedRows()) {
        const TListItem& row = FileListView->model()->item(index.row());
        const FtpEntry* entry = window ? window->ListedEntry(data->RemoteName, row.Caption.toStdString()) : nullptr;
        if (entry) {
            items.push_back(FtpItemFactsOf(*entry));
            continue;
        }
        // Not listed while connected (the cached view): what the list shows.
        TFtpItemFacts facts;
        facts.name = row.Caption;
        facts.folder = isFolderRow(row);
        facts.size = facts.folder ? -1 : int64_t(row.StateIndex);
        facts.modified = row.SubItems.value(4);
        items.push_back(facts);
    }
    if (items.empty())
        return;
    QTreeWidgetItem* site = ftpSiteOf(m_shownNode);
    QString siteText = site ? site->text(0) : QString();
    if (!data->Host.empty() && siteText != QString::fromStdString(data->Host))
        siteText += QStringLiteral(" (%1)").arg(QString::fromStdString(data->Host));
    auto* form = new TFtpPropertiesForm(this, siteText, QString::fromStdString(data->RemoteName), items);
    form->setFont(SettingsFont(SetupInfo.FontName, SetupInfo.FontSize));
    form->show();
}
