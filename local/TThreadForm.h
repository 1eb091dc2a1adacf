#pragma once
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>

class QPlainTextEdit;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class TFormPosSaver;

// What the task list takes from the user's settings: the font of the dialogs and the look of
// the tool bars (style 0 flat, 1 raised, 2 hidden).
struct TTaskListLook {
    std::string FontName;
    int32_t FontSize = 0;
    int ButtonStyle = 0;
    bool ShowGlyph = true;
    bool ShowText = true;
};

// The task list ("行程"): one window for the whole run, listing the running task windows
// (network expansions, FTP sites) with show, hide and stop, and a log they share. Closing
// it only hides it. Its placement is kept in the registry key "...\Tamsel\Threads".
class TThreadForm : public QWidget {
    Q_OBJECT
public:
    /// FormCreate: counter 0, empty lists, ConfirmStop true. `look` answers the current
    /// settings, asked at creation (the font) and at every show (the tool bar); without it
    /// the window keeps Qt's defaults.
    explicit TThreadForm(QWidget* parent = nullptr, std::function<TTaskListLook()> look = {});
    ~TThreadForm() override;

    /// Lists a task window; returns its ID (1, 2, ... never reused in a run).
    int AddTask(const QString& name, const QString& kind, QWidget* window, const QString& state);
    /// Removes the row with this ID (if any) and calls OnTasksChanged in any case.
    void RemoveTask(int id);
    int TaskCount() const;
    /// Sends the stop message to every listed task window and waits for each.
    void StopAllTasks();
    /// Appends one line to the shared log.
    void AppendLog(const QString& line);

    /// The toolbar as the settings say: style 0 flat, 1 raised, 2 hidden; images and
    /// captions on or off. Every show applies the current settings.
    void ApplyToolBarStyle(int buttonStyle, bool showGlyph, bool showText);

    /// Whether `window` is one of the task window classes (class-name test).
    static bool IsTaskWindow(const QWidget* window);

    bool ConfirmStop = true;
    /// Set by the main window to its UpdateTaskCounts.
    std::function<void()> OnTasksChanged;
    /// The yes/no question by string number (IdYes or IdNo); replaceable for tests.
    std::function<int(QWidget* owner, int number)> AskQuestion;

    QToolBar* ToolBar;
    QToolButton* ToolButton3;
    QToolButton* ToolButton4;
    QToolButton* ToolButton5;
    QTreeWidget* ThreadListView;
    QPlainTextEdit* LogMemo;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void ToolButton1Click();
    void ToolButton2Click();
    void StopToolButtonClick();
    QWidget* windowOfRow(const QTreeWidgetItem* row) const;
    void sendForceStop(QWidget* window);

    int m_counter = 0;
    QStringList m_ids;
    QList<QPointer<QWidget>> m_windows;
    TFormPosSaver* m_posSaver;
    bool m_placementLoaded = false;
    std::function<TTaskListLook()> m_look;
};

/// The one task list of the run, created hidden at start-up after the main window; task
/// windows register with it and write into its log. Null before it exists.
extern TThreadForm* ThreadForm;
