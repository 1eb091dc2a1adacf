#include "app/StartOptions.h"

#include "platform/DriveMap.h"
#include "resources/StringTable.h"

StartOptions ParseStartOptions(const std::vector<std::string>& args)
{
    StartOptions options;
    auto fail = [&](const std::string& text) {
        StartOptions failed;
        failed.Error = text;
        return failed;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--cached") {
            options.Cached = true;
        } else if (word == "--select" || word == "--computer" || word == "--item") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return fail(UiFormat("%1 需要一個值", {word}));
            (word == "--select" ? options.SelectPath : word == "--item" ? options.Item : options.Computer) = args[++i];
        } else {
            return fail(UiFormat("不明的參數 %1", {word}));
        }
    }
    if ((options.Cached || !options.Computer.empty() || !options.Item.empty()) && options.SelectPath.empty())
        return fail(UiCaption("--cached、--computer 與 --item 需要 --select"));
    // The entry is one name of the folder, never a way out of it.
    if (options.Item.find_first_of("\\/") != std::string::npos || options.Item == "." || options.Item == "..")
        return fail(UiFormat("不是一個名稱：%1", {options.Item}));
    // A Linux path is taken in the program's own form.
    if (!options.SelectPath.empty() && options.SelectPath[0] == '/' && !options.Cached) {
        const std::string windows = WindowsPath(options.SelectPath);
        if (windows.empty())
            return fail(UiFormat("無法開啟的路徑 %1", {options.SelectPath}));
        options.SelectPath = windows;
    }
    return options;
}
