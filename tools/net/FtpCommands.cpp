// Placeholder until the ftp commands are built: each says so and fails.
#include "tools/net/NetCli.h"
#include "tools/net/NetCommands.h"

namespace netcli {

bool isFtpUrl(const std::string& path) { return path.rfind("ftp://", 0) == 0; }

int ftpLsCommand(const Words&) { throw CommandError{50, "ftpLs: 尚未提供"}; }
int ftpGetCommand(const Words&) { throw CommandError{50, "ftpGet: 尚未提供"}; }
int ftpPutCommand(const Words&) { throw CommandError{50, "ftpPut: 尚未提供"}; }
int ftpMkdirCommand(const Words&) { throw CommandError{50, "ftpMkdir: 尚未提供"}; }
int ftpRenameCommand(const Words&) { throw CommandError{50, "ftpRename: 尚未提供"}; }
int ftpDeleteCommand(const Words&) { throw CommandError{50, "ftpDelete: 尚未提供"}; }

} // namespace netcli
