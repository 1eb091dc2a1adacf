#pragma once
// The commands of tamsel-net, one function each. Each takes the words after its name and
// returns the exit status; an error ends it by raising netcli::CommandError.
#include <string>
#include <vector>

namespace netcli {

using Words = std::vector<std::string>;
using CommandRun = int (*)(const Words&);

/// Runs `run` on `words` with the server name table of the program folder set, and turns a
/// CommandError or any other exception into the error line and its exit status
/// (CommandRunner.cpp).
int runCommand(CommandRun run, const Words& words);

// Discovery and reachability (DiscoverCommands.cpp).
int discoverCommand(const Words& words);
int pingCommand(const Words& words);

// Shares, folders and files of SMB shares and local folders (FileCommands.cpp); a path that
// begins with ftp:// is handed to the FTP commands below.
int sharesCommand(const Words& words);
int lsCommand(const Words& words);
int getCommand(const Words& words);
int putCommand(const Words& words);
int mkdirCommand(const Words& words);
int renameCommand(const Words& words);
int deleteCommand(const Words& words);

// FTP sites (FtpCommands.cpp), reached through the commands above.
bool isFtpUrl(const std::string& path);
/// The FTP command named `name` when one of `words` names an ftp:// site, else null.
CommandRun ftpCommandFor(const std::string& name, const Words& words);
int ftpLsCommand(const Words& words);
int ftpGetCommand(const Words& words);
int ftpPutCommand(const Words& words);
int ftpMkdirCommand(const Words& words);
int ftpRenameCommand(const Words& words);
int ftpDeleteCommand(const Words& words);

} // namespace netcli
