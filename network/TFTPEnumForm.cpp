#include "network/TFTPEnumForm.h"

#include "network/NetPassword.h"
#include "network/TPassForm.h"

#include "app/SetupInfo.h"
#include "local/ErrorText.h"
#include "local/ForceStopEvent.h"
#include "local/MessageBoxes.h"
#include "local/TImageLists.h"
#include "local/TThreadForm.h"
#include "platform/DateTime.h"
#include "platform/DriveMap.h"
#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "platform/TextCodec.h"
#include "platform/ThreadGuard.h"
#include "resources/StringTable.h"
#include "resources/UiText.h"
#include "store/NodeFile.h"
#include "store/NodePaths.h"
#include "store/NodeTree.h"
#include "store/TEditForm.h"

#include <QCloseEvent>
#include <QDialog>
#include <QEventLoop>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QStatusBar>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidgetItem>
#include <QPointer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <array>
#include <cstring>

int TFTPEnumForm::FormCount = 0;

namespace {

QString qtext(const std::string& text) { return QString::fromStdString(text); }

constexpr int kStateDisconnected = 1, kStateConnected = 2, kStateListing = 3;

struct CommandTexts {
    const char* success;
    const char* failure;
    const char* unsupported;
};

// By command code: the green line of a success, the red ones of a failure and of a command
// the server does not know.
const CommandTexts Texts[] = {
    {"變換目錄成功", "變換目錄失敗", "ChangeDir not supported by this server"},
    {"建立目錄成功", "建立目錄失敗", "MakeDir not supported by this server"},
    {"刪除檔名成功", "刪除檔案失敗", "Delete not supported by this server"},
    {"刪除目錄成功", "刪除目錄失敗", "RemoveDir not supported by this server"},
    {"列出目錄成功", "列出目錄失敗", "List not supported by this server"},
    {"更名成功", "更改名稱失敗", "Rename not supported by this server"},
    {nullptr, "上載失敗", "UploadRestore not supported by this server"},
    {nullptr, "下載失敗", "DownloadRestore not supported by this server"},
    {nullptr, "下載失敗", "Download not supported by this server"},
    {nullptr, "上傳失敗", "Upload not supported by this server"},
    {nullptr, "上傳失敗", "UploadAppend not supported by this server"},
    {"重新起始成功", "起始失敗", "Reinitialize not supported by this server"},
    {nullptr, "要求記憶體失敗", "Allocate not supported by this server"},
    {nullptr, "列出目錄失敗", "NList not supported by this server"},
    {nullptr, "執行命令失敗", "DoCommand not supported by this server"},
    {"得到目前的目錄", "發生未知的失敗", "CurrentDir not supported by this server"},
};

// The password prompt for a site that refused the stored credentials: it names the site's
// host, which the user cannot change here (the site's own dialog does that).
bool askCredentialsDialog(QWidget* owner, const std::string& host, const QString& why, std::string& user,
                          std::string& password, bool& remember)
{
    TPassForm form(owner);
    form.setReason(TPassForm::reasonText(QStringLiteral("ftp://") + qtext(host), why));
    form.setFont(owner->font());
    form.setUserName(qtext(user));
    form.setPassword(qtext(password));
    form.ComputerEdit->setEnabled(false);
    if (!form.showFor(qtext(host)))
        return false;
    user = form.userName().toStdString();
    password = form.password().toStdString();
    remember = form.remember();
    return true;
}

// A text cut to a field of the site block (width - 1 bytes of CP950).
std::string EncodeCutText(const std::string& text, size_t maxBytes) { return DecodeCP950(EncodeCP950Cut(text, maxBytes)); }

bool isLoginRefused(const FtpResult& result) { return result.reply == 530 || result.reply == 331 || result.reply == 332; }

} // namespace

TFTPEnumForm::TFTPEnumForm(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                          | Qt::WindowCloseButtonHint)
    , m_site(std::make_unique<FtpSite>())
{
    setObjectName(QStringLiteral("FTPEnumForm"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    resize(386, 209);
    QFont font(QStringLiteral("新細明體"));
    if (!SetupInfo.FontName.empty())
        font = QFont(qtext(SetupInfo.FontName), SetupInfo.FontSize > 0 ? SetupInfo.FontSize : -1);
    setFont(font);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    dfsToolBar1 = new QToolBar(this);
    dfsToolBar1->setObjectName(QStringLiteral("dfsToolBar1"));
    dfsToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    auto addButton = [this](const char* name, const QString& text, const char* icon) {
        auto* button = new QToolButton(dfsToolBar1);
        button->setObjectName(QString::fromLatin1(name));
        button->setText(text);
        button->setIcon(QIcon::fromTheme(QString::fromLatin1(icon)));
        button->setAutoRaise(true);
        button->setMinimumSize(39, 39);
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        dfsToolBar1->addWidget(button);
        return button;
    };
    ToolButton1 = addButton("ToolButton1", UiText("斷線"), "network-offline");
    ToolButton2 = addButton("ToolButton2", UiText("隱藏"), "go-down");
    ToolButton3 = addButton("ToolButton3", UiText("內容"), "document-properties");
    ToolButton4 = addButton("ToolButton4", QString(), "utilities-terminal");
    layout->addWidget(dfsToolBar1);
    LogRichEdit = new QTextEdit(this);
    LogRichEdit->setObjectName(QStringLiteral("LogRichEdit"));
    LogRichEdit->setReadOnly(true);
    layout->addWidget(LogRichEdit, 1);
    dfsStatusBar = new QStatusBar(this);
    dfsStatusBar->setObjectName(QStringLiteral("dfsStatusBar"));
    dfsStatusBar->setSizeGripEnabled(false);
    StatusPanel0 = new QLabel(dfsStatusBar);
    StatusPanel1 = new QLabel(dfsStatusBar);
    StatusPanel1->setFixedWidth(50);
    dfsStatusBar->addWidget(StatusPanel0, 1);
    dfsStatusBar->addWidget(StatusPanel1);
    layout->addWidget(dfsStatusBar);

    connect(ToolButton1, &QToolButton::clicked, this, &TFTPEnumForm::CancelBitBtnClick);
    connect(ToolButton2, &QToolButton::clicked, this, &TFTPEnumForm::BitBtn1Click);
    connect(ToolButton3, &QToolButton::clicked, this, &TFTPEnumForm::ToolButton3Click);
    connect(ToolButton4, &QToolButton::clicked, this, &TFTPEnumForm::ToolButton4Click);

    AskQuestion = [this](const QString& text) { return ShowMessageText(this, text, MsgQuestion) == IdYes; };
    ShowError = [this](const QString& text) { ShowMessageText(this, text, MsgError); };
    ShowInformation = [this](const QString& text) { ShowMessageText(this, text, MsgInformation); };
    AskCredentials = [this](std::string& user, std::string& password, bool& remember) {
        return askCredentialsDialog(this, m_siteData ? m_siteData->Host : std::string(), m_askWhy, user, password,
                                    remember);
    };

    // Placement: centred, each further window 10 pixels down and to the right.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move((area.width() - width()) / 2 + 10 * FormCount - 20, (area.height() - height()) / 2 + 10 * FormCount - 20);
    }
    ++FormCount;

    m_thread = new QThread(this);
    m_threadContext = new QObject;
    m_threadContext->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_threadContext, &QObject::deleteLater);
    m_thread->start();
}

TFTPEnumForm::~TFTPEnumForm()
{
    --FormCount;
    m_site->client().cancel = true;
    m_thread->quit();
    m_thread->wait();
}

FtpResult TFTPEnumForm::run(const std::function<FtpResult(FtpSite&)>& job)
{
    auto state = std::make_shared<std::pair<FtpResult, bool>>();
    QEventLoop loop;
    QPointer<QEventLoop> waiting(&loop);
    FtpSite* site = m_site.get();
    ++m_running;
    QMetaObject::invokeMethod(m_threadContext, [state, job, site, waiting, this] {
        FtpResult result;
        RunGuarded([&] { result = job(*site); }, [&](const std::string& message) {
            result = FtpResult();
            result.error = message;
        });
        QMetaObject::invokeMethod(this, [state, result, waiting] {
            state->first = result;
            state->second = true;
            if (waiting)
                waiting->quit();
        }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
    while (!state->second)
        loop.exec();
    --m_running;
    return state->first;
}

QString TFTPEnumForm::logText() const { return LogRichEdit->toPlainText(); }

void TFTPEnumForm::appendLog(const QString& text, const QColor& color)
{
    // Inserted as plain text: append() would read a name like "<img src=...>" as markup.
    QTextCursor cursor(LogRichEdit->document());
    cursor.movePosition(QTextCursor::End);
    if (!LogRichEdit->document()->isEmpty())
        cursor.insertBlock();
    QTextCharFormat format;
    format.setForeground(color);
    cursor.insertText(text, format);
    LogRichEdit->setTextCursor(cursor);
}

void TFTPEnumForm::logResult(FtpCommand command, const FtpResult& result)
{
    const int code = static_cast<int>(command);
    const bool known = code >= 0 && code < int(std::size(Texts));
    if (result.ok) {
        if (known && Texts[code].success)
            appendLog(UiText(Texts[code].success), LogGreen);
        return;
    }
    if (result.cancelled)
        return;
    if (result.unsupported) {
        if (known)
            appendLog(QString::fromUtf8(Texts[code].unsupported), LogRed);
        return;
    }
    appendLog(UiText(known ? Texts[code].failure : "發生未知的失敗"), LogRed);
    if (!result.error.empty())
        appendLog(QString::number(result.reply) + QLatin1Char(' ') + qtext(result.error), LogRed);
}

void TFTPEnumForm::setSiteStateImage(int image)
{
    if (!m_siteNode)
        return;
    m_siteNode->setData(0, StateIndexRole, image);
    if (m_siteData)
        m_siteData->StateIndex = image;
}

FtpResult TFTPEnumForm::connectWithCredentials()
{
    FtpSettings settings;
    settings.host = m_block.Host;
    settings.port = m_block.Port;
    settings.user = m_block.User;
    settings.password = m_block.Password;
    settings.proxyHost = m_block.ProxyHost;
    settings.proxyPort = m_block.ProxyPort;
    const FtpSiteOptions options = ReadFtpSiteOptions(NativePath(m_siteData->StoreDir + m_siteData->Key));
    settings.passive = options.passive;
    // A site stored without its password: ask for it rather than let the server refuse
    // and call it a wrong one. Anonymous logons carry no password of their own.
    if (settings.password.empty() && !settings.user.empty() && settings.user != "anonymous"
        && settings.user != "ftp") {
        std::string user = settings.user, password;
        bool remember = false;
        m_askWhy = UiText("站台沒有儲存密碼。");
        if (!AskCredentials(user, password, remember)) {
            FtpResult cancelled;
            cancelled.cancelled = true;
            return cancelled;
        }
        settings.user = m_block.User = EncodeCutText(user, 63);
        settings.password = m_block.Password = EncodeCutText(password, 63);
        if (remember)
            WriteFtpSiteAttachment(*m_siteData, m_block);
    }
    for (;;) {
        const FtpResult result = run([settings, options](FtpSite& site) { return site.connect(settings, options.encoding); });
        if (result.ok || !isLoginRefused(result))
            return result;
        // Refused: ask again as often as the user wants to try.
        if (!AskQuestion(UiText("使用者名稱或密碼錯誤,重新輸入?")))
            return result;
        std::string user = settings.user, password = settings.password;
        bool remember = false;
        m_askWhy = UiText("伺服器拒絕了目前的登入。");
        if (!AskCredentials(user, password, remember))
            return result;
        settings.user = m_block.User = EncodeCutText(user, 63);
        settings.password = m_block.Password = EncodeCutText(password, 63);
        if (remember)
            WriteFtpSiteAttachment(*m_siteData, m_block);
    }
}

bool TFTPEnumForm::ConnectSite(QTreeWidgetItem* site, bool& updateAllowed, bool& updateRunning)
{
    m_siteNode = site;
    m_siteData = GetNodeData(site);
    m_updateAllowed = &updateAllowed;
    m_updateRunning = &updateRunning;
    setWindowTitle(site->text(0));
    m_siteData->SiteWindow = this;
    m_siteData->State = 0;
    m_siteData->RemoteName = "\\";
    m_currentFolder = "\\";
    if (ThreadForm)
        m_taskId = ThreadForm->AddTask(site->text(0), UiString(33078), this, UiString(33079));
    try {
        m_block = ReadFtpSiteAttachment(*m_siteData);
    } catch (const std::exception& error) {
        ShowError(caption() + QStringLiteral("\r\n") + QString::fromUtf8(error.what()));
        m_connected = false;
        close();
        return false;
    }
    // The pair holds what this connection lists: one a crash left behind would be read
    // in place of the folders listed now.
    dropStoredListings();
    show();
    m_busy = true;
    const FtpResult result = connectWithCredentials();
    m_busy = false;
    if (!result.ok) {
        // The box names the site: with several sites open, a bare reply says nothing.
        if (!result.cancelled)
            ShowError(caption() + QStringLiteral(" (") + qtext(m_block.Host) + QStringLiteral(")\r\n")
                      + QString::number(result.reply) + QLatin1Char(' ') + qtext(result.error));
        m_connected = false;
        close();
        return false;
    }
    setSiteStateImage(kStateConnected);
    m_connected = true;
    appendLog(UiString(33080) + qtext(m_block.Host), LogBlue);
    ListFolder(m_siteNode);
    return true;
}

const FtpEntry* TFTPEnumForm::ListedEntry(const std::string& folder, const std::string& name) const
{
    const auto listing = m_listed.find(remote(folder));
    if (listing == m_listed.end())
        return nullptr;
    const auto entry = listing->second->byName.find(name);
    return entry == listing->second->byName.end() ? nullptr : &listing->second->entries[entry->second];
}

int64_t TFTPEnumForm::knownSize(const std::string& remotePath) const
{
    int64_t size = -1;
    uint64_t generation = 0;
    // A listed name never holds "/": the last one ends the folder.
    const size_t slash = remotePath.rfind('/');
    if (slash != std::string::npos) {
        const auto listing = m_listed.find(slash == 0 ? std::string("/") : remotePath.substr(0, slash));
        if (listing != m_listed.end()) {
            const auto entry = listing->second->byName.find(std::string_view(remotePath).substr(slash + 1));
            if (entry != listing->second->byName.end()) {
                const FtpEntry& listed = listing->second->entries[entry->second];
                if (!listed.folder && listed.size >= 0) {
                    size = listed.size;
                    generation = listing->second->generation;
                }
            }
        }
    }
    const auto stamped = m_stampedSizes.constFind(qtext(remotePath));
    if (stamped != m_stampedSizes.cend() && stamped->second > generation)
        size = stamped->first;
    return size;
}

void TFTPEnumForm::ListFolder(QTreeWidgetItem* node)
{
    if (m_busy) {
        ShowInformation(caption() + QStringLiteral("\r\n") + UiString(33081));
        return;
    }
    TNodeData* record = GetNodeData(node);
    if (!record)
        return;
    setSiteStateImage(kStateListing);
    record->State = 0;
    m_busy = true;
    *m_updateAllowed = false;
    try {
        const std::string folder = remote(record->RemoteName);
        const double now = NowDateTime();
        std::vector<FtpEntry> entries;
        std::shared_ptr<ListedFolder> listing;
        std::vector<std::string> refused, badDates;
        // The entries become items and go into the site's listing files on the
        // conversation's thread as well: for a folder of thousands of entries that is
        // tens of milliseconds the window would otherwise stand still.
        const TNodeData target = *record;
        std::string writeError;
        bool changeFailed = false;
        TItemList asRead;
        m_listedFolder.clear();
        m_listedItems.clear();
        *m_updateRunning = true;
        // The file types' pictures are read while the server makes its listing.
        QTimer::singleShot(0, this, [] {
            TImageLists::prepareFileTypeIcons();
        });
        const FtpResult result = run([&](FtpSite& site) {
            FtpResult changed = site.changeDir(folder);
            if (!changed.ok) {
                changeFailed = true;
                return changed;
            }
            FtpResult listed;
            try {
                listed = site.listFolder(folder, now, entries, refused, &badDates);
            } catch (const std::exception& error) {
                FtpResult failed;
                failed.error = error.what();
                failed.reply = -1;
                return failed;
            }
            if (!listed.ok)
                return listed;
            TItemList items;
            items.reserve(entries.size());
            for (const FtpEntry& entry : entries) {
                TItemData item;
                SetItemPath(item, target.RemoteName + entry.name);
                item.Attributes = entry.folder ? FileAttributeDirectory : 0;
                item.Size = entry.folder || entry.size < 0 ? 0 : uint32_t(uint64_t(entry.size) & 0xFFFFFFFFu);
                item.Modified = entry.modified;
                items.push_back(item);
            }
            try {
                if (storeFolderListing(target, items))
                    FolderListingAsRead(items, target.RemoteName, asRead);
            } catch (const std::exception& error) {
                writeError = error.what();
                asRead.clear();
            }
            auto folderListing = std::make_shared<ListedFolder>();
            folderListing->entries = std::move(entries);
            folderListing->byName.reserve(folderListing->entries.size());
            for (size_t i = 0; i < folderListing->entries.size(); ++i)
                folderListing->byName.insert_or_assign(folderListing->entries[i].name, i);
            listing = std::move(folderListing);
            return listed;
        });
        *m_updateRunning = false;
        if (!asRead.empty()) {
            m_listedFolder = record->RemoteName;
            m_listedItems = std::move(asRead);
        }
        if (!result.ok && result.reply == -1)
            throw Exception(result.error);
        logResult(result.ok || changeFailed ? FtpCommand::ChangeDir : FtpCommand::List, result);
        if (!result.ok)
            throw Exception(result.error);
        logResult(FtpCommand::List, result);
        for (const std::string& name : refused)
            appendLog(UiText("拒絕不安全的名稱: ") + qtext(name), LogRed);
        for (const std::string& name : badDates)
            appendLog(qtext(UiFormat("拒絕日期不正確的項目: %1", {name})), LogRed);
        QStringList folders;
        if (listing) {
            for (const FtpEntry& entry : listing->entries)
                if (entry.folder)
                    folders << qtext(entry.name);
            listing->generation = ++m_generation;
            m_listed[folder] = std::move(listing);
        }
        std::sort(folders.begin(), folders.end(), [](const QString& a, const QString& b) {
            return QString::localeAwareCompare(a.toLower(), b.toLower()) < 0;
        });
        ClearNodeChildren(node);
        record->State = 0;
        const QIcon folderIcon = TImageLists::treeIcon(0);
        for (const QString& name : folders) {
            auto* child = new QTreeWidgetItem(node);
            child->setText(0, name);
            child->setData(0, ImageIndexRole, 0);
            child->setData(0, SelectedIndexRole, 1);
            child->setIcon(0, folderIcon);
            auto* data = new TNodeData;
            data->RootKind = FtpRoot;
            data->NodeAttributes = Folder;
            data->State = Idle;
            data->RemoteName = record->RemoteName + name.toStdString() + "\\";
            data->Host = record->Host;
            data->StoreDir = record->StoreDir;
            data->Key = record->Key;
            data->SiteWindow = this;
            BindNodeData(data, child);
            AddPlaceholderChild(child);
        }
        // A failed write leaves the folder nodes added.
        if (!writeError.empty())
            throw Exception(LoadStr(33083) + writeError);
        record->State |= Expanded;
        m_currentFolder = record->RemoteName;
        if (OnFinished)
            OnFinished(node);
    } catch (const std::exception& error) {
        ShowError(caption() + QStringLiteral("\r\n") + UiString(33084) + QString::fromUtf8(error.what()));
    }
    *m_updateAllowed = true;
    m_busy = false;
    record->State |= Idle;
    setSiteStateImage(m_connected ? kStateConnected : kStateDisconnected);
    if (m_closeRequested)
        close();
}

bool TFTPEnumForm::takeListedItems(const std::string& remoteName, TItemList& items)
{
    if (m_listedItems.empty() || remoteName != m_listedFolder)
        return false;
    items = std::move(m_listedItems);
    m_listedItems.clear();
    m_listedFolder.clear();
    return true;
}

void TFTPEnumForm::dropStoredListings()
{
    m_storedFolders.clear();
    m_foldedFolders.clear();
    m_listedFolder.clear();
    m_listedItems.clear();
    if (!m_siteData)
        return;
    for (const char* extension : {".IDX", ".LST"}) {
        const std::string file = m_siteData->StoreDir + m_siteData->Key + extension;
        if (FileExists(file))
            ::DeleteFile(file);
    }
}

bool TFTPEnumForm::storeFolderListing(const TNodeData& record, const TItemList& items)
{
    TItemData folderItem;
    SetItemPath(folderItem, record.RemoteName);
    const std::string folderBytes(ItemPathBytes(folderItem));
    const QByteArray folderKey = QByteArray::fromStdString(UpperAscii(folderBytes));
    if (!m_storedFolders.contains(folderKey)) {
        if (items.empty())
            return false;
        WriteFolderListing(items, record.StoreDir, record.Key, false);
        m_storedFolders.insert(folderKey);
        // A folder the reader takes for one stored before is read as that one.
        return m_foldedFolders.insert(FoldTextCase(ItemPath(folderItem))).second;
    }
    // Listed again (after a change on the server, a refresh): the index finds a folder's
    // first listing, so an appended second one would never be shown. The pair is written
    // anew with the other folders as they were and this one as it is now.
    std::vector<TItemList> folders;
    std::string current;
    bool started = false, skipping = false;
    ForEachListingEntry(record.StoreDir, record.Key, [&](std::string_view folder, const ListingEntry& entry) {
        if (!started || folder != current) {
            started = true;
            current = std::string(folder);
            skipping = UpperAscii(current) == folderKey.toStdString();
            if (!skipping)
                folders.emplace_back();
        }
        if (skipping)
            return;
        TItemData item;
        item.Size = entry.Size;
        item.Attributes = entry.Attributes;
        item.Modified = entry.Modified;
        const std::string path = current + std::string(entry.Name);
        std::memcpy(item.Path, path.data(), std::min(path.size(), sizeof item.Path - 1));
        folders.back().push_back(item);
    });
    if (!items.empty())
        folders.push_back(items);
    else
        m_storedFolders.remove(folderKey);
    ReplaceFolderListings(record.StoreDir, record.Key, folders);
    // The reader finds the first folder it takes for this one: shown from memory only when
    // no other stored folder is such a twin.
    const std::string folded = FoldTextCase(ItemPath(folderItem));
    int twins = 0;
    for (const TItemList& folder : folders)
        if (!folder.empty() && FoldTextCase(FolderPart(ItemPath(folder.front()))) == folded)
            ++twins;
    return !items.empty() && twins == 1;
}

bool TFTPEnumForm::event(QEvent* event)
{
    if (event->type() == ForceStopEventType()) {
        ForceStop();
        return true;
    }
    // The window stays on top of the others, which would also put it over a dialog that now
    // waits for the user (the password manager hid behind it): it gives up that place while
    // a modal dialog is open and takes it back when the dialog has closed.
    if (event->type() == QEvent::WindowBlocked || event->type() == QEvent::WindowUnblocked)
        keepBelowModalDialogs(event->type() == QEvent::WindowBlocked);
    return QWidget::event(event);
}

void TFTPEnumForm::keepBelowModalDialogs(bool blocked)
{
    QWindow* window = windowHandle();
    if (!window || !(windowFlags() & Qt::WindowStaysOnTopHint))
        return;
    // The platform window's flags change in place: the widget's own would hide and re-create it.
    window->setFlags(blocked ? window->flags() & ~Qt::WindowStaysOnTopHint : window->flags() | Qt::WindowStaysOnTopHint);
}

bool TFTPEnumForm::staysOnTop() const
{
    const QWindow* window = windowHandle();
    return window ? bool(window->flags() & Qt::WindowStaysOnTopHint) : bool(windowFlags() & Qt::WindowStaysOnTopHint);
}

void TFTPEnumForm::ForceStop()
{
    if (m_connected) {
        m_connected = false;
        m_abort = true;
        m_site->client().cancel = true;
    }
    m_closing = true;
    close();
}

void TFTPEnumForm::CancelBitBtnClick() { close(); }

void TFTPEnumForm::BitBtn1Click() { hide(); }

void TFTPEnumForm::closeEvent(QCloseEvent* event)
{
    if (m_connected && !m_closing && !m_closeRequested) {
        if (!AskQuestion(caption() + QStringLiteral("\r\n") + UiString(33075))) {
            event->ignore();
            return;
        }
    }
    if (m_running > 0) {
        // The conversation is inside a command: stop it, and close when it has returned.
        m_abort = true;
        m_site->client().cancel = true;
        if (!m_closeRequested)
            ShowInformation(UiString(33076));
        m_closeRequested = true;
        event->ignore();
        return;
    }
    event->accept();
    finishClose();
}

void TFTPEnumForm::finishClose()
{
    if (m_connected || m_site->client().connected()) {
        run([](FtpSite& site) {
            site.disconnect();
            FtpResult closed;
            closed.ok = true;
            return closed;
        });
    }
    setSiteStateImage(kStateDisconnected);
    m_connected = false;
    if (m_siteData) {
        m_siteData->SiteWindow = nullptr;
        ClearNodeChildren(m_siteNode);
        AddPlaceholderChild(m_siteNode);
        dropStoredListings();
    }
    if (ThreadForm && m_taskId)
        ThreadForm->RemoveTask(m_taskId);
    m_taskId = 0;
    QTreeWidgetItem* site = m_siteNode;
    m_siteNode = nullptr;
    m_siteData = nullptr;
    if (OnFinished && site)
        OnFinished(site);
    deleteLater();
}

void TFTPEnumForm::ToolButton3Click()
{
    if (!m_siteData)
        return;
    TEditForm editor(this);
    editor.setFont(font());
    editor.FtpCaption = m_siteNode->text(0).toStdString();
    editor.FtpHost = m_block.Host;
    editor.FtpUser = m_block.User;
    editor.FtpPassword = m_block.Password;
    editor.FtpProxy = m_block.ProxyHost;
    editor.FtpPort = m_block.Port;
    editor.FtpProxyPort = m_block.ProxyPort;
    editor.ShowPage(TEditForm::FtpPage, m_siteNode);
    if (!editor.Accepted)
        return;
    try {
        m_siteNode->setText(0, qtext(editor.FtpCaption));
        m_block.Host = EncodeCutText(editor.FtpHost, 127);
        m_block.User = EncodeCutText(editor.FtpUser, 63);
        m_block.Password = EncodeCutText(editor.FtpPassword, 63);
        m_block.ProxyHost = EncodeCutText(editor.FtpProxy, 127);
        m_block.Port = editor.FtpPort;
        m_block.ProxyPort = editor.FtpProxyPort;
        m_siteData->Caption = editor.FtpCaption;
        WriteNodeRecord(*m_siteData);
        WriteFtpSiteAttachment(*m_siteData, m_block);
    } catch (const std::exception& error) {
        ShowError(QString::fromUtf8(error.what()));
    }
}

void TFTPEnumForm::ToolButton4Click()
{
    bool accepted = false;
    const QString text = QInputDialog::getText(this, QString(), QString(), QLineEdit::Normal, QString(), &accepted);
    if (!accepted || !beginOperation())
        return;
    std::vector<std::string> lines;
    const std::string folder = text.toStdString();
    const FtpResult result = run([&](FtpSite& site) { return site.rawList(folder, lines); });
    logResult(FtpCommand::List, result);
    appendLog(text, LogTeal);
    for (const std::string& line : lines)
        appendLog(qtext(line), QColor(Qt::black));
    endOperation();
}
