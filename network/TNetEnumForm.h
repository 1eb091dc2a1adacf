#pragma once
#include <QPointer>
#include <QTreeWidget>
#include <QWidget>

#include <functional>
#include <string>

class QEventLoop;
class QLabel;
class QPushButton;
class QTimer;
class QTreeWidgetItem;
class TObjFindFiles;
class TObjNetEnum;
class TWorkerThread;
struct TNodeData;

// The small window of one network expansion: it runs the worker for one tree node (the
// network enumerator for networks, workgroups and computers, the folder enumerator for
// shares and their folders), shows the time it has taken, is listed in the task list while
// it runs, hangs the results into the tree and closes itself. A share that refuses the
// logon is connected with the stored password or with one the user types, then listed
// again by the same window.
//
// Whatever way the window ends (done, cancelled, stopped from the task list), the node is
// left idle and, unless it got children, expandable again; the window's one task row goes
// with it. A stopped worker is abandoned, never killed: it frees itself when its blocking
// call returns and reaches no window after that.
class TNetEnumForm : public QWidget {
    Q_OBJECT
public:
    explicit TNetEnumForm(QWidget* parent = nullptr);
    ~TNetEnumForm() override;

    /// Starts the expansion of `node`; the two flags are the main window's (update
    /// allowed, cleared while the tree changes; update running, set while records are
    /// written).
    void StartEnum(QTreeWidgetItem* node, bool& updateAllowed, bool& updateRunning);
    /// The task list's stop: abandons the worker, leaves the node expandable and closes.
    void ForceStop();

    /// The worker of this expansion while it runs, or null. Hold it weakly: it frees
    /// itself, also once abandoned.
    TWorkerThread* worker() const;

    bool busy() const { return m_busy; }
    int taskId() const { return m_taskId; }
    QTreeWidgetItem* treeNode() const { return m_node; }
    QString title() const { return m_title; }

    /// Called after new children were hung in (and after a share was connected).
    std::function<void(TNetEnumForm*)> OnFinished;
    /// Called when the network worker failed on the node, with its error code and text;
    /// true when the caller offered something else on the node (its cached folders), which
    /// then keeps its children and gets no message box.
    std::function<bool(TNetEnumForm*, uint32_t code, const QString& error)> OnNetEnumFailed;
    /// Asks for the credentials of `location`, pre-filled with `user` and `password`;
    /// false when cancelled. `remember` is the dialog's "記住密碼". Replaceable for tests.
    std::function<bool(const std::string& location, std::string& user, std::string& password, bool& remember)>
        AskCredentials;
    /// Boxes and questions; replaceable for tests. AskQuestion answers true for Yes.
    std::function<bool(const QString&)> AskQuestion;
    std::function<void(const QString&)> ShowError;
    std::function<void(const QString&)> ShowInformation;

    /// How long discovery listens (the network worker's wait), shorter in tests.
    int DiscoveryWaitMs;
    /// The program of the NetBIOS browse; empty for the default.
    std::string BrowseProgram;
    /// Which discovery sources the network worker listens to; all by default.
    unsigned DiscoverySources = ~0u;

    QPushButton* BitBtn1 = nullptr;
    QPushButton* CancelBitBtn = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* ElapsedTimeLabel = nullptr;
    QTimer* Timer = nullptr;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void BitBtn1Click();
    void CancelBitBtnClick();
    void TimerTimer();
    void NetEnumDone(TWorkerThread* sender);
    void FolderListDone(TWorkerThread* sender);

    void placeOnScreen();
    void addTask();
    /// Connects to the share of the node with stored or typed credentials; true when
    /// connected. Ends early (false) when the window is stopped meanwhile.
    bool connectShare();
    /// Tries one logon to the share; the Win32 code (0 when connected).
    int tryLogon(const std::string& user, const std::string& password);
    /// Abandons the running worker, whichever it is.
    void abandonWorker();
    /// The node after an expansion that added nothing: idle, not expanded, expandable.
    void leaveNodeExpandable();
    /// The log line and, when the task list is hidden, the box.
    void report(const QString& error, bool asError);
    void beginTreeChange();
    void endTreeChange();
    /// Closes the window for good (it is idle by then).
    void finish();
    bool treeAlive() const { return m_node && m_tree; }

    int m_taskId = 0;
    bool m_busy = false;
    bool m_inConnect = false;
    QString m_askWhy;  // why the password dialog is shown, in its first sentence
    bool m_stopRequested = false;
    bool m_finished = false;
    QString m_title;
    QPointer<TObjNetEnum> m_netWorker;
    QPointer<TObjFindFiles> m_folderWorker;
    double m_startTime = 0;
    bool* m_updateRunning = nullptr;
    bool* m_updateAllowed = nullptr;
    TNodeData* m_data = nullptr;
    QTreeWidgetItem* m_node = nullptr;
    QPointer<QTreeWidget> m_tree;
    QPointer<QWidget> m_passDialog;
    QPointer<QEventLoop> m_logonWait;
};
