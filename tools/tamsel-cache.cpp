// tamsel-cache: the cache formats from the command line, for scripts and tests.
//
//   tamsel-cache export ARCHIVE BASE NAME...    ExportArchive(BASE, [BASE + NAME...], ARCHIVE)
//   tamsel-cache import ARCHIVE BASE            ImportArchiveIntoCache(ARCHIVE, BASE)
//   tamsel-cache nodes FOLDER                   one JSON object per live record of FOLDER's ALL.NOD
//   tamsel-cache listing STOREDIR KEY FOLDERPATH  one JSON object per entry of the folder
//   tamsel-cache listdat FILE                   one JSON object per record of a LIST.DAT
//   tamsel-cache attachment FILE                the FTP site block of an .ATT, one object
//   tamsel-cache computer CACHE TARGET          the stored computer TARGET names (a dotted
//                                               address goes to the expanded network), added
//                                               with its roots when missing; one object
//
// ARCHIVE, BASE, FOLDER and STOREDIR are native paths; FOLDERPATH is the cached folder's
// path as the listing stores it (\\SERVER\SHARE\DIR\). Output is UTF-8; errors go to
// standard error with a non-zero exit code.
#include "app/LanguageSetting.h"
#include "network/CrawlTargets.h"
#include "platform/DriveMap.h"
#include "platform/Exception.h"
#include "resources/StringTable.h"
#include "store/CacheListing.h"
#include "store/NodeFile.h"
#include "store/NodePaths.h"
#include "store/ImportedComputers.h"
#include "store/TLZHuff.h"
#include "tools/JsonLine.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// A native path as the program's Windows-style path; folders end in a backslash.
std::string programPath(const std::string& native, bool folder)
{
    const std::string path = WindowsPath(native);
    if (path.empty())
        throw Exception(UiFormat("無法轉換路徑 %1", {native}));
    return folder ? AddBackslash(path) : path;
}

int usage()
{
    std::fputs("usage: tamsel-cache export ARCHIVE BASE NAME... | import ARCHIVE BASE | nodes FOLDER |"
               " listing STOREDIR KEY FOLDERPATH | listdat FILE | attachment FILE | computer CACHE TARGET\n",
               stderr);
    return 2;
}

int run(const std::vector<std::string>& args)
{
    const std::string& command = args[0];
    if (command == "export" && args.size() >= 4) {
        const std::string base = programPath(args[2], true);
        std::vector<std::string> paths;
        for (size_t k = 3; k < args.size(); k++)
            paths.push_back(base + args[k]);
        TLZHuff coder;
        coder.ExportArchive(base, paths, programPath(args[1], false));
        return 0;
    }
    if (command == "import" && args.size() == 3) {
        TLZHuff coder;
        ImportArchiveIntoCache(coder, programPath(args[1], false), programPath(args[2], true));
        return 0;
    }
    if (command == "nodes" && args.size() == 2) {
        for (const auto& d : ReadStoredRecords(programPath(args[1], true))) {
            if (d->State & Deleted)
                continue;
            JsonObject()
                .text("Caption", d->Caption)
                .number("ImageIndex", d->ImageIndex)
                .number("StateIndex", d->StateIndex)
                .number("SelectedIndex", d->SelectedIndex)
                .text("RemoteName", d->RemoteName)
                .number("NodeAttributes", d->NodeAttributes)
                .text("Host", d->Host)
                .number("RootKind", d->RootKind)
                .number("ResourceType", d->ResourceType)
                .number("DisplayType", d->DisplayType)
                .number("Scope", d->Scope)
                .number("Usage", d->Usage)
                .real("Created", d->Created)
                .text("Key", d->Key)
                .number("FileCount", d->FileCount)
                .number("ImageCount", d->ImageCount)
                .number("AudioCount", d->AudioCount)
                .number("VideoCount", d->VideoCount)
                .number("State", d->State)
                .number("RecordOffset", d->RecordOffset)
                .print();
        }
        return 0;
    }
    if ((command == "listing" && args.size() == 4) || (command == "listdat" && args.size() == 2)) {
        TItemList list;
        if (command == "listing")
            ReadFolderListing(list, programPath(args[1], true), args[2], args[3]);
        else
            ReadListDat(programPath(args[1], false), list);
        for (const TItemData& item : list)
            JsonObject()
                .number("Size", item.Size)
                .number("Attributes", item.Attributes)
                .real("Modified", item.Modified)
                .text("Path", ItemPath(item))
                .print();
        return 0;
    }
    if (command == "attachment" && args.size() == 2) {
        // The reader takes a node; the file is StoreDir + Key + ".ATT".
        const std::string path = programPath(args[1], false);
        if (path.size() < 4 || path.compare(path.size() - 4, 4, ".ATT") != 0)
            throw Exception(UiFormat("附加檔的名稱必須以 .ATT 結尾：%1", {args[1]}));
        TNodeData node;
        node.StoreDir = std::string(FolderPart(path));
        node.Key = path.substr(node.StoreDir.size(), path.size() - node.StoreDir.size() - 4);
        unsigned char bytes[FtpSiteBlockSize];
        ReadNodeAttachment(node, bytes, sizeof bytes);
        const FtpSiteBlock block = DecodeFtpSiteBlock(bytes);
        JsonObject()
            .text("Host", block.Host)
            .text("User", block.User)
            .text("Password", block.Password)
            .text("ProxyHost", block.ProxyHost)
            .number("Port", block.Port)
            .number("ProxyPort", block.ProxyPort)
            .print();
        return 0;
    }
    if (command == "computer" && args.size() == 3) {
        bool added = false;
        const auto computer = FindOrAddComputer(programPath(args[1], true), args[2], "", added);
        JsonObject()
            .text("Caption", computer->Caption)
            .text("Host", computer->Host)
            .text("RemoteName", computer->RemoteName)
            .text("StoreDir", computer->StoreDir)
            .boolean("added", added)
            .print();
        return 0;
    }
    return usage();
}

} // namespace

int main(int argc, char** argv)
{
    UseChosenLanguage();
    if (argc < 2)
        return usage();
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const Exception& e) {
        std::string text = e.message();
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        std::fprintf(stderr, "tamsel-cache: %s\n", text.c_str());
        return 1;
    }
}
