#pragma once
#include <string>
#include <vector>

// What Tamsel's command line may ask for: the family programs open it at a place.
//   tamsel [--select PATH [--item NAME] [--cached] [--computer NAME]]
// PATH is a folder or a file of this machine (C:\dir or /dir) or of a share
// (\\SERVER\SHARE\dir); a file opens its folder. --item selects the entry NAME of the folder
// shown. --cached opens the folder as the cache holds it, in the cached view, in the cached
// computer captioned NAME when given. A Tamsel already running for the same program folder
// is asked to do it instead (see StartRequests).
struct StartOptions {
    std::string SelectPath;  // empty: the start folder of the settings
    bool Cached = false;
    std::string Computer;
    std::string Item;  // the entry of the folder to select
    std::string Error;  // set when the line cannot be used; nothing else is then
};

/// Reads the arguments after the program's name (Qt's own already taken out).
StartOptions ParseStartOptions(const std::vector<std::string>& args);

/// The usage line shown with an error.
inline constexpr const char* StartUsage = "用法: tamsel [--select PATH [--item NAME] [--cached] [--computer NAME]]";
