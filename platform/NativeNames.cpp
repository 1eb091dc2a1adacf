#include "platform/NativeNames.h"

#include "platform/TextCodec.h"
#include "resources/StringTable.h"

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

// The bytes ProgramName writes as escapes: controls, the backslash and every byte of 0x7F
// and above (the escape character's own bytes, C1 controls and bytes that are no UTF-8).
// "¤2E" or "¤2F" never comes out of it, so neither is read as '.' or '/'.
bool IsEscapedByte(int b)
{
    return b < 0x20 || b == 0x5C || b >= 0x7F;
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
        const int byte = pos + 4 <= programName.size() && IsUpperHex(programName[pos + 2]) && IsUpperHex(programName[pos + 3])
                             ? HexDigitValue(programName[pos + 2]) * 16 + HexDigitValue(programName[pos + 3])
                             : -1;
        if (byte >= 0 && IsEscapedByte(byte) && programName.substr(pos, kEscapeUtf8.size()) == kEscapeUtf8) {
            out += static_cast<char>(byte);
            pos += 4;
        } else {
            out += programName[pos++];
        }
    }
    return out;
}

bool IsNativeComponent(std::string_view nativeName)
{
    return !nativeName.empty() && nativeName != "." && nativeName != ".."
           && nativeName.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

std::string NameFault(std::string_view name)
{
    if (name.empty())
        return UiCaption("空白的名稱");
    if (name == "." || name == "..")
        return UiCaption("資料夾本身或上層的名稱");
    if (name.find_first_of(std::string_view("\\/\0", 3)) != std::string_view::npos)
        return UiCaption("名稱中有路徑分隔符號或 NUL");
    // The same faults spelled with escapes, as the native edge would see them. A name
    // without the escape character is its own native name, checked just above.
    if (name.find(kEscapeUtf8) == std::string_view::npos)
        return {};
    if (!IsNativeComponent(NativeName(name)))
        return UiCaption("逸出碼拼成的 .、..、分隔符號或 NUL");
    return {};
}

bool IsPlainName(std::string_view name)
{
    return NameFault(name).empty();
}
