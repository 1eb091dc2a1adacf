#pragma once
#include "local/TOpenedCopies.h"
#include "network/FtpSite.h"
#include "store/CacheListing.h"

#include <QColor>
#include <QHash>
#include <QSet>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class QLabel;
class QStatusBar;
class QTextEdit;
class QThread;
class QToolBar;
class QToolButton;
class QTreeWidgetItem;
struct TNodeData;

// The window of one connected FTP site: its tool bar, a coloured log of the conversation,
// and the listings and transfers of the site. The conversation runs on a thread of the
// window's own, one command at a time; while it runs, the window keeps handling events
// (a nested loop), and busy keeps a second listing or transfer from starting. The site's
// folders become tree nodes sharing the site's Key; every listed folder is appended to the
// site's listing files, which are deleted when the window closes.
class TFTPEnumForm : public QWidget {
    Q_OBJECT
public:
    explicit TFTPEnumForm(QWidget* parent = nullptr);
    ~TFTPEnumForm() override;

    /// Connects to the site of `site` (an FTP site node) and lists its root; false when the
    /// connection failed (the window has closed itself then).
    bool ConnectSite(QTreeWidgetItem* site, bool& updateAllowed, bool& updateRunning);
    /// Lists the folder of `node` (the site node or one of its folder nodes) into the tree
    /// and the site's listing files.
    void ListFolder(QTreeWidgetItem* node);
    /// Disconnects and closes on the task list's stop message.
    void ForceStop();
    /// Whether the window is now kept over the others (it is, except while a modal dialog
    /// is open).
    bool staysOnTop() const;

    // The file operations on the site ("\"-separated remote paths).
    /// Entries are "1" + remote file path or "2" + remote folder path; destination is a
    /// local folder (Windows form) ending in "\".
    void DownloadFiles(const std::string& destination, const std::vector<std::string>& entries);
    void UploadFiles(const std::string& remoteFolder, const std::vector<std::string>& paths);
    /// Downloads a file into a folder of its own in the scratch folder and opens it there;
    /// OnCopyOpened hears of the copy.
    void OpenRemoteFile(const std::string& remotePath);
    /// What the server says of the file `remotePath` now (from its folder's listing);
    /// false when the site could not be asked (said in the log and a box).
    bool RemoteStamp(const std::string& remotePath, ServerStamp& stamp);
    /// Uploads the local file `copy` (native) as `remotePath`, replacing it; false after
    /// a failure it reported.
    bool UploadCopy(const std::string& copy, const std::string& remotePath);
    /// The file `remotePath` of this site as the user reads it: "ftp://host/dir/name".
    QString SiteAddress(const std::string& remotePath) const;
    bool RenameRemote(const std::string& remotePath, const std::string& newName);
    /// Deletes a file, or with `folder` a folder and everything in it; the caller has asked.
    bool DeleteRemote(const std::string& remotePath, bool folder);
    bool MakeRemoteFolder(const std::string& remotePath);

    /// What the latest listing of `folder` (a site path ending in "\") said of `name`; null
    /// when that folder was not listed while this window was connected or had no such entry.
    const FtpEntry* ListedEntry(const std::string& folder, const std::string& name) const;
    /// The entries of `remoteName`'s listing just stored, as reading the site's listing
    /// files gives them; false when they must be read (another folder was listed last, or
    /// the files would not give them back as they are). Given once.
    bool takeListedItems(const std::string& remoteName, TItemList& items);

    bool connected() const { return m_connected; }
    bool busy() const { return m_busy; }
    QTreeWidgetItem* siteNode() const { return m_siteNode; }
    QString logText() const;

    /// Called with a node after its listing, and with the site node when the window closes.
    std::function<void(QTreeWidgetItem*)> OnFinished;
    /// Boxes and questions; replaceable for tests. Questions answer true for Yes.
    std::function<bool(const QString&)> AskQuestion;
    std::function<void(const QString&)> ShowError;
    std::function<void(const QString&)> ShowInformation;
    /// Asks for a user name and password; false when cancelled. `remember` says whether
    /// the site's record keeps them.
    std::function<bool(std::string& user, std::string& password, bool& remember)> AskCredentials;
    /// Opens a downloaded file; the shell's result (above 32 when started).
    std::function<int(const std::string& nativePath)> OpenLocalFile;
    /// Called after OpenRemoteFile opened a copy: the file's site path, the copy (native)
    /// and what the site said of the file before it was downloaded.
    std::function<void(const std::string& remotePath, const std::string& copy, const ServerStamp& copied)> OnCopyOpened;

    /// How many site windows are open (the placement of a new one depends on it).
    static int FormCount;
    /// The log colours.
    static inline const QColor LogBlue{0, 0, 255}, LogGreen{0, 128, 0}, LogRed{255, 0, 0}, LogTeal{0, 128, 128};

    // Components, named as the window's layout names them.
    QToolBar* dfsToolBar1 = nullptr;
    QToolButton* ToolButton1 = nullptr;
    QToolButton* ToolButton2 = nullptr;
    QToolButton* ToolButton3 = nullptr;
    QToolButton* ToolButton4 = nullptr;
    QTextEdit* LogRichEdit = nullptr;
    QStatusBar* dfsStatusBar = nullptr;
    QLabel* StatusPanel0 = nullptr;
    QLabel* StatusPanel1 = nullptr;

protected:
    bool event(QEvent* event) override;
    void keepBelowModalDialogs(bool blocked);
    void closeEvent(QCloseEvent* event) override;

private:
    void CancelBitBtnClick();
    void BitBtn1Click();
    void ToolButton3Click();
    void ToolButton4Click();

    /// Runs `job` on the conversation's thread and waits for it, handling events meanwhile.
    FtpResult run(const std::function<FtpResult(FtpSite&)>& job);
    /// Logs a command's success (green) or failure (red) by its code.
    void logResult(FtpCommand command, const FtpResult& result);
    void appendLog(const QString& text, const QColor& color);
    /// Starts an operation: false (after the busy box) when another one runs.
    bool beginOperation();
    void endOperation();
    void showWindowForOperation();
    void restoreVisibility();
    void showUploadProgress(int64_t done, int64_t total);
    /// Logs a file a transfer could not move (red) and returns the line.
    QString logFailedFile(const QString& path, const FtpResult& result);
    FtpClient::Progress uploadProgress();
    void setSiteStateImage(int image);
    /// The file `from` (a path on the site) as its folder's listing gives it now; false
    /// when the listing failed (logged).
    bool stampOf(const std::string& from, ServerStamp& stamp);
    FtpResult connectWithCredentials();
    void finishClose();
    /// Puts one folder's entries into the site's listing pair: appended the first time,
    /// replacing its earlier listing when the folder was listed before in this session.
    /// True when the reader of the pair now gives this folder's entries back as `items`.
    bool storeFolderListing(const TNodeData& record, const TItemList& items);
    /// Forgets the site's listing pair: its files and what this window knows of them.
    void dropStoredListings();
    std::string remote(const std::string& sitePath) const { return FtpPathFromSite(sitePath); }
    QString caption() const { return windowTitle(); }
    /// A path for the log: a full one ("\\...") as it is, a bare name in the current folder.
    std::string logPath(const std::string& remotePath) const
    {
        return !remotePath.empty() && remotePath[0] == '\\' ? remotePath : m_currentFolder + remotePath;
    }

    QThread* m_thread = nullptr;
    QObject* m_threadContext = nullptr;
    std::unique_ptr<FtpSite> m_site;
    int m_taskId = 0;
    QTreeWidgetItem* m_siteNode = nullptr;
    TNodeData* m_siteData = nullptr;
    FtpSiteBlock m_block;
    std::string m_currentFolder = "\\";
    bool m_connected = false;
    bool m_busy = false;
    bool m_abort = false;
    bool m_closing = false;
    bool m_closeRequested = false;
    bool m_wasVisible = false;
    QString m_askWhy;  // why the password dialog is shown, in its first sentence
    int m_running = 0;
    bool* m_updateAllowed = nullptr;
    bool* m_updateRunning = nullptr;
    // One folder's latest listing with its names looked up: made on the conversation's
    // thread with the listing itself (for thousands of entries the window would otherwise
    // stand still while they are copied), then only handed over.
    struct ListedFolder {
        std::vector<FtpEntry> entries;
        std::unordered_map<std::string_view, size_t> byName;  // views of entries' names
        uint64_t generation = 0;
    };
    /// The size of the file `remotePath` ("/a/b") as the site last said it: its folder's
    /// latest listing or a later look at the file itself; -1 when neither gave one.
    int64_t knownSize(const std::string& remotePath) const;
    // The latest listing of each folder, by the folder's remote path ("/a/b"). A download
    // that ends short of the size listed is a failure even when the server says it went well.
    std::map<std::string, std::shared_ptr<const ListedFolder>> m_listed;
    // Sizes learnt from a look at one file after its folder was listed, by remote path, with
    // the generation that tells them from the listings' (the later one counts).
    QHash<QString, std::pair<qint64, uint64_t>> m_stampedSizes;
    uint64_t m_generation = 0;
    // The folders (stored bytes, upper case) the site's listing pair holds, and the same
    // folded as the listing's reader compares them: two folders that only its folding
    // tells apart are one folder to the reader.
    QSet<QByteArray> m_storedFolders;
    std::set<std::string> m_foldedFolders;
    // The entries of the folder stored last, as the reader gives them back (shown without
    // reading the files again).
    std::string m_listedFolder;
    TItemList m_listedItems;
};
