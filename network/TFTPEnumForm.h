#pragma once
#include "local/TOpenedCopies.h"
#include "network/FtpConversation.h"
#include "platform/ThreadGuard.h"
#include "store/CacheListing.h"

#include <QColor>
#include <QWidget>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

class QLabel;
class QStatusBar;
class QTextEdit;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeWidgetItem;
struct TNodeData;

// The window of one connected FTP site: its tool bar, a coloured log of the conversation,
// and the listings and transfers of the site. Each operation (a listing, a download of many
// files, a rename) is one job of the site's conversation (FtpConversation), which runs it on
// its own thread with the site's listing bookkeeping and hands back a result by value; the
// window waits for that one result, handling events meanwhile so Stop and close act at once,
// and busy keeps a second listing or transfer from starting. The site's folders become tree
// nodes sharing the site's Key; every listed folder is appended to the site's listing files,
// which are deleted when the window closes.
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

    /// Called each time lines go into the log, with how many: the conversation's lines come
    /// in batches. For tests.
    std::function<void(int lines)> OnLogWritten;
    /// The longest a line of the conversation waits before the window shows it while an
    /// operation runs (its end shows the rest at once).
    static constexpr std::chrono::milliseconds kLogFlushInterval{100};
    std::chrono::milliseconds logFlushInterval{kLogFlushInterval};
    /// How long the site may stay silent before a command fails as "stopped answering";
    /// read when the window connects.
    long serverSilenceMs = 3000;

    /// How many site windows are open (the placement of a new one depends on it).
    static int FormCount;

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

    /// Runs `job` (a whole operation) on the conversation's thread and waits for its result,
    /// handling events meanwhile; the lines it logged are shown by then. The text of an
    /// exception the job let out comes back as the result's error.
    template <class Job>
    std::invoke_result_t<Job, FtpSession&> perform(Job job);
    void waitForConversation(FtpConversation::Job job, std::function<void(const std::string&)> failed);
    /// Logs a command's success (green) or failure (red) by its code.
    void logResult(FtpCommand command, const FtpResult& result);
    void appendLog(const QString& text, const QColor& color);
    /// Shows the lines the log holds, in one insertion.
    void flushLog();
    /// Starts an operation: false (after the busy box) when another one runs.
    bool beginOperation();
    void endOperation();
    void showWindowForOperation();
    void restoreVisibility();
    void showUploadProgress(int64_t done, int64_t total);
    FtpClient::Progress uploadProgress();
    void setSiteStateImage(int image);
    FtpResult connectWithCredentials();
    void finishClose();
    /// Forgets the site's listing pair: its files, what the conversation knows of them and
    /// the entries kept for the list; `wait` waits until the files are gone, otherwise the
    /// conversation's next job finds them gone.
    void dropStoredListings(bool wait);
    std::string remote(const std::string& sitePath) const { return FtpPathFromSite(sitePath); }
    QString caption() const { return windowTitle(); }
    /// A path for the log: a full one ("\\...") as it is, a bare name in the current folder.
    std::string logPath(const std::string& remotePath) const
    {
        return !remotePath.empty() && remotePath[0] == '\\' ? remotePath : m_currentFolder + remotePath;
    }

    std::unique_ptr<FtpConversation> m_conversation;
    QTimer* m_logTimer = nullptr;
    // The window's own state is the window thread's; a job that reached into it would race.
    ThreadOwner m_windowThread;
    int m_taskId = 0;
    QTreeWidgetItem* m_siteNode = nullptr;
    TNodeData* m_siteData = nullptr;
    FtpSiteBlock m_block;
    std::string m_currentFolder = "\\";
    bool m_connected = false;
    bool m_busy = false;
    bool m_closing = false;
    bool m_closeRequested = false;
    bool m_wasVisible = false;
    QString m_askWhy;  // why the password dialog is shown, in its first sentence
    int m_running = 0;
    bool* m_updateAllowed = nullptr;
    bool* m_updateRunning = nullptr;
    // The latest listing of each folder the conversation handed over, by the folder's
    // remote path ("/a/b"), for what the list shows of an entry.
    std::map<std::string, std::shared_ptr<const FtpListedFolder>> m_listings;
    // The entries of the folder stored last, as the reader gives them back (shown without
    // reading the files again).
    std::string m_listedFolder;
    TItemList m_listedItems;
};

template <class Job>
std::invoke_result_t<Job, FtpSession&> TFTPEnumForm::perform(Job job)
{
    using Result = std::invoke_result_t<Job, FtpSession&>;
    static_assert(std::is_base_of_v<FtpResult, Result>, "an operation's result says how its commands went");
    // Written on the conversation's thread before the answer is posted, read here after it.
    auto outcome = std::make_shared<Result>();
    waitForConversation([outcome, job = std::move(job)](FtpSession& session) mutable { *outcome = job(session); },
                        [outcome](const std::string& message) {
                            FtpResult failure;
                            failure.error = message;
                            static_cast<FtpResult&>(*outcome) = failure;
                        });
    return std::move(*outcome);
}
