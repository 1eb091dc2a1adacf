#include "tools/quellor/Collector.h"

#include "local/FileOperationEngine.h"
#include "platform/DriveMap.h"
#include "platform/FileAccess.h"
#include "platform/NativeFiles.h"
#include "platform/Ping.h"
#include "platform/SmbContext.h"
#include "platform/SmbFiles.h"
#include "platform/Win32Error.h"
#include "store/NodePaths.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <fcntl.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>

namespace {

// Numbers tried for a free name before giving up.
constexpr int kMaxNumber = 10000;

std::string messageOf(int code)
{
    std::string text = Win32MessageText(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

bool exists(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// No questions: an entry in the way is never replaced. Each item goes into an empty
// folder of its own first, so the engine meets none.
class QuietUi : public FileOperationUi {
public:
    void begin(uint32_t, uint64_t, uint64_t) override {}
    void progress(uint64_t, const std::string&) override {}
    bool cancelled() override { return false; }
    OverwriteAnswer askOverwrite(const FileOpEntry&, const FileOpEntry&) override { return OverwriteAnswer::No; }
    bool confirmDelete(const std::vector<std::string>&, bool) override { return false; }
    void end() override {}
};

} // namespace

std::vector<CollectItem> ReadCollectList(const std::string& text, const std::function<void(int, const std::string&)>& bad)
{
    std::vector<CollectItem> items;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos)
            continue;
        if (line[first] != '{') {
            items.push_back({line.substr(first), {}});
            continue;
        }
        const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line));
        const QJsonObject object = document.object();
        const QString path = object.value(QStringLiteral("path")).toString();
        if (!document.isObject() || path.isEmpty()) {
            if (bad)
                bad(number, line);
            continue;
        }
        items.push_back({path.toStdString(), object.value(QStringLiteral("computer")).toString().toStdString()});
    }
    return items;
}

std::string FreeName(const std::string& folder, const std::string& name)
{
    if (!exists(folder + "/" + name))
        return name;
    // The number goes before the extension; a name starting with its only dot has none.
    const size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    for (int n = 2; n < kMaxNumber; ++n) {
        const std::string candidate = stem + " (" + std::to_string(n) + ")" + extension;
        if (!exists(folder + "/" + candidate))
            return candidate;
    }
    return {};
}

Collector::Collector(const std::string& cachePath, std::string targetFolder)
    : m_computers(CachedComputers(cachePath)), m_target(std::move(targetFolder))
{
    HostAnswers = [](const std::string& host) { return PingHost(host).reachable; };
}

const CachedComputer* Collector::computerFor(const CollectItem& item) const
{
    for (const CachedComputer& computer : m_computers) {
        if (!item.Computer.empty()) {
            if (CompareTextNoCase(computer.Name, item.Computer) == 0)
                return &computer;
            continue;
        }
        // A bare path: the computer whose network name it begins with.
        const std::string prefix = AddBackslash(RemoveBackslash(computer.RemoteName));
        if (prefix.size() > 2 && CompareTextNoCase(item.Path.substr(0, prefix.size()), prefix) == 0)
            return &computer;
    }
    return nullptr;
}

bool Collector::answers(const std::string& host)
{
    const std::string key = FoldTextCase(host);
    auto found = m_hosts.find(key);
    if (found == m_hosts.end())
        found = m_hosts.emplace(key, HostAnswers(host)).first;
    return found->second;
}

CollectResult Collector::collect(const CollectItem& item)
{
    CollectResult result;
    result.Source = item.Path;
    auto fail = [&](int code, const std::string& why) {
        result.Code = code;
        result.Message = why.empty() ? item.Path + ": " + messageOf(code) : why;
        return result;
    };
    const CachedComputer* computer = computerFor(item);
    if (!item.Computer.empty() && !computer)
        return fail(Win32::BadNetpath, item.Computer + " 不在快取中");
    LiveLocation live;
    if (computer) {
        live = LiveLocationOf(*computer, item.Path);
    } else if (IsUncPath(item.Path)) {
        std::string server;
        SplitUncPath(item.Path, &server, nullptr);
        live = {item.Path, server};
    } else {
        live = {item.Path, ""};
    }
    if (live.Path.empty())
        return fail(Win32::NotSupported, "FTP 站台的檔案請從 Tamsel 的站台視窗下載");
    if (!live.Host.empty() && !answers(live.Host))
        return fail(Win32::BadNetpath, (computer ? computer->Name : live.Host) + " 沒有回應，這次無法取得");

    const std::string remote = RemoveBackslash(live.Path);
    const std::string source = IsUncPath(remote) ? SmbNativePath(remote) : NativePath(remote);
    if (source.empty())
        return fail(IsUncPath(remote) ? Win32::BadNetpath : Win32::PathNotFound, "");
    std::error_code error;
    std::filesystem::create_directories(m_target, error);
    // A staging folder of this item's own inside the target: the same volume, so the last
    // step is a rename, and nothing half-copied ever carries a real name.
    std::string staging = m_target + "/.quellor-XXXXXX";
    if (!mkdtemp(staging.data()))
    {
        const int code = Win32ErrorFromErrno(errno);
        return fail(code, m_target + ": " + messageOf(code));
    }
    QuietUi ui;
    FileOperationEngine engine(ui);
    const FileOperationOutcome outcome = engine.Run(FO_COPY, {source}, staging, FOF_SILENT);
    const std::string name = NativeBaseName(source);
    if (outcome.code == 0) {
        // Taken names are skipped; RENAME_NOREPLACE keeps one made meanwhile by another.
        for (int attempt = 0; attempt < kMaxNumber && result.Target.empty(); ++attempt) {
            const std::string free = FreeName(m_target, name);
            if (free.empty())
                break;
            const std::string target = m_target + "/" + free;
            if (renameat2(AT_FDCWD, (staging + "/" + name).c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
                result.Target = target;
            else if (errno != EEXIST)
                break;
        }
    }
    const int code = outcome.code != 0 ? outcome.code : result.Target.empty() ? Win32ErrorFromErrno(errno) : 0;
    std::filesystem::remove_all(staging, error);
    if (code != 0)
        return fail(code, "");
    return result;
}
