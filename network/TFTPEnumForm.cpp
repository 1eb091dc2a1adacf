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
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidgetItem>
#include <QPointer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

int TFTPEnumForm::FormCount = 0;

namespace {

QString qtext(const std::string& text) { return QString::fromStdString(text); }

constexpr int kStateDisconnected = 1, kStateConnected = 2, kStateListing = 3;

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

// A folder's listing as the conversation hands it over: how its commands went, what the
// listing book made of it, and its folders' names in the order the tree shows them.
struct FolderListed : FtpResult {
    bool changeFailed = false;
    FtpListingBook::Recorded recorded;
    QStringList folders;
};

// The listing of one folder, all of it on the conversation's thread: the commands, the
// entries becoming items and going into the site's listing files (for a folder of thousands
// of entries that is tens of milliseconds the window would otherwise stand still), the
// folders' order, and the lines of the log.
FolderListed listFolderJob(FtpSession& session, const std::string& folder, const std::string& siteFolder,
                           const std::string& storeDir, const std::string& key, double now)
{
    FolderListed listed;
    FtpResult& result = listed;
    std::vector<FtpEntry> entries;
    std::vector<std::string> refused, badDates;
    result = session.site.changeDir(folder);
    listed.changeFailed = !result.ok;
    if (result.ok) {
        try {
            result = session.site.listFolder(folder, now, entries, refused, &badDates);
        } catch (const std::exception& error) {
            result = FtpResult();
            result.error = error.what();
            result.reply = -1;
        }
    }
    // A listing the reader of the lines refused as a whole says so in the box alone.
    if (!result.ok && result.reply == -1)
        return listed;
    session.log.addResult(result.ok || listed.changeFailed ? FtpCommand::ChangeDir : FtpCommand::List, result);
    if (!result.ok)
        return listed;
    session.log.addResult(FtpCommand::List, result);
    for (const std::string& name : refused)
        session.log.add(UiText("拒絕不安全的名稱: ") + qtext(name), FtpLog::Red);
    for (const std::string& name : badDates)
        session.log.add(qtext(UiFormat("拒絕日期不正確的項目: %1", {name})), FtpLog::Red);
    listed.recorded = session.book.record(siteFolder, storeDir, key, std::move(entries));
    for (const FtpEntry& entry : listed.recorded.listing->entries)
        if (entry.folder)
            listed.folders << qtext(entry.name);
    std::sort(listed.folders.begin(), listed.folders.end(), [](const QString& a, const QString& b) {
        return QString::localeAwareCompare(a.toLower(), b.toLower()) < 0;
    });
    return listed;
}

} // namespace

TFTPEnumForm::TFTPEnumForm(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                          | Qt::WindowCloseButtonHint)
    , m_conversation(std::make_unique<FtpConversation>())
{
    m_windowThread.claim();
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

    // While an operation runs, what the conversation logged is shown on this timer.
    m_logTimer = new QTimer(this);
    connect(m_logTimer, &QTimer::timeout, this, &TFTPEnumForm::flushLog);
}

TFTPEnumForm::~TFTPEnumForm()
{
    --FormCount;
    // Stops and joins the conversation before the window's members go.
    m_conversation.reset();
}

void TFTPEnumForm::waitForConversation(FtpConversation::Job job, std::function<void(const std::string&)> failed)
{
    m_windowThread.check("the site window");
    // The one wait of an operation: the conversation runs it through, and the window keeps
    // handling events so that Stop and close reach it; everything else is refused as busy.
    auto done = std::make_shared<bool>(false);
    QEventLoop loop;
    QPointer<QEventLoop> waiting(&loop);
    ++m_running;
    m_logTimer->start(int(logFlushInterval.count()));
    m_conversation->post(std::move(job), std::move(failed), this, [done, waiting] {
        *done = true;
        if (waiting)
            waiting->quit();
    });
    while (!*done)
        loop.exec();
    --m_running;
    // Stopped only when no other operation waits further out.
    if (m_running == 0)
        m_logTimer->stop();
    flushLog();
}

QString TFTPEnumForm::logText() const { return LogRichEdit->toPlainText(); }

void TFTPEnumForm::appendLog(const QString& text, const QColor& color)
{
    // Through the log the conversation writes, after what it wrote before.
    m_conversation->log().add(text, color);
    flushLog();
}

void TFTPEnumForm::logResult(FtpCommand command, const FtpResult& result)
{
    m_conversation->log().addResult(command, result);
    flushLog();
}

void TFTPEnumForm::flushLog()
{
    m_windowThread.check("the site window's log");
    const std::vector<FtpLog::Line> lines = m_conversation->log().take();
    if (lines.empty())
        return;
    // Inserted as plain text: append() would read a name like "<img src=...>" as markup.
    QTextCursor cursor(LogRichEdit->document());
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    for (const FtpLog::Line& line : lines) {
        if (!LogRichEdit->document()->isEmpty())
            cursor.insertBlock();
        format.setForeground(line.color);
        cursor.insertText(line.text, format);
    }
    cursor.endEditBlock();
    LogRichEdit->setTextCursor(cursor);
    if (OnLogWritten)
        OnLogWritten(int(lines.size()));
}

void TFTPEnumForm::setSiteStateImage(int image)
{
    m_windowThread.check("the site window");
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
    settings.timeoutMs = serverSilenceMs;
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
        const FtpResult result = perform([settings, options](FtpSession& session) {
            return session.site.connect(settings, options.encoding);
        });
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
    dropStoredListings(false);
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
    appendLog(UiString(33080) + qtext(m_block.Host), FtpLog::Blue);
    ListFolder(m_siteNode);
    return true;
}

const FtpEntry* TFTPEnumForm::ListedEntry(const std::string& folder, const std::string& name) const
{
    m_windowThread.check("the site window's listings");
    const auto listing = m_listings.find(remote(folder));
    return listing == m_listings.end() ? nullptr : listing->second->find(name);
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
        const std::string siteFolder = record->RemoteName, storeDir = record->StoreDir, key = record->Key;
        const double now = NowDateTime();
        m_listedFolder.clear();
        m_listedItems.clear();
        *m_updateRunning = true;
        // The file types' pictures are read while the server makes its listing.
        QTimer::singleShot(0, this, [] {
            TImageLists::prepareFileTypeIcons();
        });
        FolderListed listed = perform([folder, siteFolder, storeDir, key, now](FtpSession& session) {
            return listFolderJob(session, folder, siteFolder, storeDir, key, now);
        });
        *m_updateRunning = false;
        if (!listed.recorded.asRead.empty()) {
            m_listedFolder = record->RemoteName;
            m_listedItems = std::move(listed.recorded.asRead);
        }
        if (!listed.ok)
            throw Exception(listed.error);
        m_listings[folder] = listed.recorded.listing;
        const QStringList& folders = listed.folders;
        const std::string writeError = listed.recorded.writeError;
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
    m_windowThread.check("the site window's listings");
    if (m_listedItems.empty() || remoteName != m_listedFolder)
        return false;
    items = std::move(m_listedItems);
    m_listedItems.clear();
    m_listedFolder.clear();
    return true;
}

void TFTPEnumForm::dropStoredListings(bool wait)
{
    m_listedFolder.clear();
    m_listedItems.clear();
    if (!m_siteData)
        return;
    const std::string storeDir = m_siteData->StoreDir, key = m_siteData->Key;
    const auto drop = [storeDir, key](FtpSession& session) {
        session.book.dropStored(storeDir, key);
        FtpResult dropped;
        dropped.ok = true;
        return dropped;
    };
    if (wait) {
        perform(drop);
        return;
    }
    // The conversation takes its jobs in order: the next one finds the pair gone.
    m_conversation->post([drop](FtpSession& session) { drop(session); }, [](const std::string&) {}, nullptr, {});
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
        m_conversation->cancel();
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
        m_conversation->cancel();
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
    // Disconnected whether or not the window counts itself connected: a connection that
    // failed halfway may hold the control connection still.
    perform([](FtpSession& session) {
        if (session.site.client().connected())
            session.site.disconnect();
        FtpResult closed;
        closed.ok = true;
        return closed;
    });
    setSiteStateImage(kStateDisconnected);
    m_connected = false;
    if (m_siteData) {
        m_siteData->SiteWindow = nullptr;
        ClearNodeChildren(m_siteNode);
        AddPlaceholderChild(m_siteNode);
        dropStoredListings(true);
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
    const std::string folder = text.toStdString();
    perform([folder, text](FtpSession& session) {
        std::vector<std::string> lines;
        const FtpResult result = session.site.rawList(folder, lines);
        session.log.addResult(FtpCommand::List, result);
        session.log.add(text, FtpLog::Teal);
        for (const std::string& line : lines)
            session.log.add(qtext(line), FtpLog::Black);
        return result;
    });
    endOperation();
}
