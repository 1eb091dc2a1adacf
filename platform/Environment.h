#pragma once
#include <string>

// Where the user's folders are, from the environment (native paths, no trailing slash).

/// The variable's value, empty when it is not set.
std::string EnvironmentValue(const char* name);

/// $HOME, else the home folder of the user's account.
std::string HomeFolder();

/// An XDG base folder: the variable ("XDG_CONFIG_HOME") when it holds an absolute path,
/// else `fallback` below the home folder (".config").
std::string XdgFolder(const char* variable, const char* fallback);

/// An XDG user folder ("DESKTOP", "DOCUMENTS") from $XDG_CONFIG_HOME/user-dirs.dirs, with
/// $HOME expanded; when it names none: ~/Desktop for the desktop, the home folder otherwise.
std::string XdgUserFolder(const std::string& name);
