#pragma once
#include <functional>
#include <mutex>
#include <string>

// The libsmbclient contexts of the program. A context is not thread-safe, so each thread
// gets its own, made on first use and freed when the thread ends; nothing hands one to
// another thread. Two kinds: workgroup browsing still needs the old NT1 dialect, while
// shares and files are reached over SMB2/3.
//
// Every context reads a configuration of ours that sets the OEM code page (below) and then
// takes in the file the environment variable TAMSEL_SMB_CONF names, when it is set (tests
// and demos point it at a private smb.conf with "interfaces = lo", "name resolve order =
// host" and private cache and lock folders, so that nothing is broadcast beyond loopback);
// otherwise libsmbclient's usual one. TAMSEL_SMB_PORT, when set, is the TCP port every
// context connects to.
//
// The authentication callback runs on every open and stat; it is answered from the
// credential cache below and never asks the user.

typedef struct _SMBCCTX SMBCCTX;

enum class SmbKind {
    Browse, // NT1: workgroups and their servers
    Files,  // SMB2/3: shares, folders and files
};

inline constexpr const char* SmbConfigVariable = "TAMSEL_SMB_CONF";
inline constexpr const char* SmbPortVariable = "TAMSEL_SMB_PORT";
/// The OEM code page NetBIOS names are written in on the LAN (an iconv name); CP950, the
/// code page of the program's own texts, when unset or unknown.
inline constexpr const char* SmbOemCharsetVariable = "TAMSEL_OEM_CHARSET";

/// The OEM code page in use: TAMSEL_OEM_CHARSET when iconv knows it, else "CP950". Every
/// context reads it as its "dos charset", so names in browse lists and name queries are
/// decoded and encoded in it.
std::string SmbOemCharset();

/// libsmbclient keeps the scratch memory of each call on one process-wide stack (this
/// build has no thread support), so no two of its calls may run at once, even on separate
/// contexts. Held around each call only, never across a callback that may wait for another
/// thread, which could be waiting for this lock.
std::unique_lock<std::recursive_mutex> LockSmbCalls();

/// The result of `call`, made while holding LockSmbCalls; errno is left as the call set it.
template <class Call>
auto SmbCall(Call&& call)
{
    auto lock = LockSmbCalls();
    return call();
}

/// This thread's context of `kind`; null with *error (a Win32 code) when libsmbclient
/// cannot be set up, for example because the configuration file cannot be read.
SMBCCTX* SmbThreadContext(SmbKind kind, int* error = nullptr);

/// Forgets this thread's contexts without closing anything: for a process forked from one
/// whose connections stay its parent's. The next call makes new ones.
void SmbAbandonThreadContexts();

/// Drops this thread's connections to servers (every one, or those to `server`, named as
/// in its paths or by the address the name table gives for it), so that the next call connects again and asks the credential cache anew.
/// A connection that still has a file or folder open stays.
void SmbDropConnections(const std::string& server = {});

/// The smb:// address of a UNC path ("\\SERVER\SHARE\dir\" -> "smb://SERVER/SHARE/dir/"),
/// with the characters libsmbclient would read as URL syntax escaped. "\\SERVER" gives the
/// server's address, whose listing is its shares. A server LocateServer (ServerNames.h) finds
/// is given by that address; the callbacks still see its name, and at an address from a
/// discovery reply they send no stored password.
std::string SmbUrl(const std::string& uncPath);

/// The Win32 code for the errno a libsmbclient call left. A refused logon cannot be told
/// from a refused file by errno alone: callers that know the connection failed use
/// SmbLogonErrorIfRefused.
int Win32ErrorFromSmb(int err);

/// The code of Win32ErrorFromSmb, refined by looking at the share and the server of
/// `uncPath` once more when `err` is a refusal or a missing entry: 86 when the server refused
/// the credentials given (a wrong password), 1326 when the logon was refused otherwise (none
/// given, or a user the server took only as its guest), 53 when the server cannot be
/// reached, 67 when the share is missing, 3 when the entry's folder is missing. Only
/// failures pay for the extra requests. A server that stopped answering (ETIMEDOUT) gives
/// 10060 at once, and this thread's connections to it are dropped.
int SmbErrorFor(int err, const std::string& uncPath);
/// SmbErrorFor for the code Win32ErrorFromSmb gave.
int SmbExplainError(int code, const std::string& uncPath);

/// The credentials the authentication callback gives. A location is "\\SERVER\SHARE",
/// "\\SERVER\SHARE\" or "\\SERVER"; a share's entry wins over its server's. A user name
/// may be "DOMAIN\user". The cache is shared by the threads of the process (it holds data,
/// no context) and never writes a password anywhere.
namespace SmbCredentials {
void set(const std::string& location, const std::string& user, const std::string& password);
void forget(const std::string& location);
void clear();
/// What the callback would answer for `server` and `share` (share may be empty); with
/// `stored` false, only what was set in this run, never the password store (Fallback).
bool lookup(const std::string& server, const std::string& share, std::string& user, std::string& password,
            bool stored = true);
/// Asked when the cache has no entry (the password store answers it); called with the
/// share's location "\\SERVER\SHARE\" and then the server's "\\SERVER".
using Fallback = std::function<bool(const std::string& location, std::string& user, std::string& password)>;
void setFallback(Fallback fallback);

/// While one is alive, each answer of the fallback is kept and given again without asking
/// it: a walk of a share logs on for every folder, and the password store reads its file
/// each time. Kept only for the life of the outermost one, so a password changed in the
/// store is seen by the next walk. Set, forget and clear drop what was kept.
class KeepStoreAnswers {
public:
    KeepStoreAnswers();
    ~KeepStoreAnswers();
    KeepStoreAnswers(const KeepStoreAnswers&) = delete;
    KeepStoreAnswers& operator=(const KeepStoreAnswers&) = delete;
};
} // namespace SmbCredentials

/// "SERVER" and "SHARE" of "\\SERVER\SHARE\..." (empty parts where the path has none).
void SplitUncPath(const std::string& uncPath, std::string* server, std::string* share, std::string* rest = nullptr);
