#include "platform/FtpClient.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Path bytes into a URL: everything but unreserved characters and "/" as %XX, so that
// CP950 bytes, blanks and "#" reach the server exactly as listed.
std::string escapePath(const std::string& path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size() * 3);
    for (unsigned char c : path) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
            || c == '_' || c == '~' || c == '/') {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

bool isUnsupportedReply(long reply) { return reply == 500 || reply == 502 || reply == 504; }

// A path for a quote command must not carry a line end into the control connection.
bool isSafeCommandText(const std::string& text)
{
    return text.find_first_of("\r\n", 0) == std::string::npos && text.find('\0') == std::string::npos;
}

// The reply lines of one command: a server's "211-" or "230-" lines that never end are cut
// off as a listing that never ends is.
constexpr int64_t MaxReplyBytes = int64_t(1) << 20;
struct ReplySink {
    std::vector<std::string>* lines = nullptr;
    int64_t bytes = 0;
    bool tooLong = false;
};

// Where a listing's bytes go, counted against the listing limits.
struct ListingSink {
    std::string* text = nullptr;
    int64_t lines = 0;
    bool tooLong = false;
};

} // namespace

struct FtpClient::Request {
    std::string path = "/";
    bool folder = true;
    bool nobody = false;
    const char* customRequest = nullptr;
    std::vector<std::string> quotes;
    // Data in (listings, downloads) and out (uploads).
    std::string* text = nullptr;
    ListingSink listing;
    std::FILE* file = nullptr;
    std::FILE* source = nullptr;
    int64_t uploadSize = -1;
    int64_t resumeFrom = 0;
    const Progress* progress = nullptr;
    int64_t progressBase = 0;
    // Called before a retry in passive mode: the data taken so far is thrown away.
    std::function<void()> restart;
};

FtpClient::FtpClient()
{
    initCurlOnce();
    m_curl = curl_easy_init();
}

FtpClient::~FtpClient()
{
    if (m_curl)
        curl_easy_cleanup(static_cast<CURL*>(m_curl));
}

std::string FtpClient::partialName(const std::string& localPath) { return localPath + ".tamsel-part"; }

std::string FtpClient::url(const std::string& path, bool folder) const
{
    const bool proxy = !m_settings.proxyHost.empty();
    std::string host = proxy ? m_settings.proxyHost : m_settings.host;
    if (host.find(':') != std::string::npos && host.front() != '[')
        host = "[" + host + "]";
    std::string address = "ftp://" + host + ":" + std::to_string(proxy ? m_settings.proxyPort : m_settings.port) + "/";
    std::string absolute = path.empty() || path.front() != '/' ? "/" + path : path;
    address += escapePath(absolute);
    if (folder && address.back() != '/')
        address += '/';
    return address;
}

FtpResult FtpClient::connect(const FtpSettings& settings)
{
    disconnect();
    m_settings = settings;
    if (!isSafeCommandText(settings.user) || !isSafeCommandText(settings.password)
        || settings.host.find_first_of("/@ \r\n") != std::string::npos || settings.host.empty()) {
        FtpResult bad;
        bad.error = UiCaption("主機名稱或使用者名稱不正確");
        return bad;
    }
    Request request;
    request.nobody = true;
    request.quotes = {"*FEAT"};
    FtpResult result = perform(request, FtpCommand::Connect);
    if (!result.ok)
        return result;
    m_connected = true;
    readFeatures();
    if (m_utf8) {
        // Servers that also speak a code page of their own switch their names to UTF-8 only
        // when told; the answer does not matter.
        Request opts;
        opts.nobody = true;
        opts.quotes = {"*OPTS UTF8 ON"};
        perform(opts, FtpCommand::DoCommand);
    }
    return result;
}

void FtpClient::readFeatures()
{
    m_utf8 = m_mlsd = false;
    bool inFeatures = false;
    for (const std::string& line : m_replyLines) {
        if (line.rfind("211-", 0) == 0) {
            inFeatures = true;
            continue;
        }
        if (line.rfind("211 ", 0) == 0) {
            inFeatures = false;
            continue;
        }
        if (!inFeatures)
            continue;
        std::string feature = line;
        feature.erase(0, feature.find_first_not_of(' '));
        for (char& c : feature)
            c = char(std::toupper(static_cast<unsigned char>(c)));
        if (feature == "UTF8" || feature.rfind("UTF8 ", 0) == 0)
            m_utf8 = true;
        if (feature.rfind("MLST", 0) == 0)
            m_mlsd = true;
    }
}

void FtpClient::disconnect()
{
    if (!m_curl)
        return;
    // Cleaning the handle closes its connection with QUIT; a fresh handle takes its place.
    curl_easy_cleanup(static_cast<CURL*>(m_curl));
    m_curl = curl_easy_init();
    m_connected = false;
}

namespace {

struct Callbacks {
    static size_t header(char* data, size_t size, size_t count, void* user)
    {
        auto* sink = static_cast<ReplySink*>(user);
        sink->bytes += int64_t(size * count);
        if (sink->bytes > MaxReplyBytes) {
            sink->tooLong = true;
            return 0;
        }
        std::string line(data, size * count);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        sink->lines->push_back(std::move(line));
        return size * count;
    }
    // A listing's bytes, up to the listing limits; past them the transfer is ended.
    static size_t writeText(char* data, size_t size, size_t count, void* user)
    {
        auto* sink = static_cast<ListingSink*>(user);
        const size_t bytes = size * count;
        sink->lines += std::count(data, data + bytes, '\n');
        if (int64_t(sink->text->size() + bytes) > FtpClient::MaxListingBytes || sink->lines > FtpClient::MaxListingLines) {
            sink->tooLong = true;
            return 0;
        }
        sink->text->append(data, bytes);
        return bytes;
    }
    static size_t writeFile(char* data, size_t size, size_t count, void* user)
    {
        return std::fwrite(data, size, count, static_cast<std::FILE*>(user)) * size;
    }
    static size_t readFile(char* data, size_t size, size_t count, void* user)
    {
        return std::fread(data, size, count, static_cast<std::FILE*>(user)) * size;
    }    // Every socket of the conversation (control, passive data) is close-on-exec from its
    // creation: a program started while a site is open must not inherit the logged-in
    // control connection.
    static curl_socket_t openSocket(void*, curlsocktype, curl_sockaddr* address)
    {
        return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    }
    // An active-mode data connection is accepted by the library itself: marked here.
    static int socketOptions(void*, curl_socket_t socket, curlsocktype)
    {
        ::fcntl(socket, F_SETFD, FD_CLOEXEC);
        return CURL_SOCKOPT_OK;
    }
};

struct ProgressContext {
    const std::atomic<bool>* cancel;
    const FtpClient::Progress* progress;
    int64_t base;
    bool upload;
};

int transferInfo(void* user, curl_off_t downTotal, curl_off_t downNow, curl_off_t upTotal, curl_off_t upNow)
{
    auto* context = static_cast<ProgressContext*>(user);
    if (context->cancel->load())
        return 1;
    if (context->progress && *context->progress) {
        if (context->upload)
            (*context->progress)(upNow, upTotal);
        else
            (*context->progress)(context->base + downNow, downTotal ? context->base + downTotal : 0);
    }
    return 0;
}

} // namespace

FtpResult FtpClient::perform(Request& request, FtpCommand command)
{
    FtpResult result;
    CURL* curl = static_cast<CURL*>(m_curl);
    if (!curl) {
        result.error = UiCaption("無法建立連線");
        return result;
    }
    for (const std::string& quote : request.quotes) {
        if (!isSafeCommandText(quote)) {
            result.error = UiCaption("名稱中有換行字元");
            return result;
        }
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        curl_easy_reset(curl);
        m_replyLines.clear();
        char errorBuffer[CURL_ERROR_SIZE] = {};
        const std::string address = url(request.path, request.folder);
        curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
        std::string user = m_settings.user.empty() ? std::string("anonymous") : m_settings.user;
        if (!m_settings.proxyHost.empty()) {
            user += "@" + m_settings.host;
            if (m_settings.port != 21)
                user += ":" + std::to_string(m_settings.port);
        }
        std::string password = m_settings.password;
        if (m_settings.user.empty() && password.empty())
            password = "tamsel@";
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.c_str());
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, &Callbacks::openSocket);
        curl_easy_setopt(curl, CURLOPT_SOCKOPTFUNCTION, &Callbacks::socketOptions);
        const long timeoutMs = m_settings.timeoutMs > 0 ? m_settings.timeoutMs : 3000;
        const long timeoutSeconds = (timeoutMs + 999) / 1000;
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
        curl_easy_setopt(curl, CURLOPT_FTP_RESPONSE_TIMEOUT, timeoutSeconds);
        curl_easy_setopt(curl, CURLOPT_ACCEPTTIMEOUT_MS, timeoutMs);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, timeoutSeconds);
        // A byte now and then passes the low-speed check: everything but a file's bytes
        // ends within the time-out as a whole.
        if (!request.file && !request.source)
            curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs);
        curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
        // A passive reply naming another address is not followed: the data goes to the
        // host the control connection went to.
        curl_easy_setopt(curl, CURLOPT_FTP_SKIP_PASV_IP, 1L);
        if (!m_settings.passive)
            curl_easy_setopt(curl, CURLOPT_FTPPORT, "-");
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Callbacks::header);
        ReplySink replies{&m_replyLines, 0, false};
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, &replies);
        ProgressContext progress{&cancel, request.progress, request.progressBase, request.source != nullptr};
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &transferInfo);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &progress);
        if (request.nobody)
            curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
        if (request.customRequest)
            curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.customRequest);
        curl_slist* quotes = nullptr;
        for (const std::string& quote : request.quotes)
            quotes = curl_slist_append(quotes, quote.c_str());
        if (quotes)
            curl_easy_setopt(curl, CURLOPT_QUOTE, quotes);
        if (request.text) {
            request.listing = {request.text, 0, false};
            curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Callbacks::writeText);
            curl_easy_setopt(curl, CURLOPT_WRITEDATA, &request.listing);
        } else if (request.file) {
            curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Callbacks::writeFile);
            curl_easy_setopt(curl, CURLOPT_WRITEDATA, request.file);
            if (request.resumeFrom > 0)
                curl_easy_setopt(curl, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(request.resumeFrom));
        } else if (request.source) {
            curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
            curl_easy_setopt(curl, CURLOPT_READFUNCTION, &Callbacks::readFile);
            curl_easy_setopt(curl, CURLOPT_READDATA, request.source);
            if (request.uploadSize >= 0)
                curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(request.uploadSize));
        }
        const CURLcode code = curl_easy_perform(curl);
        curl_slist_free_all(quotes);
        long reply = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply);
        result.reply = int(reply);
        if (code == CURLE_OK) {
            result.ok = true;
            result.error.clear();
            return result;
        }
        if (code == CURLE_LOGIN_DENIED && result.reply != 530)
            result.reply = 530;
        result.cancelled = code == CURLE_ABORTED_BY_CALLBACK;
        result.unsupported = isUnsupportedReply(reply);
        result.error = errorBuffer[0] ? errorBuffer : curl_easy_strerror(code);
        if (code == CURLE_PARTIAL_FILE || code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR
            || code == CURLE_GOT_NOTHING) {
            result.error = UiCaption("伺服器中斷了連線。");
        } else if (code == CURLE_OPERATION_TIMEDOUT) {
            // libcurl closes a connection that timed out: the next command logs in anew,
            // so a server that answers again is used again.
            result.timedOut = true;
            result.error = Win32MessageLine(Win32::ServerStoppedAnswering);
        } else if (replies.tooLong) {
            result.error = UiFormat("伺服器的回覆太長 (超過 %1 Bytes),已停止接收", {std::to_string(MaxReplyBytes)});
        } else if (code == CURLE_WRITE_ERROR && request.listing.tooLong) {
            result.error = UiFormat("伺服器傳來的目錄清單太長 (超過 %1 Bytes 或 %2 行),已停止接收",
                                    {std::to_string(MaxListingBytes), std::to_string(MaxListingLines)});
        }
        const bool activeFailed = code == CURLE_FTP_PORT_FAILED || code == CURLE_FTP_ACCEPT_FAILED
            || code == CURLE_FTP_ACCEPT_TIMEOUT;
        if (attempt > 0 || m_settings.passive || !activeFailed)
            break;
        // The active data connection could not be made (a firewall or NAT between): go on
        // passive for the rest of the session.
        m_settings.passive = true;
        if (request.restart)
            request.restart();
    }
    (void)command;
    return result;
}

FtpResult FtpClient::quote(const std::vector<std::string>& commands, FtpCommand command)
{
    Request request;
    request.nobody = true;
    request.quotes = commands;
    return perform(request, command);
}

FtpResult FtpClient::list(const std::string& folder, bool machine, FtpListingText& listing)
{
    std::string& text = listing.text;
    text.clear();
    listing.lines.clear();
    // Room for a folder of a few thousand entries at once (only what is written is touched).
    text.reserve(size_t(1) << 20);
    Request request;
    request.path = folder.empty() ? "/" : folder;
    request.text = &text;
    request.customRequest = machine ? "MLSD" : nullptr;
    request.restart = [&text] { text.clear(); };
    FtpResult result = perform(request, FtpCommand::List);
    if (!result.ok) {
        text.clear();
        return result;
    }
    const std::string_view all = text;
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\n', start);
        if (end == std::string_view::npos)
            end = all.size();
        size_t stop = end;
        if (stop > start && all[stop - 1] == '\r')
            --stop;
        if (stop > start)
            listing.lines.push_back(all.substr(start, stop - start));
        start = end + 1;
    }
    return result;
}

FtpResult FtpClient::changeDir(const std::string& folder)
{
    Request request;
    request.path = folder.empty() ? "/" : folder;
    request.nobody = true;
    return perform(request, FtpCommand::ChangeDir);
}

FtpResult FtpClient::download(const std::string& remote, const std::string& localPath, int64_t expectedSize,
                              bool resume, const Progress& progress)
{
    const std::string part = partialName(localPath);
    int64_t offset = 0;
    struct stat status {};
    if (resume && ::lstat(part.c_str(), &status) == 0 && S_ISREG(status.st_mode))
        offset = status.st_size;
    if (expectedSize >= 0 && offset > expectedSize)
        offset = 0;
    // As the copy engine does: a fresh part file is made new (never a link or file planted
    // under its name: such a name is removed first, the link itself, not what it names), and
    // one resumed is never followed through a link.
    if (offset == 0)
        ::unlink(part.c_str());
    const int fd = offset > 0 ? ::open(part.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC)
                              : ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    std::FILE* file = fd >= 0 ? ::fdopen(fd, "ab") : nullptr;
    if (fd >= 0 && !file)
        ::close(fd);
    FtpResult result;
    if (!file) {
        result.error = UiFormat("無法寫入 %1: %2", {localPath, std::strerror(errno)});
        return result;
    }
    Request request;
    request.path = remote;
    request.folder = false;
    request.file = file;
    request.resumeFrom = offset;
    request.progress = &progress;
    request.progressBase = offset;
    // A retry in passive mode starts again where this call began.
    request.restart = [&] {
        std::fflush(file);
        if (::ftruncate(fileno(file), offset) == 0)
            std::fseek(file, 0, SEEK_END);
    };
    result = perform(request, offset > 0 ? FtpCommand::DownloadRestore : FtpCommand::Download);
    if (!result.ok && offset > 0 && !result.cancelled && result.reply >= 500) {
        // The server will not go on from the middle (no REST): start again from the beginning.
        std::fflush(file);
        if (::ftruncate(fileno(file), 0) == 0) {
            request.resumeFrom = 0;
            request.progressBase = 0;
            result = perform(request, FtpCommand::Download);
        }
    }
    // No fsync, as for the copy engine's copies: the server keeps its file, so a crash can
    // lose nothing the next download would not bring back, and the final name still only
    // ever holds a complete file.
    const bool written = std::fflush(file) == 0;
    const bool closed = std::fclose(file) == 0;
    if (!result.ok)
        return result;
    if (!written || !closed) {
        result.ok = false;
        result.error = UiFormat("無法寫入 %1", {localPath});
        return result;
    }
    if (expectedSize >= 0 && ::stat(part.c_str(), &status) == 0 && status.st_size != expectedSize) {
        result.ok = false;
        result.error = UiFormat("傳輸中斷: 收到 %1 Bytes, 應有 %2 Bytes",
                                {std::to_string(status.st_size), std::to_string(expectedSize)});
        return result;
    }
    if (std::rename(part.c_str(), localPath.c_str()) != 0) {
        result.ok = false;
        result.error = UiFormat("無法更名為 %1: %2", {localPath, std::strerror(errno)});
    }
    return result;
}

FtpResult FtpClient::upload(const std::string& localPath, const std::string& remote, const Progress& progress)
{
    FtpResult result;
    std::FILE* source = std::fopen(localPath.c_str(), "rbe");
    if (!source) {
        result.error = UiFormat("無法讀取 %1: %2", {localPath, std::strerror(errno)});
        return result;
    }
    struct stat status {};
    Request request;
    request.path = remote;
    request.folder = false;
    request.source = source;
    request.uploadSize = ::fstat(fileno(source), &status) == 0 ? status.st_size : -1;
    request.progress = &progress;
    request.restart = [source] { std::rewind(source); };
    result = perform(request, FtpCommand::Upload);
    std::fclose(source);
    return result;
}

FtpResult FtpClient::rename(const std::string& from, const std::string& to)
{
    return quote({"RNFR " + from, "RNTO " + to}, FtpCommand::Rename);
}

FtpResult FtpClient::deleteFile(const std::string& remote) { return quote({"DELE " + remote}, FtpCommand::Delete); }

FtpResult FtpClient::removeDir(const std::string& remote) { return quote({"RMD " + remote}, FtpCommand::RemoveDir); }

FtpResult FtpClient::makeDir(const std::string& remote) { return quote({"MKD " + remote}, FtpCommand::MakeDir); }

std::string RemoteParent(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string RemoteJoin(const std::string& folder, const std::string& name)
{
    if (folder.empty() || folder == "/")
        return "/" + name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}
