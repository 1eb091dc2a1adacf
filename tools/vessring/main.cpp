// vessring: the cache updater. Crawls computers of the network over SMB and writes their
// listing pairs into the cache, so that Tamsel and pallisk can show and search them while
// the computers are off. See Help below.
#include "app/LanguageSetting.h"
#include "network/CrawlTargets.h"
#include "network/CrawlWorker.h"
#include "platform/DateTime.h"
#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "platform/ProgramFolder.h"
#include "platform/SmbContext.h"
#include "platform/ServerNames.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"
#include "store/CrawlChanges.h"
#include "store/NameTable.h"
#include "store/NodePaths.h"
#include "tools/JsonLine.h"
#include "tools/net/NetCli.h"
#include "tools/vessring/CrawlJobs.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <unistd.h>

namespace {

constexpr int ErrorInvalidData = 13;
constexpr const char* Usage = "vessring -N | vessring [選項] \\\\電腦|位址 ... | vessring --changes 電腦（--help 說明）";
constexpr const char* Help =
    "vessring: 更新網路電腦的快取\n"
    "\n"
    "  vessring -N                 爬行快取中網路上的芳鄰與延伸網路的每一台電腦\n"
    "  vessring \\\\電腦|位址 ...    爬行指定的電腦；快取中沒有時，電腦名稱加在 --workgroup 的工作群組下，\n"
    "                              位址加在延伸網路下\n"
    "  vessring --changes 電腦      以 JSON 行列出上次爬行找到的新增、刪除與變更的檔案\n"
    "\n"
    "選項:\n"
    "  --jobs N                同時爬行的電腦數（1-16，預設 4）\n"
    "  --connections N         每台電腦同時連線的數目（1-8，預設 3），每個分享各用一條；1 時逐一走訪分享\n"
    "  --share-timeout 秒      每個分享的走訪時限（預設不限）；超過時該電腦標為部分完成\n"
    "  --full                  每個資料夾都重新讀取，不沿用修改時間未變的資料夾\n"
    "  --workgroup 名稱        新加電腦所屬的工作群組（預設 WORKGROUP）\n"
    "  --share 分享            只爬行這個分享，其餘分享保留先前的快取\n"
    "  --user 名稱 --password-stdin\n"
    "                          以這個帳號與標準輸入的第一行密碼連線 --share 的分享（只用於這一次）\n"
    "  --json                  每台電腦、每個進度與每個被拒的分享各一行 JSON\n"
    "\n"
    "帳號密碼取自密碼庫（分享的項目優先於電腦的項目）。拒絕存取的分享會印出並記在\n"
    "程式資料夾的 vessring.log 中，該電腦標為部分完成（節點狀態的第 30 位元），\n"
    "先前快取中該分享的內容保留。\n"
    "\n"
    "計數: 共 = 所有檔案；圖 = jpg jpeg jpe png gif bmp tif tiff webp heic heif ico svg psd raw cr2 nef dng；\n"
    "音 = mp3 wav flac aac ogg oga opus m4a wma mid midi ape aiff aif amr；\n"
    "影 = mp4 m4v mkv avi mov wmv mpg mpeg vob webm flv 3gp ts m2ts rm rmvb ogv（副檔名不分大小寫）。\n";

std::atomic<bool> g_stop{false};

void onSignal(int)
{
    g_stop = true;
}

// Appends lines to the program folder's vessring.log; a log that cannot be written costs
// only the log.
class CrawlLog {
public:
    explicit CrawlLog(const std::string& path) : m_file(OpenFile(path, FileMode::OpenOrCreate, nullptr))
    {
        if (m_file)
            m_file->seek(m_file->size());
    }
    void line(const std::string& text)
    {
        if (!m_file)
            return;
        const std::string whole = DateTimeText(NowDateTime()) + " " + text + "\n";
        m_file->write(whole.data(), whole.size());
    }

private:
    std::unique_ptr<PlatformFile> m_file;
};

struct Screen {
    bool json = false;
    bool bar = false;  // standard error is a terminal
    size_t total = 0;
    size_t finished = 0;
    std::map<size_t, CrawlProgress> running;

    void clearBar() const
    {
        if (bar)
            std::fputs("\r\033[K", stderr);
    }
    void drawBar(const std::vector<TNodeData>& computers) const
    {
        if (!bar)
            return;
        constexpr int Width = 30;
        const int filled = total ? int(Width * finished / total) : Width;
        std::string line = "\r\033[K[" + std::string(size_t(filled), '#') + std::string(size_t(Width - filled), '.') + "] "
                           + std::to_string(finished) + "/" + std::to_string(total);
        for (const auto& [job, p] : running)
            line += "  " + UiFormat("%1 %2 夾 %3 檔", {computers[job].Caption, std::to_string(p.Folders), std::to_string(p.Files)});
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
    }
};

std::string stateOf(const CrawlOutcome& o)
{
    if (o.Cancelled)
        return "cancelled";
    if (!o.Written)
        return "failed";
    return o.Record.Partial ? "partial" : "complete";
}

int crawl(const netcli::NetArgs& args, const std::vector<std::string>& targets, bool all)
{
    using namespace netcli;
    const std::string program = ProgramFolder();
    const std::string cachePath = program + "Cache\\";
    CrawlOptions options;
    if (args.has("--share-timeout")) {
        const std::string text = args.value("--share-timeout");
        char* end = nullptr;
        const double seconds = std::strtod(text.c_str(), &end);
        if (text.empty() || *end || !(seconds > 0) || seconds > 86400)
            throw CommandError{87, UiCaption("--share-timeout 需要 0 到 86400 之間的秒數"), true};
        options.ShareTimeoutMs = std::max(1, int(seconds * 1000));
    }
    options.Full = args.has("--full");
    options.OnlyShare = args.value("--share");
    options.Connections = int(args.number("--connections", 0, 1, 8));
    std::string user, password;
    if (args.has("--password-stdin") || args.has("--user")) {
        // A password typed for one share goes to that share only, and only for this run.
        if (options.OnlyShare.empty() || !args.has("--user") || !args.has("--password-stdin") || all
            || targets.size() != 1)
            throw CommandError{87, UiCaption("--user 與 --password-stdin 需要 --share 和一台電腦"), true};
        user = args.value("--user");
        password = readPasswordFromStdin();
    }
    const int jobs = int(args.number("--jobs", 4, 1, 16));
    Screen screen;
    screen.json = args.has("--json");
    screen.bar = !screen.json && isatty(STDERR_FILENO);
    CrawlLog log(program + "vessring.log");
    bool failed = false;

    std::vector<TNodeData> computers;
    if (all) {
        for (auto& c : StoredComputers(cachePath, [&](const std::string& message) {
                 report(CommandError{ErrorInvalidData, message});
                 failed = true;
             }))
            computers.push_back(*c);
    }
    for (const std::string& target : targets) {
        try {
            bool added = false;
            auto computer = FindOrAddComputer(cachePath, target, args.value("--workgroup"), added);
            if (added)
                log.line(UiFormat("新增電腦 %1 於 %2", {computer->Caption, computer->StoreDir}));
            computers.push_back(*computer);
        } catch (const Exception& e) {
            report(CommandError{87, target + ": " + e.message()});
            failed = true;
        }
    }
    if (!user.empty())
        for (const TNodeData& computer : computers)
            for (const std::string& server : {CrawlComputerName(computer), CrawlServerAddress(computer)})
                SmbCredentials::set("\\\\" + server + "\\" + options.OnlyShare, user, password);
    screen.total = computers.size();
    if (computers.empty() && !failed && !screen.json)
        std::printf("%s\n", UiCaption("快取中沒有要爬行的電腦").c_str());

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    CrawlJobEvents events;
    events.started = [&](size_t job) {
        screen.running[job] = CrawlProgress();
        if (screen.json)
            JsonObject().text("computer", computers[job].Caption).text("state", "started").print();
        screen.drawBar(computers);
    };
    events.progress = [&](size_t job, const CrawlProgress& p) {
        screen.running[job] = p;
        if (screen.json)
            JsonObject().text("computer", computers[job].Caption).text("state", "running").text("share", p.Share)
                .number("folders", p.Folders).number("files", p.Files).print();
        screen.drawBar(computers);
    };
    events.finished = [&](size_t job, const CrawlOutcome& o) {
        const TNodeData& computer = computers[job];
        screen.running.erase(job);
        screen.finished++;
        CrawlOutcome outcome = o;
        if (outcome.Written) {
            try {
                StoreCrawlCounters(computer, outcome.Counters, outcome.Record.Partial);
            } catch (const Exception& e) {
                outcome.Error = ErrorInvalidData;
                outcome.ErrorText = UiFormat("計數無法寫入節點檔：%1", {e.message()});
                failed = true;
            }
        }
        const std::string state = stateOf(outcome);
        size_t counts[3] = {0, 0, 0};
        for (const CrawlChange& c : outcome.Record.Changes)
            counts[int(c.Kind)]++;
        screen.clearBar();
        for (const RefusedShare& share : outcome.Record.Refused) {
            log.line(UiFormat("%1: 分享 %2 拒絕存取 (%3) %4", {computer.Caption, share.Share, std::to_string(share.Code), share.Message}));
            if (screen.json)
                JsonObject().text("computer", computer.Caption).text("refused", share.Share).number("error", share.Code)
                    .text("message", share.Message).print();
            else
                std::printf("  %s\n", UiFormat("%1 拒絕存取：%2", {share.Share, share.Message}).c_str());
        }
        for (const std::string& reason : outcome.Record.Reasons)
            log.line(computer.Caption + ": " + reason);
        const CrawlCounters& k = outcome.Counters;
        if (state == "failed" || state == "cancelled")
            log.line(computer.Caption + ": " + (state == "failed" ? UiFormat("失敗 %1", {outcome.ErrorText}) : UiCaption("中斷，快取未變")));
        else
            log.line(computer.Caption + ": " + UiFormat(state == "partial" ? "部分完成，共 %1 檔" : "完成，共 %1 檔", {std::to_string(k.Files)}));
        if (screen.json) {
            JsonObject line;
            line.text("computer", computer.Caption).text("state", state).number("files", k.Files).number("images", k.Images)
                .number("audio", k.Audio).number("video", k.Video).number("folders", outcome.Folders)
                .number("reused", outcome.ReusedFolders).number("new", long(counts[0])).number("removed", long(counts[1]))
                .number("changed", long(counts[2])).texts("reasons", outcome.Record.Reasons);
            if (!outcome.Written)
                line.number("error", outcome.Error).text("message", outcome.ErrorText);
            line.print();
        } else if (state == "failed") {
            std::printf("%s: %s\n", computer.Caption.c_str(), UiFormat("失敗 %1", {outcome.ErrorText}).c_str());
        } else if (state == "cancelled") {
            std::printf("%s: %s\n", computer.Caption.c_str(), UiCaption("中斷，快取未變").c_str());
        } else {
            const auto n = [](auto value) { return std::to_string(value); };
            const std::string counted = UiFormat("%1 共%2,圖%3,音%4,影%5；", {
                UiCaption(state == "partial" ? "部分完成" : "完成"), n(k.Files), n(k.Images), n(k.Audio), n(k.Video)});
            const std::string walked = UiFormat("%1 個資料夾（沿用 %2）；新增 %3、刪除 %4、變更 %5", {
                n(outcome.Folders), n(outcome.ReusedFolders), n(counts[0]), n(counts[1]), n(counts[2])});
            std::printf("%s: %s%s\n", computer.Caption.c_str(), counted.c_str(), walked.c_str());
            for (const std::string& reason : outcome.Record.Reasons)
                std::printf("  %s\n", reason.c_str());
        }
        std::fflush(stdout);
        if (state != "complete")
            failed = true;
        screen.drawBar(computers);
    };
    RunCrawlJobs(computers, options, jobs, g_stop, events);
    screen.clearBar();
    if (g_stop)
        report(CommandError{1223, UiCaption("已中斷：未完成的電腦保留先前的快取")});
    return failed || g_stop ? ExitFailed : ExitOk;
}

int changes(const std::string& name)
{
    using namespace netcli;
    const std::string cachePath = ProgramFolder() + "Cache\\";
    for (const auto& computer : StoredComputers(cachePath)) {
        if (CompareTextNoCase(computer->Caption, name) != 0 && CompareTextNoCase(CrawlComputerName(*computer), name) != 0)
            continue;
        CrawlRecord record;
        if (!ReadCrawlRecord(computer->StoreDir, computer->Key, record))
            throw CommandError{Win32::FileNotFound, UiFormat("%1 尚未爬行過", {computer->Caption})};
        JsonObject().text("computer", computer->Caption).text("crawled", DateTimeText(record.Crawled))
            .text("previous", record.Previous ? DateTimeText(record.Previous) : std::string())
            .text("state", record.Partial ? "partial" : "complete").print();
        for (const CrawlChange& c : record.Changes) {
            JsonObject line;
            line.text("computer", computer->Caption).text("change", CrawlChangeKindName(c.Kind)).text("path", c.Path)
                .number("size", c.Size).text("modified", DateTimeText(c.Modified));
            if (c.Kind == CrawlChangeKind::Changed)
                line.number("old_size", c.OldSize).text("old_modified", DateTimeText(c.OldModified));
            const std::string text = line.line();
            std::fwrite(text.data(), 1, text.size(), stdout);
        }
        std::fflush(stdout);
        return ExitOk;
    }
    throw CommandError{Win32::BadNetpath, UiFormat("快取中沒有電腦 %1", {name})};
}

int run(std::vector<std::string> words)
{
    using namespace netcli;
    const bool all = std::erase(words, std::string("-N")) > 0;
    SetServerNameTable(NameTablePath(ProgramFolder()));
    const NetArgs args(words, {"--jobs", "--connections", "--share-timeout", "--workgroup", "--changes", "--share", "--user"},
                       {"--full", "--json", "--help", "--password-stdin"});
    if (args.has("--help")) {
        std::fputs(UiCaption(Help).c_str(), stdout);
        return ExitOk;
    }
    if (args.has("--changes")) {
        args.expect(0, 0, Usage);
        return changes(args.value("--changes"));
    }
    if (!all && args.positional().empty())
        throw CommandError{87, UsageText(Usage), true};
    return crawl(args, args.positional(), all);
}

} // namespace

int main(int argc, char** argv)
{
    // A crawl's worker: it walks the shares its parent hands it over standard input, and
    // reaches servers by the name table the parent uses.
    if (argc == 2 && std::string_view(argv[1]) == "--crawl-worker") {
        SetServerNameTable(NameTablePath(ProgramFolder()));
        return RunCrawlWorker(STDIN_FILENO);
    }
    // Its messages reach the cache update window, which speaks the language of the family.
    UseChosenLanguage();
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const netcli::CommandError& error) {
        return netcli::report(error);
    } catch (const std::exception& e) {
        return netcli::report({ErrorInvalidData, e.what()});
    }
}
