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
