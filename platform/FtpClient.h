#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The FTP client: one libcurl handle, so one control connection kept open between commands
// (libcurl logs in again by itself when the server has dropped it). Every call blocks until
// the server has answered or the time-out has passed, so a caller with a window runs it on
// a thread of its own; one call at a time per client.
//
// Remote paths are the server's own bytes ("/" separated, absolute, a folder without its
// trailing "/"), so that a name listed is byte for byte the name sent back; turning them
// into text is FtpListing's job.

/// The commands, numbered as the site window's failure and unsupported texts are.
enum class FtpCommand : int {
    ChangeDir = 0, MakeDir = 1, Delete = 2, RemoveDir = 3, List = 4, Rename = 5,
    UploadRestore = 6, DownloadRestore = 7, Download = 8, Upload = 9, UploadAppend = 10,
    Reinitialize = 11, Allocate = 12, NList = 13, DoCommand = 14, CurrentDir = 15,
    Connect = 100,
};

struct FtpSettings {
    std::string host;
    int port = 21;
    std::string user;        // empty: anonymous
    std::string password;
    std::string proxyHost;   // when set: log in at the proxy as "user@host"
    int proxyPort = 21;
    bool passive = false;    // active mode unless asked; falls back to passive by itself
    // Every wait for the server: connect, reply, data, a stalled transfer. A command or
    // listing as a whole ends within it too, however slowly the server drips its answer;
    // only the bytes of a file transfer may take longer, while they keep coming.
    long timeoutMs = 3000;
};

/// A listing as the server sent it, with its lines (without their line ends) as views of
/// it: a folder of thousands of entries is not copied line by line. Neither copied nor
/// moved, so the views always point into its own text.
struct FtpListingText {
    FtpListingText() = default;
    FtpListingText(const FtpListingText&) = delete;
    FtpListingText& operator=(const FtpListingText&) = delete;

    std::string text;
    std::vector<std::string_view> lines;

    /// The lines as texts of their own.
    std::vector<std::string> lineTexts() const { return {lines.begin(), lines.end()}; }
};

/// The outcome of one command.
struct FtpResult {
    bool ok = false;
    bool unsupported = false;  // the server does not know the command (500, 502, 504)
    bool cancelled = false;
    bool timedOut = false;     // the server stopped answering within the time-out
    int reply = 0;             // the server's last reply number
    std::string error;         // why it failed, in the program's words
};

class FtpClient {
public:
    /// Bytes done and bytes in all (0 when unknown).
    using Progress = std::function<void(int64_t done, int64_t total)>;

    FtpClient();
    ~FtpClient();
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    /// Logs in and asks for the server's features. Drops any earlier connection first.
    FtpResult connect(const FtpSettings& settings);
    void disconnect();
    bool connected() const { return m_connected; }
    const FtpSettings& settings() const { return m_settings; }

    /// Features from FEAT: names in UTF-8, machine listings.
    bool announcesUtf8() const { return m_utf8; }
    bool offersMlsd() const { return m_mlsd; }
    /// Data connections go passive from now on (the site's choice, or after a failed active one).
    bool passive() const { return m_settings.passive; }
    void setPassive(bool passive) { m_settings.passive = passive; }

    /// A listing longer than this is refused, not kept: a server that never ends one would
    /// otherwise fill the memory.
    static constexpr int64_t MaxListingBytes = int64_t(64) << 20;
    static constexpr int64_t MaxListingLines = 1000000;

    /// The listing of `folder` (empty or "/" is the root), split into lines without their
    /// line ends: MLSD when `machine`, else LIST. Fails, keeping no lines, past
    /// MaxListingBytes or MaxListingLines.
    FtpResult list(const std::string& folder, bool machine, FtpListingText& listing);
    /// Changes into `folder` (the reply says whether it exists).
    FtpResult changeDir(const std::string& folder);

    /// Downloads `remote` (a file's full path) into `localPath`. The bytes go to a temporary
    /// name beside it, which takes the final name only when the transfer is complete (and,
    /// with `expectedSize` >= 0, of that size); a failed or broken one leaves the temporary
    /// file, from whose end `resume` goes on with REST. Never leaves a partial file under
    /// the final name.
    FtpResult download(const std::string& remote, const std::string& localPath, int64_t expectedSize,
                       bool resume, const Progress& progress);
    /// Uploads the local file to `remote` (a full path), replacing it.
    FtpResult upload(const std::string& localPath, const std::string& remote, const Progress& progress);

    FtpResult rename(const std::string& from, const std::string& to);
    FtpResult deleteFile(const std::string& remote);
    FtpResult removeDir(const std::string& remote);
    FtpResult makeDir(const std::string& remote);

    /// Set from another thread to end the running command at its next step.
    std::atomic<bool> cancel{false};

    /// The reply lines of the last command (the server's words, for a log).
    const std::vector<std::string>& replyLines() const { return m_replyLines; }

    /// The temporary name a download of `localPath` writes to.
    static std::string partialName(const std::string& localPath);

private:
    struct Request;
    FtpResult perform(Request& request, FtpCommand command);
    FtpResult quote(const std::vector<std::string>& commands, FtpCommand command);
    std::string url(const std::string& path, bool folder) const;
    void readFeatures();

    void* m_curl = nullptr;
    FtpSettings m_settings;
    bool m_connected = false;
    bool m_utf8 = false;
    bool m_mlsd = false;
    std::vector<std::string> m_replyLines;
};

/// The folder part of a remote path ("/a/b" of "/a/b/c"; "/" of "/c").
std::string RemoteParent(const std::string& path);
/// `folder` joined with `name` by one "/".
std::string RemoteJoin(const std::string& folder, const std::string& name);
