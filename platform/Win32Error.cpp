#include "platform/Win32Error.h"

#include "resources/StringTable.h"

#include <cerrno>
#include <cstdio>
#include <unordered_map>

namespace {

struct ProviderError {
    int code = 0;
    std::string text;
};

// Each thread keeps its own, as the provider's last-error call answers per thread.
thread_local ProviderError t_providerError;

const std::unordered_map<int, const char*>& MessageTexts()
{
    static const std::unordered_map<int, const char*> texts = {
        {Win32::NoError, "作業順利完成。"},
        {Win32::InvalidFunction, "不正確的函數。"},
        {Win32::FileNotFound, "系統找不到指定的檔案。"},
        {Win32::PathNotFound, "系統找不到指定的路徑。"},
        {Win32::TooManyOpenFiles, "系統無法開啟檔案。"},
        {Win32::AccessDenied, "存取被拒。"},
        {Win32::InvalidHandle, "控制代碼無效。"},
        {Win32::NotEnoughMemory, "存放裝置空間不足，無法處理這個命令。"},
        {Win32::NotSameDevice, "系統無法將檔案移到不同的磁碟機。"},
        {Win32::NoMoreFiles, "沒有其他檔案。"},
        {Win32::WriteProtect, "媒體有防寫保護。"},
        {Win32::NotReady, "裝置尚未就緒。"},
        {Win32::GenFailure, "附加到系統的裝置無法運作。"},
        {Win32::SharingViolation, "程序無法存取檔案，因為檔案正由另一個程序使用。"},
        {Win32::LockViolation, "程序無法存取檔案，因為檔案的一部分被另一個程序鎖定。"},
        {Win32::HandleEof, "已到檔案結尾。"},
        {Win32::NotSupported, "不支援此要求。"},
        {Win32::BadNetpath, "找不到網路路徑。"},
        {Win32::NetworkBusy, "網路忙碌中。"},
        {Win32::UnexpNetErr, "發生未預期的網路錯誤。"},
        {Win32::NetnameDeleted, "指定的網路名稱已無法使用。"},
        {Win32::BadNetName, "找不到網路名稱。"},
        {Win32::FileExists, "檔案已存在。"},
        {Win32::InvalidPassword, "指定的網路密碼不正確。"},
        {Win32::InvalidParameter, "參數錯誤。"},
        {Win32::DiskFull, "磁碟空間不足。"},
        {Win32::SemTimeout, "等候逾時。"},
        {Win32::InvalidName, "檔案名稱、目錄名稱或磁碟區標籤語法錯誤。"},
        {Win32::DirNotEmpty, "目錄不是空的。"},
        {Win32::AlreadyExists, "當檔案已存在時，無法建立該檔案。"},
        {Win32::FilenameExcedRange, "檔案名稱或副檔名太長。"},
        {Win32::NoMoreItems, "沒有可用的資料了。"},
        {Win32::DirectoryInvalid, "目錄名稱無效。"},
        {Win32::MrMidNotFound, "系統在訊息檔中找不到該訊息號碼的訊息文字。"},
        {Win32::OperationAborted, "由於執行緒結束或應用程式要求，已中止 I/O 作業。"},
        {Win32::IoDevice, "由於 I/O 裝置錯誤，所以無法執行該要求。"},
        {Win32::BadDevice, "指定的裝置名稱無效。"},
        {Win32::ConnectionUnavail, "裝置目前未連線，但是它是一個記住的連線。"},
        {Win32::ExtendedError, "發生延伸錯誤。"},
        {Win32::NoNetwork, "網路不存在或尚未啟動。"},
        {Win32::Cancelled, "使用者已取消作業。"},
        {Win32::ConnectionRefused, "遠端系統拒絕網路連線。"},
        {Win32::NetworkUnreachable, "無法連接遠端網路。"},
        {Win32::HostUnreachable, "無法連接遠端系統。"},
        {Win32::NoLogonServers, "目前沒有登入伺服器可以處理登入要求。"},
        {Win32::LogonFailure, "登入失敗: 不明的使用者名稱或錯誤密碼。"},
        {Win32::CantResolveFilename, "無法解析檔案名稱。"},
        {Win32::NoBrowserServers, "無法取得這個工作群組的伺服器清單。"},
        {Win32::ServerStoppedAnswering, "伺服器停止回應。"},
    };
    return texts;
}

}  // namespace

int Win32ErrorFromErrno(int err)
{
    switch (err) {
    case 0: return Win32::NoError;
    case ENOENT: return Win32::FileNotFound;
    case ENOTDIR: return Win32::PathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR: return Win32::AccessDenied;
    case EMFILE:
    case ENFILE: return Win32::TooManyOpenFiles;
    case ENOMEM: return Win32::NotEnoughMemory;
    case EBADF: return Win32::InvalidHandle;
    case EXDEV: return Win32::NotSameDevice;
    case EROFS: return Win32::WriteProtect;
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM: return Win32::NotReady;
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK: return Win32::SharingViolation;
    case EDEADLK:
    case ENOLCK: return Win32::LockViolation;
    case ENOSYS:
    case EOPNOTSUPP: return Win32::NotSupported;
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE: return Win32::NetnameDeleted;
    case EEXIST: return Win32::FileExists;
    case EINVAL: return Win32::InvalidParameter;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return Win32::DiskFull;
    case ETIMEDOUT: return Win32::SemTimeout;
    case EILSEQ: return Win32::InvalidName;
    case ENOTEMPTY: return Win32::DirNotEmpty;
    case ENAMETOOLONG: return Win32::FilenameExcedRange;
    case ECANCELED:
    case EINTR: return Win32::OperationAborted;
    case EIO: return Win32::IoDevice;
    case ENETDOWN: return Win32::NoNetwork;
    case ECONNREFUSED: return Win32::ConnectionRefused;
    case ENETUNREACH: return Win32::NetworkUnreachable;
    case EHOSTUNREACH:
    case EHOSTDOWN: return Win32::HostUnreachable;
    case ELOOP: return Win32::CantResolveFilename;
    default: return Win32::GenFailure;
    }
}

void SetNetworkProviderError(int code, const std::string& text)
{
    t_providerError.code = code;
    t_providerError.text = text;
}

std::string NetworkProviderErrorText()
{
    return t_providerError.text;
}

int NetworkProviderErrorCode()
{
    return t_providerError.code;
}

std::string Win32MessageText(int code, bool* found)
{
    const auto& texts = MessageTexts();
    const auto it = texts.find(code);
    if (found)
        *found = it != texts.end();
    if (it != texts.end())
        return UiCaption(it->second) + "\r\n";
    char number[16];
    std::snprintf(number, sizeof number, "0x%X", static_cast<unsigned>(code));
    return UiFormat("系統在訊息檔中找不到訊息號碼 %1 的訊息文字。", {number}) + "\r\n";
}

std::string Win32MessageLine(int code)
{
    std::string text = Win32MessageText(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}
