#pragma once
// The commands of tamsel-net, one function each. Each takes the words after its name and
// returns the exit status; an error ends it by raising netcli::CommandError.
#include <string>
#include <vector>

namespace netcli {

using Words = std::vector<std::string>;

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
int ftpLsCommand(const Words& words);
int ftpGetCommand(const Words& words);
int ftpPutCommand(const Words& words);
int ftpMkdirCommand(const Words& words);
int ftpRenameCommand(const Words& words);
int ftpDeleteCommand(const Words& words);

} // namespace netcli
