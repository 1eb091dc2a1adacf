#pragma once
#include <QMainWindow>
#include <QHash>
#include <QIcon>
#include <array>

class QAction;
class QActionGroup;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QThread;
class QToolBar;
class QToolButton;
class QTreeWidget;
class TFormPosSaver;
class TListView;
class TSplitter;
class TStatusBar;

// Joined when the task list, the drive table and the shell object land: until then the
// window holds none and the commands that need them are disabled.
class TObjDisk;
class TObjShell;

// The main window: a folder tree on the left, the file list on the right, tool bars over
// them and a status bar below. Its commands are spread over files by concern: the menus in
// MainMenu.cpp, the tool bars in ToolBars.cpp, the context menus in ContextMenus.cpp, the
// view commands and the settings in ViewCommands.cpp.
class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    /// Fixed worker slots; at most one running worker in each.
    enum WorkerSlot { LocalDirSlot, CacheDirSlot, NodeDirSlot, WatchDiskSlot, FlatLocalDirSlot, FlatCacheDirSlot, WorkerSlotCount };

    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    /// Pushes the settings record into the controls.
    void ApplySettings();
    /// Tells every running worker to stop (without waiting) and empties its slot.
    void StopWorkers();
    /// Shows the number of running shell jobs in panel 4 and of listed tasks in panel 3.
    void UpdateTaskCounts();

    TStatusBar* statusBarPanels() const { return StatusBar; }
    TSplitter* plainSplitter() const { return PlainSplitter; }
    TListView* fileListView() const { return FileListView; }
    TFormPosSaver* formPosSaver() const { return FormPosSaver; }
    /// The left pane width the window opens with (250 unless a whole number was stored).
    int storedLeftPaneWidth() const;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    QMenu* createPopupMenu() override { return nullptr; }

private:
    // Window events.
    void FormCreate();
    void FormShow();
    bool FormClose();
    void FormDestroy();
    void ApplicationHint(const QString& hint);
    void PlainSplitterMoved();
    void StatusBarResize();
    void FolderTreeViewContextPopup(const QPoint& position);

    // Building the frame.
    void buildFrame();
    void buildMainMenu();
    void buildToolBars();
    void buildContextMenus();
    QAction* addCommand(QMenu* menu, const char* name, const char* caption, void (TMainForm::*handler)() = nullptr);
    QToolButton* addToolButton(const char* name, const char* caption, const char* hint, const char* iconName);
    QMenu* addViewStyleEntries(QMenu* menu, const char* namePrefix);
    bool otherWindowsOpen() const;

    // Commands.
    void X1Click();
    void F2Click();
    void N5Click();
    void N6Click();
    void N7Click();
    void N8Click();
    void S1Click();
    void N10Click();
    void N93Click();
    void ML1Click();
    void ML2Click();
    void ML3Click();
    void ML4Click();
    void A3Click();
    void I1Click();
    void A1Click();
    void setToolBarStyle(int style);
    void setViewStyleCommand(int style);
    void applyToolButtonLook();

public:
    // Components, named as the window's layout names them.
    QWidget* CoolBar = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QToolBar* ToolBar2 = nullptr;
    QToolButton* PriorToolButton = nullptr;
    QToolButton* NextToolButton = nullptr;
    QToolButton* ExpandToolButton = nullptr;
    QToolButton* ExploreToolButton = nullptr;
    QToolButton* CacheToolButton = nullptr;
    QToolButton* ThreadToolButton = nullptr;
    QToolButton* ToolButton10 = nullptr;
    QToolButton* ToolButton5 = nullptr;
    QToolButton* ToolButton6 = nullptr;
    QToolButton* ToolButton1 = nullptr;
    QToolButton* PreviewToolButton = nullptr;
    QToolButton* AddressToolButton = nullptr;
    QComboBox* AddressComboBox = nullptr;
    QWidget* LeftPanel = nullptr;
    QLabel* TreePanel = nullptr;
    QTreeWidget* FolderTreeView = nullptr;
    TSplitter* PlainSplitter = nullptr;
    QWidget* RightPanel = nullptr;
    QLabel* ListPanel = nullptr;
    TListView* FileListView = nullptr;
    QFrame* PreviewSplitter = nullptr;
    QWidget* PreviewPanel = nullptr;
    TStatusBar* StatusBar = nullptr;
    TFormPosSaver* FormPosSaver = nullptr;

    QMenu* PriorPopupMenu = nullptr;
    QMenu* NextPopupMenu = nullptr;
    QMenu* ExpandPopupMenu = nullptr;
    QMenu* FolderPopupMenu = nullptr;
    QMenu* BookmarkPopupMenu = nullptr;
    QMenu* FolderTreeViewPopupMenu = nullptr;
    QMenu* LocalListPopupMenu = nullptr;
    QMenu* NetListPopupMenu = nullptr;
    QMenu* FTPListPopupMenu = nullptr;
    QMenu* ToolMenuItem1 = nullptr;
    QMenu* ToolMenuItem2 = nullptr;
    QMenu* ToolMenuItem3 = nullptr;
    QMenu* ToolMenuItem4 = nullptr;

private:
    QAction* m_F2 = nullptr;
    QAction* m_N5 = nullptr;
    QAction* m_N6 = nullptr;
    QAction* m_N7 = nullptr;
    QAction* m_N8 = nullptr;
    QAction* m_S1 = nullptr;
    QAction* m_N10 = nullptr;
    std::array<QAction*, 4> m_viewStyleEntries{};
    QHash<QToolButton*, QIcon> m_buttonIcons;

    std::array<QThread*, WorkerSlotCount> m_workers{};
    TObjDisk* m_disk = nullptr;
    TObjShell* m_shell = nullptr;
    bool m_shown = false;
};

/// The program's main window, set while it exists.
extern TMainForm* MainForm;
