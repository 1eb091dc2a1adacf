// quellor, the collector: copies chosen files of cached computers into one local folder,
// each from its computer while it answers, and says which it could not fetch.
//
//   quellor --to FOLDER [PATH...]      PATHs as the cache records them (\\PC\SHARE\dir\file)
//   pallisk --query x | quellor --to FOLDER
//                                      pallisk's JSON lines (or plain paths) on standard input
//   quellor [--to FOLDER] [--list FILE]
//                                      the collector's window, the list filled from FILE
//
// One JSON line per fetched item ({"collected":TARGET,"from":PATH}); an item that could not
// be fetched is an error line on standard error, and the exit status is then 1. A name
// already taken in FOLDER gets a number: nothing there is ever replaced.
#include "app/Application.h"
#include "app/LanguageSetting.h"
#include "network/NetPassword.h"
#include "platform/DriveMap.h"
#include "platform/ProgramFolder.h"
#include "platform/ServerNames.h"
#include "resources/StringTable.h"
#include "store/NameTable.h"
#include "tools/JsonLine.h"
#include "tools/net/NetCli.h"
#include "tools/quellor/Collector.h"
#include "tools/quellor/QuellorWindow.h"

#include <QApplication>
#include <QLineEdit>

#include <cstdio>
#include <iostream>
#include <iterator>
#include <unistd.h>

namespace {

constexpr const char* Usage = "quellor --to FOLDER [PATH...] (或從標準輸入讀取 pallisk 的結果)";

int runWindow(int argc, char** argv, const std::string& target, const std::string& list)
{
    QApplication app(argc, argv);
    PrepareApplication(app);
    app.setApplicationName(QStringLiteral("Quellor"));
    QuellorWindow window(ProgramFolder() + "Cache\\");
    if (!target.empty())
        window.TargetEdit->setText(QString::fromStdString(target));
    if (!list.empty())
        window.loadList(QString::fromStdString(list));
    window.show();
    return app.exec();
}

int runCommand(const netcli::NetArgs& args)
{
    using namespace netcli;
    std::vector<CollectItem> items;
    int unreadable = 0;
    if (!args.positional().empty()) {
        for (const std::string& path : args.positional())
            items.push_back({path, {}});
    } else {
        const std::string text(std::istreambuf_iterator<char>(std::cin), {});
        items = ReadCollectList(text, [&](int line, const std::string&) {
            report({87, UiFormat("第 %1 行不是路徑也不是 pallisk 的結果", {std::to_string(line)})});
            ++unreadable;
        });
    }
    std::string target = args.value("--to");
    if (target.size() >= 2 && (target[1] == ':' || target[0] == '\\'))
        target = NativePath(target);
    if (target.empty())
        throw CommandError{87, UiCaption("--to 需要本機的資料夾"), true};
    UseNetPasswordsForSmb();
    Collector collector(ProgramFolder() + "Cache\\", target);
    int failed = unreadable;
    for (const CollectItem& item : items) {
        const CollectResult result = collector.collect(item);
        if (result.Code != 0) {
            std::fflush(stdout);
            report({result.Code, result.Message});
            ++failed;
            continue;
        }
        JsonObject().text("collected", result.Target).text("from", result.Source).print();
    }
    std::fflush(stdout);
    return failed ? ExitFailed : ExitOk;
}

} // namespace

int main(int argc, char** argv)
{
    UseChosenLanguage();
    try {
        SetServerNameTable(NameTablePath(ProgramFolder()));
        const netcli::NetArgs args(std::vector<std::string>(argv + 1, argv + argc), {"--to", "--list"}, {"--window"});
        // The menu starts it with no parameters: the window, as there is nothing to read.
        const bool piped = !isatty(STDIN_FILENO) && args.positional().empty() && args.has("--to") && !args.has("--list");
        if (args.has("--window") || args.has("--list") || (!piped && args.positional().empty()))
            return runWindow(argc, argv, args.value("--to"), args.value("--list"));
        if (!args.has("--to"))
            throw netcli::CommandError{87, netcli::UsageText(Usage), true};
        return runCommand(args);
    } catch (const netcli::CommandError& error) {
        return netcli::report(error);
    } catch (const std::exception& e) {
        return netcli::report({13, e.what()});
    }
}
