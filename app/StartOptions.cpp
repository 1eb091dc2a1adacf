#include "app/StartOptions.h"

#include "platform/AddressText.h"
#include "platform/DriveMap.h"
#include "platform/FileAccess.h"
#include "resources/StringTable.h"

#include <cctype>
#include <filesystem>

#ifndef TAMSEL_VERSION
#define TAMSEL_VERSION "0"
#endif

namespace {

bool isOption(const std::string& word)
{
    return word.size() > 1 && word[0] == '-';
}

// A place given as a bare word: a path of any form the address box takes, or a link.
std::string placeOf(const std::string& word, const std::string& currentFolder, std::string& error)
{
    std::string text = word;
    // A relative Linux path names a place in the folder the program was started from; the
    // running program that may receive it has a folder of its own.
    const bool linkOrAbsolute = text.find("://") != std::string::npos || text[0] == '/' || text[0] == '\\'
                                || (text.size() >= 2 && text[1] == ':');
    if (!linkOrAbsolute && !currentFolder.empty()) {
        text = std::filesystem::path(currentFolder + "/" + text).lexically_normal().string();
        if (text.size() > 1 && text.back() == '/')
            text.pop_back();
    }
    const Address address = ParseAddress(text);
    if (address.kind == AddressKind::Drive || address.kind == AddressKind::Unc)
        return address.path;
    error = UiFormat("無法開啟的路徑 %1", {word});
    return {};
}

// A folder of this machine as a file: link to its native bytes: the program that reads it
// maps it to a drive by its own table.
std::string fileLink(const std::string& windowsPath)
{
    const std::string native = NativePath(windowsPath);
    if (native.empty())
        return {};
    static const char* const hex = "0123456789ABCDEF";
    std::string link = "file://";
    for (const unsigned char c : native) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            link += static_cast<char>(c);
        } else {
            link += '%';
            link += hex[c >> 4];
            link += hex[c & 15];
        }
    }
    return link;
}

} // namespace

StartOptions ParseStartOptions(const std::vector<std::string>& args, const std::string& currentFolder)
{
    StartOptions options;
    auto fail = [&](const std::string& text) {
        StartOptions failed;
        failed.Error = text;
        return failed;
    };
    bool placeGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--help" || word == "-h") {
            options.Help = true;
        } else if (word == "--version") {
            options.Version = true;
        } else if (word == "--cached") {
            options.Cached = true;
        } else if (word == "--select" || word == "--computer" || word == "--item") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return fail(UiFormat("%1 需要一個值", {word}));
            (word == "--select" ? options.SelectPath : word == "--item" ? options.Item : options.Computer) = args[++i];
            placeGiven = placeGiven || word == "--select";
        } else if (isOption(word) || word.empty()) {
            return fail(UiFormat("不明的參數 %1", {word}));
        } else if (placeGiven) {
            return fail(UiFormat("只能開啟一個位置: %1", {word}));
        } else {
            placeGiven = true;
            FtpLink link;
            if (word.size() >= 6 && (word.compare(0, 6, "ftp://") == 0 || word.compare(0, 6, "FTP://") == 0)) {
                if (!ParseFtpLink(word, link))
                    return fail(UiFormat("無法開啟的位址 %1", {word}));
                options.FtpUrl = word;
                continue;
            }
            std::string error;
            options.SelectPath = placeOf(word, currentFolder, error);
            if (!error.empty())
                return fail(error);
        }
    }
    if ((options.Cached || !options.Computer.empty() || !options.Item.empty())
        && (options.SelectPath.empty() || !options.FtpUrl.empty()))
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

std::vector<std::string> StartArguments(const StartOptions& options)
{
    std::vector<std::string> words;
    if (!options.FtpUrl.empty())
        words.push_back(options.FtpUrl);
    const std::string link = options.Cached || IsUncPath(options.SelectPath) ? std::string() : fileLink(options.SelectPath);
    if (!link.empty())
        words.push_back(link);
    else if (!options.SelectPath.empty())
        words.insert(words.end(), {"--select", options.SelectPath});
    if (options.Cached)
        words.push_back("--cached");
    if (!options.Computer.empty())
        words.insert(words.end(), {"--computer", options.Computer});
    if (!options.Item.empty())
        words.insert(words.end(), {"--item", options.Item});
    return words;
}

std::string StartHelpText()
{
    return UiCaption(StartUsage) + "\n\n"
           + UiCaption("  路徑            開啟這台電腦或網路上的資料夾；檔案則開啟它的資料夾並選取它") + "\n"
           + UiCaption("  smb://…         開啟網路上的共用資料夾") + "\n"
           + UiCaption("  ftp://…         以 FTP 站台開啟") + "\n"
           + UiCaption("  --select PATH   同上，由家族程式使用；--cached 以快取開啟，--computer 指定快取中的電腦") + "\n"
           + UiCaption("  --item NAME     在開啟的資料夾中選取 NAME") + "\n"
           + UiCaption("  --help          顯示這段說明") + "\n"
           + UiCaption("  --version       顯示版本") + "\n\n"
           + UiCaption("Tamsel 已在執行時，位置交給執行中的 Tamsel 開啟。") + "\n";
}

std::string StartVersionText()
{
    return std::string("tamsel ") + TAMSEL_VERSION + "\n";
}
