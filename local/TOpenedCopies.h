#pragma once
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QFileSystemWatcher;
class QTimer;
class QWidget;

/// What a server said of one file: whether it is there, its size and its modification
/// time (seconds since 1970), to tell later whether someone changed it meanwhile.
struct ServerStamp {
    bool exists = false;
    int64_t size = -1;
    int64_t modified = 0;
    bool operator==(const ServerStamp&) const = default;
};

// The copies of server files that were opened from the program's scratch folder. The
// desktop's applications can open only local files, so a file of a share or an FTP site is
// opened as a copy; without this its edits would stay in the scratch folder. Each copy is
// watched; when an application saves it, the user is asked whether it goes back to the
// server, and warned first when the server's file changed since the copy was made.
// Window thread only.
class TOpenedCopies : public QObject {
    Q_OBJECT
public:
    /// Saves arrive as several notifications (write, truncate, rename over the file): they
    /// are merged into one look at the copy after this pause.
    static constexpr std::chrono::milliseconds kSettle{300};
    /// Name prefix of a copy's own folder in the scratch folder.
    static constexpr const char* kFolderPrefix = "open-";

    /// Where a copy lives and how it reaches its server again.
    struct Server {
        /// The server's file as the user reads it ("\\SERVER\SHARE\dir\name", "ftp://...").
        QString shown;
        /// Reads the server's file now into `now`; false when the server cannot be asked
        /// (the callback has said why).
        std::function<bool(ServerStamp& now)> stamp;
        /// Puts the copy (a native path) back; false after a failure the callback reported.
        std::function<bool(const std::string& copy)> upload;
    };

    explicit TOpenedCopies(QWidget* window);
    ~TOpenedCopies() override;

    /// A new folder of its own below `tempFolder` (native) for one copy, so that two files
    /// of one name never meet; the native folder, or empty when none could be made.
    static std::string NewCopyFolder(const std::string& tempFolder);

    /// Watches the copy `copy` (native) of a server file that was `atCopy` when the copy
    /// was made; the copy as it is now counts as unsaved.
    void Watch(const std::string& copy, const ServerStamp& atCopy, Server server);
    /// How many copies are watched.
    int Count() const { return int(m_copies.size()); }

    /// Yes/no questions (true for Yes); our question box unless replaced.
    std::function<bool(const QString& text)> AskQuestion;
    /// A line for the status bar (a copy went back to the server, or did not).
    std::function<void(const QString& text)> OnStatus;

private:
    struct CopyStamp {
        bool exists = false;
        int64_t size = -1;
        int64_t modifiedNs = 0;
        bool operator==(const CopyStamp&) const = default;
    };
    struct Copy {
        std::string path;
        CopyStamp seen;        // the copy as last looked at
        ServerStamp server;    // the server's file as the copy (or its last upload) left it
        Server where;
    };

    static CopyStamp stampOf(const std::string& path);
    void notified();
    void lookAtCopies();
    /// Asks about one saved copy and uploads it when the user wants.
    void offerUpload(Copy& copy);
    void status(const QString& text);

    QPointer<QWidget> m_window;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_settle = nullptr;
    std::vector<Copy> m_copies;
    // A question is on the screen: saves meanwhile wait for it to be answered.
    bool m_asking = false;
    bool m_lookAgain = false;
};
