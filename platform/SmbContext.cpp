#include "platform/SmbContext.h"

#include "platform/Environment.h"
#include "platform/ServerNames.h"
#include "platform/Win32Error.h"

#include <libsmbclient.h>

#include <iconv.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

std::unique_lock<std::recursive_mutex> LockSmbCalls()
{
    static std::recursive_mutex calls;
    return std::unique_lock(calls);
}

namespace {

constexpr const char* kSystemSmbConf = "/etc/samba/smb.conf";

// ---- credential cache ------------------------------------------------------------

struct Credential {
    std::string user;
    std::string password;
};

std::mutex g_credentialMutex;
std::map<std::string, Credential> g_credentials; // folded "\\SERVER" or "\\SERVER\SHARE"
SmbCredentials::Fallback g_fallback;
// The fallback's answers while a KeepStoreAnswers lives: location as asked -> the
// credential, or nothing when the store had none.
int g_keepingAnswers = 0;
std::map<std::string, std::optional<Credential>> g_storeAnswers;

std::string Fold(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// "\\SERVER\SHARE\" and "\\server\share" name one location.
std::string LocationKey(const std::string& location)
{
    std::string key = location;
    while (key.size() > 2 && key.back() == '\\')
        key.pop_back();
    return Fold(key);
}

void CopyOut(const std::string& text, char* buffer, int length)
{
    if (!buffer || length <= 0)
        return;
    const size_t n = std::min(text.size(), static_cast<size_t>(length - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
}

// ---- server names behind addresses ---------------------------------------------------

// A server the name table resolves is addressed by its address, and libsmbclient hands
// that address to the callbacks. Everything kept per server (credentials, connections) is
// kept under the name the user gave, so this thread remembers which name its latest
// address of each server stood for. The open that follows a URL runs on the thread that
// built it, before any other URL of the thread.
struct NamedAddress {
    std::string name;
    bool discovered = false; // a discovery reply or an imported archive gave the address, not the user or the system
};
thread_local std::map<std::string, NamedAddress> t_namesByAddress; // address -> name

// The name the user gave for `server` as libsmbclient reports it.
std::string UserServerName(const char* server)
{
    const std::string reported = server ? server : "";
    const auto it = t_namesByAddress.find(reported);
    return it == t_namesByAddress.end() ? reported : it->second.name;
}

// Whether libsmbclient reached `server` at an address only a discovery reply gave: anyone
// on the LAN can claim a name there.
bool ReachedByDiscovery(const char* server)
{
    const auto it = t_namesByAddress.find(server ? server : "");
    return it != t_namesByAddress.end() && it->second.discovered;
}

// Credentials a diagnosis tries on the server's own session, whatever share is asked for.
struct Probe {
    bool active = false;
    std::string user;
    std::string password;
};
thread_local Probe t_probe;

void AuthCallback(SMBCCTX* ctx, const char* server, const char* share, char* workgroup, int workgroupLength,
                  char* user, int userLength, char* password, int passwordLength)
{
    std::string name = t_probe.user;
    std::string secret = t_probe.password;
    // A stored password goes only where the user or the system says the server is; at an
    // address a discovery reply gave, only what the user typed in this run is sent.
    const bool discovered = ReachedByDiscovery(server);
    if (discovered) {
        name.clear();
        secret.clear();
    }
    const bool given = (t_probe.active && !discovered)
                       || SmbCredentials::lookup(UserServerName(server), share ? share : "", name, secret, !discovered);
    // libsmbclient answers a refused logon by logging on anonymously: credentials that were
    // given and refused must fail as such, not turn into a guest's view of the server.
    // Without any, its default logon and that fallback are what reach a guest share. The
    // option is read for the connection this callback is asked about.
    smbc_setOptionNoAutoAnonymousLogin(ctx, given);
    if (!given)
        return;
    const size_t backslash = name.find('\\');
    if (backslash != std::string::npos) {
        CopyOut(name.substr(0, backslash), workgroup, workgroupLength);
        name.erase(0, backslash + 1);
    }
    CopyOut(name, user, userLength);
    CopyOut(secret, password, passwordLength);
}

// ---- connections by server ---------------------------------------------------------

// libsmbclient's own server cache cannot be searched by server name; its add and remove
// functions are wrapped to keep a list of each context's connections beside it.
struct Connection {
    SMBCSRV* srv;
    std::string name;    // folded, as the user gave it
    std::string address; // folded, as libsmbclient was given it
};
struct Connections {
    std::vector<Connection> servers;
};

smbc_add_cached_srv_fn g_addCached = nullptr;
smbc_remove_cached_srv_fn g_removeCached = nullptr;

int AddCached(SMBCCTX* ctx, SMBCSRV* srv, const char* server, const char* share, const char* workgroup,
              const char* user)
{
    const int result = g_addCached(ctx, srv, server, share, workgroup, user);
    if (result == 0)
        static_cast<Connections*>(smbc_getOptionUserData(ctx))
            ->servers.push_back({srv, Fold(UserServerName(server)), Fold(server ? server : "")});
    return result;
}

int RemoveCached(SMBCCTX* ctx, SMBCSRV* srv)
{
    auto& servers = static_cast<Connections*>(smbc_getOptionUserData(ctx))->servers;
    std::erase_if(servers, [srv](const Connection& entry) { return entry.srv == srv; });
    return g_removeCached(ctx, srv);
}

void FreeContext(SMBCCTX* ctx)
{
    auto* connections = static_cast<Connections*>(smbc_getOptionUserData(ctx));
    smbc_free_context(ctx, 1);
    delete connections;
}

// ---- contexts ----------------------------------------------------------------------

// The configuration every context reads: ours, in memory, naming the OEM code page the
// LAN's NetBIOS names are written in, then taking in the file the user's setup names (or
// the library's usual one). Our line comes first so that a section of the included file
// cannot swallow it; the system's file is never changed.
std::string PrivateSmbConfiguration()
{
    static std::mutex made;
    static std::map<std::string, std::string> paths; // settings -> /proc path of its file
    const std::string charset = SmbOemCharset();
    std::string include = EnvironmentValue(SmbConfigVariable);
    if (include.empty() && ::access(kSystemSmbConf, R_OK) == 0)
        include = kSystemSmbConf;
    std::lock_guard guard(made);
    const std::string key = charset + '\n' + include;
    if (const auto it = paths.find(key); it != paths.end())
        return it->second;
    const int fd = ::memfd_create("tamsel-smb.conf", MFD_CLOEXEC);
    if (fd < 0)
        return {};
    std::string text = "[global]\n\tdos charset = " + charset + "\n";
    if (!include.empty())
        text += "\tinclude = " + include + "\n";
    if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        ::close(fd);
        return {};
    }
    // Kept open for the rest of the run: the library reads the file again when it reloads.
    return paths[key] = "/proc/self/fd/" + std::to_string(fd);
}


SMBCCTX* CreateContext(SmbKind kind, int* error)
{
    // Setting a context up loads the library's process-wide configuration: one at a time.
    auto lock = LockSmbCalls();
    SMBCCTX* ctx = smbc_new_context();
    if (!ctx) {
        *error = Win32::NotEnoughMemory;
        return nullptr;
    }
    const std::string conf = PrivateSmbConfiguration();
    if (conf.empty() || smbc_setConfiguration(ctx, conf.c_str()) != 0) {
        smbc_free_context(ctx, 0);
        *error = Win32::NoNetwork;
        return nullptr;
    }
    smbc_setDebug(ctx, 0);
    smbc_setTimeout(ctx, 10000);
    smbc_setFunctionAuthDataWithContext(ctx, AuthCallback);
    if (!g_addCached) {
        g_addCached = smbc_getFunctionAddCachedServer(ctx);
        g_removeCached = smbc_getFunctionRemoveCachedServer(ctx);
    }
    smbc_setOptionUserData(ctx, new Connections);
    smbc_setFunctionAddCachedServer(ctx, AddCached);
    smbc_setFunctionRemoveCachedServer(ctx, RemoveCached);
    smbc_setOptionUseKerberos(ctx, false);
    smbc_setOptionFallbackAfterKerberos(ctx, true);
    smbc_setOptionUseCCache(ctx, false);
    smbc_setOptionCaseSensitive(ctx, false);
    const std::string port = EnvironmentValue(SmbPortVariable);
    if (!port.empty()) {
        const long value = std::strtol(port.c_str(), nullptr, 10);
        if (value > 0 && value < 65536)
            smbc_setPort(ctx, static_cast<uint16_t>(value));
    }
    if (kind == SmbKind::Browse)
        smbc_setOptionProtocols(ctx, "NT1", "NT1");
    else
        smbc_setOptionProtocols(ctx, "SMB2_02", "SMB3");
    if (!smbc_init_context(ctx)) {
        auto* connections = static_cast<Connections*>(smbc_getOptionUserData(ctx));
        smbc_free_context(ctx, 0);
        delete connections;
        *error = Win32::NoNetwork;
        return nullptr;
    }
    *error = Win32::NoError;
    return ctx;
}

// The contexts of one thread, freed with it.
struct ThreadContexts {
    SMBCCTX* browse = nullptr;
    SMBCCTX* files = nullptr;
    std::string settings; // configuration file and port the contexts were made with
    ~ThreadContexts() { release(); }
    void release()
    {
        auto lock = LockSmbCalls();
        if (browse)
            FreeContext(browse);
        if (files)
            FreeContext(files);
        browse = files = nullptr;
    }
};

thread_local ThreadContexts t_contexts;

bool IsUrlSafe(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
           || c == '_' || c == '~' || c >= 0x80;
}

std::string Escape(const std::string& part)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(part.size());
    for (unsigned char c : part) {
        if (IsUrlSafe(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

} // namespace

SMBCCTX* SmbThreadContext(SmbKind kind, int* error)
{
    // A test that starts a server of its own names a new configuration: contexts made
    // with the old one would talk to the wrong place.
    const std::string settings = EnvironmentValue(SmbConfigVariable) + '\n' + EnvironmentValue(SmbPortVariable)
                                 + '\n' + SmbOemCharset();
    if (settings != t_contexts.settings) {
        t_contexts.release();
        t_contexts.settings = settings;
    }
    SMBCCTX*& slot = kind == SmbKind::Browse ? t_contexts.browse : t_contexts.files;
    int code = Win32::NoError;
    if (!slot)
        slot = CreateContext(kind, &code);
    if (error)
        *error = code;
    return slot;
}

void SmbAbandonThreadContexts()
{
    t_contexts.browse = t_contexts.files = nullptr;
    t_contexts.settings.clear();
}

void SmbDropConnections(const std::string& server)
{
    const std::string name = Fold(server);
    for (SMBCCTX* ctx : {t_contexts.browse, t_contexts.files}) {
        if (!ctx)
            continue;
        auto lock = LockSmbCalls();
        if (name.empty()) {
            smbc_getFunctionPurgeCachedServers(ctx)(ctx);
            continue;
        }
        // Collected first: each removal takes its entry out of the list.
        std::vector<SMBCSRV*> drop;
        for (const Connection& connection : static_cast<Connections*>(smbc_getOptionUserData(ctx))->servers)
            if (connection.name == name || connection.address == name)
                drop.push_back(connection.srv);
        for (SMBCSRV* srv : drop)
            smbc_getFunctionRemoveUnusedServer(ctx)(ctx, srv); // a connection with open files stays
    }
}

void SplitUncPath(const std::string& uncPath, std::string* server, std::string* share, std::string* rest)
{
    std::string s = uncPath.size() >= 2 && uncPath[0] == '\\' && uncPath[1] == '\\' ? uncPath.substr(2) : uncPath;
    const size_t a = s.find('\\');
    if (server)
        *server = s.substr(0, a);
    std::string afterServer = a == std::string::npos ? std::string() : s.substr(a + 1);
    const size_t b = afterServer.find('\\');
    if (share)
        *share = afterServer.substr(0, b);
    if (rest)
        *rest = b == std::string::npos ? std::string() : afterServer.substr(b + 1);
}

std::string SmbUrl(const std::string& uncPath)
{
    std::string server;
    std::string share;
    std::string rest;
    SplitUncPath(uncPath, &server, &share, &rest);
    const ServerLocation location = LocateServer(server);
    const std::string& address = location.address;
    if (!address.empty())
        t_namesByAddress[address] = {server, !AddressIsVouchedFor(location.source)};
    else
        t_namesByAddress.erase(server); // an address given as such stands for itself
    std::string url = "smb://" + Escape(address.empty() ? server : address) + "/";
    if (share.empty())
        return url;
    url += Escape(share);
    size_t start = 0;
    while (start <= rest.size() && !rest.empty()) {
        const size_t end = rest.find('\\', start);
        url += '/';
        url += Escape(rest.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return url;
}

std::string SmbOemCharset()
{
    const std::string chosen = EnvironmentValue(SmbOemCharsetVariable);
    if (!chosen.empty() && chosen.find_first_of(" \t\r\n=;#") == std::string::npos) {
        const iconv_t probe = ::iconv_open("UTF-8", chosen.c_str());
        if (probe != reinterpret_cast<iconv_t>(-1)) {
            ::iconv_close(probe);
            return chosen;
        }
    }
    return "CP950";
}

int Win32ErrorFromSmb(int err)
{
    switch (err) {
    case 0: return Win32::NoError;
    case ENOENT: return Win32::FileNotFound;
    case ENOTDIR: return Win32::DirectoryInvalid;
    case EACCES:
    case EPERM: return Win32::AccessDenied;
    case EEXIST: return Win32::AlreadyExists;
    case ENOTEMPTY: return Win32::DirNotEmpty;
    case EBUSY: return Win32::SharingViolation;
    case EISDIR: return Win32::AccessDenied;
    case EINVAL: return Win32::InvalidParameter;
    case ENOMEM: return Win32::NotEnoughMemory;
    case ENOSPC: return Win32::DiskFull;
    case ENODEV:
    case ENXIO: return Win32::BadNetName;
    case ENAMETOOLONG: return Win32::FilenameExcedRange;
    case ETIMEDOUT: return Win32::ServerStoppedAnswering; // it took the connection, then fell silent
    case ECONNREFUSED:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN: return Win32::BadNetpath;
    case ECONNRESET:
    case EPIPE: return Win32::NetnameDeleted;
    case ECANCELED:
    case EINTR: return Win32::OperationAborted;
    default: return Win32ErrorFromErrno(err);
    }
}

namespace {

// The code of a refused logon. libsmbclient reports EACCES alike for a wrong password, an
// unknown user and no credentials; the server's own session tells them apart: it refuses a
// wrong password (86), while no credentials, or a user it does not know and takes for its
// guest, log on there and only the share refuses them (1326). A server that refuses unknown
// users outright cannot be told from a wrong password and gives 86 too.
template <class Opens>
int LogonRefusal(const Opens& opens, const std::string& server, const std::string& share)
{
    std::string user;
    std::string password;
    // As the callback: no stored password is tried where only a discovery reply or an
    // imported archive put the server.
    const bool stored = AddressIsVouchedFor(LocateServer(server).source);
    if (!SmbCredentials::lookup(server, share, user, password, stored) || (user.empty() && password.empty()))
        return Win32::LogonFailure;
    if (share.empty())
        return Win32::InvalidPassword; // the server's own session refused them
    t_probe = {true, user, password};
    const bool opened = opens("\\\\" + server);
    const int err = errno;
    t_probe = {};
    return !opened && (err == EACCES || err == EPERM) ? Win32::InvalidPassword : Win32::LogonFailure;
}

} // namespace

int SmbErrorFor(int err, const std::string& uncPath)
{
    return SmbExplainError(Win32ErrorFromSmb(err), uncPath);
}

int SmbExplainError(int code, const std::string& uncPath)
{
    std::string server;
    std::string share;
    std::string rest;
    SplitUncPath(uncPath, &server, &share, &rest);
    if (code == Win32::ServerStoppedAnswering && !server.empty()) {
        // Its connection is of no use now: the next call connects anew, and so works as
        // soon as the server answers again.
        SmbDropConnections(server);
        return code;
    }
    if (code != Win32::AccessDenied && code != Win32::FileNotFound)
        return code;
    SMBCCTX* ctx = SmbThreadContext(SmbKind::Files);
    if (!ctx || server.empty())
        return code;
    auto opens = [ctx](const std::string& unc) {
        SMBCFILE* dir = SmbCall([&] { return smbc_getFunctionOpendir(ctx)(ctx, SmbUrl(unc).c_str()); });
        if (dir)
            SmbCall([&] { return smbc_getFunctionClosedir(ctx)(ctx, dir); });
        return dir != nullptr;
    };
    const std::string serverPath = "\\\\" + server;
    const std::string sharePath = share.empty() ? serverPath : serverPath + "\\" + share;
    // A refused file or a missing one leaves the share reachable; a refused logon, a
    // missing share or a missing server does not, and each has a code of its own.
    if (opens(sharePath)) {
        if (code == Win32::FileNotFound && rest.find('\\') != std::string::npos) {
            const std::string parent = sharePath + "\\" + rest.substr(0, rest.rfind('\\'));
            if (!opens(parent))
                return Win32::PathNotFound;
        }
        return code;
    }
    const int shareErr = errno;
    if (shareErr == ETIMEDOUT) {
        SmbDropConnections(server);
        return Win32::ServerStoppedAnswering;
    }
    if (shareErr == EACCES || shareErr == EPERM)
        return LogonRefusal(opens, server, share);
    if (share.empty() || !opens(serverPath))
        return errno == EACCES || errno == EPERM ? LogonRefusal(opens, server, {}) : Win32::BadNetpath;
    return Win32::BadNetName;
}

namespace SmbCredentials {

void set(const std::string& location, const std::string& user, const std::string& password)
{
    std::lock_guard lock(g_credentialMutex);
    g_credentials[LocationKey(location)] = {user, password};
    g_storeAnswers.clear();
}

void forget(const std::string& location)
{
    std::lock_guard lock(g_credentialMutex);
    g_credentials.erase(LocationKey(location));
    g_storeAnswers.clear();
}

void clear()
{
    std::lock_guard lock(g_credentialMutex);
    g_credentials.clear();
    g_storeAnswers.clear();
}

void setFallback(Fallback fallback)
{
    std::lock_guard lock(g_credentialMutex);
    g_fallback = std::move(fallback);
    g_storeAnswers.clear();
}

KeepStoreAnswers::KeepStoreAnswers()
{
    std::lock_guard lock(g_credentialMutex);
    g_keepingAnswers++;
}

KeepStoreAnswers::~KeepStoreAnswers()
{
    std::lock_guard lock(g_credentialMutex);
    if (--g_keepingAnswers == 0)
        g_storeAnswers.clear();
}

namespace {

// The fallback's answer for `location`, the kept one while answers are kept.
bool askStore(const Fallback& fallback, const std::string& location, std::string& user, std::string& password)
{
    {
        std::lock_guard lock(g_credentialMutex);
        if (g_keepingAnswers > 0) {
            const auto kept = g_storeAnswers.find(location);
            if (kept != g_storeAnswers.end()) {
                if (!kept->second)
                    return false;
                user = kept->second->user;
                password = kept->second->password;
                return true;
            }
        }
    }
    std::string foundUser;
    std::string foundPassword;
    const bool found = fallback(location, foundUser, foundPassword);
    {
        std::lock_guard lock(g_credentialMutex);
        if (g_keepingAnswers > 0)
            g_storeAnswers[location] = found ? std::optional<Credential>(Credential{foundUser, foundPassword}) : std::nullopt;
    }
    if (!found)
        return false;
    user = std::move(foundUser);
    password = std::move(foundPassword);
    return true;
}

} // namespace

bool lookup(const std::string& server, const std::string& share, std::string& user, std::string& password,
            bool stored)
{
    const std::string serverLocation = "\\\\" + server;
    const std::string shareLocation = share.empty() ? std::string() : serverLocation + "\\" + share;
    Fallback fallback;
    {
        std::lock_guard lock(g_credentialMutex);
        for (const std::string& location : {shareLocation, serverLocation}) {
            if (location.empty())
                continue;
            const auto it = g_credentials.find(LocationKey(location));
            if (it != g_credentials.end()) {
                user = it->second.user;
                password = it->second.password;
                return true;
            }
        }
        if (stored)
            fallback = g_fallback;
    }
    if (!fallback)
        return false;
    // The store is asked outside the lock: it may take its own locks.
    if (!shareLocation.empty() && askStore(fallback, shareLocation + "\\", user, password))
        return true;
    return askStore(fallback, serverLocation, user, password);
}

} // namespace SmbCredentials
