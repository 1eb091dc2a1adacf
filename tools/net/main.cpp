// tamsel-net: the network from the command line, on the same network layer as the windows.
//
//   tamsel-net discover [--wait MS]             workgroups, domains and computers of the LAN
//   tamsel-net shares HOST                      the disk shares of HOST (a name, an address, \\HOST)
//   tamsel-net ls PATH                          \\HOST\SHARE[\DIR], a local folder, ftp://[USER@]HOST[:PORT]/DIR/
//   tamsel-net ping HOST [--timeout MS]         exit 0 when HOST answers, 3 when not
//   tamsel-net get REMOTE LOCALFOLDER
//   tamsel-net put LOCAL... REMOTEFOLDER
//   tamsel-net mkdir REMOTE | rename REMOTE NEWNAME | delete REMOTE
//
// Credentials: --user NAME with --password-stdin, else the password store; --save stores
// credentials that worked.
#include "tools/net/NetCli.h"
#include "tools/net/NetCommands.h"

#include <cstring>
#include <exception>

namespace {

struct Command {
    const char* name;
    int (*run)(const netcli::Words&);
};

const Command Commands[] = {
    {"discover", netcli::discoverCommand}, {"ping", netcli::pingCommand},
    {"shares", netcli::sharesCommand},     {"ls", netcli::lsCommand},
    {"get", netcli::getCommand},           {"put", netcli::putCommand},
    {"mkdir", netcli::mkdirCommand},       {"rename", netcli::renameCommand},
    {"delete", netcli::deleteCommand},
};

} // namespace

int main(int argc, char** argv)
{
    using namespace netcli;
    try {
        if (argc < 2)
            throw CommandError{87, "用法: tamsel-net discover|shares|ls|ping|get|put|mkdir|rename|delete ...", true};
        for (const Command& command : Commands) {
            if (std::strcmp(argv[1], command.name) == 0)
                return command.run(Words(argv + 2, argv + argc));
        }
        throw CommandError{87, std::string("不認識的命令 ") + argv[1], true};
    } catch (const CommandError& error) {
        return report(error);
    } catch (const std::exception& error) {
        return report(CommandError{1, error.what()});
    }
}
