#include "network/TNetEnumForm.h"

#include "app/SetupInfo.h"
#include "local/ErrorText.h"
#include "local/ForceStopEvent.h"
#include "local/MessageBoxes.h"
#include "local/TImageLists.h"
#include "local/TThreadForm.h"
#include "network/NetPassword.h"
#include "network/TObjNetEnum.h"
#include "network/TPassForm.h"
#include "platform/DateTime.h"
#include "platform/FileAccess.h"
#include "platform/NativeNames.h"
#include "platform/ServerNames.h"
#include "platform/SmbContext.h"
#include "platform/SmbFiles.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"
#include "resources/UiText.h"
#include "store/NodeFile.h"
#include "store/NodePaths.h"
#include "store/NodeTree.h"
#include "store/TObjFindFiles.h"
#include "platform/ThreadGuard.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <thread>

namespace {

enum : int {
    kStrNetwork = 33013, kStrConnecting = 33079, kStrReallyStop = 33095, kStrStopping = 33096,
    kStrExpandFailed = 33098,
};

constexpr int kClientWidth = 303, kClientHeight = 92;
const QString kLineBreak = QStringLiteral("\r\n");

QString qtext(const std::string& text) { return QString::fromStdString(text); }

// "hh:nn:ss" of a span of days.
QString elapsedText(double days)
{
    const long long seconds = std::llround(std::max(0.0, days) * 86400.0);
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// The part after the last backslash of a remote name without its trailing backslash.
std::string displayName(const std::string& remoteName)
{
    const std::string path = RemoveBackslash(remoteName);
    const size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool taskListVisible() { return ThreadForm && ThreadForm->isVisible(); }

int formsOnScreen()
{
    int count = 0;
    for (const QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isWindow() && widget->windowType() != Qt::Popup && widget->windowType() != Qt::ToolTip
            && widget->isVisible())
            ++count;
    return count;
}

} // namespace

TNetEnumForm::TNetEnumForm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , DiscoveryWaitMs(TObjNetEnum::kDiscoveryWaitMs)
{
    setObjectName(QStringLiteral("NetEnumForm"));
    setFixedSize(kClientWidth, kClientHeight);
    QFont font(QStringLiteral("新細明體"));
    if (!SetupInfo.FontName.empty())
        font = QFont(qtext(SetupInfo.FontName), SetupInfo.FontSize > 0 ? SetupInfo.FontSize : -1);
    setFont(font);

    Label1 = new QLabel(UiText("耗時"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    // The caption's width follows the language; the time starts where it ends.
    const int captionWidth = std::max(40, Label1->fontMetrics().horizontalAdvance(Label1->text()) + 4);
    Label1->setGeometry(16, 16, captionWidth, 20);
    ElapsedTimeLabel = new QLabel(QStringLiteral("00:00:00"), this);
    ElapsedTimeLabel->setObjectName(QStringLiteral("ElapsedTimeLabel"));
    ElapsedTimeLabel->setGeometry(std::max(64, 24 + captionWidth), 16, 120, 20);
    BitBtn1 = new QPushButton(UiText("隱藏"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(120, 52, 80, 28);
    CancelBitBtn = new QPushButton(UiText("放棄"), this);
    CancelBitBtn->setObjectName(QStringLiteral("CancelBitBtn"));
    CancelBitBtn->setGeometry(210, 52, 80, 28);
    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(1000);

    connect(BitBtn1, &QPushButton::clicked, this, &TNetEnumForm::BitBtn1Click);
    connect(CancelBitBtn, &QPushButton::clicked, this, &TNetEnumForm::CancelBitBtnClick);
    connect(Timer, &QTimer::timeout, this, &TNetEnumForm::TimerTimer);

    AskQuestion = [this](const QString& text) { return ShowMessageText(this, text, MsgQuestion) == IdYes; };
    ShowError = [this](const QString& text) { ShowMessageText(this, text, MsgError); };
    ShowInformation = [this](const QString& text) { ShowMessageText(this, text, MsgInformation); };
    AskCredentials = [this](const std::string& location, std::string& user, std::string& password, bool& remember) {
        TPassForm dialog(this);
        dialog.setFont(this->font());
        dialog.setUserName(qtext(user));
        dialog.setPassword(qtext(password));
        // A stop from the task list closes the dialog, as its cancel button would.
        m_passDialog = &dialog;
        // The server answered at an address only a discovery reply or an imported archive
        // gave: say which, since anyone can claim a name that way.
        std::string server;
        SplitUncPath(location, &server, nullptr);
        if (const ServerLocation where = LocateServer(server); !AddressIsVouchedFor(where.source))
            dialog.setWindowTitle(dialog.windowTitle() + QStringLiteral(" - ")
                                  + QString::fromStdString(UiFormat(where.source == ServerAddressSource::Imported
                                                                        ? "%1 由 %2 回應 (位址來自匯入的封存檔)"
                                                                        : "%1 由 %2 回應 (位址來自網路上的探索回覆)",
                                                                    {server, where.address})));
        dialog.setReason(TPassForm::reasonText(qtext(location), m_askWhy));
        const bool confirmed = dialog.showFor(qtext(location));
        remember = dialog.remember();
        if (confirmed) {
            user = dialog.userName().toStdString();
            password = dialog.password().toStdString();
        }
        return confirmed;
    };
    placeOnScreen();
}

TNetEnumForm::~TNetEnumForm()
{
    // Destroyed with its owner: the worker must not call back into a window that is gone.
    abandonWorker();
    if (ThreadForm && m_taskId)
        ThreadForm->RemoveTask(m_taskId);
}

void TNetEnumForm::placeOnScreen()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QSize area = screen->size();
    const int forms = formsOnScreen();
    int left = (area.width() - width()) / 2 + 10 * forms - 50;
    int top = (area.height() - height()) / 2 + 10 * forms - 50;
    if (left > area.width() - 100)
        left -= area.width() - 100;
    if (top > area.height() - 100)
        top -= area.height() - 100;
    move(left, top);
}

void TNetEnumForm::addTask()
{
    if (!ThreadForm)
        return;
    // A window restarted after connecting a share keeps one row: the earlier one goes.
    if (m_taskId)
        ThreadForm->RemoveTask(m_taskId);
    m_taskId = ThreadForm->AddTask(m_title, UiString(kStrNetwork), this, UiString(kStrConnecting));
}

TWorkerThread* TNetEnumForm::worker() const
{
    if (m_netWorker)
        return m_netWorker.data();
    return m_folderWorker.data();
}

void TNetEnumForm::StartEnum(QTreeWidgetItem* node, bool& updateAllowed, bool& updateRunning)
{
    m_node = node;
    m_tree = node->treeWidget();
    m_data = GetNodeData(node);
    m_updateAllowed = &updateAllowed;
    m_updateRunning = &updateRunning;
    m_title = node->text(0);
    setWindowTitle(m_title);
    m_data->State &= ~uint32_t(Idle);
    addTask();
    m_startTime = NowDateTime();
    ElapsedTimeLabel->setText(elapsedText(0));
    Timer->start();
    if (!SetupInfo.AutoHide)
        show();
    m_busy = true;
    if (m_data->has(Share) || m_data->has(Folder)) {
        auto* worker = new TObjFindFiles(m_data->RemoteName);
        worker->SetReceiver(this);
        worker->OnTerminate = [this](TWorkerThread* sender) { FolderListDone(sender); };
        m_folderWorker = worker;
        worker->StartListing();
    } else {
        auto* worker = new TObjNetEnum(m_data);
        worker->DiscoveryWaitMs = DiscoveryWaitMs;
        worker->BrowseProgram = BrowseProgram;
        worker->DiscoverySources = DiscoverySources;
        worker->SetReceiver(this);
        worker->OnTerminate = [this](TWorkerThread* sender) { NetEnumDone(sender); };
        m_netWorker = worker;
        worker->Start();
    }
}

void TNetEnumForm::TimerTimer()
{
    // Shown before its job starts, the window has no start time to count from.
    if (m_startTime > 0)
        ElapsedTimeLabel->setText(elapsedText(NowDateTime() - m_startTime));
}

void TNetEnumForm::BitBtn1Click() { hide(); }

void TNetEnumForm::CancelBitBtnClick() { close(); }

void TNetEnumForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Timer->start();
}

void TNetEnumForm::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    Timer->stop();
}

bool TNetEnumForm::event(QEvent* event)
{
    if (event->type() == ForceStopEventType()) {
        ForceStop();
        return true;
    }
    return QWidget::event(event);
}

void TNetEnumForm::closeEvent(QCloseEvent* event)
{
    if (m_finished || !m_busy) {
        event->accept();
        finish();
        return;
    }
    event->ignore();
    if (!AskQuestion(m_title + kLineBreak + UiString(kStrReallyStop)))
        return;
    setWindowTitle(UiString(kStrStopping) + m_title);
    ForceStop();
}

void TNetEnumForm::ForceStop()
{
    if (!m_busy)
        return;
    abandonWorker();
    if (treeAlive()) {
        leaveNodeExpandable();
        if (m_updateAllowed)
            *m_updateAllowed = true;
    }
    // From here on the window never touches the tree again, also when a password dialog
    // or a logon attempt is still on the stack below this call.
    m_node = nullptr;
    m_data = nullptr;
    m_busy = false;
    m_stopRequested = true;
    if (m_passDialog)
        m_passDialog->close();
    if (m_logonWait)
        m_logonWait->quit();
    if (!m_inConnect)
        finish();
}

void TNetEnumForm::abandonWorker()
{
    if (m_netWorker)
        m_netWorker->ForceStop();
    if (m_folderWorker)
        m_folderWorker->ForceStop();
    m_netWorker = nullptr;
    m_folderWorker = nullptr;
}

void TNetEnumForm::leaveNodeExpandable()
{
    m_data->State &= ~uint32_t(Expanded);
    m_data->State |= Idle;
    if (m_node->childCount() == 0)
        AddPlaceholderChild(m_node);
    m_node->setExpanded(false);
}

void TNetEnumForm::report(const QString& error, bool asError)
{
    if (ThreadForm)
        ThreadForm->AppendLog(m_title + QLatin1Char(':') + error);
    if (taskListVisible())
        return;
    const QString text = m_title + kLineBreak + error;
    asError ? ShowError(text) : ShowInformation(text);
}

void TNetEnumForm::beginTreeChange()
{
    *m_updateAllowed = false;
    if (m_tree)
        m_tree->setUpdatesEnabled(false);
}

void TNetEnumForm::endTreeChange()
{
    if (m_tree) {
        m_tree->setUpdatesEnabled(true);
        if (QTreeWidgetItem* selected = m_tree->currentItem())
            m_tree->scrollToItem(selected);
    }
    if (m_updateAllowed)
        *m_updateAllowed = true;
}

void TNetEnumForm::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_busy = false;
    Timer->stop();
    if (ThreadForm && m_taskId)
        ThreadForm->RemoveTask(m_taskId);
    m_taskId = 0;
    hide();
    deleteLater();
}

void TNetEnumForm::NetEnumDone(TWorkerThread* sender)
{
    auto* worker = static_cast<TObjNetEnum*>(sender);
    m_netWorker = nullptr;
    if (!treeAlive()) {
        finish();
        return;
    }
    // Names a server or discovery gave that could not name an entry: left out, and said so.
    if (ThreadForm)
        for (const std::string& refused : worker->Refused)
            ThreadForm->AppendLog(m_title + QLatin1Char(':') + qtext(refused));
    beginTreeChange();
    try {
        if (worker->Completed) {
            std::vector<TNodeData*> records = std::move(worker->Results);
            worker->Results.clear();
            std::vector<TNodeData*> stored;
            for (TNodeData* record : records) {
                // A key names the record's cache folder: one that cannot (a name of "(..)"
                // leaves ".." once the brackets go) is refused alone and said so, and the
                // others of the expansion are shown and stored as usual.
                if (const std::string fault = NameFault(record->Key);
                    (record->has(Container) || record->has(Computer)) && !fault.empty()) {
                    if (ThreadForm)
                        ThreadForm->AppendLog(m_title + QLatin1Char(':')
                                              + qtext(UiFormat("拒絕不安全的名稱: %1", {record->Caption.empty() ? record->RemoteName : record->Caption})
                                                      + " (" + fault + ")"));
                    delete record;
                    continue;
                }
                auto* child = new QTreeWidgetItem(m_node);
                record->Caption = displayName(record->RemoteName);
                if (record->has(Computer))
                    record->Host = m_node->text(0).toStdString();
                if (record->has(Computer)) {
                    record->ImageIndex = record->SelectedIndex = TImageLists::TreeComputer;
                } else if (record->has(Domain)) {
                    record->ImageIndex = record->SelectedIndex = TImageLists::TreeDomain;
                } else {
                    record->ImageIndex = TImageLists::TreeFolder;
                    record->SelectedIndex = TImageLists::TreeFolderOpen;
                }
                ShowNodeData(record, child);
                TImageLists::showTreeImages(child);
                // Workgroups and computers are stored in the node file their parent loads
                // its children from; shares are cached in their computer's listing files.
                if (record->has(Container)) {
                    AddPlaceholderChild(child);
                    stored.push_back(record);
                } else if (record->has(Folder)) {
                    AddPlaceholderChild(child);
                }
            }
            if (SetupInfo.AutoCache && !stored.empty()) {
                *m_updateRunning = true;
                try {
                    // The parent's folder exists only if the parent itself was stored.
                    ForceDirectories(stored.front()->StoreDir);
                    WriteNodeRecords(stored);
                } catch (const std::exception& failure) {
                    // The cache is a convenience: the live tree stands without it, and the
                    // log says why it was not kept.
                    if (ThreadForm)
                        ThreadForm->AppendLog(m_title + QLatin1Char(':') + QString::fromUtf8(failure.what()));
                }
                *m_updateRunning = false;
            }
            // A workgroup that could not be listed is logged for itself; the others stand.
            if (ThreadForm)
                for (const std::string& problem : worker->Problems)
                    ThreadForm->AppendLog(m_title + QLatin1Char(':') + qtext(problem));
            m_data->State |= Expanded;
            m_node->setExpanded(true);
            if (OnFinished)
                OnFinished(this);
        } else {
            const QString error = qtext(worker->ErrorText);
            const bool offered = OnNetEnumFailed && OnNetEnumFailed(this, worker->ErrorCode, error);
            if (!offered) {
                leaveNodeExpandable();
                if (worker->ErrorCode != Win32::AccessDenied)
                    report(error, false);
            } else if (ThreadForm) {
                ThreadForm->AppendLog(m_title + QLatin1Char(':') + error);
            }
        }
    } catch (const std::exception& failure) {
        ShowError(m_title + kLineBreak + UiString(kStrExpandFailed) + QString::fromUtf8(failure.what()));
    }
    endTreeChange();
    if (m_data)
        m_data->State |= Idle;
    finish();
}

void TNetEnumForm::FolderListDone(TWorkerThread* sender)
{
    auto* worker = static_cast<TObjFindFiles*>(sender);
    m_folderWorker = nullptr;
    if (!treeAlive()) {
        finish();
        return;
    }
    const bool logonRefused = !worker->Completed
        && (worker->ErrorCode == Win32::InvalidPassword || worker->ErrorCode == Win32::LogonFailure);
    if (logonRefused) {
        // The dialog comes before the tree is frozen: nothing of it changes meanwhile.
        const bool connected = connectShare();
        if (m_stopRequested) {
            finish();
            return;
        }
        if (connected) {
            StartEnum(m_node, *m_updateAllowed, *m_updateRunning);
            return;
        }
    }
    beginTreeChange();
    try {
        if (worker->Completed) {
            for (const QString& name : worker->Folders) {
                auto* child = new QTreeWidgetItem(m_node);
                child->setText(0, name);
                child->setData(0, ImageIndexRole, TImageLists::TreeFolder);
                child->setData(0, SelectedIndexRole, TImageLists::TreeFolderOpen);
                TImageLists::showTreeImages(child);
                TNodeData* record = NewNodeData(m_node);
                BindNodeData(record, child);
                record->NodeAttributes |= Folder | (m_data->NodeAttributes & Update);
                record->State = Idle;
                record->RemoteName = m_data->RemoteName + name.toStdString() + "\\";
                record->Host = m_data->Host;
                record->SiteWindow = nullptr;
                record->Key = SafeFileName(name.toStdString());
                AddPlaceholderChild(child);
            }
            m_data->State |= Expanded;
            m_node->setExpanded(true);
            if (OnFinished)
                OnFinished(this);
        } else {
            // Nothing was listed: the node can be expanded again once the share answers.
            leaveNodeExpandable();
            if (!logonRefused)
                report(worker->ErrorText, false);
        }
    } catch (const std::exception& failure) {
        *m_updateRunning = false;
        ShowError(m_title + kLineBreak + UiString(kStrExpandFailed) + QString::fromUtf8(failure.what()));
    }
    endTreeChange();
    m_data->State |= Idle;
    finish();
}

int TNetEnumForm::tryLogon(const std::string& user, const std::string& password)
{
    const std::string location = RemoveBackslash(m_data->RemoteName);
    std::string server, share;
    SplitUncPath(location, &server, &share);
    const std::string shareRoot = "\\\\" + server + "\\" + share + "\\";
    SmbCredentials::set("\\\\" + server + "\\" + share, user, password);

    // The logon runs on a thread of its own (its own SMB context, gone with it); the
    // window keeps handling events meanwhile. A window stopped meanwhile leaves the
    // thread to end by itself.
    struct Attempt {
        std::atomic<bool> done{false};
        int error = 0;
    };
    auto attempt = std::make_shared<Attempt>();
    QEventLoop loop;
    QPointer<QEventLoop> waiting(&loop);
    std::thread([attempt, shareRoot, waiting] {
        RunGuarded([&] {
            int error = 0;
            if (!smbpath::forEachEntry(shareRoot, [](FindEntry&&) { return false; }, &error))
                attempt->error = error ? error : int(Win32::LogonFailure);
        }, [&](const std::string&) { attempt->error = int(Win32::GenFailure); });
        attempt->done = true;
        QMetaObject::invokeMethod(qApp, [waiting] {
            if (waiting)
                waiting->quit();
        }, Qt::QueuedConnection);
    }).detach();
    m_logonWait = &loop;
    while (!attempt->done && !m_stopRequested)
        loop.exec();
    m_logonWait = nullptr;
    if (m_stopRequested)
        return int(Win32::LogonFailure);
    if (attempt->error)
        SmbCredentials::forget("\\\\" + server + "\\" + share);
    return attempt->error;
}

bool TNetEnumForm::connectShare()
{
    // A stop from the task list may come inside any dialog or wait below.
    m_inConnect = true;
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{m_inConnect};
    const std::string location = m_data->RemoteName;
    std::string user, password;
    bool connected = false;
    if (LookupNetPassword(location, user, password))
        connected = tryLogon(user, password) == 0;
    if (connected || m_stopRequested || !AskCredentials)
        return connected && !m_stopRequested;
    m_askWhy = UiText("伺服器拒絕了目前的登入。");
    for (;;) {
        bool remember = false;
        const bool confirmed = AskCredentials(location, user, password, remember);
        if (m_stopRequested || !confirmed)
            return false;
        const int error = tryLogon(user, password);
        if (m_stopRequested)
            return false;
        if (error == 0) {
            if (remember) {
                try {
                    StoreNetPassword(location, user, password);
                } catch (const std::exception& failure) {
                    report(QString::fromUtf8(failure.what()), true);
                }
            }
            if (OnFinished)
                OnFinished(this);
            return true;
        }
        report(qtext(SystemErrorText(error)), true);
        if (m_stopRequested)
            return false;
        m_askWhy = UiText("伺服器拒絕了剛才輸入的使用者名稱或密碼。");
    }
}
