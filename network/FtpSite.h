#pragma once
#include "network/FtpListing.h"
#include "platform/FtpClient.h"

#include <functional>
#include <string>
#include <vector>

// One connected FTP site as the site window and tamsel-net use it: the client, the site's
// text encoding, and the operations on text paths ("/" separated, absolute; a folder
// without its trailing "/"). Blocking, like the client: one call at a time.
class FtpSite {
public:
    using Log = std::function<void(const std::string& line)>;

    FtpResult connect(const FtpSettings& settings, FtpEncoding encoding);
    void disconnect() { m_client.disconnect(); }
    FtpClient& client() { return m_client; }

    /// The encoding in force: the site's own, or in auto mode the one the server announced
    /// or its first listing with non-ASCII names showed (kept for the rest of the session).
    FtpEncoding encoding() const { return m_encoding; }
    std::string remoteBytes(const std::string& path) const;
    /// In auto mode, before a path with non-ASCII names is first sent: learns the encoding
    /// from the listing of the folder above its first such name.
    void decideEncodingFor(const std::string& path);

    /// The entries of `folder`, MLSD where the server offers it, else LIST. Names that could
    /// climb out of the folder are not entered: each goes to `refused` (as text). A line
    /// dated as no calendar has is not entered either: its name goes to `badDates`.
    FtpResult listFolder(const std::string& folder, double now, std::vector<FtpEntry>& entries,
                         std::vector<std::string>& refused, std::vector<std::string>* badDates = nullptr);
    /// The raw lines of a LIST of `folder` (text as typed), decoded.
    FtpResult rawList(const std::string& folder, std::vector<std::string>& lines);

    FtpResult download(const std::string& remote, const std::string& localPath, int64_t size, bool resume,
                       const FtpClient::Progress& progress);
    FtpResult upload(const std::string& localPath, const std::string& remote, const FtpClient::Progress& progress);
    FtpResult rename(const std::string& from, const std::string& to);
    FtpResult deleteFile(const std::string& remote);
    FtpResult removeDir(const std::string& remote);
    FtpResult makeDir(const std::string& remote);
    FtpResult changeDir(const std::string& folder);

    /// Downloads the folder `remote` with everything below it into the new or existing
    /// local folder `localFolder`. `log` hears of each file and of each refused name.
    FtpResult downloadTree(const std::string& remote, const std::string& localFolder, double now, const Log& log,
                           const FtpClient::Progress& progress);
    /// Uploads the local folder with everything below it as `remote` (made where missing).
    FtpResult uploadTree(const std::string& localFolder, const std::string& remote, const Log& log,
                         const FtpClient::Progress& progress);
    /// Deletes the folder `remote` with everything below it.
    FtpResult deleteTree(const std::string& remote, double now, const Log& log);

private:
    FtpClient m_client;
    FtpEncoding m_chosen = FtpEncoding::Auto;
    FtpEncoding m_encoding = FtpEncoding::Utf8;
    bool m_decided = false;
};

/// A site's own choices, kept beside its site block (whose 392 bytes stay as they are) in
/// base + ".OPT" as "encoding=auto|utf-8|cp950" and "passive=0|1" lines.
struct FtpSiteOptions {
    FtpEncoding encoding = FtpEncoding::Auto;
    bool passive = false;
};
/// The options of the site whose files begin with `nativeBase`; defaults when missing.
FtpSiteOptions ReadFtpSiteOptions(const std::string& nativeBase);
bool WriteFtpSiteOptions(const std::string& nativeBase, const FtpSiteOptions& options);

/// "\a\b\" (the site window's form) as "/a/b"; "\" is "/".
std::string FtpPathFromSite(const std::string& sitePath);
