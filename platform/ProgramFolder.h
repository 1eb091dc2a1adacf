#pragma once
#include <string>

// The program folder `ExePath`, which holds "Cache\" and "Temp\": $TAMSEL_HOME when set
// (tests use it); else the executable's folder when it is writable (a portable install,
// the build tree), except system folders (/usr, /bin, /sbin, /lib), which a root user
// could write but must not fill; else $XDG_DATA_HOME/tamsel/ (default
// ~/.local/share/tamsel/). The chosen folder is created when missing.

/// Windows-style path of the program folder, with its trailing backslash ("C:\opt\tamsel\").
std::string ProgramFolder();

/// The native folder of the running executable ("/opt/tamsel"), where the family
/// programs lie beside each other; empty when it cannot be read.
std::string ExecutableFolder();

/// The same rule with the executable's folder given (native path), for tests.
std::string ProgramFolderFrom(const std::string& exeFolder);
