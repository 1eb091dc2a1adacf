// Placeholder until the file commands are built: each says so and fails.
#include "tools/net/NetCli.h"
#include "tools/net/NetCommands.h"

namespace netcli {

int sharesCommand(const Words&) { throw CommandError{50, "shares: 尚未提供"}; }
int lsCommand(const Words&) { throw CommandError{50, "ls: 尚未提供"}; }
int getCommand(const Words&) { throw CommandError{50, "get: 尚未提供"}; }
int putCommand(const Words&) { throw CommandError{50, "put: 尚未提供"}; }
int mkdirCommand(const Words&) { throw CommandError{50, "mkdir: 尚未提供"}; }
int renameCommand(const Words&) { throw CommandError{50, "rename: 尚未提供"}; }
int deleteCommand(const Words&) { throw CommandError{50, "delete: 尚未提供"}; }

} // namespace netcli
