#pragma once
#include <string>

// The Win32 error codes the program tests for, produced by the platform layer from
// Linux errors (errno, libsmbclient, libcurl) so that callers keep the Windows logic.
namespace Win32 {
enum : int {
    NoError = 0,
    InvalidFunction = 1,
    FileNotFound = 2,
    PathNotFound = 3,
    TooManyOpenFiles = 4,
    AccessDenied = 5,
    NotEnoughMemory = 8,
    InvalidHandle = 6,
    NotSameDevice = 17,
    NoMoreFiles = 18,
    WriteProtect = 19,
    NotReady = 21,
    GenFailure = 31,
    SharingViolation = 32,
    LockViolation = 33,
    HandleEof = 38,
    NotSupported = 50,
    BadNetpath = 53,
    NetworkBusy = 54,
    UnexpNetErr = 59,
    NetnameDeleted = 64,
    BadNetName = 67,
    FileExists = 80,
    InvalidPassword = 86,
    InvalidParameter = 87,
    DiskFull = 112,
    SemTimeout = 121,
    InvalidName = 123,
    DirNotEmpty = 145,
    AlreadyExists = 183,
    FilenameExcedRange = 206,
    NoMoreItems = 259,
    DirectoryInvalid = 267,
    MrMidNotFound = 317,
    OperationAborted = 995,
    IoDevice = 1117,
    BadDevice = 1200,
    ConnectionUnavail = 1201,
    ExtendedError = 1208,
    NoNetwork = 1222,
    Cancelled = 1223,
    ConnectionRefused = 1225,
    NetworkUnreachable = 1231,
    HostUnreachable = 1232,
    LogonFailure = 1326,
    NoLogonServers = 1311,
    CantResolveFilename = 1921,
    NoBrowserServers = 6118,
    // The socket layer's time-out: the server took the connection and then stopped
    // answering (stopped, hung, or gone behind a firewall), which is no missing path.
    ServerStoppedAnswering = 10060,
};
}

/// The Win32 code for a Linux errno value (0 for 0). File operations that know more refine
/// it (a missing parent folder is PathNotFound, an existing folder for mkdir AlreadyExists).
/// Errors without a closer match give GenFailure.
int Win32ErrorFromErrno(int err);

/// The code and text the network layer last left for ExtendedError (1208) on this thread,
/// as the provider's last-error call answers it.
void SetNetworkProviderError(int code, const std::string& text);
std::string NetworkProviderErrorText();
int NetworkProviderErrorCode();

/// The system's text for a Win32 code, in Traditional Chinese, ending in "\r\n" as the
/// system's texts do. For a code without a text, *found is false and the result is the
/// text saying that no message was found for it (its number in hexadecimal). 1208 gives
/// its generic text; the provider's own text is NetworkProviderErrorText().
std::string Win32MessageText(int code, bool* found = nullptr);
/// The same text without its line break, for one line of a report.
std::string Win32MessageLine(int code);
