#include "platform/ProgramFolder.h"
#include "platform/ServerNames.h"
#include "store/NameTable.h"
#include "tools/net/NetCli.h"
#include "tools/net/NetCommands.h"

#include <exception>

namespace netcli {

int runCommand(CommandRun run, const Words& words)
{
    try {
        SetServerNameTable(NameTablePath(ProgramFolder()));
        return run(words);
    } catch (const CommandError& error) {
        return report(error);
    } catch (const std::exception& error) {
        return report(CommandError{1, error.what()});
    }
}

} // namespace netcli
