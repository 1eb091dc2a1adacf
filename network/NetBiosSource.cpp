#include "network/NetBiosSource.h"

#include "platform/SmbContext.h"
#include "platform/Sockets.h"
#include "tools/JsonLine.h"

#include <cerrno>
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

std::vector<std::string> listEntries(SMBCCTX* context, const std::string& url, unsigned type)
{
    std::vector<std::string> names;
    SMBCFILE* dir = SmbCall([&] { return smbc_getFunctionOpendir(context)(context, url.c_str()); });
    if (!dir)
        return names;
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

} // namespace

void BrowseNetBios(const std::function<void(const Sighting&)>& found, const std::atomic<bool>* stop)
{
    SMBCCTX* context = SmbThreadContext(SmbKind::Browse);
    if (!context)
        return;
    for (const std::string& group : listEntries(context, "smb://", SMBC_WORKGROUP)) {
        if (stop && stop->load())
            return;
        found({Sighting::Workgroup, group, {}, {}, false, NetBios});
        for (const std::string& server : listEntries(context, "smb://" + group + "/", SMBC_SERVER)) {
            if (stop && stop->load())
                return;
            found({Sighting::Computer, server, group, {}, false, NetBios});
        }
    }
}

std::vector<Sighting> BrowseNetBiosInChild(const std::string& program, int waitMs, const std::atomic<bool>* stop)
{
    std::vector<Sighting> sightings;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return sightings;
    net::Fd reader(out[0]);
    net::Fd writer(out[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writer.get(), STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const std::string wait = std::to_string(waitMs);
    const char* argv[] = {program.c_str(), "discover", "--source", "netbios", "--wait", wait.c_str(), nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    writer = net::Fd();
    if (spawned != 0)
        return sightings;

    const auto deadline = net::Clock::now() + std::chrono::milliseconds(waitMs + ChildGraceMs);
    std::string output;
    for (;;) {
        if (net::WaitFor(reader.get(), POLLIN, deadline, stop) != net::WaitResult::Ready)
            break;
        char buffer[4096];
        const ssize_t n = ::read(reader.get(), buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
            break;
        if (n > 0)
            output.append(buffer, size_t(n));
        if (output.size() > MaxChildOutput)
            break;
    }
    // Our own child: end it if it is still busy, and always collect it.
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    size_t at = 0;
    for (size_t end = output.find('\n'); end != std::string::npos; at = end + 1, end = output.find('\n', at)) {
        Sighting sighting;
        if (ParseSightingLine(output.substr(at, end - at), sighting)) {
            sighting.source = NetBios;
            sightings.push_back(sighting);
        }
    }
    return sightings;
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
