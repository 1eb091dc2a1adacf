#include "platform/Win32Error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <thread>

namespace {

TEST(Win32Error, EveryCodeHasItsOwnTextEndingInALineBreak)
{
    const int codes[] = {
        Win32::NoError, Win32::InvalidFunction, Win32::FileNotFound, Win32::PathNotFound,
        Win32::TooManyOpenFiles, Win32::AccessDenied, Win32::InvalidHandle, Win32::NotEnoughMemory,
        Win32::NotSameDevice, Win32::NoMoreFiles, Win32::WriteProtect, Win32::NotReady,
        Win32::GenFailure, Win32::SharingViolation, Win32::LockViolation, Win32::HandleEof,
        Win32::NotSupported, Win32::BadNetpath, Win32::NetworkBusy, Win32::UnexpNetErr,
        Win32::NetnameDeleted, Win32::BadNetName, Win32::FileExists, Win32::InvalidPassword,
        Win32::InvalidParameter, Win32::DiskFull, Win32::SemTimeout, Win32::InvalidName,
        Win32::DirNotEmpty, Win32::AlreadyExists, Win32::FilenameExcedRange, Win32::NoMoreItems, Win32::DirectoryInvalid, Win32::MrMidNotFound,
        Win32::OperationAborted, Win32::IoDevice, Win32::BadDevice, Win32::ConnectionUnavail,
        Win32::ExtendedError, Win32::NoNetwork, Win32::Cancelled, Win32::ConnectionRefused,
        Win32::NetworkUnreachable, Win32::HostUnreachable, Win32::LogonFailure,
        Win32::NoLogonServers, Win32::CantResolveFilename, Win32::NoBrowserServers,
    };
    std::set<std::string> seen;
    for (int code : codes) {
        bool found = false;
        const std::string text = Win32MessageText(code, &found);
        EXPECT_TRUE(found) << code;
        ASSERT_GE(text.size(), 3u) << code;
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << code;
        EXPECT_TRUE(seen.insert(text).second) << "text repeated for " << code;
    }
    EXPECT_EQ(Win32MessageText(Win32::SharingViolation), "程序無法存取檔案，因為檔案正由另一個程序使用。\r\n");
    EXPECT_EQ(Win32MessageText(Win32::FileNotFound), "系統找不到指定的檔案。\r\n");
}

TEST(Win32Error, UnknownCodeSaysNoMessageWasFound)
{
    bool found = true;
    const std::string text = Win32MessageText(12345, &found);
    EXPECT_FALSE(found);
    EXPECT_NE(text.find("0x3039"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST(Win32Error, ErrnoMapsToTheCodesCallersTest)
{
    EXPECT_EQ(Win32ErrorFromErrno(0), Win32::NoError);
    EXPECT_EQ(Win32ErrorFromErrno(ENOENT), Win32::FileNotFound);
    EXPECT_EQ(Win32ErrorFromErrno(ENOTDIR), Win32::PathNotFound);
    EXPECT_EQ(Win32ErrorFromErrno(EACCES), Win32::AccessDenied);
    EXPECT_EQ(Win32ErrorFromErrno(EPERM), Win32::AccessDenied);
    EXPECT_EQ(Win32ErrorFromErrno(EWOULDBLOCK), Win32::SharingViolation);
    EXPECT_EQ(Win32ErrorFromErrno(ENOSPC), Win32::DiskFull);
    EXPECT_EQ(Win32ErrorFromErrno(EEXIST), Win32::FileExists);
    EXPECT_EQ(Win32ErrorFromErrno(ENOTEMPTY), Win32::DirNotEmpty);
    EXPECT_EQ(Win32ErrorFromErrno(EROFS), Win32::WriteProtect);
    EXPECT_EQ(Win32ErrorFromErrno(EHOSTUNREACH), Win32::HostUnreachable);
    EXPECT_EQ(Win32ErrorFromErrno(ECONNREFUSED), Win32::ConnectionRefused);
    EXPECT_EQ(Win32ErrorFromErrno(9999), Win32::GenFailure);
}

TEST(Win32Error, ProviderErrorIsKeptPerThread)
{
    SetNetworkProviderError(1326, "logon failed here\r\n");
    std::string other = "unset";
    int otherCode = -1;
    std::thread([&] {
        SetNetworkProviderError(53, "elsewhere");
        other = NetworkProviderErrorText();
        otherCode = NetworkProviderErrorCode();
    }).join();
    EXPECT_EQ(other, "elsewhere");
    EXPECT_EQ(otherCode, 53);
    EXPECT_EQ(NetworkProviderErrorText(), "logon failed here\r\n");
    EXPECT_EQ(NetworkProviderErrorCode(), 1326);
}

}  // namespace
