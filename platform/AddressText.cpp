#include "platform/AddressText.h"

#include "platform/DriveMap.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <cctype>

namespace {

bool StartsWithNoCase(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && UpperAscii(text.substr(0, prefix.size())) == UpperAscii(prefix);
}

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    std::string out = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
    if (out.size() >= 2 && out.front() == '"' && out.back() == '"')
        out = out.substr(1, out.size() - 2);
    return out;
}

// %XX to the byte XX; anything else unchanged (a URL pasted half-decoded still works).
std::string PercentDecoded(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 && HexDigitValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Separators made backslashes, doubled ones (after the UNC start) folded into one.
std::string CleanSeparators(std::string path, size_t keep)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    std::string out = path.substr(0, keep);
    for (size_t i = keep; i < path.size(); ++i)
        if (path[i] != '\\' || out.empty() || out.back() != '\\')
            out += path[i];
    return out;
}

Address FromNative(const std::string& native)
{
    const std::string windows = WindowsPath(native);
    if (windows.empty())
        return {};
    return {AddressKind::Drive, CleanSeparators(windows, 0)};
}

}  // namespace

Address ParseAddress(const std::string& typed)
{
    const std::string text = Trimmed(typed);
    if (text.empty())
        return {};
    if (StartsWithNoCase(text, "ftp://"))
        return {AddressKind::Ftp, text};
    if (StartsWithNoCase(text, "smb://")) {
        // A link's user name is dropped: the password store answers for the share.
        std::string rest = text.substr(6);
        const size_t slash = rest.find('/');
        std::string host = rest.substr(0, slash);
        if (const size_t at = host.rfind('@'); at != std::string::npos)
            host = host.substr(at + 1);
        // Shares are reached on the one port the program's paths can name.
        if (const size_t colon = host.find(':'); colon != std::string::npos) {
            if (host.substr(colon + 1) != "445")
                return {};
            host.resize(colon);
        }
        host = PercentDecoded(host);
        if (host.empty() || host.find_first_of("\\/") != std::string::npos)
            return {};
        const std::string path = slash == std::string::npos ? std::string() : PercentDecoded(rest.substr(slash));
        std::string unc = CleanSeparators("\\\\" + host + path, 2);
        if (unc.size() > 3 && unc.back() == '\\' && std::count(unc.begin(), unc.end(), '\\') == 3)
            unc.pop_back();  // "smb://HOST/" is the computer
        return {AddressKind::Unc, unc};
    }
    if (StartsWithNoCase(text, "file://")) {
        std::string rest = text.substr(7);
        const size_t slash = rest.find('/');
        const std::string host = rest.substr(0, slash);
        if (slash == std::string::npos)
            return {};
        rest = PercentDecoded(rest.substr(slash));
        if (host.empty() || (host.size() == 9 && StartsWithNoCase(host, "localhost")))
            return FromNative(rest);
        return {AddressKind::Unc, CleanSeparators("\\\\" + host + rest, 2)};
    }
    if (text.size() >= 2 && (text[0] == '\\' || text[0] == '/') && (text[1] == '\\' || text[1] == '/')) {
        if (text.size() == 2)
            return {};
        return {AddressKind::Unc, CleanSeparators(text, 2)};
    }
    if (text[0] == '/')
        return FromNative(text);
    if (text.size() >= 2 && text[1] == ':' && std::isalpha(static_cast<unsigned char>(text[0]))) {
        std::string path = CleanSeparators(text, 0);
        path[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
        if (path.size() == 2)
            path += '\\';
        if (path[2] != '\\')
            return {};  // "C:dir", relative to a drive's current folder, means nothing here
        return {AddressKind::Drive, path};
    }
    for (const char* prefix : {"local:", "nethood:", "expanded:", "bookmark:", "ftp:"}) {
        const std::string p = prefix;
        if (StartsWithNoCase(text, p) && (text.size() == p.size() || text[p.size()] == '\\'))
            return {AddressKind::Virtual, text};
    }
    return {};
}

bool ParseFtpLink(const std::string& typed, FtpLink& link)
{
    const std::string text = Trimmed(typed);
    if (!StartsWithNoCase(text, "ftp://"))
        return false;
    const std::string rest = text.substr(6);
    const size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    FtpLink parsed;
    if (const size_t at = authority.rfind('@'); at != std::string::npos) {
        parsed.user = PercentDecoded(authority.substr(0, at));
        // A password in a link would sit in every history and log: not taken.
        if (parsed.user.find(':') != std::string::npos)
            return false;
        authority = authority.substr(at + 1);
    }
    if (const size_t colon = authority.rfind(':'); colon != std::string::npos && authority.find(']') == std::string::npos) {
        const std::string port = authority.substr(colon + 1);
        if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        parsed.port = std::stoi(port);
        if (parsed.port < 1 || parsed.port > 65535)
            return false;
        authority.resize(colon);
    }
    parsed.host = PercentDecoded(authority);
    if (parsed.host.empty() || parsed.host.find_first_of("/\\@ ") != std::string::npos)
        return false;
    parsed.folder = slash == std::string::npos ? "/" : PercentDecoded(rest.substr(slash));
    if (parsed.folder.find('\0') != std::string::npos)
        return false;
    link = parsed;
    return true;
}
