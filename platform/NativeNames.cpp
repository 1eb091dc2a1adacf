#include "platform/NativeNames.h"

#include "platform/TextCodec.h"

namespace {

constexpr char32_t kEscape = 0xA4;          // '¤'
constexpr std::string_view kEscapeUtf8 = "\xC2\xA4";
constexpr std::string_view kCp950Marker = "\xC2\xA4~";

// Length of the valid UTF-8 sequence at `pos`, 0 when the byte there does not start one.
size_t Utf8SequenceLength(std::string_view s, size_t pos)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char b = byte(pos);
    if (b < 0x80)
        return 1;
    size_t length = 0;
    char32_t cp = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        cp = b & 0x07;
    } else {
        return 0;
    }
    if (pos + length > s.size())
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(pos + i) & 0x3F);
    }
    const bool overlong = (length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000);
    if (overlong || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        return 0;
    return length;
}

bool NeedsEscape(char32_t cp)
{
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == '\\' || cp == kEscape;
}

void AppendByteEscape(std::string& out, unsigned char b)
{
    static const char hex[] = "0123456789ABCDEF";
    out += kEscapeUtf8;
    out += hex[b >> 4];
    out += hex[b & 0x0F];
}

// The CP950 reading of `name`, or empty when the name is not plain, readable CP950.
std::string ReadableCp950(std::string_view name)
{
    const std::string text = DecodeCP950(name);
    if (EncodeCP950(text) != name)
        return {};
    for (size_t pos = 0; pos < text.size();) {
        const char32_t cp = NextUtf8(text, pos);
        // Private use characters are the user-defined range or undecodable bytes: not readable.
        if (NeedsEscape(cp) || !IsCP950Char(cp) || (cp >= 0xE000 && cp <= 0xF8FF))
            return {};
    }
    return text;
}

bool IsUpperHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

}  // namespace

bool IsValidUtf8(std::string_view text)
{
    for (size_t pos = 0; pos < text.size();) {
        const size_t length = Utf8SequenceLength(text, pos);
        if (length == 0)
            return false;
        pos += length;
    }
    return true;
}

std::string ProgramName(std::string_view nativeName)
{
    if (!IsValidUtf8(nativeName)) {
        std::string text = ReadableCp950(nativeName);
        if (!text.empty())
            return std::string(kCp950Marker) + text;
    }
    std::string out;
    out.reserve(nativeName.size());
    for (size_t pos = 0; pos < nativeName.size();) {
        const size_t length = Utf8SequenceLength(nativeName, pos);
        if (length == 0) {
            AppendByteEscape(out, static_cast<unsigned char>(nativeName[pos++]));
            continue;
        }
        size_t next = pos;
        const char32_t cp = NextUtf8(nativeName, next);
        if (NeedsEscape(cp)) {
            for (size_t i = 0; i < length; ++i)
                AppendByteEscape(out, static_cast<unsigned char>(nativeName[pos + i]));
        } else {
            out.append(nativeName.substr(pos, length));
        }
        pos += length;
    }
    return out;
}

std::string NativeName(std::string_view programName)
{
    if (programName.substr(0, kCp950Marker.size()) == kCp950Marker) {
        const std::string_view text = programName.substr(kCp950Marker.size());
        bool plain = IsValidUtf8(text);
        for (size_t pos = 0; plain && pos < text.size();) {
            const char32_t cp = NextUtf8(text, pos);
            plain = !NeedsEscape(cp) && IsCP950Char(cp);
        }
        if (plain)
            return EncodeCP950(text);
    }
    std::string out;
    out.reserve(programName.size());
    for (size_t pos = 0; pos < programName.size();) {
        if (programName.substr(pos, kEscapeUtf8.size()) == kEscapeUtf8 && pos + 4 <= programName.size()
            && IsUpperHex(programName[pos + 2]) && IsUpperHex(programName[pos + 3])) {
            out += static_cast<char>(HexDigitValue(programName[pos + 2]) * 16 + HexDigitValue(programName[pos + 3]));
            pos += 4;
        } else {
            out += programName[pos++];
        }
    }
    return out;
}
