#include "platform/TextCodec.h"
#include "platform/CodePages.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <memory>

namespace {

constexpr unsigned char EscapeByte = 0xFF;
constexpr char32_t InvalidByteBase = 0xF800;  // byte b (0x81..0xFF) decodes to U+F800 + b
constexpr char32_t Replacement = 0xFFFD;

// Both directions as flat tables, built once from the system converter: a lookup per
// character instead of a converter call per name keeps listers of 100,000 entries fast,
// and the finished tables are read-only, so any thread may use them.
struct Cp950Tables {
    std::array<uint16_t, 65536> decode{};  // (lead << 8 | trail) -> code point, 0 = none
    std::array<uint16_t, 65536> encode{};  // code point -> (lead << 8 | trail), 0 = none
};

bool IsTrailByte(unsigned t)
{
    return (t >= 0x40 && t <= 0x7E) || (t >= 0xA1 && t <= 0xFE);
}

// Index of a trail byte within a row of 157 cells, as the user-defined ranges count them.
unsigned TrailIndex(unsigned t)
{
    return t <= 0x7E ? t - 0x40 : t - 0xA1 + 63;
}

// The user-defined rows the converter leaves empty, mapped as the system maps them.
char32_t UserDefinedCodePoint(unsigned lead, unsigned trail)
{
    constexpr unsigned RowSize = 157;
    if (lead >= 0xFA && lead <= 0xFE)
        return 0xE000 + (lead - 0xFA) * RowSize + TrailIndex(trail);
    if (lead >= 0x8E && lead <= 0xA0)
        return 0xE311 + (lead - 0x8E) * RowSize + TrailIndex(trail);
    if (lead >= 0x81 && lead <= 0x8D)
        return 0xEEB8 + (lead - 0x81) * RowSize + TrailIndex(trail);
    return 0;
}

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle OpenConverter(const char* to, const char* from)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        std::fprintf(stderr, "tamsel: the system has no %s to %s converter\n", from, to);
        return nullptr;
    }
    return IconvHandle(cd);
}

// Runs one conversion of a short input; false when the converter rejects it.
bool Convert(void* cd, const char* in, size_t inSize, char* out, size_t outSize, size_t* written)
{
    iconv(static_cast<iconv_t>(cd), nullptr, nullptr, nullptr, nullptr);
    char* inPtr = const_cast<char*>(in);
    char* outPtr = out;
    size_t outLeft = outSize;
    if (iconv(static_cast<iconv_t>(cd), &inPtr, &inSize, &outPtr, &outLeft) == static_cast<size_t>(-1)
        || inSize != 0)
        return false;
    *written = outSize - outLeft;
    return true;
}

void BuildTables(Cp950Tables& t)
{
    IconvHandle toUnicode = OpenConverter("UTF-32LE", "CP950");
    IconvHandle fromUnicode = OpenConverter("CP950", "UTF-32LE");
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
            if (!IsTrailByte(trail))
                continue;
            char32_t cp = 0;
            if (toUnicode) {
                const char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                unsigned char out[8];
                size_t written = 0;
                if (Convert(toUnicode.get(), in, 2, reinterpret_cast<char*>(out), sizeof out, &written)
                    && written == 4)
                    cp = out[0] | out[1] << 8 | out[2] << 16 | char32_t(out[3]) << 24;
            }
            if (cp == 0)
                cp = UserDefinedCodePoint(lead, trail);
            // Keep the invalid-byte characters and anything beyond the basic plane out of
            // the table, so the two reversible rules never collide with a real code.
            if (cp < 0x80 || cp > 0xFFFF || (cp >= InvalidByteBase + 0x80 && cp <= InvalidByteBase + 0xFF))
                continue;
            const uint16_t code = static_cast<uint16_t>(lead << 8 | trail);
            t.decode[code] = static_cast<uint16_t>(cp);
            if (t.encode[cp] == 0) {
                t.encode[cp] = code;
                continue;
            }
            // Two codes for one character: take the converter's choice.
            if (fromUnicode) {
                const unsigned char in[4] = {static_cast<unsigned char>(cp), static_cast<unsigned char>(cp >> 8), 0, 0};
                unsigned char out[4];
                size_t written = 0;
                if (Convert(fromUnicode.get(), reinterpret_cast<const char*>(in), 4,
                            reinterpret_cast<char*>(out), sizeof out, &written)
                    && written == 2)
                    t.encode[cp] = static_cast<uint16_t>(out[0] << 8 | out[1]);
            }
        }
    }
}

const Cp950Tables& Tables()
{
    static const std::unique_ptr<Cp950Tables> tables = [] {
        auto t = std::make_unique<Cp950Tables>();
        BuildTables(*t);
        return t;
    }();
    return *tables;
}

// Escapes use upper-case digits only, so that each character has one escape.
int HexValue(unsigned char c)
{
    return c >= 'a' && c <= 'f' ? -1 : HexDigitValue(static_cast<char>(c));
}

bool ParseHex(std::string_view text, size_t count, char32_t* value)
{
    if (text.size() < count)
        return false;
    char32_t v = 0;
    for (size_t i = 0; i < count; ++i) {
        const int h = HexValue(static_cast<unsigned char>(text[i]));
        if (h < 0)
            return false;
        v = v << 4 | static_cast<char32_t>(h);
    }
    *value = v;
    return true;
}

bool NeedsEscape(const Cp950Tables& t, char32_t cp)
{
    if (cp <= 0x80)
        return false;
    if (cp <= 0xFFFF)
        return !(cp >= 0xD800 && cp <= 0xDFFF) && t.encode[cp] == 0;
    return cp <= 0x10FFFF;
}

// The payload after an escape byte: its length and character, or 0 when the bytes are
// no escape. Accepts exactly what the encoder writes, so bytes round-trip unchanged.
size_t ParseEscapePayload(const Cp950Tables& t, std::string_view payload, char32_t* cp)
{
    char32_t v = 0;
    if (ParseHex(payload, 4, &v) && v <= 0xFFFF && NeedsEscape(t, v)) {
        *cp = v;
        return 4;
    }
    if (!payload.empty() && payload[0] == '+' && ParseHex(payload.substr(1), 6, &v) && v > 0xFFFF
        && v <= 0x10FFFF) {
        *cp = v;
        return 7;
    }
    return 0;
}

void AppendEscape(std::string& out, char32_t cp)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    out.push_back(static_cast<char>(EscapeByte));
    int digits = 4;
    if (cp > 0xFFFF) {
        out.push_back('+');
        digits = 6;
    }
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out.push_back(Digits[(cp >> shift) & 0xF]);
}

// One character of CP950 input at `pos`: its length in bytes and code point.
size_t NextCP950(const Cp950Tables& t, std::string_view bytes, size_t pos, char32_t* cp)
{
    const unsigned char b = static_cast<unsigned char>(bytes[pos]);
    if (b <= 0x80) {
        *cp = b;
        return 1;
    }
    if (b == EscapeByte) {
        const size_t n = ParseEscapePayload(t, bytes.substr(pos + 1), cp);
        if (n != 0)
            return n + 1;
    } else if (pos + 1 < bytes.size()) {
        const unsigned char trail = static_cast<unsigned char>(bytes[pos + 1]);
        if (const uint16_t u = t.decode[b << 8 | trail]; u != 0) {
            *cp = u;
            return 2;
        }
    }
    *cp = InvalidByteBase + b;
    return 1;
}

// The first byte the encoder writes for the character at `pos` of `utf8`, or -1 at the end.
// For an invalid-byte character it is the raw byte, which may instead be escaped: the
// caller treats that as the worse case.
int FirstEncodedByte(const Cp950Tables& t, std::string_view utf8, size_t pos)
{
    if (pos >= utf8.size())
        return -1;
    const char32_t cp = NextUtf8(utf8, pos);
    if (cp <= 0x80)
        return static_cast<int>(cp);
    if (cp <= 0xFFFF && t.encode[cp] != 0)
        return t.encode[cp] >> 8;
    if (cp > InvalidByteBase + 0x80 && cp <= InvalidByteBase + 0xFF)
        return static_cast<int>(cp - InvalidByteBase);
    return EscapeByte;
}

// ASCII is itself in CP950 and in UTF-8: the run of it that starts at `pos` is copied at
// once, and `pos` moves past it.
void appendAsciiRun(std::string& out, std::string_view text, size_t& pos)
{
    // Eight bytes at a time while none has its high bit set: names are mostly ASCII.
    size_t end = pos + 1;
    for (uint64_t word = 0; text.size() - end >= 8; end += 8) {
        std::memcpy(&word, text.data() + end, 8);
        if (word & 0x8080808080808080ULL)
            break;
    }
    while (end < text.size() && static_cast<unsigned char>(text[end]) < 0x80)
        ++end;
    out.append(text.data() + pos, end - pos);
    pos = end;
}

}  // namespace

char32_t NextUtf8(std::string_view s, size_t& pos)
{
    const unsigned char b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    size_t len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++pos;
        return Replacement;
    }
    if (pos + len > s.size()) {
        ++pos;
        return Replacement;
    }
    for (size_t i = 1; i < len; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[pos + i]);
        if ((c & 0xC0) != 0x80) {
            ++pos;
            return Replacement;
        }
        cp = cp << 6 | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return Replacement;
    }
    pos += len;
    return cp;
}

void AppendUtf8(std::string& out, char32_t cp)
{
    char bytes[4];
    size_t n = 0;
    if (cp < 0x80) {
        bytes[n++] = static_cast<char>(cp);
    } else if (cp < 0x800) {
        bytes[n++] = static_cast<char>(0xC0 | cp >> 6);
        bytes[n++] = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        bytes[n++] = static_cast<char>(0xE0 | cp >> 12);
        bytes[n++] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        bytes[n++] = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        bytes[n++] = static_cast<char>(0xF0 | cp >> 18);
        bytes[n++] = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        bytes[n++] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        bytes[n++] = static_cast<char>(0x80 | (cp & 0x3F));
    }
    out.append(bytes, n);
}

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsCP950Char(char32_t cp)
{
    return cp <= 0x80 || (cp <= 0xFFFF && Tables().encode[cp] != 0);
}

bool IsAscii(std::string_view bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string DecodeCP950(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    AppendDecodedCP950(out, bytes);
    return out;
}

void AppendDecodedCP950(std::string& out, std::string_view bytes)
{
    const Cp950Tables& t = Tables();
    size_t pos = 0;
    while (pos < bytes.size()) {
        if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
            appendAsciiRun(out, bytes, pos);
            continue;
        }
        char32_t cp = 0;
        pos += NextCP950(t, bytes, pos, &cp);
        AppendUtf8(out, cp);
    }
}

std::string EncodeCP950(std::string_view utf8)
{
    const Cp950Tables& t = Tables();
    std::string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        if (static_cast<unsigned char>(utf8[pos]) < 0x80) {
            appendAsciiRun(out, utf8, pos);
            continue;
        }
        const char32_t cp = NextUtf8(utf8, pos);
        if (cp == 0x80) {
            out.push_back(static_cast<char>(0x80));
        } else if (cp <= 0xFFFF && t.encode[cp] != 0) {
            out.push_back(static_cast<char>(t.encode[cp] >> 8));
            out.push_back(static_cast<char>(t.encode[cp] & 0xFF));
        } else if (cp > InvalidByteBase + 0x80 && cp <= InvalidByteBase + 0xFF) {
            // An undecodable byte from disk: write it back raw unless the decoder would
            // then read it together with what follows.
            const unsigned raw = cp - InvalidByteBase;
            bool joins = false;
            if (raw == EscapeByte) {
                char32_t ignored = 0;
                joins = ParseEscapePayload(t, utf8.substr(pos), &ignored) != 0;
            } else {
                const int next = FirstEncodedByte(t, utf8, pos);
                joins = next >= 0 && t.decode[raw << 8 | static_cast<unsigned>(next)] != 0;
            }
            if (joins)
                AppendEscape(out, cp);
            else
                out.push_back(static_cast<char>(raw));
        } else {
            AppendEscape(out, cp);
        }
    }
    return out;
}

size_t CP950CutLength(std::string_view bytes, size_t maxBytes)
{
    if (bytes.size() <= maxBytes)
        return bytes.size();
    const Cp950Tables& t = Tables();
    size_t pos = 0;
    while (pos < bytes.size()) {
        char32_t cp = 0;
        const size_t len = static_cast<unsigned char>(bytes[pos]) < 0x80 ? 1 : NextCP950(t, bytes, pos, &cp);
        if (pos + len > maxBytes)
            break;
        pos += len;
    }
    return pos;
}

std::string EncodeCP950Cut(std::string_view utf8, size_t maxBytes)
{
    std::string bytes = EncodeCP950(utf8);
    bytes.resize(CP950CutLength(bytes, maxBytes));
    return bytes;
}

std::string ReadTextField(const unsigned char* field, size_t width)
{
    const void* nul = std::memchr(field, 0, width);
    const size_t len = nul ? static_cast<size_t>(static_cast<const unsigned char*>(nul) - field) : width;
    return DecodeCP950(std::string_view(reinterpret_cast<const char*>(field), len));
}

void WriteTextField(unsigned char* field, size_t width, std::string_view utf8)
{
    if (width == 0)
        return;
    // Plain ASCII is its own CP950, cut at any byte: no text of its own (the listings
    // write thousands of fields).
    if (IsAscii(utf8)) {
        const size_t length = std::min(utf8.size(), width - 1);
        std::memcpy(field, utf8.data(), length);
        std::memset(field + length, 0, width - length);
        return;
    }
    const std::string bytes = EncodeCP950Cut(utf8, width - 1);
    std::memcpy(field, bytes.data(), bytes.size());
    std::memset(field + bytes.size(), 0, width - bytes.size());
}

std::string UpperAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

size_t Utf8Length(std::string_view utf8)
{
    size_t count = 0;
    for (size_t pos = 0; pos < utf8.size(); ++count)
        NextUtf8(utf8, pos);
    return count;
}

std::string Utf8Left(std::string_view utf8, size_t count)
{
    size_t pos = 0;
    for (size_t i = 0; i < count && pos < utf8.size(); ++i)
        NextUtf8(utf8, pos);
    return std::string(utf8.substr(0, pos));
}

std::optional<std::string> ConvertCodePage(std::string_view text, const char* from, const char* to)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    const IconvHandle converter(cd);
    std::string out(text.size() * 4 + 4, '\0');
    size_t written = 0;
    if (!Convert(converter.get(), text.data(), text.size(), out.data(), out.size(), &written))
        return std::nullopt;
    out.resize(written);
    return out;
}
