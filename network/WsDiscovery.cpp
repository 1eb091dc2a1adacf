#include "network/WsDiscovery.h"

#include "platform/Sockets.h"
#include "platform/ThreadGuard.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ifaddrs.h>
#include <map>
#include <mutex>
#include <net/if.h>
#include <poll.h>
#include <random>
#include <set>
#include <sys/socket.h>
#include <thread>

namespace discovery {
namespace {

constexpr uint16_t WsdPort = 3702;
constexpr const char* WsdGroup = "239.255.255.250";
constexpr size_t MaxMessage = 65536;
// Replies to a metadata Get larger than this are not metadata of a computer.
constexpr size_t MaxHttpAnswer = 256 * 1024;
// UDP is unreliable, so the Probe goes out more than once, this far apart.
constexpr int ProbeRepeatMs = 150;
constexpr int ProbeCount = 2;
// A LAN has at most a few hundred computers; endpoints beyond these are not read, so a
// flood of replies costs neither memory nor requests.
constexpr size_t MaxEndpoints = 512;
constexpr size_t MaxSeenMessages = 4 * MaxEndpoints;
// Metadata requests in flight at once, each on one thread of a fixed pool.
constexpr size_t MaxConcurrentFetches = 8;

const char* const Envelope =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    "<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\" "
    "xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
    "xmlns:wsd=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
    "xmlns:wsdp=\"http://schemas.xmlsoap.org/ws/2006/02/devprof\">";

std::string newUuid()
{
    std::random_device seed;
    unsigned char b[16];
    for (auto& c : b)
        c = (unsigned char)seed();
    b[6] = (b[6] & 0x0F) | 0x40;
    b[8] = (b[8] & 0x3F) | 0x80;
    char text[40];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return std::string("urn:uuid:") + text;
}

std::string xmlEscape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string xmlUnescape(const std::string& text)
{
    static const std::pair<const char*, char> Entities[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    for (size_t i = 0; i < text.size();) {
        bool replaced = false;
        if (text[i] == '&') {
            for (const auto& [entity, c] : Entities) {
                const size_t len = std::strlen(entity);
                if (text.compare(i, len, entity) == 0) {
                    out += c;
                    i += len;
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced)
            out += text[i++];
    }
    return out;
}

std::string trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// The text of the first element whose local name is `name` (any prefix) at or after
// `from`; the element's end is left in *end. Nested markup inside is returned as is.
bool elementText(const std::string& xml, const std::string& name, std::string& text, size_t from = 0, size_t* end = nullptr)
{
    for (size_t open = xml.find('<', from); open != std::string::npos; open = xml.find('<', open + 1)) {
        size_t nameEnd = open + 1;
        while (nameEnd < xml.size() && xml[nameEnd] != '>' && xml[nameEnd] != '/' && xml[nameEnd] != ' '
               && xml[nameEnd] != '\t' && xml[nameEnd] != '\r' && xml[nameEnd] != '\n')
            ++nameEnd;
        const std::string qualified = xml.substr(open + 1, nameEnd - open - 1);
        const size_t colon = qualified.find(':');
        const std::string local = colon == std::string::npos ? qualified : qualified.substr(colon + 1);
        if (local != name || qualified.empty() || qualified[0] == '/')
            continue;
        const size_t tagEnd = xml.find('>', nameEnd);
        if (tagEnd == std::string::npos)
            return false;
        if (xml[tagEnd - 1] == '/') {  // <x/>
            text.clear();
            if (end)
                *end = tagEnd + 1;
            return true;
        }
        const std::string closing = "</" + qualified;
        const size_t close = xml.find(closing, tagEnd + 1);
        if (close == std::string::npos)
            return false;
        text = xml.substr(tagEnd + 1, close - tagEnd - 1);
        if (end)
            *end = close + closing.size();
        return true;
    }
    return false;
}

// Whether `text` may go into a request line or a header: no control characters, no blanks.
bool isRequestSafe(const std::string& text)
{
    for (unsigned char c : text)
        if (c <= 0x20 || c == 0x7F)
            return false;
    return !text.empty();
}

std::string field(const std::string& xml, const std::string& name)
{
    std::string text;
    return elementText(xml, name, text) ? trim(xmlUnescape(text)) : std::string();
}

struct Interface {
    in_addr address;
    net::Fd socket;
};

std::vector<Interface> openInterfaces()
{
    std::vector<Interface> result;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return result;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET)
            continue;
        if (!(i->ifa_flags & IFF_UP) || !(i->ifa_flags & IFF_MULTICAST) || (i->ifa_flags & IFF_LOOPBACK))
            continue;
        Interface one;
        one.address = reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr;
        one.socket = net::Fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!one.socket.valid())
            continue;
        sockaddr_in bindTo{};
        bindTo.sin_family = AF_INET;
        bindTo.sin_addr = one.address;
        const unsigned char ttl = 1;
        if (::bind(one.socket.get(), reinterpret_cast<sockaddr*>(&bindTo), sizeof bindTo) != 0
            || ::setsockopt(one.socket.get(), IPPROTO_IP, IP_MULTICAST_IF, &one.address, sizeof one.address) != 0
            || ::setsockopt(one.socket.get(), IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0)
            continue;
        result.push_back(std::move(one));
    }
    ::freeifaddrs(list);
    return result;
}

void sendMulticast(const Interface& on, const std::string& message)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(WsdPort);
    ::inet_pton(AF_INET, WsdGroup, &to.sin_addr);
    ::sendto(on.socket.get(), message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

std::string probeMessage()
{
    return std::string(Envelope) + "<soap:Header>"
           "<wsa:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To>"
           "<wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</wsa:Action>"
           "<wsa:MessageID>" + newUuid() + "</wsa:MessageID>"
           "</soap:Header><soap:Body><wsd:Probe><wsd:Types>wsdp:Device</wsd:Types></wsd:Probe></soap:Body></soap:Envelope>";
}

std::string resolveMessage(const std::string& endpoint)
{
    return std::string(Envelope) + "<soap:Header>"
           "<wsa:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To>"
           "<wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/Resolve</wsa:Action>"
           "<wsa:MessageID>" + newUuid() + "</wsa:MessageID>"
           "</soap:Header><soap:Body><wsd:Resolve><wsa:EndpointReference><wsa:Address>" + xmlEscape(endpoint)
           + "</wsa:Address></wsa:EndpointReference></wsd:Resolve></soap:Body></soap:Envelope>";
}

std::string getMessage(const std::string& endpoint)
{
    return std::string(Envelope) + "<soap:Header>"
           "<wsa:To>" + xmlEscape(endpoint) + "</wsa:To>"
           "<wsa:Action>http://schemas.xmlsoap.org/ws/2004/09/transfer/Get</wsa:Action>"
           "<wsa:MessageID>" + newUuid() + "</wsa:MessageID>"
           "<wsa:ReplyTo><wsa:Address>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsa:Address></wsa:ReplyTo>"
           "</soap:Header><soap:Body/></soap:Envelope>";
}

// The body of an HTTP answer that came whole (the server closes the connection); chunked
// bodies are joined. Empty when the status is not 200.
std::string httpBody(const std::string& answer)
{
    const size_t headEnd = answer.find("\r\n\r\n");
    if (headEnd == std::string::npos || answer.compare(0, 5, "HTTP/") != 0)
        return {};
    const size_t space = answer.find(' ');
    if (space == std::string::npos || answer.compare(space + 1, 3, "200") != 0)
        return {};
    std::string head = answer.substr(0, headEnd);
    for (char& c : head)
        c = char(std::tolower((unsigned char)c));
    std::string body = answer.substr(headEnd + 4);
    if (head.find("transfer-encoding: chunked") == std::string::npos)
        return body;
    std::string joined;
    size_t at = 0;
    while (at < body.size()) {
        const size_t lineEnd = body.find("\r\n", at);
        if (lineEnd == std::string::npos)
            break;
        const unsigned long size = std::strtoul(body.substr(at, lineEnd - at).c_str(), nullptr, 16);
        if (size == 0 || lineEnd + 2 + size > body.size())
            break;
        joined.append(body, lineEnd + 2, size);
        at = lineEnd + 2 + size + 2;
    }
    return joined;
}

// The metadata Get of one device; the answer's text, or empty.
std::string fetchMetadata(const std::string& endpoint, const std::string& host, int port, const std::string& path,
                          net::Clock::time_point deadline, const std::atomic<bool>* stop)
{
    in_addr address{};
    if (!net::ParseIpv4(host, address) || !isRequestSafe(path) || path[0] != '/' || !isRequestSafe(endpoint))
        return {};
    net::Fd fd = net::ConnectTcp(address, uint16_t(port), deadline, stop);
    if (!fd.valid())
        return {};
    const std::string body = getMessage(endpoint);
    std::string request = "POST " + path + " HTTP/1.1\r\nHost: " + host + ":" + std::to_string(port)
                          + "\r\nContent-Type: application/soap+xml\r\nUser-Agent: Tamsel\r\nConnection: close\r\n"
                            "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    size_t sent = 0;
    while (sent < request.size()) {
        if (net::WaitFor(fd.get(), POLLOUT, deadline, stop) != net::WaitResult::Ready)
            return {};
        const ssize_t n = ::send(fd.get(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return {};
        if (n > 0)
            sent += size_t(n);
    }
    std::string answer;
    for (;;) {
        if (net::WaitFor(fd.get(), POLLIN, deadline, stop) != net::WaitResult::Ready)
            break;
        char buffer[4096];
        const ssize_t n = ::recv(fd.get(), buffer, sizeof buffer, 0);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR)
                continue;
            break;
        }
        answer.append(buffer, size_t(n));
        if (answer.size() > MaxHttpAnswer)
            return {};
    }
    return httpBody(answer);
}

} // namespace

bool ParseWsdMatch(const std::string& xml, WsdMatch& match)
{
    std::string body;
    if (!elementText(xml, "ProbeMatch", body) && !elementText(xml, "ResolveMatch", body))
        return false;
    match.messageId = field(xml, "MessageID");
    std::string reference;
    if (!elementText(body, "EndpointReference", reference))
        return false;
    match.endpoint = field(reference, "Address");
    match.types = field(body, "Types");
    match.xaddrs = field(body, "XAddrs");
    return !match.endpoint.empty();
}

bool ParseComputerMetadata(const std::string& xml, std::string& name, std::string& group, bool& domain)
{
    const std::string computer = field(xml, "Computer");
    const size_t slash = computer.find('/');
    if (computer.empty())
        return false;
    name = trim(computer.substr(0, slash));
    group.clear();
    domain = false;
    if (slash != std::string::npos) {
        const std::string rest = computer.substr(slash + 1);
        const size_t colon = rest.find(':');
        if (colon != std::string::npos) {
            domain = rest.compare(0, colon, "Domain") == 0;
            group = trim(rest.substr(colon + 1));
        }
    }
    return !name.empty();
}

bool PickHttpAddress(const std::string& xaddrs, std::string& host, int& port, std::string& path)
{
    size_t at = 0;
    while (at < xaddrs.size()) {
        size_t end = xaddrs.find(' ', at);
        if (end == std::string::npos)
            end = xaddrs.size();
        const std::string url = xaddrs.substr(at, end - at);
        at = end + 1;
        if (url.compare(0, 7, "http://") != 0)
            continue;
        const size_t slash = url.find('/', 7);
        const std::string authority = url.substr(7, slash == std::string::npos ? std::string::npos : slash - 7);
        const size_t colon = authority.find(':');
        host = authority.substr(0, colon);
        port = 80;
        if (colon != std::string::npos) {
            const long value = std::strtol(authority.c_str() + colon + 1, nullptr, 10);
            if (value <= 0 || value > 65535)
                continue;
            port = int(value);
        }
        in_addr address{};
        if (!net::ParseIpv4(host, address))
            continue;
        path = slash == std::string::npos ? "/" : url.substr(slash);
        return true;
    }
    return false;
}

bool PickHttpAddressOf(const std::string& xaddrs, const std::string& sender, std::string& host, int& port,
                       std::string& path)
{
    // Each http address in turn, the first whose host is the sender's.
    size_t at = 0;
    while (at < xaddrs.size()) {
        size_t end = xaddrs.find(' ', at);
        if (end == std::string::npos)
            end = xaddrs.size();
        if (PickHttpAddress(xaddrs.substr(at, end - at), host, port, path) && host == sender
            && path[0] == '/' && isRequestSafe(path))
            return true;
        at = end + 1;
    }
    return false;
}

std::vector<Sighting> DiscoverWsd(int waitMs, const std::atomic<bool>* stop)
{
    const auto start = net::Clock::now();
    const auto deadline = start + std::chrono::milliseconds(waitMs);
    // Leave the metadata requests part of the wait; devices answer a Probe within a
    // fraction of a second on a LAN.
    const auto probeDeadline = start + std::chrono::milliseconds(waitMs * 6 / 10);
    std::vector<Interface> interfaces = openInterfaces();
    std::vector<Sighting> sightings;
    if (interfaces.empty())
        return sightings;

    std::set<std::string> seenMessages;
    struct Reply {
        std::string sender;  // the address the reply came from
        std::string xaddrs;  // its transport addresses
    };
    std::map<std::string, Reply> endpoints;
    std::set<std::string> resolving;
    int probesSent = 0;
    auto nextProbe = start;
    while (net::Clock::now() < probeDeadline && !(stop && stop->load())) {
        if (probesSent < ProbeCount && net::Clock::now() >= nextProbe) {
            const std::string probe = probeMessage();
            for (const Interface& i : interfaces)
                sendMulticast(i, probe);
            ++probesSent;
            nextProbe = net::Clock::now() + std::chrono::milliseconds(ProbeRepeatMs);
        }
        std::vector<pollfd> fds;
        for (const Interface& i : interfaces)
            fds.push_back({i.socket.get(), POLLIN, 0});
        if (::poll(fds.data(), fds.size(), net::PollSliceMs) <= 0)
            continue;
        for (size_t n = 0; n < fds.size(); ++n) {
            if (!(fds[n].revents & POLLIN))
                continue;
            std::string message(MaxMessage, '\0');
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t got = ::recvfrom(fds[n].fd, message.data(), message.size(), 0,
                                           reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (got <= 0 || from.sin_family != AF_INET)
                continue;
            message.resize(size_t(got));
            WsdMatch match;
            if (!ParseWsdMatch(message, match) || !isRequestSafe(match.endpoint))
                continue;
            if (!match.messageId.empty() && seenMessages.size() < MaxSeenMessages
                && !seenMessages.insert(match.messageId).second)
                continue;
            char sender[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &from.sin_addr, sender, sizeof sender);
            auto found = endpoints.find(match.endpoint);
            if (found == endpoints.end()) {
                if (endpoints.size() >= MaxEndpoints)
                    continue;
                found = endpoints.emplace(match.endpoint, Reply{sender, {}}).first;
            }
            Reply& known = found->second;
            // Only the device itself says where its metadata is: an answer from elsewhere
            // about the same endpoint is not taken.
            if (known.sender != sender)
                continue;
            if (known.xaddrs.empty())
                known.xaddrs = match.xaddrs;
            if (known.xaddrs.empty() && resolving.insert(match.endpoint).second) {
                const std::string resolve = resolveMessage(match.endpoint);
                sendMulticast(interfaces[n], resolve);
            }
        }
    }

    struct Fetch {
        std::string endpoint, host, path;
        int port = 0;
    };
    std::vector<Fetch> fetches;
    for (const auto& [endpoint, reply] : endpoints) {
        Fetch fetch{endpoint, {}, {}, 0};
        if (PickHttpAddressOf(reply.xaddrs, reply.sender, fetch.host, fetch.port, fetch.path))
            fetches.push_back(std::move(fetch));
    }
    std::mutex lock;
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i = next++; i < fetches.size(); i = next++) {
            // Past the wait, the rest are not even started.
            if (net::Clock::now() >= deadline || (stop && stop->load()))
                break;
            const Fetch& fetch = fetches[i];
            const std::string metadata = fetchMetadata(fetch.endpoint, fetch.host, fetch.port, fetch.path, deadline, stop);
            std::string name, group;
            bool domain = false;
            if (!ParseComputerMetadata(metadata, name, group, domain))
                continue;
            std::lock_guard<std::mutex> guard(lock);
            if (!group.empty())
                sightings.push_back({domain ? Sighting::Domain : Sighting::Workgroup, group, {}, {}, false, Wsd});
            sightings.push_back({Sighting::Computer, name, group, fetch.host, domain, Wsd});
        }
    };
    std::vector<std::thread> pool;
    for (size_t i = 0; i < std::min(MaxConcurrentFetches, fetches.size()); ++i)
        pool.emplace_back([&] { RunGuarded(work, [](const std::string&) {}); });
    for (std::thread& t : pool)
        t.join();
    return sightings;
}

} // namespace discovery
