#pragma once
#include "local/TObjDisk.h"
#include "store/TNodeData.h"
#include "ui/TListModel.h"

#include <QColor>
#include <QHash>
#include <QIcon>
#include <QMainWindow>
#include <QPoint>
#include <QPointer>
#include <QStringList>

#include <array>
#include <functional>
#include <string>
#include <memory>
#include <vector>

class QAction;
class QActionGroup;
class QComboBox;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QFrame;
class QLabel;
class QMenu;
class QMouseEvent;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QTimer;
class QDrag;
class TDragCursors;
class TDropHighlight;
class TImageLists;
class TObjCacheDir;
class TObjLocalDir;
struct TNodeData;
class TFormPosSaver;
class TListView;
class TFTPEnumForm;
class TNetEnumForm;
struct FtpSiteBlock;
class TSplitter;
class TStatusBar;

class TObjShell;
class TOpenedCopies;
struct ServerStamp;
class TObjWatchDisk;
class UndoLog;
struct FileOperationOutcome;
class TWorkerThread;
struct DragSelection;
struct DropChoice;
struct FtpLink;

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
    /// Where new windows take their drives from; the machine's drive map when empty (tests
    /// give a fixed table).
    static inline TObjDisk::DriveSource DriveSource;
    TObjShell* shell() const { return m_shell; }
    /// The opened copies of server files that are watched for saves.
    TOpenedCopies* openedCopies() const { return m_openedCopies; }
    TObjDisk* disk() const { return m_disk.get(); }

    // The folder tree (FolderTree.cpp).
    /// The virtual path of a node: "local:\C:\Windows\" and the like.
    std::string NodeToPath(const QTreeWidgetItem* node) const;
    /// Selects the node of a tree path, loading the folders on the way; false when the
    /// path leads past what the tree holds (the nearest node is selected then).
    bool SelectPath(const std::string& path);
    /// Opens the local root down to a file-system path, loading folders on the way, and
    /// selects the deepest match. True when any part matched.
    bool SelectLocalPath(const std::string& path);
    /// Shows a share's folder (\\SERVER\SHARE\DIR\) in the tree: the share under the network
    /// root, loaded like a local folder down to DIR. True when the share node was reached.
    bool SelectSharePath(const std::string& path);
    void RefreshNode(QTreeWidgetItem* node, bool checkBusy);
    /// Opens the window at `path` as another program asks (StartSelection.cpp): a folder
    /// of this machine or a share, live; with `cached`, the folder in the cached view of
    /// the cached computer that holds it (the one captioned `computer`, when given).
    /// With `item`, that entry of the folder is selected in the list once the listing has it.
    void SelectOnStart(const std::string& path, bool cached, const std::string& computer,
                       const std::string& item = {});
    /// Opens the folder that holds `path` (a file or folder of this machine or a share) and
    /// selects it in the list once the listing brings it; with `properties` then shows its
    /// properties. A drive or share itself is opened instead.
    void ShowItem(const std::string& path, bool properties);
    /// Connects to the stored site of an "ftp://[USER@]HOST[:PORT]/DIR" link or address (typed
    /// in the address box or handed to the program), stored among the bookmarks after a
    /// question when the tree has none, and shows the link's folder.
    void OpenFtpLink(const std::string& url);
    /// Turns the cached view on and selects a cached folder (with its trailing backslash);
    /// false when no cached computer holds it (the nearest node is selected then).
    bool SelectCachedPath(const std::string& folder, const std::string& computer);
    void LoadLocalChildren(QTreeWidgetItem* node);
    /// Loads a node's children from the cache: stored records for a node that owns a node
    /// folder, else the folders of its cached listing. `fromCache` marks the children as
    /// coming from the cache. Raises with the expanding-cache line in front.
    void LoadCachedChildren(QTreeWidgetItem* node, bool fromCache);
    void watchLoadedFolder(const std::string& folder);
    QTreeWidgetItem* topRoot() const { return m_topRoot; }
    QTreeWidgetItem* bookmarkRoot() const { return m_bookmarkRoot; }
    QTreeWidgetItem* localRoot() const { return m_localRoot; }
    QTreeWidgetItem* netRoot() const { return m_netRoot; }
    QTreeWidgetItem* expandedRoot() const { return m_expandedRoot; }
    /// Starts editing the selected node's caption (the tree's rename command).
    void DNRenameClick();

    // Navigation and the file list (Navigation.cpp, FileList.cpp, ListCommands.cpp).
    /// Roles of a list item's first column: its image number and, for files, its size.
    static constexpr int ListImageRole = TListModel::ImageIndexRole;
    static constexpr int ListSizeRole = TListModel::StateIndexRole;
    /// Entries the address box keeps, entries the back list keeps.
    static constexpr int kAddressLimit = 30;
    static constexpr int kBackLimit = 16;
    /// From this many child nodes on, the list is filled in the background.
    static constexpr int kNodeListerThreshold = 30;

    /// Shows a node's contents in the list and makes it the current place.
    void ShowNode(QTreeWidgetItem* node);
    /// "3 資料夾,5 檔案(2.00KB)" and the like.
    static QString ListingSummary(int64_t folders, int64_t files, uint64_t bytes);
    /// The text colour of a list item by the colour groups of the settings.
    static QColor itemColor(const QString& caption, int image);
    void OpenItem();
    void SelectChildByCaption(const QString& text);
    /// Starts editing the caption of the first selected list item.
    void M1Click();
    void FileListViewColumnClick(int column);
    /// The list image of a cached file by its name, from the icon key list.
    int IconIndexFor(const QString& name) const;
    /// Turns the cached view on or off; refused while any node of the tree is busy.
    void N91Click();
    /// Counts the listings of the list: each ShowNode (a refresh too) and each flat listing
    /// starts the next one.
    quint64 listingGeneration() const { return m_listingGeneration; }
    /// The worker running in a slot, or null. Hold it weakly: it frees itself.
    TWorkerThread* worker(WorkerSlot slot) const { return m_workers[slot]; }
    /// True while an update of the edit commands' enabled state is queued.
    bool editUpdatePending() const { return m_editUpdatePending; }
    QTreeWidgetItem* shownNode() const { return m_shownNode; }
    const std::string& currentAddress() const { return m_currentAddress; }
    TImageLists* images() const { return m_images.get(); }
    /// 1 local lister, 2 child nodes, 3 cached folder.
    int ListMode = 0;
    QTimer* UpdateTimer = nullptr;
    /// The yes/no question by string number (IdYes or IdNo); replaceable for tests.
    std::function<int(int)> AskQuestion;
    /// How errors reach the user; replaceable for tests.
    std::function<void(const QString&)> ShowError;
    /// Where the family programs (pallisk and its kin) are looked for: the executable's
    /// folder, where the build and an install put them beside tamsel.
    QString FamilyProgramFolder;
    /// The information box by string number; replaceable for tests.
    std::function<void(int)> ShowInformation;
    /// The information box with a text of its own; replaceable for tests.
    std::function<void(const QString&)> ShowInformationText;
    /// The yes/no question with a text of its own (true for Yes); replaceable for tests.
    std::function<bool(const QString&)> AskQuestionText;
    /// Called with every new expansion window before it starts (tests and benchmarks
    /// answer its questions or shorten its waits).
    std::function<void(TNetEnumForm*)> NetEnumFormSetup;

signals:
    /// The listing `generation` has ended: its items are in the list and its summary (or
    /// its error) is on the status bar. A listing that a newer one stopped never ends so.
    void listingEnded(quint64 generation);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
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

    // The folder tree.
    void BuildTree();
    void LoadDrives();
    void LoadNetworkRoot();
    // The live network (NetworkTree.cpp).
    void connectNetwork();
    void LoadNetworkChildren(QTreeWidgetItem* node);
    void NetworkDone(TNetEnumForm* window);
    bool offerCachedFolders(QTreeWidgetItem* node, uint32_t code, const QString& error);
    void LoadFallbackChildren(QTreeWidgetItem* node);
    void showCacheDate(const TNodeData* data);
    bool showsLiveShareFolder() const;
    /// The list shows a live folder of a share, which no watcher reports changes of.
    bool showsUnwatchedFolder() const;
    void N76Click();
    void NetNewDirClick();
    void NetDeleteClick();
    void expandBranch(QTreeWidgetItem* root, uint16_t stopAttribute);
    void N60Click();
    void N61Click();
    void N65Click();
    void N66Click();
    void addDesktopEntries();
    QTreeWidgetItem* addRoot(QTreeWidgetItem* parent, int caption, int image, uint8_t rootKind, const char* key,
                             uint32_t state, bool write);
    void showNodeImages(QTreeWidgetItem* node);
    void FolderTreeViewExpanding(QTreeWidgetItem* node);
    void openNode(QTreeWidgetItem* node);
    void FolderTreeViewChange();
    void FolderTreeViewEdited(QTreeWidgetItem* node);
    void FolderTreeViewEditorClosed();
    void FolderTreeViewPopupMenuPopup();
    void renameLocalFolder(QTreeWidgetItem* node, TNodeData* data, const std::string& text);
    void renameStoredNode(QTreeWidgetItem* node, TNodeData* data, const std::string& text);
    void expandLevels(QTreeWidgetItem* node, uint16_t stopAttribute);
    void N63Click();
    void N34Click();
    void N30Click();
    void N39Click();
    void N92Click();
    void DriveChanged();
    QTreeWidgetItem* selectedNode() const;
    void forgetShownNodeBelow(const QTreeWidgetItem* node);
    void connectBrowsing();
    // The entry SelectOnStart or ShowItem asked for, selected when the listing brings it
    // (with its properties shown after, when asked).
    void selectWhenListed(const QString& name, bool properties = false);
    void selectPendingEntry();
    QString m_pendingEntry;
    QTreeWidgetItem* m_pendingEntryNode = nullptr;
    bool m_pendingProperties = false;
    QTreeWidgetItem* findCachedComputer(QTreeWidgetItem* node, const std::string& folded, const std::string& computer,
                                        int depth);

    // Navigation.
    void recordAddress(const QString& address, bool newPlace);
    QAction* insertHistoryEntry(QMenu* menu, const QString& address, bool back);
    void followBackEntry(QAction* entry);
    void followForwardEntry(QAction* entry);
    void PriorToolButtonClick();
    void NextToolButtonClick();
    void AddressComboBoxExit();
    /// Shows a drive or network folder (or a file's folder) typed into the address box.
    void goToFolder(const std::string& path);
    /// Descends from `start` by the parts `firstPart`.. of `full`, loading folders on the way,
    /// and selects the deepest match.
    bool selectFolderBelow(QTreeWidgetItem* start, const std::string& full, int firstPart);
    /// The details header's sort indicator on `column` (-1: none).
    void showSortIndicator(int column, bool ascending);
    /// Widens the details columns that the window's font would cut.
    void fitDetailColumns();
    void showLocation(const QTreeWidgetItem* node, const TNodeData* data);
    void rereadDrive(TNodeData* data);
    void ListChildNodes();
    TListItem childNodeRow(const QTreeWidgetItem* child) const;
    void startNodeLister();
    void watchShownFolder(const std::string& folder);
    void ShownFolderChanged();
    void UpdateTimerTimer();

    // The flat listing of the expand button.
    void ExpandToolButtonClick();
    void addFolderRow(const QString& folder);
    void refreshFlatIcons();
    void startFlatLister(const QString& folder);
    void FlatListingStep(int64_t folders, int64_t files, uint64_t bytes, const QStringList& found);

    // The file list.
    void ListLocalFolder();
    /// The folder an item of the list lies in: its own location column, which the flat
    /// listing fills with many folders, else the shown folder.
    std::string itemFolder(int row) const;
    void setItemImage(int itemNumber, int imageIndex);
    void UpdateListingStatus(TObjLocalDir* lister);
    void showListingStatus(int state, bool completed, int64_t folders, int64_t files, uint64_t bytes,
                           const QString& error);

    // The cached view (CachedView.cpp).
    void connectCachedView();
    void ListCachedFolder();
    void UpdateListingStatus(TObjCacheDir* lister);
    void CachedFolderListed(TObjCacheDir* lister);
    /// Gives every file of the list the icon of its type, after cached listings.
    void refreshCachedIcons();
    void showCacheModeState();
    void resetNetRootToCache();
    QString countedCaption(const TNodeData& data) const;
    void FileListViewSelectionChanged();
    void FileListViewEdited(int row, const QString& newCaption);
    QStringList selectedCaptions() const;
    /// Row of the first selected item in list order, or -1.
    int firstSelectedRow() const;

    // Commands on the list's selection.
    const TNodeData* shownData() const;
    void FileListViewContextPopup(const QPoint& position);
    std::vector<std::string> selectionPaths(std::string& folder) const;
    void N31Click();
    void C4Click();
    void N83Click();
    void N33Click();
    void N16Click();
    void N36Click();
    void LocalListPopupMenuPopup();

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
    void N79Click();
    void N24Click();
    // The node dialogs (NodeCommands.cpp).
    void N26Click();
    void DNContentClick();
    void showNodeContent(QTreeWidgetItem* node);
    void resetStoredChildren(QTreeWidgetItem* node);
    /// The tree's new folder and delete, on the selected node.
    void DNNewDirClick();
    void DNDelClick();
    void deleteStoredNode(QTreeWidgetItem* node, TNodeData* data);
    /// Deletes a stored node's cache and marks its record deleted; throws on failure.
    void deleteStoredRecord(TNodeData& data);
    /// Whether the list shows the child nodes of a stored branch (bookmarks, the expanded
    /// network's folders and computers, FTP sites).
    bool showsStoredNodes() const;
    /// The list's delete of stored nodes: asks, then deletes the selected children of the
    /// shown node and lists it again from the store.
    void deleteStoredListItems();
    void ThreadToolButtonClick();
    void ExploreToolButtonClick();
    void connectFolderPopupMenu();
    void runFamilyProgram(const char* name);
    /// The full path of a family program, or empty after saying that it is missing.
    QString familyProgram(const char* name);
    /// "更新快取": the cache updater for every stored computer, as a task.
    void N12Click();
    /// Shows the cached folder on screen again, so that a new crawl's listing appears.
    void reshowCachedFolder();
    void setToolBarStyle(int style);
    void setViewStyleCommand(int style);
    void applyToolButtonLook();
    // The options dialog and the help (SetupCommands.cpp).
    void connectSetupCommands();
    void N86Click();
    void T2Click();
    void N87Click();
    // The external tools (ToolCommands.cpp).
    void connectToolCommands();
    void rebuildToolEntries(const std::vector<std::string>& captions);
    void M50Click();
    void RunTool(QAction* entry);
    /// The Windows-style path of the first selected list item, empty when there is none.
    std::string toolFile() const;

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

    // Workers free themselves; a slot is cleared by the worker's completion handler or
    // by StopWorkers, so a pointer here always names a running worker.
    std::array<TWorkerThread*, WorkerSlotCount> m_workers{};
    quint64 m_listingGeneration = 0;
    // One watcher per fixed drive; they stop at close, so they are held weakly.
    std::vector<QPointer<TObjWatchDisk>> m_driveWatchers;
    std::unique_ptr<TObjDisk> m_disk;
    TObjShell* m_shell = nullptr;
    TOpenedCopies* m_openedCopies = nullptr;

    QTreeWidgetItem* m_topRoot = nullptr;
    QTreeWidgetItem* m_bookmarkRoot = nullptr;
    QTreeWidgetItem* m_localRoot = nullptr;
    QTreeWidgetItem* m_netRoot = nullptr;
    QTreeWidgetItem* m_expandedRoot = nullptr;
    // The node whose caption is being edited, and the guard that keeps our own caption
    // changes from counting as edits.
    QTreeWidgetItem* m_editedNode = nullptr;
    bool m_settingCaption = false;
    // Set while the window itself changes the tree's nodes: selection changes then are not
    // the user's and show nothing.
    bool m_treeChanging = false;

    std::unique_ptr<TImageLists> m_images;
    QTreeWidgetItem* m_shownNode = nullptr;
    std::string m_currentAddress;
    QString m_lastSummary;
    bool m_recordHistory = true;
    bool m_historyRunning = false;
    // One direction flag for all columns: every click on a column header flips it.
    bool m_sortToggle = false;
    bool m_refreshShownFolder = false;
    QStringList m_changedDrives;
    int m_listEditing = -1;
    QString m_listEditOld;
    // The running flat listing: folders still to list and what was found so far.
    struct FlatListing {
        QStringList queue;
        int64_t folders = 0;
        int64_t files = 0;
        uint64_t bytes = 0;
        int64_t iconMark = 0;
        bool running = false;
        // A cached listing reads the cache folder of the node it started on.
        bool cached = false;
        std::string storeDir;
        std::string key;
    };
    FlatListing m_flat;
    QPoint m_listMenuPoint;

public:
    // The cached view; the network issue brings the cache itself.
    bool CacheMode = false;
    // Shared with the task windows: cleared while they change the tree, set while node
    // records are written; the automatic refresh waits for both.
    bool UpdateAllowed = true;
    bool UpdateRunning = false;
    bool m_shown = false;

    // FTP sites (FtpCommands.cpp).
    /// Lists an FTP node through its site window, connecting first when it has none;
    /// false when the connection could not be made.
    bool LoadFtpChildren(QTreeWidgetItem* node);
    /// The site window most recently used.
    QPointer<TFTPEnumForm> FTPEnumForm;
    /// Closes the site window of the shown FTP node (the tree's "斷線").
    void Disconnect2Click();

private:
    void connectFtpCommands();
    // Opened copies of server files (OpenedCopies.cpp).
    void connectOpenedCopies();
    /// Watches the copy (native) of the share's file `unc`, opened from the scratch folder.
    void watchShareCopy(const std::string& copy, const std::string& unc, const ServerStamp& copied);
    /// Watches the copy of `remotePath` that the site window `window` opened.
    void watchFtpCopy(TFTPEnumForm* window, const std::string& remotePath, const std::string& copy,
                      const ServerStamp& copied);
    void FtpSiteListed(QTreeWidgetItem* node);
    /// Lists an FTP node again through its site window and shows it (after a change on
    /// the server); refused with the busy text while a node below it works.
    void refreshFtpNode(QTreeWidgetItem* node);
    /// New folder "New" (or "New (2)", ...) in an FTP folder node.
    void ftpNewFolder(QTreeWidgetItem* node);
    /// Deletes the selected list items of the shown FTP folder on the server.
    void ftpDeleteItems();
    /// The tree's delete for a node of a share: true when `node` is one (deleted after the
    /// permanent question, or refused for a share, computer or workgroup).
    bool deleteOnShare(QTreeWidgetItem* node);
    /// Deletes entries of a live share folder for good after the question; the tree and
    /// the list show the folder as it is afterwards.
    void deleteShareEntries(const std::vector<std::string>& paths, QTreeWidgetItem* folderNode);
    /// Takes a node whose place is gone out of the tree, showing its parent if it was shown.
    void removeTreeNode(QTreeWidgetItem* node);
    /// After the task windows were told to stop: lets them close (a bounded wait).
    void waitForTasksToEnd();
    /// Deletes a folder of a connected site, after the question, with all it holds.
    void ftpDeleteFolderNode(QTreeWidgetItem* node);
    /// "新增 FTP 站台…": a new site among the bookmarks (or in the selected bookmark folder).
    void NewFtpSiteClick();
    /// The FTP site dialog, then the new site stored in the bookmark or FTP folder `folder`.
    void askNewFtpSite(QTreeWidgetItem* folder);
    /// Stores a site in `folder` and shows it there at once, in the bookmark drop-down too;
    /// the site's node, or null after saying why not.
    QTreeWidgetItem* storeNewFtpSite(QTreeWidgetItem* folder, const std::string& caption, const FtpSiteBlock& block);
    /// Adds the entry of a node just stored in `folder` to the bookmark drop-down, so it
    /// need not wait for the next reload of the bookmarks.
    void addBookmarkEntry(QTreeWidgetItem* folder, QTreeWidgetItem* node);
    /// The site node below `node` that `link` names (host and port, and the user when the
    /// link gives one); bookmark folders are opened only where their node files hold it.
    /// Null when there is none.
    QTreeWidgetItem* findFtpSite(QTreeWidgetItem* node, const FtpLink& link);
    void OpenWithClick();
    /// The per-site text encoding and transfer mode of the selected site node.
    void FtpSiteOptionsClick();
    /// The site window of an FTP node, or null.
    static TFTPEnumForm* siteWindow(const TNodeData* data);
    bool openFtpItem(const TNodeData* data, const QString& caption, bool folderItem);
    bool renameFtpItem(const TNodeData* data, const QString& oldCaption, const QString& newCaption);
    /// "展開FTP至電腦" and "展開FTP至資料夾": the loaded FTP nodes of the tree opened, down to
    /// the sites or down to every loaded folder.
    void FTP1Click();
    void FTP2Click();
    void expandFtpNodes(uint16_t stopAttribute);
    /// The FTP list's "開啟檔案總管(&E)": the selected folder, or the shown one, in its site
    /// window, listed there anew.
    void FTPExploreClick();
    /// The FTP list's "內容(&R)": the properties window of the selected items.
    void FTPPropertiesClick();
    void FTPListPopupMenuPopup();

public:
    // Bookmarks and the stored computers of the expanded network (Bookmarks.cpp).
    /// Bookmarks the selected node under the bookmark root ("新增書籤(&A)", the bookmark button).
    void ToolButton3Click();
    /// "重載書籤(&R)".
    void R2Click();
    /// Reloads the bookmark branch from the node store and rebuilds the bookmark drop-down.
    void ReloadBookmarks();
    /// "新增電腦(&C)": a computer of the expanded network, by name and address.
    void DNNewComputerClick();
    /// "重建網芳資料": writes the name table of the stored computers.
    void N89Click();

    // The Edit menu: the clipboard and undo (EditCommands.cpp), and the keys of the
    // frequent commands (KeyboardShortcuts.cpp).
    /// "復原(&U)": takes back the last rename, move or delete done in the window.
    void U1Click();
    /// "剪下(&T)", "複製(&C)": the selected list items, or the selected tree folder when
    /// the tree has the focus, onto the clipboard.
    void T3Click();
    void C2Click();
    /// "貼上(&P)": the files of the clipboard into the shown folder (or the selected tree
    /// folder): copied, moved after a cut, uploaded to an FTP folder, downloaded from one.
    void P1Click();
    /// Sets the four entries' enabled state and status tips from the selection, the focus,
    /// the clipboard and the undo step.
    void updateEditCommands();
    const UndoLog& undoLog() const { return *m_undo; }

private:
    void connectEditCommands();
    void scheduleEditUpdate();
    void clipboardChanged();
    void fileOperationDone(uint32_t operation, const FileOperationOutcome& outcome, bool asynchronous);
    /// The entries a cut or copy would take; `programOnly` when they are FTP items.
    std::vector<std::string> clipboardSelection(bool& programOnly) const;
    /// The node a paste would go into, or null; `why` says why not when there is none.
    QTreeWidgetItem* pasteNode(QString* why) const;
    void putOnClipboard(bool cut);
    /// Reads again the loaded tree folders and the shown one among `folders`.
    void refreshFolders(const std::vector<std::string>& folders);
    bool treeHasFocus() const;
    void assignShortcuts();
    /// The commands of the File menu act on what has the focus: the tree's node when the
    /// tree has it, the list's selection otherwise.
    void N3Click();
    void R1Click();
    void C1Click();
    void goParentFolder();
    void focusAddressBox();
    void refreshFocused();
    /// Enter on a focused list or tree opens its item; true when the key was taken.
    bool filterOpenKey(QObject* watched, QEvent* event);

    std::unique_ptr<UndoLog> m_undo;
    QAction* m_U1 = nullptr;
    QAction* m_T3 = nullptr;
    QAction* m_C2 = nullptr;
    QAction* m_P1 = nullptr;
    bool m_editUpdatePending = false;
    // What the clipboard held when it last changed, read once per change: reading a
    // foreign owner's data is a round trip to it.
    std::vector<std::string> m_clipboardEntries;
    bool m_clipboardCut = false;
    bool m_clipboardOwn = false;
    bool m_clipboardProgramOnly = false;
    // The site window of FTP items copied from this window: only it can fetch them.
    QPointer<TFTPEnumForm> m_clipboardSite;

private:
    void connectBookmarkCommands();
    /// A new folder of a stored branch: a folder of the node store and its record.
    void newStoredFolder(QTreeWidgetItem* node);
    /// The list's new folder where it shows a stored branch.
    void newStoredListFolder();
    /// "新增電腦" only where a computer can be added: greyed with a hint elsewhere.
    void updateNewComputerCommand();
    void buildBookmarkMenu(QMenu* menu, QTreeWidgetItem* node);
    void BookmarkEntryClick(QAction* entry);
    /// The tree node of a bookmark drop-down entry; null once the node has gone.
    QTreeWidgetItem* bookmarkNodeOf(QAction* entry) const;
    /// The stored computers below `node` that are loaded already take the captions of the
    /// view: with their counters in the cached view, plain otherwise.
    void showBookmarkCounters(QTreeWidgetItem* node);
    QHash<QAction*, QTreeWidgetItem*> m_bookmarkMap;

public:
    // Drag and drop between the tree, the list and the desktop (DragDrop.cpp).
    /// Scrolls the tree while the mouse rests near its top or bottom edge.
    QTimer* ScrollTimer = nullptr;
    /// The entries of the last drag that started in the window.
    const std::vector<std::string>& dragEntries() const { return m_dragEntries; }
    /// The tree node and the list row marked as the drop target (null, -1: none).
    QTreeWidgetItem* treeDropMark() const { return m_treeDropItem; }
    int listDropMark() const { return m_listDropRow; }

private:
    // The node a drop goes to: a node of the tree, or a folder of the list that the tree
    // has not loaded as a node (then `node` is null and `data` describes the folder).
    struct DropTargetNode {
        QTreeWidgetItem* node = nullptr;
        TNodeData data;
        bool valid = false;
    };
    struct PendingDrop;

    void connectDragDrop();
    bool isListViewport(const QObject* watched) const;
    void FileListViewMouseMove(const QMouseEvent* event);
    void FolderTreeViewMouseMove(const QMouseEvent* event);
    void startDrag(const DragSelection& drag, TFTPEnumForm* window, QWidget* source);
    /// False when the drag carries nothing the window could take.
    bool DropFileTargetEnter(QDragEnterEvent* event);
    void DropFileTargetDragOver(QDragMoveEvent* event, QWidget* viewport);
    void DropFileTargetLeave();
    void DropFileTargetDrop(QDropEvent* event, QWidget* viewport);
    DropTargetNode ListDropFileTargetNode(QWidget* viewport, const QPoint& point);
    DropTargetNode TreeDropFileTargetNode(const QPoint& point);
    DropChoice DropFileTargetGetDropEffect(const DropTargetNode& target, uint32_t keyState) const;
    void markDropTarget(QWidget* viewport, const QPoint& point);
    void clearDropMark();
    /// Scrolls the tree a line towards an edge `point` lies within the margin of; true
    /// when it moved.
    bool scrollTreeForDrag(const QPoint& point);
    void stopDragScroll();
    /// Shows the scrolling forms of the drag cursors, or the plain ones, on the drag this
    /// window started.
    void DropFileSourceFeedback(bool scrolling);
    void holdUpdatesForDrag();
    void releaseUpdatesForDrag();
    void performDrop(const PendingDrop& drop);
    void dropRecords(const PendingDrop& drop);
    void FolderTreeViewAutoScroll(const QPoint& point);
    void ScrollTimerTimer();

    QPoint m_mouseDownPoint{-1, -1};
    // The last mouse-down was on an item: moving from there drags, elsewhere it selects.
    bool m_pressOnItem = false;
    std::vector<std::string> m_dragEntries;
    // The records of the tree nodes a drag carries, as they were when it started.
    std::vector<TNodeData> m_draggedNodes;
    char m_sourceKind = 0;
    std::vector<std::string> m_dropEntries;
    int m_dropAction = 0;
    DropTargetNode m_dropNode;
    // The site window serving the FTP items of the current drag, or using its records.
    QPointer<TFTPEnumForm> m_dragFtpWindow;
    bool m_dragHoldsUpdates = false;
    TDropHighlight* m_dropHighlight = nullptr;
    QTreeWidgetItem* m_treeDropItem = nullptr;
    int m_listDropRow = -1;
    // 0 none, 1 up, 2 down, 3 left, 4 right.
    int m_scrollDirection = 0;
    std::unique_ptr<TDragCursors> m_dragCursors;
    // The drag this window started, while it runs.
    QPointer<QDrag> m_activeDrag;
    QTimer* m_dragScrollTimer = nullptr;
    QPoint m_dragScrollPoint;
};

/// The program's main window, set while it exists.
extern TMainForm* MainForm;
