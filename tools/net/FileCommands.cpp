// Shares, folders and files from the command line: the disk shares of a server, listings,
// and copies, folders, renames and deletes through the file operation engine, on SMB
// shares and local folders alike. A path that begins with ftp:// goes to the FTP commands.
#include "local/FileOperationEngine.h"
#include "network/NetPassword.h"
#include "platform/DateTime.h"
#include "platform/DriveMap.h"
#include "platform/Exception.h"
#include "platform/FileAccess.h"
#include "platform/NativeFiles.h"
#include "platform/NativeNames.h"
#include "platform/SmbContext.h"
#include "platform/SmbFiles.h"
#include "platform/SmbShares.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"
#include "tools/JsonLine.h"
#include "tools/net/NetCli.h"
#include "tools/net/NetCommands.h"

#include <ctime>

namespace netcli {

namespace {

const std::set<std::string> kValueOptions = {"--user"};
const std::set<std::string> kFlags = {"--password-stdin", "--save", "--overwrite"};

[[noreturn]] void Fail(int code, const std::string& path = {})
{
    throw CommandError{code, path.empty() ? Win32MessageLine(code) : path + ": " + Win32MessageLine(code)};
}

// The credentials of the command: --user with the password on standard input for the
// locations it names, otherwise the password store answers.
class Logon {
public:
    explicit Logon(const NetArgs& args) : m_save(args.has("--save"))
    {
        UseNetPasswordsForSmb();
        if (args.has("--password-stdin") && !args.has("--user"))
            throw CommandError{87, UiCaption("--password-stdin 需要 --user"), true};
        if (args.has("--user")) {
            m_user = args.value("--user");
            if (m_user.find(';') != std::string::npos)
                throw CommandError{87, UiCaption("使用者名稱不能含有 ;"), true};
            if (args.has("--password-stdin"))
                m_password = readPasswordFromStdin();
            m_given = true;
        }
    }
    /// Before the first call that reaches `unc`'s server.
    void use(const std::string& unc)
    {
        if (!m_given || !IsUncPath(unc))
            return;
        std::string server;
        std::string share;
        SplitUncPath(unc, &server, &share);
        SmbCredentials::set("\\\\" + server + (share.empty() ? "" : "\\" + share), m_user, m_password);
        m_locations.push_back(share.empty() ? "\\\\" + server : "\\\\" + server + "\\" + share + "\\");
    }
    /// After the work succeeded: --save keeps the credentials that worked.
    void succeeded()
    {
        if (!m_save || !m_given)
            return;
        for (const std::string& location : m_locations)
            StoreNetPassword(location, m_user, m_password);
    }

private:
    bool m_save;
    bool m_given = false;
    std::string m_user;
    std::string m_password;
    std::vector<std::string> m_locations;
};

// A UNC path stays as it is; a local path may be given in the program's form (C:\...) or as
// a Linux path.
std::string ProgramPath(const std::string& path)
{
    if (IsUncPath(path) || (path.size() >= 2 && path[1] == ':'))
        return path;
    std::string windows = WindowsPath(path);
    if (windows.empty())
        throw CommandError{Win32::InvalidName, path + ": " + Win32MessageLine(Win32::InvalidName)};
    return windows;
}

// The engine's native form of a path of the program.
std::string EnginePath(const std::string& programPath)
{
    const std::string native = IsUncPath(programPath) ? SmbNativePath(programPath) : NativePath(programPath);
    if (native.empty())
        Fail(IsUncPath(programPath) ? Win32::BadNetpath : Win32::PathNotFound, programPath);
    return native;
}

std::string IsoUtc(double dateTime)
{
    const time_t t = static_cast<time_t>(UnixFromDateTime(dateTime));
    std::tm tm {};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

// No questions from the command line: an existing file is kept unless --overwrite.
class CommandUi : public FileOperationUi {
public:
    explicit CommandUi(bool overwrite) : m_overwrite(overwrite) {}
    void begin(uint32_t, uint64_t, uint64_t) override {}
    void progress(uint64_t, const std::string&) override {}
    bool cancelled() override { return false; }
    OverwriteAnswer askOverwrite(const FileOpEntry&, const FileOpEntry&) override
    {
        return m_overwrite ? OverwriteAnswer::Yes : OverwriteAnswer::No;
    }
    bool confirmDelete(const std::vector<std::string>&, bool) override { return true; }
    void end() override {}

private:
    bool m_overwrite;
};

void RunEngine(uint32_t operation, const std::vector<std::string>& sources, const std::string& destination,
               bool overwrite)
{
    CommandUi ui(overwrite);
    FileOperationEngine engine(ui);
    const FileOperationOutcome outcome = engine.Run(operation, sources, destination, FOF_SILENT);
    const auto shown = [](const std::string& native) { return IsSmbNative(native) ? UncFromSmbNative(native) : native; };
    // Copies made without their dates or permissions are made: said beside the result.
    for (const FileOpNotKept& item : outcome.notKept)
        JsonObject()
            .text("notKept", shown(item.path))
            .text("reason", UiFormat(item.what == FileOpNotKept::Dates ? "無法保留日期: %1" : "無法保留權限: %1",
                                     {Win32MessageLine(item.code)}))
            .print(stderr);
    if (outcome.notKeptCount > outcome.notKept.size())
        JsonObject().number("notKeptMore", static_cast<long long>(outcome.notKeptCount - outcome.notKept.size())).print(stderr);
    if (outcome.code != 0)
        Fail(outcome.code, shown(outcome.failedPath));
}

void PrintDone(const char* key, const std::string& path)
{
    JsonObject().text(key, path).print();
}

} // namespace

int sharesCommand(const Words& words)
{
    NetArgs args(words, kValueOptions, kFlags);
    args.expect(1, 1, "tamsel-net shares HOST");
    Logon logon(args);
    const std::string host = SmbHostName(args.positional()[0]);
    logon.use("\\\\" + host);
    std::vector<SmbShare> shares;
    int error = 0;
    if (!ListSmbShares(host, shares, &error))
        Fail(error, "\\\\" + host);
    logon.succeeded();
    for (const SmbShare& share : shares) {
        const std::string& remote = share.resource.RemoteName;
        JsonObject()
            .text("name", remote.substr(remote.rfind('\\') + 1))
            .text("type", "disk")
            .text("comment", share.resource.Comment)
            .boolean("hidden", share.hidden)
            .print();
    }
    return ExitOk;
}

int lsCommand(const Words& words)
{
    NetArgs args(words, kValueOptions, kFlags);
    args.expect(1, 1, "tamsel-net ls PATH");
    if (isFtpUrl(args.positional()[0]))
        return ftpLsCommand(words);
    Logon logon(args);
    std::string folder = ProgramPath(args.positional()[0]);
    logon.use(folder);
    if (folder.back() != '\\')
        folder += '\\';
    int error = 0;
    const bool ok = ForEachDirectoryEntry(folder + "*.*", [](FindEntry&& entry) {
        const bool dir = (entry.attributes & 0x10) != 0;
        JsonObject()
            .text("name", entry.name)
            .boolean("dir", dir)
            .number("size", static_cast<long long>(entry.size))
            .text("modified", IsoUtc(entry.modified))
            .print(stdout, false);
        return true;
    }, &error);
    std::fflush(stdout);
    if (!ok)
        Fail(error, folder);
    logon.succeeded();
    return ExitOk;
}

int getCommand(const Words& words)
{
    NetArgs args(words, kValueOptions, kFlags);
    args.expect(2, 2, "tamsel-net get REMOTE LOCALFOLDER [--overwrite]");
    if (isFtpUrl(args.positional()[0]))
        return ftpGetCommand(words);
    Logon logon(args);
    const std::string remote = ProgramPath(args.positional()[0]);
    logon.use(remote);
    const std::string target = EnginePath(ProgramPath(args.positional()[1]));
    const std::string source = EnginePath(remote);
    RunEngine(FO_COPY, {source}, target, args.has("--overwrite"));
    logon.succeeded();
    PrintDone("copied", NativeJoin(target, NativeBaseName(source)));
    return ExitOk;
}

int putCommand(const Words& words)
{
    NetArgs args(words, kValueOptions, kFlags);
    args.expect(2, 1000000, "tamsel-net put LOCAL... REMOTEFOLDER [--overwrite]");
    if (isFtpUrl(args.positional().back()))
        return ftpPutCommand(words);
    Logon logon(args);
    const std::string remote = ProgramPath(args.positional().back());
    logon.use(remote);
    std::vector<std::string> sources;
    for (size_t i = 0; i + 1 < args.positional().size(); ++i)
        sources.push_back(EnginePath(ProgramPath(args.positional()[i])));
    RunEngine(FO_COPY, sources, EnginePath(remote), args.has("--overwrite"));
    logon.succeeded();
    std::string folder = remote;
    if (folder.back() != '\\')
        folder += '\\';
    for (const std::string& source : sources)
        PrintDone("copied", folder + NativeBaseName(source));
    return ExitOk;
}

int mkdirCommand(const Words& words)
{
    NetArgs args(words, kValueOptions, kFlags);
    args.expect(1, 1, "tamsel-net mkdir REMOTE");
    if (isFtpUrl(args.positional()[0]))
        return ftpMkdirCommand(words);
    Logon logon(args);
    const std::string path = ProgramPath(args.positional()[0]);
    logon.use(path);
    int error = 0;
    if (!ForceDirectories(path, &error))
        Fail(error, path);
    logon.succeeded();
    PrintDone("made", path);
    return ExitOk;
}

int renameCommand(const Words& words)
{
    NetArgs args(words, kValueOptions, kFlags);
    args.expect(2, 2, "tamsel-net rename REMOTE NEWNAME");
    if (isFtpUrl(args.positional()[0]))
        return ftpRenameCommand(words);
    const std::string& newName = args.positional()[1];
    // A new name is one name: a path here could move the entry anywhere.
    if (!IsPlainName(newName))
        throw CommandError{Win32::InvalidName, newName + ": " + Win32MessageLine(Win32::InvalidName)};
    Logon logon(args);
    std::string path = ProgramPath(args.positional()[0]);
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    logon.use(path);
    const std::string source = EnginePath(path);
    RunEngine(FO_RENAME, {source}, NativeJoin(NativeDirName(source), newName), false);
    logon.succeeded();
    PrintDone("renamed", path.substr(0, path.rfind('\\') + 1) + newName);
    return ExitOk;
}

int deleteCommand(const Words& words)
{
    NetArgs args(words, kValueOptions, kFlags);
    args.expect(1, 1, "tamsel-net delete REMOTE");
    if (isFtpUrl(args.positional()[0]))
        return ftpDeleteCommand(words);
    Logon logon(args);
    const std::string path = ProgramPath(args.positional()[0]);
    logon.use(path);
    RunEngine(FO_DELETE, {EnginePath(path)}, {}, false);
    logon.succeeded();
    PrintDone("deleted", path);
    return ExitOk;
}

} // namespace netcli
