#include "network/NetBiosSource.h"

#include "local/ErrorText.h"
#include "platform/CodePages.h"
#include "platform/SmbContext.h"
#include "platform/TextCodec.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"
#include "platform/Sockets.h"
#include "tools/JsonLine.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <csignal>
#include <fcntl.h>
#include <libsmbclient.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace discovery {
namespace {

// Time the child may take beyond the wait to start and to write its last lines.
constexpr int ChildGraceMs = 1500;
constexpr size_t MaxChildOutput = 4 * 1024 * 1024;
constexpr int StrNoAnswer = 33112; // 無反應

std::vector<std::string> listEntries(SMBCCTX* context, const std::string& url, unsigned type, int* error)
{
    std::vector<std::string> names;
    SMBCFILE* dir = SmbCall([&] { return smbc_getFunctionOpendir(context)(context, url.c_str()); });
    if (!dir) {
        *error = Win32ErrorFromSmb(errno);
        if (*error == Win32::FileNotFound)
            *error = Win32::BadNetpath; // no master browser for the name
        return names;
    }
    *error = 0;
    while (struct smbc_dirent* entry = SmbCall([&] { return smbc_getFunctionReaddir(context)(context, dir); })) {
        if (entry->smbc_type == type && entry->name[0])
            names.emplace_back(entry->name);
    }
    SmbCall([&] { return smbc_getFunctionClosedir(context)(context, dir); });
    return names;
}

// The string value of "key" in a flat JSON object of our own writing, or of the array
// of strings for arrays; false when the key is missing.
bool jsonField(const std::string& line, const std::string& key, std::string& value)
{
    const std::string quoted = "\"" + key + "\": ";
    const size_t at = line.find(quoted);
    if (at == std::string::npos || at + quoted.size() >= line.size())
        return false;
    size_t i = at + quoted.size();
    if (line[i] != '"')
        return false;
    value.clear();
    for (++i; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"')
            return true;
        if (c == '\\' && i + 1 < line.size()) {
            const char e = line[++i];
            value += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
        } else {
            value += c;
        }
    }
    return false;
}

// One browse child and what it wrote so far.
struct Child {
    std::string label; // the workgroup it lists; empty for the list of workgroups
    pid_t pid = -1;
    net::Fd reader;
    std::string output;
    net::Clock::time_point deadline;
    bool open = false;
};

bool spawnChild(Child& child, const std::string& program, const std::vector<std::string>& args, int waitMs)
{
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return false;
    child.reader = net::Fd(out[0]);
    net::Fd writer(out[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writer.get(), STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<const char*> argv{program.c_str()};
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    argv.push_back(nullptr);
    const int spawned = ::posix_spawn(&child.pid, program.c_str(), &actions, nullptr, const_cast<char**>(argv.data()),
                                      environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return false;
    child.deadline = net::Clock::now() + std::chrono::milliseconds(waitMs + ChildGraceMs);
    child.open = true;
    return true;
}

// Reads every child until it closes its output or its own deadline passes, then ends and
// collects them all.
void readChildren(std::vector<Child>& children, const std::atomic<bool>* stop)
{
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<Child*> owners;
        auto next = net::Clock::time_point::max();
        const auto now = net::Clock::now();
        for (Child& child : children) {
            if (child.open && now >= child.deadline)
                child.open = false;
            if (!child.open)
                continue;
            fds.push_back({child.reader.get(), POLLIN, 0});
            owners.push_back(&child);
            next = std::min(next, child.deadline);
        }
        if (fds.empty() || (stop && stop->load()))
            break;
        // A short step, so that a stop request is seen soon.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
        const int timeout = int(std::clamp<long long>(left, 0, 100));
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR)
            break;
        for (size_t i = 0; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
                owners[i]->open = false;
            if (n > 0)
                owners[i]->output.append(buffer, size_t(n));
            if (owners[i]->output.size() > MaxChildOutput)
                owners[i]->open = false;
        }
    }
    for (Child& child : children) {
        // Our own children: end those still busy, and always collect them.
        ::kill(child.pid, SIGKILL);
        int status = 0;
        while (::waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

// The sightings and problems a child wrote; a child that never said it was done did not
// answer in its time (or crashed), which is a problem of its own.
void takeLines(const Child& child, NetBiosBrowse& browse)
{
    bool done = false;
    size_t at = 0;
    for (size_t end = child.output.find('\n'); end != std::string::npos;
         at = end + 1, end = child.output.find('\n', at)) {
        const std::string line = child.output.substr(at, end - at);
        std::string type;
        std::string name;
        std::string message;
        if (jsonField(line, "type", type) && type == "done") {
            done = true;
            continue;
        }
        std::string code;
        if (type == "problem" && jsonField(line, "name", name) && jsonField(line, "message", message)
            && jsonField(line, "code", code) && !name.empty()) {
            browse.problems.push_back({name, std::atoi(code.c_str()), name + ": " + message});
            continue;
        }
        Sighting sighting;
        if (ParseSightingLine(line, sighting)) {
            sighting.source = NetBios;
            browse.sightings.push_back(sighting);
        }
    }
    // A LAN without NetBIOS has no list of workgroups: that is no problem of its own.
    if (!done && !child.label.empty())
        browse.problems.push_back({child.label, Win32::SemTimeout, child.label + ": " + LoadStr(StrNoAnswer)});
}

// A name as its bytes, the ones outside ASCII written "\xNN": what a name no code page of
// the LAN decodes can be told by.
std::string byteText(const std::string& bytes)
{
    static const char* hex = "0123456789ABCDEF";
    std::string text;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F) {
            text += char(c);
        } else {
            text += "\\x";
            text += hex[c >> 4];
            text += hex[c & 15];
        }
    }
    return text;
}

// Latin-1 read as UTF-8 back to its bytes, and bytes to Latin-1 as UTF-8.
std::string latin1Bytes(const std::string& utf8)
{
    std::string bytes;
    for (size_t i = 0; i < utf8.size();) {
        const char32_t c = NextUtf8(utf8, i);
        bytes += char(c & 0xFF);
    }
    return bytes;
}

std::string latin1Text(const std::string& bytes)
{
    std::string utf8;
    for (unsigned char c : bytes)
        AppendUtf8(utf8, c);
    return utf8;
}


// The library leaves out an entry whose name the code page cannot decode. A second look
// at the same list with every byte a character of its own finds such names, to report
// each for itself. Best effort: the library upper-cases a workgroup's name before it asks
// for its list, which in this reading can change a name's bytes, and then nothing is found.
void reportUndecodable(const std::string& workgroup, unsigned type,
                       const std::function<void(const std::string& name, int code)>& problem)
{
    const std::string charset = SmbOemCharset();
    std::string group;
    if (!workgroup.empty()) {
        group = latin1Text(charset == "CP950" ? EncodeCP950(workgroup) : workgroup);
    }
    ::setenv(SmbOemCharsetVariable, "ISO-8859-1", 1);
    SMBCCTX* raw = SmbThreadContext(SmbKind::Browse);
    int error = 0;
    const std::vector<std::string> names
        = raw ? listEntries(raw, workgroup.empty() ? "smb://" : "smb://" + group + "/", type, &error)
              : std::vector<std::string>();
    ::setenv(SmbOemCharsetVariable, charset.c_str(), 1);
    for (const std::string& name : names) {
        const std::string bytes = latin1Bytes(name);
        if (!ConvertCodePage(bytes, charset.c_str(), "UTF-8"))
            problem(byteText(bytes), Win32::InvalidName);
    }
}

} // namespace

void BrowseNetBios(const std::string& workgroup, const std::function<void(const Sighting&)>& found,
                   const std::function<void(const std::string& name, int code)>& problem)
{
    int error = 0;
    SMBCCTX* context = SmbThreadContext(SmbKind::Browse, &error);
    if (!context) {
        problem(workgroup, error);
        return;
    }
    // Names arrive decoded from the OEM code page the contexts are set to; the library
    // leaves out an entry it cannot decode and keeps the rest.
    if (workgroup.empty()) {
        for (const std::string& group : listEntries(context, "smb://", SMBC_WORKGROUP, &error))
            found({Sighting::Workgroup, group, {}, {}, false, NetBios});
    } else {
        for (const std::string& server : listEntries(context, "smb://" + workgroup + "/", SMBC_SERVER, &error))
            found({Sighting::Computer, server, workgroup, {}, false, NetBios});
    }
    if (error && !workgroup.empty())
        problem(workgroup, error);
    if (!error)
        reportUndecodable(workgroup, workgroup.empty() ? SMBC_WORKGROUP : SMBC_SERVER, problem);
}

NetBiosBrowse BrowseNetBiosInChild(const std::string& program, int waitMs, const std::atomic<bool>* stop)
{
    NetBiosBrowse browse;
    const std::string wait = std::to_string(waitMs);
    std::vector<Child> groups(1);
    if (!spawnChild(groups[0], program, {"discover", "--source", "netbios", "--workgroups", "--wait", wait}, waitMs))
        return browse;
    readChildren(groups, stop);
    takeLines(groups[0], browse);
    std::vector<Child> lists;
    lists.reserve(browse.sightings.size());
    for (const Sighting& group : browse.sightings) {
        if (stop && stop->load())
            break;
        Child child;
        child.label = group.name;
        if (spawnChild(child, program, {"discover", "--source", "netbios", "--workgroup", group.name, "--wait", wait},
                       waitMs))
            lists.push_back(std::move(child));
    }
    readChildren(lists, stop);
    for (const Child& child : lists)
        takeLines(child, browse);
    return browse;
}

std::string ProblemLine(const std::string& name, int code)
{
    std::string message = SystemErrorText(code);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    return JsonObject().text("type", "problem").text("name", name).text("code", std::to_string(code))
        .text("message", message).line();
}

std::string DoneLine()
{
    return JsonObject().text("type", "done").line();
}

std::string SightingLine(const Sighting& sighting, unsigned sources)
{
    JsonObject line;
    if (sighting.kind == Sighting::Computer) {
        line.text("type", "computer").text("name", sighting.name).text("workgroup", sighting.workgroup)
            .text("address", sighting.address);
    } else {
        line.text("type", sighting.kind == Sighting::Domain ? "domain" : "workgroup").text("name", sighting.name);
    }
    return line.texts("sources", SourceNames(sources)).line();
}

bool ParseSightingLine(const std::string& line, Sighting& sighting)
{
    std::string type;
    if (!jsonField(line, "type", type) || !jsonField(line, "name", sighting.name) || sighting.name.empty())
        return false;
    if (type == "computer") {
        sighting.kind = Sighting::Computer;
        jsonField(line, "workgroup", sighting.workgroup);
        jsonField(line, "address", sighting.address);
        return true;
    }
    if (type == "workgroup" || type == "domain") {
        sighting.kind = type == "domain" ? Sighting::Domain : Sighting::Workgroup;
        return true;
    }
    return false;
}

} // namespace discovery
