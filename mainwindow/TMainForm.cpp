#include "mainwindow/TMainForm.h"

#include "app/SetupInfo.h"
#include "local/MessageBoxes.h"
#include "local/TObjDisk.h"
#include "local/TObjShell.h"
#include "local/TObjWatchDisk.h"
#include "local/TImageLists.h"
#include "local/TThreadForm.h"
#include "local/UndoLog.h"
#include "mainwindow/DragCursors.h"
#include "store/NodeTree.h"
#include "resources/StringTable.h"
#include "ui/TFormPosSaver.h"
#include "ui/THintStyle.h"
#include "ui/TListView.h"
#include "ui/TSplitter.h"
#include "ui/TStatusBar.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <charconv>
#include <string_view>
#include <exception>

TMainForm* MainForm = nullptr;

namespace {

constexpr int kDefaultLeftPaneWidth = 250;
constexpr int kHintPause = 100;       // ms before a hint appears
constexpr int kHintShortPause = 100;  // ms within which the next button's hint follows
constexpr int kHintHidePause = 2000;  // ms a hint stays up
// What the status bar keeps free right of panel 1.
constexpr int kStatusBarSlack = 20;
// How long closing waits for stopped task windows to end their running command.
constexpr int kTaskStopWaitMs = 10000;

QLabel* makeCaptionStrip(const char* name, QWidget* parent)
{
    auto* strip = new QLabel(parent);
    strip->setObjectName(QString::fromLatin1(name));
    strip->setFrameShape(QFrame::Panel);
    strip->setFrameShadow(QFrame::Raised);
    strip->setTextFormat(Qt::PlainText);
    strip->setIndent(4);
    return strip;
}

} // namespace

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QString::fromStdString(LoadStr(30000)));
    resize(800, 560);
    buildFrame();
    buildMainMenu();
    buildToolBars();
    buildContextMenus();
    FormPosSaver = new TFormPosSaver(this, kProgramKey);
    FormPosSaver->restore();
    MainForm = this;
    FormCreate();
}

TMainForm::~TMainForm()
{
    FormDestroy();
    // A window destroyed without being closed still frees its node records (freeing twice
    // does nothing: a freed node no longer holds its record).
    m_shownNode = nullptr;
    m_treeChanging = true;
    for (int i = 0; FolderTreeView && i < FolderTreeView->topLevelItemCount(); ++i)
        FreeNodeTree(FolderTreeView->topLevelItem(i));
    // The child widgets are destroyed after this object has stopped being a TMainForm, and
    // some of them still signal on the way out (an open tree editor closes): cut them off.
    for (QObject* child : findChildren<QObject*>())
        QObject::disconnect(child, nullptr, this, nullptr);
    // So do the application's focus and the clipboard while the window closes.
    QObject::disconnect(qApp, nullptr, this, nullptr);
    QObject::disconnect(QGuiApplication::clipboard(), nullptr, this, nullptr);
    // The list may still draw on the way out; its pictures go with this window's members.
    if (FileListView)
        FileListView->setImageLists(nullptr, nullptr);
    if (MainForm == this)
        MainForm = nullptr;
}

void TMainForm::buildFrame()
{
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("ClientArea"));
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    CoolBar = new QWidget(central);
    CoolBar->setObjectName(QStringLiteral("CoolBar"));
    auto* coolLayout = new QVBoxLayout(CoolBar);
    coolLayout->setContentsMargins(0, 0, 0, 0);
    coolLayout->setSpacing(0);
    ToolBar1 = new QToolBar(CoolBar);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar2 = new QToolBar(CoolBar);
    ToolBar2->setObjectName(QStringLiteral("ToolBar2"));
    for (QToolBar* bar : {ToolBar1, ToolBar2}) {
        bar->setMovable(false);
        bar->setFloatable(false);
        coolLayout->addWidget(bar);
    }
    layout->addWidget(CoolBar);

    auto* body = new QWidget(central);
    auto* bodyLayout = new QHBoxLayout(body);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    bodyLayout->setSpacing(0);
    PlainSplitter = new TSplitter(body);
    PlainSplitter->setObjectName(QStringLiteral("PlainSplitter"));

    LeftPanel = new QWidget(PlainSplitter);
    LeftPanel->setObjectName(QStringLiteral("LeftPanel"));
    auto* leftLayout = new QVBoxLayout(LeftPanel);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(0);
    TreePanel = makeCaptionStrip("TreePanel", LeftPanel);
    FolderTreeView = new QTreeWidget(LeftPanel);
    FolderTreeView->setObjectName(QStringLiteral("FolderTreeView"));
    FolderTreeView->setHeaderHidden(true);
    FolderTreeView->setContextMenuPolicy(Qt::CustomContextMenu);
    leftLayout->addWidget(TreePanel);
    leftLayout->addWidget(FolderTreeView, 1);

    RightPanel = new QWidget(PlainSplitter);
    RightPanel->setObjectName(QStringLiteral("RightPanel"));
    auto* rightLayout = new QVBoxLayout(RightPanel);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(0);
    ListPanel = makeCaptionStrip("ListPanel", RightPanel);
    FileListView = new TListView(RightPanel);
    FileListView->setObjectName(QStringLiteral("FileListView"));
    // An entry another program asked to see is selected as soon as the listing brings it.
    connect(FileListView->model(), &QAbstractItemModel::rowsInserted, this, [this] {
        if (!m_pendingEntry.isEmpty())
            selectPendingEntry();
    });
    rightLayout->addWidget(ListPanel);
    rightLayout->addWidget(FileListView, 1);

    PlainSplitter->addWidget(LeftPanel);
    PlainSplitter->addWidget(RightPanel);
    PlainSplitter->setStretchFactor(1, 1);
    bodyLayout->addWidget(PlainSplitter, 1);

    // The preview pane is part of the layout but this version keeps it hidden.
    PreviewSplitter = new QFrame(body);
    PreviewSplitter->setObjectName(QStringLiteral("PreviewSplitter"));
    PreviewSplitter->setFrameShape(QFrame::VLine);
    PreviewSplitter->hide();
    PreviewPanel = new QWidget(body);
    PreviewPanel->setObjectName(QStringLiteral("PreviewPanel"));
    PreviewPanel->hide();
    bodyLayout->addWidget(PreviewSplitter);
    bodyLayout->addWidget(PreviewPanel);
    layout->addWidget(body, 1);
    setCentralWidget(central);

    StatusBar = new TStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    setStatusBar(StatusBar);

    connect(PlainSplitter, &QSplitter::splitterMoved, this, &TMainForm::PlainSplitterMoved);
    connect(StatusBar, &TStatusBar::resized, this, &TMainForm::StatusBarResize);
    connect(FolderTreeView, &QWidget::customContextMenuRequested, this, &TMainForm::FolderTreeViewContextPopup);
}

void TMainForm::FormCreate()
{
    // The worker slots start empty.
    m_workers.fill(nullptr);
    m_driveWatchers.clear();
    m_disk = DriveSource ? std::make_unique<TObjDisk>(DriveSource) : std::make_unique<TObjDisk>();
    m_shell = new TObjShell(this);
    m_shell->ExploreHere = [this](const std::string& path) { goToFolder(path); };
    m_shell->OnCountChanged = [this] { UpdateTaskCounts(); };
    connect(ThreadToolButton, &QToolButton::clicked, this, &TMainForm::ThreadToolButtonClick);
    ThreadToolButton->setEnabled(true);
    ThreadToolButton->setCheckable(true);
    connect(ExploreToolButton, &QToolButton::clicked, this, &TMainForm::ExploreToolButtonClick);
    ExploreToolButton->setEnabled(true);
    connectFolderPopupMenu();
    connectToolCommands();
    connectSetupCommands();
    connectBrowsing();
    connectCachedView();
    connectNetwork();
    connectFtpCommands();
    connectOpenedCopies();
    connectBookmarkCommands();
    connectDragDrop();
    connectEditCommands();
    assignShortcuts();
    if (!qobject_cast<THintStyle*>(QApplication::style()))
        QApplication::setStyle(new THintStyle(kHintPause, kHintShortPause));
    for (QToolButton* button : findChildren<QToolButton*>())
        button->setToolTipDuration(kHintHidePause);
    ApplySettings();
}

void TMainForm::FormShow()
{
    const int leftWidth = storedLeftPaneWidth();
    PlainSplitter->setLeftPosition(leftWidth);
    PreviewSplitter->hide();
    PreviewPanel->hide();
    PlainSplitterMoved();
    try {
        BuildTree();
        SelectLocalPath(SetupInfo.StartDirectory);
    } catch (const std::exception& error) {
        ShowError(QString::fromUtf8(error.what()));
    }
    if (ThreadForm)
        ThreadForm->OnTasksChanged = [this] { UpdateTaskCounts(); };
    UpdateTaskCounts();
    StatusBar->setPanelWidth(0, leftWidth);
}

int TMainForm::storedLeftPaneWidth() const
{
    // A whole number as a person or another program may have written it: leading blanks
    // and a plus sign are allowed, nothing after the digits.
    const std::string stored = FormPosSaver->extraParam(1);
    std::string_view text = stored;
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    int width = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), width);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return kDefaultLeftPaneWidth;
    // A negative width would hide the tree for good.
    return std::max(0, width);
}

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

bool TMainForm::otherWindowsOpen() const
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window == this || !window->isVisible() || !window->isWindow())
            continue;
        const Qt::WindowType type = window->windowType();
        if (type == Qt::Popup || type == Qt::ToolTip || type == Qt::Desktop || type == Qt::SplashScreen)
            continue;
        // The task list stays open for the life of the program and does not count.
        if (window->objectName() == QLatin1String("ThreadForm"))
            continue;
        return true;
    }
    return false;
}

bool TMainForm::FormClose()
{
    // A hidden expansion or FTP window works on node records as much as a visible one.
    const bool tasks = ThreadForm && ThreadForm->TaskCount() > 0;
    if (otherWindowsOpen() || tasks) {
        if (AskQuestion(33059) != IdYes)
            return false;
        if (ThreadForm) {
            ThreadForm->StopAllTasks();
            // A site window inside a command closes when the command returns: the records
            // it holds are freed only after that.
            waitForTasksToEnd();
        }
    }
    if (ThreadForm && ThreadForm->TaskCount() > 0)
        return false;
    try {
        if (ThreadForm)
            ThreadForm->close();
        for (const QPointer<TObjWatchDisk>& watcher : m_driveWatchers) {
            if (!watcher)
                continue;
            watcher->Terminate();
            watcher->Wake();
        }
        m_driveWatchers.clear();
        StopWorkers();
        UpdateTimer->stop();
        m_shownNode = nullptr;
        m_treeChanging = true;
        for (int i = 0; i < FolderTreeView->topLevelItemCount(); ++i)
            FreeNodeTree(FolderTreeView->topLevelItem(i));
        FormPosSaver->setExtraParam(1, std::to_string(PlainSplitter->leftPosition()));
        FormPosSaver->save();
    } catch (const std::exception&) {
        // Nothing may keep the window from closing once the user agreed.
    }
    return true;
}

void TMainForm::waitForTasksToEnd()
{
    QElapsedTimer clock;
    clock.start();
    while (ThreadForm && ThreadForm->TaskCount() > 0 && clock.elapsed() < kTaskStopWaitMs) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (!FormClose()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void TMainForm::FormDestroy()
{
    // The widgets, the drop targets among them, go with the window. Jobs still running hold
    // the shell object as their receiver and find it gone, so they never call back into a
    // freed window.
    if (ThreadForm)
        ThreadForm->OnTasksChanged = nullptr;
    if (m_shell) {
        m_shell->OnCountChanged = nullptr;
        m_shell->OnOperationDone = nullptr;
        m_shell->OnCopyOpened = nullptr;
    }
    delete m_shell;
    m_shell = nullptr;
    m_disk.reset();
}

void TMainForm::StopWorkers()
{
    for (int slot = 0; slot < WorkerSlotCount; ++slot) {
        TWorkerThread*& worker = m_workers[slot];
        if (!worker)
            continue;
        // Never waited for: the worker sees the flag between steps and frees itself. The
        // drive watcher sleeps in its wait and must be woken to see it.
        worker->Terminate();
        if (slot == WatchDiskSlot)
            static_cast<TObjWatchDisk*>(worker)->Wake();
        worker = nullptr;
    }
}

void TMainForm::UpdateTaskCounts()
{
    const int shellJobs = m_shell ? m_shell->JobCount : 0;
    const int tasks = ThreadForm ? ThreadForm->TaskCount() : 0;
    StatusBar->setPanelText(4, QString::number(shellJobs));
    StatusBar->setPanelText(3, QString::number(tasks));
}

void TMainForm::ApplicationHint(const QString& hint)
{
    const int bar = hint.indexOf(QLatin1Char('|'));
    StatusBar->setPanelText(0, bar < 0 ? hint : hint.mid(bar + 1));
}

bool TMainForm::event(QEvent* event)
{
    // Hints go to panel 0, never as a temporary message over all panels.
    if (event->type() == QEvent::StatusTip) {
        ApplicationHint(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

void TMainForm::PlainSplitterMoved()
{
    StatusBar->setPanelWidth(0, PlainSplitter->leftPosition());
    StatusBarResize();
}

void TMainForm::StatusBarResize()
{
    const int rest = StatusBar->contentsRect().width() - StatusBar->panelWidth(0) - StatusBar->panelWidth(2)
        - StatusBar->panelWidth(3) - StatusBar->panelWidth(4) - kStatusBarSlack;
    StatusBar->setPanelWidth(1, rest);
}

void TMainForm::FolderTreeViewContextPopup(const QPoint& position)
{
    FolderTreeViewPopupMenu->popup(FolderTreeView->viewport()->mapToGlobal(position));
}
