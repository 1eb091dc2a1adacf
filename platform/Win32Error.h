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
    NoMoreFiles = 18,
    WriteProtect = 19,
    NotReady = 21,
    SharingViolation = 32,
    LockViolation = 33,
    HandleEof = 38,
    NotSupported = 50,
    BadNetpath = 53,
    NetworkBusy = 54,
    UnexpNetErr = 59,
    BadNetName = 67,
    FileExists = 80,
    InvalidPassword = 86,
    InvalidParameter = 87,
    DiskFull = 112,
    InvalidName = 123,
    DirNotEmpty = 145,
    AlreadyExists = 183,
    FilenameExcedRange = 206,
    NoMoreItems = 259,
    OperationAborted = 995,
    BadDevice = 1200,
    ConnectionUnavail = 1201,
    ExtendedError = 1208,
    NoNetwork = 1222,
    Cancelled = 1223,
    ConnectionRefused = 1225,
    HostUnreachable = 1232,
    LogonFailure = 1326,
    NoLogonServers = 1311,
    NoBrowserServers = 6118,
};
}

/// The Win32 code for a Linux errno value.
int Win32ErrorFromErrno(int err);

/// The code and text the network layer last left for ExtendedError (1208) on this thread,
/// as the provider's last-error call answers it.
void SetNetworkProviderError(int code, const std::string& text);
std::string NetworkProviderErrorText();

/// The system's text for a Win32 code, in Traditional Chinese, ending in "\r\n" as the
/// system's texts do (see the message functions for 1208 and unknown codes).
std::string Win32MessageText(int code, bool* found = nullptr);
