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
#include "app/LanguageSetting.h"
#include "platform/ProgramFolder.h"
#include "platform/ServerNames.h"
#include "resources/StringTable.h"
#include "store/NameTable.h"
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

// The file commands whose words name an ftp:// site go to the FTP side at once.
const Command FtpCommands[] = {
    {"ls", netcli::ftpLsCommand},         {"get", netcli::ftpGetCommand},
    {"put", netcli::ftpPutCommand},       {"mkdir", netcli::ftpMkdirCommand},
    {"rename", netcli::ftpRenameCommand}, {"delete", netcli::ftpDeleteCommand},
};

bool namesFtpSite(const netcli::Words& words)
{
    for (const std::string& word : words) {
        if (netcli::isFtpUrl(word))
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace netcli;
    UseChosenLanguage();
    try {
        if (argc < 2)
            throw CommandError{87, UsageText("tamsel-net discover|shares|ls|ping|get|put|mkdir|rename|delete ..."), true};
        const netcli::Words words(argv + 2, argv + argc);
        SetServerNameTable(NameTablePath(ProgramFolder()));
        if (namesFtpSite(words)) {
            for (const Command& command : FtpCommands) {
                if (std::strcmp(argv[1], command.name) == 0)
                    return command.run(words);
            }
        }
        for (const Command& command : Commands) {
            if (std::strcmp(argv[1], command.name) == 0)
                return command.run(words);
        }
        throw CommandError{87, UiFormat("不認識的命令 %1", {argv[1]}), true};
    } catch (const CommandError& error) {
        return report(error);
    } catch (const std::exception& error) {
        return report(CommandError{1, error.what()});
    }
}
