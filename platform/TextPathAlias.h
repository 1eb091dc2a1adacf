#pragma once
#include <string>

// Applications read the paths they are given as text, and a Qt or GTK program turns an
// argument that is not UTF-8 into some other name before it opens it. A file whose native
// name is not UTF-8 is therefore handed over as an alias: a symbolic link with a UTF-8
// name (the program's readable form of the name, so the extension still tells the type)
// in a folder of its own below a private folder of this user, pointing at the exact native
// bytes. Whatever opens the alias opens the file itself.
//
// Aliases outlive the call (the application may open the file long after it started) and
// are removed the next time an alias is made once they are a day old.

/// `nativePath` itself when it is valid UTF-8; otherwise the path of a new alias of it.
/// Empty when the alias cannot be made (the private folder is not ours or not writable);
/// `error`, when given, then holds the errno.
std::string TextPathAlias(const std::string& nativePath, int* error = nullptr);

/// The private folder that holds the aliases: $XDG_RUNTIME_DIR/tamsel-aliases, or
/// /tmp/tamsel-aliases-UID when there is no runtime folder.
std::string TextPathAliasFolder();
