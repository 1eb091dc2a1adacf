// Placeholder until the discover commands are built: each says so and fails.
#include "tools/net/NetCli.h"
#include "tools/net/NetCommands.h"

namespace netcli {

int discoverCommand(const Words&) { throw CommandError{50, "discover: 尚未提供"}; }
int pingCommand(const Words&) { throw CommandError{50, "ping: 尚未提供"}; }

} // namespace netcli
