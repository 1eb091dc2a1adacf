#include "platform/NetBiosName.h"

#include "platform/CodePages.h"
#include "platform/Environment.h"
#include "platform/SmbContext.h"
#include "platform/Sockets.h"
#include "platform/TextCodec.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>

namespace {

constexpr uint16_t kNameServicePort = 137;
constexpr auto kRememberAnswer = std::chrono::minutes(10);
constexpr auto kRememberSilence = std::chrono::seconds(30);
constexpr size_t kMaxConfBytes = 1 << 20;

std::string lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return text;
}

std::string trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The name in the OEM code page; empty when the code page cannot hold it.
std::string oemName(const std::string& utf8)
{
    const std::string charset = SmbOemCharset();
    if (charset == "CP950") {
        const std::string bytes = EncodeCP950(utf8);
        return bytes.find('\xFF') == std::string::npos ? bytes : std::string(); // an escape is no name
    }
    return ConvertCodePage(utf8, "UTF-8", charset.c_str()).value_or(std::string());
}

std::string smbConfText()
{
    std::string path = EnvironmentValue(SmbConfigVariable);
    if (path.empty())
        path = "/etc/samba/smb.conf";
    std::ifstream file(path, std::ios::binary);
    std::string text(kMaxConfBytes, '\0');
    file.read(text.data(), std::streamsize(text.size()));
    text.resize(size_t(file.gcount()));
    return text;
}

bool allowed(const NetBiosBroadcastSettings& settings, const std::string& interfaceName, const in_addr& address)
{
    if (settings.interfaces.empty())
        return true;
    for (const std::string& entry : settings.interfaces) {
        const size_t slash = entry.find('/');
        const std::string head = entry.substr(0, slash);
        if (head == interfaceName)
            return true;
        in_addr net{};
        if (::inet_pton(AF_INET, head.c_str(), &net) != 1)
            continue;
        int bits = 32;
        if (slash != std::string::npos)
            bits = std::atoi(entry.c_str() + slash + 1);
        const uint32_t mask = bits <= 0 ? 0 : bits >= 32 ? 0xFFFFFFFFu : ~((1u << (32 - bits)) - 1);
        if ((ntohl(address.s_addr) & mask) == (ntohl(net.s_addr) & mask))
            return true;
    }
    return false;
}

std::vector<sockaddr_in> broadcastAddresses(const NetBiosBroadcastSettings& settings)
{
    std::vector<sockaddr_in> targets;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return targets;
    for (ifaddrs* it = list; it; it = it->ifa_next) {
        if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET || !(it->ifa_flags & IFF_UP)
            || !(it->ifa_flags & IFF_BROADCAST) || (it->ifa_flags & IFF_LOOPBACK) || !it->ifa_netmask)
            continue;
        const auto* own = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
        if (!allowed(settings, it->ifa_name, own->sin_addr))
            continue;
        // From the address and its mask, as the name servers do: an address set up without
        // its broadcast address has none of its own.
        const auto* mask = reinterpret_cast<const sockaddr_in*>(it->ifa_netmask);
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_addr.s_addr = own->sin_addr.s_addr | ~mask->sin_addr.s_addr;
        target.sin_port = htons(kNameServicePort);
        targets.push_back(target);
    }
    ::freeifaddrs(list);
    return targets;
}

struct Remembered {
    std::string address;
    std::chrono::steady_clock::time_point until;
};
std::mutex g_rememberedMutex;
std::map<std::string, Remembered> g_remembered; // folded name -> answer or silence

} // namespace

NetBiosBroadcastSettings ReadNetBiosBroadcastSettings(const std::string& smbConfText)
{
    NetBiosBroadcastSettings settings;
    std::istringstream lines(smbConfText);
    std::string line;
    bool global = true;
    while (std::getline(lines, line)) {
        line = trim(line);
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        if (line[0] == '[') {
            global = lower(line) == "[global]";
            continue;
        }
        const size_t equals = line.find('=');
        if (!global || equals == std::string::npos)
            continue;
        std::string key;
        for (char c : lower(trim(line.substr(0, equals))))
            if (c != ' ' && c != '\t' && c != '_')
                key += c;
        std::istringstream words(lower(trim(line.substr(equals + 1))));
        std::vector<std::string> values;
        for (std::string word; words >> word;)
            for (std::string part; !word.empty();) {
                const size_t comma = word.find(',');
                part = word.substr(0, comma);
                if (!part.empty())
                    values.push_back(part);
                word = comma == std::string::npos ? std::string() : word.substr(comma + 1);
            }
        if (key == "nameresolveorder")
            settings.broadcast = std::find(values.begin(), values.end(), "bcast") != values.end();
        else if (key == "interfaces")
            settings.interfaces = values;
    }
    return settings;
}

std::string NetBiosNameQuery(const std::string& oem, uint16_t id)
{
    std::string packet;
    packet += char(id >> 8);
    packet += char(id & 0xFF);
    packet += std::string("\x01\x10\x00\x01\x00\x00\x00\x00\x00\x00", 10); // recursion desired, broadcast; one question
    std::string padded = oem.substr(0, 15);
    padded.resize(15, ' ');
    padded += '\x20'; // the server service
    packet += '\x20';
    for (unsigned char c : padded) {
        packet += char('A' + (c >> 4));
        packet += char('A' + (c & 15));
    }
    packet += std::string("\x00\x00\x20\x00\x01", 5); // end of name; type NB, class IN
    return packet;
}

std::string NetBiosAnswerAddress(const std::string& packet, uint16_t id)
{
    auto u8 = [&](size_t at) { return static_cast<unsigned char>(packet[at]); };
    auto u16 = [&](size_t at) { return unsigned(u8(at) << 8 | u8(at + 1)); };
    if (packet.size() < 12 || u16(0) != id || !(u8(2) & 0x80) || (u8(3) & 0x0F) != 0 || u16(6) == 0)
        return {};
    size_t at = 12;
    while (at < packet.size() && u8(at) != 0) {
        if ((u8(at) & 0xC0) == 0xC0) {
            ++at;
            break;
        }
        at += 1 + u8(at);
    }
    ++at;
    // Type, class, time to live, data length, then 6-byte entries of flags and address.
    if (at + 10 > packet.size() || u16(at) != 0x20)
        return {};
    const unsigned length = u16(at + 8);
    at += 10;
    if (length < 6 || at + 6 > packet.size())
        return {};
    char text[INET_ADDRSTRLEN] = {};
    in_addr address{};
    std::memcpy(&address, packet.data() + at + 2, 4);
    if (address.s_addr == 0 || !::inet_ntop(AF_INET, &address, text, sizeof text))
        return {};
    return text;
}

std::string ResolveNetBiosName(const std::string& name, int timeoutMs, const std::atomic<bool>* stop)
{
    in_addr literal{};
    if (name.empty() || ::inet_pton(AF_INET, name.c_str(), &literal) == 1)
        return {};
    const std::string folded = UpperAscii(name);
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(g_rememberedMutex);
        const auto it = g_remembered.find(folded);
        if (it != g_remembered.end() && it->second.until > now)
            return it->second.address;
    }
    const std::string oem = oemName(folded);
    if (oem.empty() || oem.size() > 15)
        return {};
    const NetBiosBroadcastSettings settings = ReadNetBiosBroadcastSettings(smbConfText());
    if (!settings.broadcast)
        return {};
    const std::vector<sockaddr_in> targets = broadcastAddresses(settings);
    if (targets.empty())
        return {};
    net::Fd sock(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    const int on = 1;
    if (!sock.valid() || ::setsockopt(sock.get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0)
        return {};
    const uint16_t id = uint16_t(std::random_device{}());
    const std::string query = NetBiosNameQuery(oem, id);
    for (const sockaddr_in& target : targets)
        ::sendto(sock.get(), query.data(), query.size(), 0, reinterpret_cast<const sockaddr*>(&target), sizeof target);
    const auto deadline = net::Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string address;
    while (address.empty() && net::WaitFor(sock.get(), POLLIN, deadline, stop) == net::WaitResult::Ready) {
        char buffer[1024];
        const ssize_t n = ::recv(sock.get(), buffer, sizeof buffer, 0);
        if (n > 0)
            address = NetBiosAnswerAddress(std::string(buffer, size_t(n)), id);
    }
    if (stop && stop->load())
        return address;
    std::lock_guard lock(g_rememberedMutex);
    g_remembered[folded] = {address, std::chrono::steady_clock::now() + (address.empty() ? kRememberSilence : kRememberAnswer)};
    return address;
}
