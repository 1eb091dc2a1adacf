#include "platform/ServerNames.h"

#include "platform/DriveMap.h"
#include "platform/NativeNames.h"
#include "platform/TextCodec.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <unordered_map>

namespace {

// A name table is a few lines per computer; a file far beyond that is not one, and only
// its beginning is read.
constexpr size_t kMaxTableBytes = 1 << 20;

std::string Fold(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// The fields of one line: blank-separated, a double-quoted field kept whole (quotes
// dropped). An unclosed quote runs to the end of the line.
std::vector<std::string_view> Fields(std::string_view line)
{
    std::vector<std::string_view> fields;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        if (i >= line.size())
            break;
        if (line[i] == '"') {
            const size_t end = line.find('"', i + 1);
            const size_t stop = end == std::string_view::npos ? line.size() : end;
            fields.push_back(line.substr(i + 1, stop - i - 1));
            i = stop + 1;
            continue;
        }
        const size_t start = i;
        while (i < line.size() && !IsBlank(line[i]))
            ++i;
        fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// "NAME#20" names one NetBIOS service of NAME; the computer is NAME.
std::string_view WithoutNameType(std::string_view name)
{
    if (name.size() > 3 && name[name.size() - 3] == '#' && IsHexDigit(name[name.size() - 2])
        && IsHexDigit(name.back()))
        name.remove_suffix(3);
    return name;
}

// A table is written in the OEM code page, as the program writes it; a name that is valid
// UTF-8 is taken as such (an ASCII name is both).
std::string TableName(std::string_view name)
{
    return IsValidUtf8(name) ? std::string(name) : DecodeCP950(name);
}

bool IsIPv4(const std::string& text)
{
    in_addr parsed{};
    return inet_pton(AF_INET, text.c_str(), &parsed) == 1;
}

// The table as last read, and what the file looked like then.
struct Table {
    std::string nativePath;
    bool read = false;
    struct timespec modified{};
    off_t size = -1;
    ino_t inode = 0;
    std::unordered_map<std::string, std::string> byName; // folded name -> address
};

std::mutex g_tableMutex;
Table g_table;
Table g_unverified; // the fall-back table of addresses nobody vouched for, guarded as g_table
std::unordered_map<std::string, std::string> g_seen;  // folded name -> address, guarded as g_table
SystemNameResolver g_resolver = nullptr;                // guarded as g_table
// The system's answers for names a discovery saw, kept a while: SMB paths are built for
// every open and stat, and a name server may take seconds to say it does not know a name.
struct Resolved {
    std::string address;
    std::chrono::steady_clock::time_point when;
};
std::unordered_map<std::string, Resolved> g_resolved;  // folded name -> answer, guarded as g_table
constexpr std::chrono::seconds kResolvedFor{30};

// The system's own resolution (hosts file, DNS, whatever the system is set up with).
std::string SystemResolve(const std::string& name)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found)
        return {};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr, text, sizeof text);
    freeaddrinfo(found);
    return text;
}

std::string ReadTableFile(const std::string& nativePath)
{
    const int fd = open(nativePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::string text;
    char buffer[16384];
    while (text.size() < kMaxTableBytes) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    if (text.size() > kMaxTableBytes)
        text.resize(kMaxTableBytes);
    return text;
}

// Brings the table up to the file on disk; called with the lock held.
void Refresh(Table& table)
{
    struct stat st {};
    if (table.nativePath.empty() || stat(table.nativePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        // No file (yet, or any more): no names.
        table.byName.clear();
        table.read = false;
        return;
    }
    if (table.read && st.st_mtim.tv_sec == table.modified.tv_sec && st.st_mtim.tv_nsec == table.modified.tv_nsec
        && st.st_size == table.size && st.st_ino == table.inode)
        return;
    table.byName.clear();
    for (NameTableEntry& entry : ParseNameTable(ReadTableFile(table.nativePath)))
        table.byName.try_emplace(Fold(entry.name), std::move(entry.address));
    table.read = true;
    table.modified = st.st_mtim;
    table.size = st.st_size;
    table.inode = st.st_ino;
}

} // namespace

std::vector<NameTableEntry> ParseNameTable(std::string_view text)
{
    std::vector<NameTableEntry> entries;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::vector<std::string_view> fields = Fields(text.substr(start, end - start));
        start = end + 1;
        if (fields.size() < 2 || fields[0].empty() || fields[0][0] == '#')
            continue;
        const std::string address(fields[0]);
        const std::string_view name = WithoutNameType(fields[1]);
        // A keyword where the name should be means the name is missing.
        if (name.empty() || name[0] == '#' || !IsIPv4(address))
            continue;
        entries.push_back({address, TableName(name)});
    }
    return entries;
}

void SetServerNameTable(const std::string& windowsPath)
{
    std::lock_guard lock(g_tableMutex);
    g_table = Table();
    g_unverified = Table();
    g_resolved.clear();
    if (!windowsPath.empty()) {
        g_table.nativePath = NativePath(windowsPath);
        g_unverified.nativePath = NativePath(UnverifiedNameTablePath(windowsPath));
    }
}

std::string UnverifiedNameTablePath(const std::string& tablePath)
{
    return tablePath + ".unverified";
}

bool AddressIsVouchedFor(ServerAddressSource source)
{
    return source != ServerAddressSource::Discovery && source != ServerAddressSource::Imported;
}

ServerLocation LocateServer(const std::string& name)
{
    if (name.empty())
        return {};
    const std::string folded = Fold(name);
    std::string seenAddress;
    ServerAddressSource fallBack = ServerAddressSource::Discovery;
    SystemNameResolver resolver = nullptr;
    {
        std::lock_guard lock(g_tableMutex);
        if (!g_table.nativePath.empty()) {
            Refresh(g_table);
            if (const auto it = g_table.byName.find(folded); it != g_table.byName.end())
                return {it->second, ServerAddressSource::Table};
        }
        if (const auto seen = g_seen.find(folded); seen != g_seen.end()) {
            seenAddress = seen->second;
        } else {
            if (!g_unverified.nativePath.empty())
                Refresh(g_unverified);
            const auto imported = g_unverified.byName.find(folded);
            if (imported == g_unverified.byName.end())
                return {};
            seenAddress = imported->second;
            fallBack = ServerAddressSource::Imported;
        }
        resolver = g_resolver;
        const auto known = g_resolved.find(folded);
        if (known != g_resolved.end() && std::chrono::steady_clock::now() - known->second.when < kResolvedFor) {
            if (!known->second.address.empty())
                return {known->second.address, ServerAddressSource::System};
            return {seenAddress, fallBack};
        }
    }
    // A discovery reply or an imported archive is anyone's word: the system's resolution
    // outranks it. Asked outside
    // the lock, since it may wait for the network.
    // (A NetBIOS name query of the LAN belongs here too, after the system's resolution.)
    const std::string resolved = resolver ? resolver(name) : SystemResolve(name);
    {
        std::lock_guard lock(g_tableMutex);
        g_resolved[folded] = {resolved, std::chrono::steady_clock::now()};
    }
    if (!resolved.empty())
        return {resolved, ServerAddressSource::System};
    return {seenAddress, fallBack};
}

std::string ResolveServerName(const std::string& name)
{
    return LocateServer(name).address;
}

void SetSystemNameResolver(SystemNameResolver resolver)
{
    std::lock_guard lock(g_tableMutex);
    g_resolver = resolver;
    g_resolved.clear();
}

void RememberServerAddress(const std::string& name, const std::string& address)
{
    if (name.empty() || (!address.empty() && !IsIPv4(address)))
        return;
    std::lock_guard lock(g_tableMutex);
    g_resolved.erase(Fold(name));
    if (address.empty())
        g_seen.erase(Fold(name));
    else
        g_seen[Fold(name)] = address;
}
