// The FTP side of tamsel-net: ftp://[USER@]HOST[:PORT]/PATH, folders ending in "/", through
// the same site operations the site window uses.
#include "network/FtpSite.h"
#include "platform/DateTime.h"
#include "platform/NativeFiles.h"
#include "platform/NativeNames.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"
#include "tools/JsonLine.h"
#include "tools/net/NetCli.h"
#include "tools/net/NetCommands.h"

#include <sys/stat.h>
#include <utility>

namespace netcli {

namespace {

const std::set<std::string> FtpValueOptions = {"--user", "--encoding", "--timeout"};
const std::set<std::string> FtpFlags = {"--password-stdin", "--passive", "--save"};

// Code 53 is the system's "network path not found"; 5 "access denied"; 2 "not found".
constexpr int ErrNetPath = 53;
constexpr int ErrAccess = 5;
constexpr int ErrNotFound = 2;
constexpr int ErrFailed = 1;

struct FtpTarget {
    FtpSettings settings;
    std::string path;  // "/" separated text; a folder ends in "/"
};

FtpTarget parseUrl(const std::string& url, const NetArgs& args)
{
    if (!isFtpUrl(url))
        throw CommandError{87, UiFormat("不是 ftp:// 位址: %1", {url}), true};
    FtpTarget target;
    std::string rest = url.substr(6);
    const size_t slash = rest.find('/');
    std::string authority = slash == std::string::npos ? rest : rest.substr(0, slash);
    target.path = slash == std::string::npos ? "/" : rest.substr(slash);
    const size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        target.settings.user = authority.substr(0, at);
        authority.erase(0, at + 1);
    }
    if (!authority.empty() && authority.front() == '[') {
        const size_t close = authority.find(']');
        if (close == std::string::npos)
            throw CommandError{87, UiFormat("位址不正確: %1", {url}), true};
        target.settings.host = authority.substr(1, close - 1);
        authority.erase(0, close + 1);
    } else {
        const size_t colon = authority.find(':');
        target.settings.host = authority.substr(0, colon);
        authority.erase(0, colon == std::string::npos ? authority.size() : colon);
    }
    if (!authority.empty()) {
        if (authority.front() != ':' || authority.size() < 2)
            throw CommandError{87, UiFormat("位址不正確: %1", {url}), true};
        const std::string port = authority.substr(1);
        if (port.find_first_not_of("0123456789") != std::string::npos || port.size() > 5 || std::stoi(port) < 1
            || std::stoi(port) > 65535)
            throw CommandError{87, UiFormat("連接埠不正確: %1", {port}), true};
        target.settings.port = std::stoi(port);
    }
    if (target.settings.host.empty())
        throw CommandError{87, UiFormat("位址中沒有主機: %1", {url}), true};
    if (args.has("--user"))
        target.settings.user = args.value("--user");
    if (args.has("--password-stdin"))
        target.settings.password = readPasswordFromStdin();
    target.settings.passive = args.has("--passive");
    target.settings.timeoutMs = long(args.number("--timeout", 10000, 100, 600000));
    return target;
}

FtpEncoding encodingOption(const NetArgs& args)
{
    FtpEncoding encoding = FtpEncoding::Auto;
    if (args.has("--encoding") && !ParseFtpEncoding(args.value("--encoding"), encoding))
        throw CommandError{87, UiCaption("--encoding 只能是 auto, utf-8 或 cp950"), true};
    return encoding;
}

[[noreturn]] void fail(const FtpResult& result, const std::string& what)
{
    int code = ErrFailed;
    if (result.reply == 530 || result.reply == 331)
        code = ErrAccess;
    else if (result.reply == 550)
        code = ErrNotFound;
    else if (result.reply == 0)
        code = ErrNetPath;
    if (result.timedOut)
        code = Win32::ServerStoppedAnswering;
    std::string message = what;
    if (result.reply)
        message += " (" + std::to_string(result.reply) + ")";
    if (!result.error.empty())
        message += ": " + result.error;
    throw CommandError{code, message};
}

void connectSite(FtpSite& site, const FtpTarget& target, const NetArgs& args)
{
    const FtpResult result = site.connect(target.settings, encodingOption(args));
    if (!result.ok)
        fail(result, UiFormat("無法連線 %1", {target.settings.host}));
}

bool isFolderPath(const std::string& path) { return !path.empty() && path.back() == '/'; }

std::string lastPart(const std::string& path)
{
    std::string trimmed = FtpPathFromSite(path);
    return trimmed.substr(trimmed.find_last_of('/') + 1);
}

NetArgs parse(const Words& words) { return NetArgs(words, FtpValueOptions, FtpFlags); }

} // namespace

bool isFtpUrl(const std::string& path) { return path.rfind("ftp://", 0) == 0; }

CommandRun ftpCommandFor(const std::string& name, const Words& words)
{
    static const std::pair<const char*, CommandRun> Commands[] = {
        {"ls", ftpLsCommand},         {"get", ftpGetCommand},
        {"put", ftpPutCommand},       {"mkdir", ftpMkdirCommand},
        {"rename", ftpRenameCommand}, {"delete", ftpDeleteCommand},
    };
    bool namesSite = false;
    for (const std::string& word : words)
        namesSite = namesSite || isFtpUrl(word);
    for (const auto& [commandName, run] : Commands) {
        if (namesSite && name == commandName)
            return run;
    }
    return nullptr;
}

int ftpLsCommand(const Words& words)
{
    const NetArgs args = parse(words);
    args.expect(1, 1, "tamsel-net ls ftp://[USER@]HOST[:PORT]/DIR/");
    const FtpTarget target = parseUrl(args.positional()[0], args);
    FtpSite site;
    connectSite(site, target, args);
    std::vector<FtpEntry> entries;
    std::vector<std::string> refused, badDates;
    const FtpResult result = site.listFolder(FtpPathFromSite(target.path), NowDateTime(), entries, refused, &badDates);
    if (!result.ok)
        fail(result, UiCaption("列出目錄失敗"));
    for (const std::string& name : refused)
        JsonObject().text("refused", name).print(stderr);
    for (const std::string& name : badDates)
        JsonObject().text("refused", name).text("reason", UiFormat("拒絕日期不正確的項目: %1", {name})).print(stderr);
    for (const FtpEntry& entry : entries) {
        JsonObject line;
        // "dir", as the listing of a share writes it.
        line.text("name", entry.name).boolean("dir", entry.folder);
        if (entry.size >= 0)
            line.number("size", entry.size);
        // The server's own date, not turned into this machine's zone.
        line.text("modified", DateTimeText(entry.listed));
        line.print();
    }
    return ExitOk;
}

int ftpGetCommand(const Words& words)
{
    const NetArgs args = parse(words);
    args.expect(2, 2, "tamsel-net get ftp://HOST/PATH LOCALFOLDER");
    const FtpTarget target = parseUrl(args.positional()[0], args);
    const std::string localFolder = args.positional()[1];
    const std::string remote = FtpPathFromSite(target.path);
    // The site's root has no name of its own: it comes into the local folder itself.
    const bool root = remote == "/";
    const std::string name = lastPart(target.path);
    if (!root && !IsPlainName(name))
        throw CommandError{87, UiFormat("不安全的名稱: %1", {name}), true};
    FtpSite site;
    connectSite(site, target, args);
    const std::string destination = root ? localFolder : NativeJoin(localFolder, name);
    FtpResult result;
    if (root || isFolderPath(target.path)) {
        result = site.downloadTree(remote, destination, NowDateTime(),
                                   [](const std::string& line) { JsonObject().text("file", line).print(stderr); }, {});
    } else {
        result = site.download(remote, destination, -1, true, {});
    }
    if (!result.ok)
        fail(result, UiCaption("下載失敗"));
    struct stat status {};
    JsonObject line;
    line.text("path", destination);
    if (::stat(destination.c_str(), &status) == 0 && S_ISREG(status.st_mode))
        line.number("bytes", status.st_size);
    line.print();
    return ExitOk;
}

int ftpPutCommand(const Words& words)
{
    const NetArgs args = parse(words);
    args.expect(2, 1000, "tamsel-net put LOCAL... ftp://HOST/DIR/");
    const std::vector<std::string>& positional = args.positional();
    const FtpTarget target = parseUrl(positional.back(), args);
    FtpSite site;
    connectSite(site, target, args);
    const std::string folder = FtpPathFromSite(target.path);
    for (size_t i = 0; i + 1 < positional.size(); ++i) {
        const std::string& local = positional[i];
        struct stat status {};
        if (::stat(local.c_str(), &status) != 0)
            throw CommandError{ErrNotFound, UiFormat("找不到 %1", {local})};
        const std::string remote = RemoteJoin(folder, NativeBaseName(local));
        const FtpResult result = S_ISDIR(status.st_mode)
            ? site.uploadTree(local, remote, [](const std::string&) {}, {})
            : site.upload(local, remote, {});
        if (!result.ok)
            fail(result, UiCaption("上傳失敗"));
        JsonObject().text("path", remote).print();
    }
    return ExitOk;
}

int ftpMkdirCommand(const Words& words)
{
    const NetArgs args = parse(words);
    args.expect(1, 1, "tamsel-net mkdir ftp://HOST/DIR/");
    const FtpTarget target = parseUrl(args.positional()[0], args);
    FtpSite site;
    connectSite(site, target, args);
    const FtpResult result = site.makeDir(FtpPathFromSite(target.path));
    if (!result.ok)
        fail(result, UiCaption("建立目錄失敗"));
    JsonObject().text("path", FtpPathFromSite(target.path)).print();
    return ExitOk;
}

int ftpRenameCommand(const Words& words)
{
    const NetArgs args = parse(words);
    args.expect(2, 2, "tamsel-net rename ftp://HOST/PATH NEWNAME");
    const FtpTarget target = parseUrl(args.positional()[0], args);
    const std::string newName = args.positional()[1];
    if (!IsPlainName(newName))
        throw CommandError{87, UiFormat("新名稱不正確: %1", {newName}), true};
    FtpSite site;
    connectSite(site, target, args);
    const std::string from = FtpPathFromSite(target.path);
    const std::string to = RemoteJoin(RemoteParent(from), newName);
    const FtpResult result = site.rename(from, to);
    if (!result.ok)
        fail(result, UiCaption("更改名稱失敗"));
    JsonObject().text("path", to).print();
    return ExitOk;
}

int ftpDeleteCommand(const Words& words)
{
    const NetArgs args = parse(words);
    args.expect(1, 1, "tamsel-net delete ftp://HOST/PATH");
    const FtpTarget target = parseUrl(args.positional()[0], args);
    FtpSite site;
    connectSite(site, target, args);
    const std::string remote = FtpPathFromSite(target.path);
    const FtpResult result = isFolderPath(target.path)
        ? site.deleteTree(remote, NowDateTime(), [](const std::string&) {})
        : site.deleteFile(remote);
    if (!result.ok)
        fail(result, UiCaption(isFolderPath(target.path) ? "刪除目錄失敗" : "刪除檔案失敗"));
    JsonObject().text("deleted", remote).print();
    return ExitOk;
}

} // namespace netcli
