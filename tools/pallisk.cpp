// pallisk: finds files by name, size and date in the cache of every cached computer,
// without the computers being on. With no arguments it opens the search window (the
// program pallisk-window beside it, so that this mode loads no window library).
//
//   pallisk --query TEXT [--min-size N] [--max-size N] [--after DATE] [--before DATE]
//           [--computer NAME]... [--duplicates]
//
// TEXT is a substring of the name, or with "*" and "?" a pattern of the whole name; case
// is ignored. DATE is "yyyy-mm-dd" with an optional " hh:mm[:ss]": --after keeps entries
// modified at or after it, --before those modified before it. One JSON line per match:
// {"path", "size", "modified", "computer"}. A computer whose cache cannot be read is
// reported on standard error and the others are still searched; the exit status is then 1.
// --duplicates prints instead only the matching files that share their name (case ignored)
// and size with a file of another computer, each line with the number of its "group".
#include "app/LanguageSetting.h"
#include "platform/DateTime.h"
#include "platform/ProgramFolder.h"
#include "resources/StringTable.h"
#include "store/CacheSearch.h"
#include "tools/JsonLine.h"
#include "tools/net/NetCli.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

constexpr int ErrorInvalidData = 13;  // the Win32 code of damaged data
constexpr const char* Usage =
    "pallisk --query TEXT [--min-size N] [--max-size N] [--after DATE] [--before DATE] [--computer NAME]... [--duplicates]";

std::optional<double> dateOption(const netcli::NetArgs& args, const std::string& option)
{
    if (!args.has(option))
        return std::nullopt;
    const auto date = ParseSearchDate(args.value(option));
    if (!date)
        throw netcli::CommandError{87, UiFormat("%1 需要 yyyy-mm-dd 或 yyyy-mm-dd hh:mm:ss 形式的日期", {option}), true};
    return date;
}

// A hit's line appended to `text`. Called on the search's helper threads, several at once:
// each thread has its own object, whose room serves all its lines. `group` 0 prints no group.
void formatHit(const SearchHit& hit, int group, std::string& text)
{
    thread_local JsonObject line;
    DateTimeBuffer date;
    line.clear().text("path", hit.Path).number("size", hit.Size).text("modified", DateTimeText(hit.Modified, date));
    line.text("computer", hit.Computer);
    if (group > 0)
        line.number("group", group);
    line.appendLine(text);
}

// Lines go out through stdio's buffer, a computer's at a time, not a system call each: a
// million matches must stay cheap.
bool writeLines(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    return true;
}

int run(const std::vector<std::string>& words)
{
    using namespace netcli;
    const NetArgs args(words, {"--query", "--min-size", "--max-size", "--after", "--before", "--computer"},
                       {"--duplicates"});
    args.expect(0, 0, Usage);
    if (!args.has("--query"))
        throw CommandError{87, UsageText(Usage), true};
    constexpr long long MaxSize = 0xFFFFFFFFLL;  // the listing keeps 32-bit sizes
    SearchQuery query;
    query.Text = args.value("--query");
    if (args.has("--min-size"))
        query.MinSize = uint64_t(args.number("--min-size", 0, 0, MaxSize));
    if (args.has("--max-size"))
        query.MaxSize = uint64_t(args.number("--max-size", 0, 0, MaxSize));
    query.After = dateOption(args, "--after");
    query.Before = dateOption(args, "--before");
    query.Computers = args.values("--computer");

    bool failed = false;
    const std::string cachePath = ProgramFolder() + "Cache\\";
    const bool duplicates = args.has("--duplicates");
    const auto onError = [&](const std::string& message) {
        std::fflush(stdout);
        report(CommandError{ErrorInvalidData, message});
        failed = true;
    };
    if (duplicates) {
        std::vector<SearchHit> kept;
        SearchCache(cachePath, query,
                    [&](const SearchHit& hit) {
                        kept.push_back(hit);
                        return true;
                    },
                    onError);
        const auto groups = GroupDuplicates(kept);
        std::string text;
        for (size_t g = 0; g < groups.size(); g++) {
            for (const SearchHit& hit : groups[g])
                formatHit(hit, int(g) + 1, text);
            writeLines(text);
            text.clear();
        }
    } else {
        SearchCacheText(cachePath, query, [](const SearchHit& hit, std::string& text) { formatHit(hit, 0, text); },
                        writeLines, onError);
    }
    std::fflush(stdout);
    return failed ? ExitFailed : ExitOk;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 1) {
        const std::string window = ExecutableFolder() + "/pallisk-window";
        execl(window.c_str(), window.c_str(), static_cast<char*>(nullptr));
        netcli::report({2, window + ": " + std::strerror(errno)});
        return netcli::ExitFailed;
    }
    UseChosenLanguage();
    netcli::bufferResults();
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const netcli::CommandError& error) {
        return netcli::report(error);
    } catch (const std::exception& e) {
        return netcli::report({ErrorInvalidData, e.what()});
    }
}
