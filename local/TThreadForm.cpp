#include "local/TThreadForm.h"

#include "local/ForceStopEvent.h"
#include "local/MessageBoxes.h"
#include "resources/StringTable.h"
#include "resources/UiText.h"
#include "ui/Fonts.h"
#include "ui/TFormPosSaver.h"
#include "ui/TimeText.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QIcon>
#include <QLocale>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSplitter>
#include <QTime>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kStrConfirmStop = 33102;
constexpr int kStrLanguage = 100;
constexpr const char* kPlacementKey = "Software\\Brightmoor\\Morvane\\Tamsel\\Threads";
constexpr int kIdColumn = 4;
constexpr int kToolBarHeight = 38;
// Screens at or above this density get the small toolbar font of the English build.
constexpr int kHighDpi = 100;

QString u(const char* text)
{
    return UiText(text);
}

} // namespace

TThreadForm* ThreadForm = nullptr;

TThreadForm::TThreadForm(QWidget* parent, std::function<TTaskListLook()> look)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowMinMaxButtonsHint),
      m_look(std::move(look))
{
    setWindowTitle(u("行程"));
    // The main window recognises the task list by this name.
    setObjectName(QStringLiteral("ThreadForm"));
    m_posSaver = new TFormPosSaver(this, kPlacementKey);
    AskQuestion = [](QWidget* owner, int number) { return ShowMessageId(owner, number, MsgQuestion); };
    if (m_look) {
        const TTaskListLook settings = m_look();
        if (!settings.FontName.empty() && settings.FontSize > 0)
            setFont(SettingsFont(settings.FontName, settings.FontSize));
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    ToolBar = new QToolBar(this);
    ToolBar->setFixedHeight(kToolBarHeight);
    ToolBar->setIconSize(QSize(32, 32));
    auto makeButton = [this](const char* caption, const char* hint, const char* icon) {
        auto* button = new QToolButton(ToolBar);
        button->setText(u(caption));
        button->setToolTip(u(hint));
        button->setStatusTip(u(hint));
        button->setIcon(QIcon::fromTheme(icon));
        ToolBar->addWidget(button);
        return button;
    };
    ToolButton3 = makeButton("顯示", "顯示資訊", "window-new");
    ToolButton4 = makeButton("隱藏", "隱藏資訊", "go-down");
    ToolButton5 = makeButton("中斷", "中斷行程", "process-stop");
    connect(ToolButton3, &QToolButton::clicked, this, &TThreadForm::ToolButton1Click);
    connect(ToolButton4, &QToolButton::clicked, this, &TThreadForm::ToolButton2Click);
    connect(ToolButton5, &QToolButton::clicked, this, &TThreadForm::StopToolButtonClick);
    layout->addWidget(ToolBar);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    ThreadListView = new QTreeWidget(splitter);
    ThreadListView->setRootIsDecorated(false);
    ThreadListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ThreadListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ThreadListView->setHeaderLabels({u("名稱"), u("類別"), u("執行時間"), u("狀態"), u("ID")});
    ThreadListView->setColumnWidth(0, 100);
    ThreadListView->setColumnWidth(1, 60);
    ThreadListView->setColumnWidth(2, 100);
    ThreadListView->setColumnWidth(kIdColumn, 100);
    LogMemo = new QPlainTextEdit(splitter);
    LogMemo->setReadOnly(true);
    splitter->addWidget(ThreadListView);
    splitter->addWidget(LogMemo);
    layout->addWidget(splitter, 1);
    ApplyToolBarStyle(0, true, true);
}

TThreadForm::~TThreadForm()
{
    if (ThreadForm == this)
        ThreadForm = nullptr;
    if (isVisible())
        m_posSaver->save();
}

bool TThreadForm::IsTaskWindow(const QWidget* window)
{
    return window && (window->inherits("TNetEnumForm") || window->inherits("TFTPEnumForm")
                      || window->inherits("TCrawlForm"));
}

int TThreadForm::AddTask(const QString& name, const QString& kind, QWidget* window, const QString& state)
{
    ++m_counter;
    const QString id = QString::number(m_counter);
    auto* row = new QTreeWidgetItem(ThreadListView);
    row->setText(0, name);
    row->setText(1, kind);
    row->setText(2, TimeOfDayText(QLocale::system(), QTime::currentTime()));
    row->setText(3, state);
    row->setText(kIdColumn, id);
    m_ids << id;
    m_windows << QPointer<QWidget>(window);
    if (OnTasksChanged)
        OnTasksChanged();
    return m_counter;
}

void TThreadForm::RemoveTask(int id)
{
    const QString text = QString::number(id);
    for (int i = 0; i < ThreadListView->topLevelItemCount();) {
        QTreeWidgetItem* row = ThreadListView->topLevelItem(i);
        if (row->text(kIdColumn) != text) {
            ++i;
            continue;
        }
        delete row;
        const qsizetype at = m_ids.indexOf(text);
        if (at >= 0) {
            m_ids.removeAt(at);
            m_windows.removeAt(at);
        }
    }
    if (OnTasksChanged)
        OnTasksChanged();
}

int TThreadForm::TaskCount() const
{
    return ThreadListView->topLevelItemCount();
}

QWidget* TThreadForm::windowOfRow(const QTreeWidgetItem* row) const
{
    const qsizetype at = m_ids.indexOf(row->text(kIdColumn));
    return at >= 0 ? m_windows.at(at).data() : nullptr;
}

void TThreadForm::sendForceStop(QWidget* window)
{
    QEvent stop(ForceStopEventType());
    QCoreApplication::sendEvent(window, &stop);
}

void TThreadForm::StopAllTasks()
{
    // Collect first: a stopped window closes and removes its row while we walk.
    QList<QPointer<QWidget>> targets;
    for (int i = 0; i < ThreadListView->topLevelItemCount(); ++i)
        targets << QPointer<QWidget>(windowOfRow(ThreadListView->topLevelItem(i)));
    for (const QPointer<QWidget>& window : targets)
        if (window && IsTaskWindow(window))
            sendForceStop(window);
}

void TThreadForm::AppendLog(const QString& line)
{
    LogMemo->appendPlainText(line);
}

void TThreadForm::ToolButton1Click()
{
    for (QTreeWidgetItem* row : ThreadListView->selectedItems()) {
        QWidget* window = windowOfRow(row);
        if (!IsTaskWindow(window))
            continue;
        if (window->isVisible()) {
            window->activateWindow();
            window->setFocus();
        } else {
            window->show();
        }
    }
}

void TThreadForm::ToolButton2Click()
{
    for (QTreeWidgetItem* row : ThreadListView->selectedItems()) {
        QWidget* window = windowOfRow(row);
        if (IsTaskWindow(window) && window->isVisible())
            window->hide();
    }
}

void TThreadForm::StopToolButtonClick()
{
    if (ConfirmStop) {
        if (!AskQuestion || AskQuestion(this, kStrConfirmStop) != IdYes)
            return;
        ConfirmStop = false;
    }
    QList<QPointer<QWidget>> targets;
    for (QTreeWidgetItem* row : ThreadListView->selectedItems())
        targets << QPointer<QWidget>(windowOfRow(row));
    for (const QPointer<QWidget>& window : targets)
        if (window && IsTaskWindow(window))
            sendForceStop(window);
}

void TThreadForm::ApplyToolBarStyle(int buttonStyle, bool showGlyph, bool showText)
{
    ToolBar->setVisible(buttonStyle != 2);
    Qt::ToolButtonStyle style = Qt::ToolButtonTextUnderIcon;
    if (!showText)
        style = Qt::ToolButtonIconOnly;
    else if (!showGlyph)
        style = Qt::ToolButtonTextOnly;
    for (QToolButton* button : {ToolButton3, ToolButton4, ToolButton5}) {
        if (buttonStyle == 0 || buttonStyle == 1)
            button->setAutoRaise(buttonStyle == 0);
        button->setToolButtonStyle(style);
    }
    if (QString::fromStdString(LoadStr(kStrLanguage)).toUpper() == "EN") {
        const QScreen* screen = this->screen();
        const bool dense = screen && screen->logicalDotsPerInch() >= kHighDpi;
        ToolBar->setFont(dense ? QFont("Small Fonts", 6) : QFont("MS Sans Serif", 8));
    }
}

void TThreadForm::closeEvent(QCloseEvent* event)
{
    event->ignore();
    hide();
}

void TThreadForm::showEvent(QShowEvent* event)
{
    if (!m_placementLoaded) {
        m_placementLoaded = true;
        m_posSaver->restore();
    }
    if (m_look) {
        const TTaskListLook settings = m_look();
        ApplyToolBarStyle(settings.ButtonStyle, settings.ShowGlyph, settings.ShowText);
    }
    QWidget::showEvent(event);
}

void TThreadForm::hideEvent(QHideEvent* event)
{
    // Only a window that was shown has a placement of its own to keep.
    if (m_placementLoaded)
        m_posSaver->save();
    QWidget::hideEvent(event);
}
