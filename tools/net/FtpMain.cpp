// tamsel-net as it is started: it runs the FTP commands itself and hands every other command
// line, unchanged, to tamsel-net-smb beside it (main.cpp), which replaces this process, so
// its output and exit status are the command's own. Only that program links libsmbclient:
// loading it and the hundred libraries it pulls in cost an FTP download more time than the
// transfer of 32 MiB on loopback.
#include "app/LanguageSetting.h"
#include "platform/ProgramFolder.h"
#include "tools/net/NetCli.h"
#include "tools/net/NetCommands.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

int main(int argc, char** argv)
{
    using namespace netcli;
    if (argc >= 2) {
        const Words words(argv + 2, argv + argc);
        if (const CommandRun run = ftpCommandFor(argv[1], words)) {
            UseChosenLanguage();
            return runCommand(run, words);
        }
    }
    const std::string companion = ExecutableFolder() + "/tamsel-net-smb";
    argv[0] = const_cast<char*>(companion.c_str());
    execv(companion.c_str(), argv);
    UseChosenLanguage();
    return report({2, companion + ": " + std::strerror(errno)});
}
