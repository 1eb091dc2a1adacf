#pragma once
#include <string>
#include <vector>

// What Tamsel's command line may ask for:
//   tamsel [PATH | file:///DIR | smb://HOST/SHARE/DIR | ftp://[USER@]HOST[:PORT]/DIR]
//   tamsel --select PATH [--item NAME] [--cached] [--computer NAME]
//   tamsel --help | --version
// PATH is a folder or a file of this machine (C:\dir, /dir, or relative to the current
// folder) or of a share (\\SERVER\SHARE\dir); a file opens its folder with the file
// selected. --item selects the entry NAME of the folder shown. --cached opens the folder as
// the cache holds it, in the cached view, in the cached computer captioned NAME when given
// (the family programs ask for that). A Tamsel already running on the session bus is handed
// the place instead (see DesktopBus).
struct StartOptions {
    std::string SelectPath;  // empty: the start folder of the settings
    bool Cached = false;
    std::string Computer;
    std::string Item;        // the entry of the folder to select
    std::string FtpUrl;      // an FTP link to open as a site, as given
    bool Help = false;
    bool Version = false;
    std::string Error;       // set when the line cannot be used; nothing else is then
};

/// Reads the arguments after the program's name (Qt's own already taken out). A relative
/// Linux path is taken from `currentFolder` (native, absolute).
StartOptions ParseStartOptions(const std::vector<std::string>& args, const std::string& currentFolder = {});

/// The arguments that ask for the same place from any folder: what a second start hands to
/// the running program.
std::vector<std::string> StartArguments(const StartOptions& options);

/// The usage line shown with an error.
inline constexpr const char* StartUsage =
    "用法: tamsel [路徑 | file:///… | smb://電腦/共用/資料夾 | ftp://[使用者@]主機[:埠]/資料夾] "
    "| tamsel --select PATH [--item NAME] [--cached] [--computer NAME] | tamsel --help | tamsel --version";

/// The text of `tamsel --help`.
std::string StartHelpText();

/// The text of `tamsel --version`.
std::string StartVersionText();
