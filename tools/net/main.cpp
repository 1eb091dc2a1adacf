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
//
// This is tamsel-net-smb, which links the SMB side; tamsel-net (FtpMain.cpp) runs the FTP
// commands itself and hands every other command line to it unchanged.
#include "app/LanguageSetting.h"
#include "resources/StringTable.h"
#include "tools/net/NetCli.h"
#include "tools/net/NetCommands.h"

#include <cstring>

namespace {

struct Command {
    const char* name;
    netcli::CommandRun run;
};

const Command Commands[] = {
    {"discover", netcli::discoverCommand}, {"ping", netcli::pingCommand},
    {"shares", netcli::sharesCommand},     {"ls", netcli::lsCommand},
    {"get", netcli::getCommand},           {"put", netcli::putCommand},
    {"mkdir", netcli::mkdirCommand},       {"rename", netcli::renameCommand},
    {"delete", netcli::deleteCommand},
};

netcli::CommandRun commandFor(const char* name, const netcli::Words& words)
{
    // The file commands whose words name an ftp:// site go to the FTP side at once.
    if (const netcli::CommandRun ftp = netcli::ftpCommandFor(name, words))
        return ftp;
    for (const Command& command : Commands) {
        if (std::strcmp(name, command.name) == 0)
            return command.run;
    }
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace netcli;
    UseChosenLanguage();
    if (argc < 2)
        return report(CommandError{87, UsageText("tamsel-net discover|shares|ls|ping|get|put|mkdir|rename|delete ..."), true});
    const Words words(argv + 2, argv + argc);
    if (const CommandRun run = commandFor(argv[1], words))
        return runCommand(run, words);
    return report(CommandError{87, UiFormat("不認識的命令 %1", {argv[1]}), true});
}
