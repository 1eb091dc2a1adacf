#pragma once
#include <QStringList>

#include <functional>

#include <string>

// What the program hands to the desktop: opening a file with the application the desktop
// names for its type, running a program, exploring a folder, the special folders. Paths
// are native here; callers translate with NativePath.

namespace ShellServices {

// Results in the manner of the desktop shell's execute call: above 32 means started.
enum : int {
    ShellOk = 42,
    ShellFileNotFound = 2,
    ShellNoAssociation = 31,
    ShellFailed = 0,
    // The user answered no to running it: nothing started, and nothing to report.
    ShellDeclined = 43,
};

/// "open": a program (an executable file of a program type) runs with `parameters`
/// (split by the shell's quoting); a folder opens in the desktop's file manager; any
/// other file opens in its type's default application.
int Open(const std::string& nativePath, const std::string& parameters);
/// As Open, with the program's arguments already split. A file that would run (a program,
/// a script, a launcher) runs only after AskBeforeRunning said yes, unless `askBeforeRunning`
/// is false (a program the user set up as a tool). A launcher runs only when it is on a
/// local disk and executable; any other opens as text.
/// `ask` puts the question (a worker passes one that asks on the window thread); without
/// it the question is AskBeforeRunning's, and off the window thread nothing runs.
using RunQuestion = std::function<bool(const std::string& nativePath)>;
int OpenWithArguments(const std::string& nativePath, const QStringList& arguments, bool askBeforeRunning = true,
                      const RunQuestion& ask = {});
/// The one question before anything runs because the user opened it: a message box naming
/// the file. True to run it. Window thread only: elsewhere it answers no, never blocks.
bool AskBeforeRunning(const std::string& nativePath);
/// Whether a launcher file may start its program: a regular file on a local disk (not a
/// network or user-space file system), with an execute bit.
bool IsTrustedLauncher(const std::string& nativePath);
/// A program named without a folder ("gedit", "notepad.exe"), found on the search path
/// as given or without its ".exe"; empty when there is none.
std::string FindProgram(const std::string& name);
/// The desktop's display settings: the first settings program found on the search path
/// with the arguments that open its display page; an empty list when there is none.
QStringList DisplaySettingsCommand();
/// Why the last Open, OpenWithArguments or Explore of the calling thread returned
/// ShellFailed, in the program's words; empty when nothing more is known.
QString LastFailureReason();
/// "explore": the folder in the desktop's file manager.
int Explore(const std::string& nativePath);
/// Whether `nativePath` is a program that "open" runs directly.
bool IsProgram(const std::string& nativePath);

/// The folder that corresponds to a special folder identifier (16 desktop, 5 documents,
/// 10 recycle bin, ...). Empty when this system has none, or it does not exist.
std::string SpecialFolderPath(int id);
/// Whether this system has a counterpart of the special folder at all (it may not exist
/// yet, as the trash before the first delete).
bool HasSpecialFolder(int id);

} // namespace ShellServices
