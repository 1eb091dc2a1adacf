#include "local/PatternTokenizer.h"

#include "platform/Exception.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace {

// Bytes that are not valid UTF-8 decode to this range and encode back to the same byte, so a
// listing line in an unexpected encoding splits without losing anything.
constexpr char32_t kRawByteBase = 0xDC00;

std::u32string decodeUtf8(const std::string& text)
{
    std::u32string out;
    // Plain ASCII, as nearly every listing line is: one character a byte.
    if (IsAscii(text)) {
        out.resize(text.size());
        std::transform(text.begin(), text.end(), out.begin(), [](char c) { return char32_t(c); });
        return out;
    }
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    size_t i = 0;
    while (i < size) {
        const unsigned char lead = bytes[i];
        size_t length = 0;
        char32_t code = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            length = 1;
            code = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2, code = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, code = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, code = lead & 0x07, minimum = 0x10000;
        }
        bool valid = length != 0 && i + length <= size;
        for (size_t k = 1; valid && k < length; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80)
                valid = false;
            else
                code = (code << 6) | (bytes[i + k] & 0x3F);
        }
        if (valid && length > 1
            && (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)))
            valid = false;
        if (!valid) {
            out += kRawByteBase + lead;
            ++i;
            continue;
        }
        out += code;
        i += length;
    }
    return out;
}

std::string encodeUtf8(std::u32string_view text)
{
    std::string out;
    if (std::all_of(text.begin(), text.end(), [](char32_t c) { return c < 0x80; })) {
        out.resize(text.size());
        std::transform(text.begin(), text.end(), out.begin(), [](char32_t c) { return char(c); });
        return out;
    }
    out.reserve(text.size());
    for (const char32_t c : text) {
        if (c >= kRawByteBase + 0x80 && c <= kRawByteBase + 0xFF) {
            out += static_cast<char>(c - kRawByteBase);
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// The helpers below work on characters: decoded code points, or for a line of plain ASCII
// (nearly every listing line) its bytes as they are, which are the same characters.
template <typename Char>
bool isNumberText(std::basic_string_view<Char> field)
{
    if (field.empty())
        return false;
    size_t start = field[0] == Char('+') || field[0] == Char('-') ? 1 : 0;
    return std::all_of(field.begin() + start, field.end(),
                       [](Char c) { return (c >= Char('0') && c <= Char('9')) || c == Char('.'); });
}

template <typename Char>
size_t countRun(std::basic_string_view<Char> text, size_t from, Char c)
{
    size_t n = 0;
    while (from + n < text.size() && text[from + n] == c)
        ++n;
    return n;
}

// The text and pattern still to split are views that only move forward: a line is decoded
// once, and no field shifts what follows it (a listing splits thousands of lines).

// One delimited field ("S", "N", "M"): the field ends where `runLength` copies of the
// delimiter begin (never at the first character); the whole run, however long, is skipped.
template <typename Char>
std::basic_string_view<Char> takeDelimited(std::basic_string_view<Char>& text, std::basic_string_view<Char>& pattern)
{
    using View = std::basic_string_view<Char>;
    if (pattern.size() == 1) {
        pattern = {};
        return std::exchange(text, View());
    }
    const Char delimiter = pattern[1];
    const size_t runLength = countRun(pattern, 1, delimiter);
    pattern.remove_prefix(1 + runLength);
    for (size_t at = 1; at + runLength <= text.size(); ++at) {
        if (text[at] != delimiter)
            continue;
        const size_t run = countRun(text, at, delimiter);
        if (run >= runLength) {
            const View field = text.substr(0, at);
            text.remove_prefix(at + run);
            return field;
        }
    }
    return std::exchange(text, View());
}

// One fixed-width field ("DDDD" or "CDDD"): the first `width` characters, then every copy
// of the delimiter that follows them.
template <typename Char>
std::basic_string_view<Char> takeFixed(std::basic_string_view<Char>& text, std::basic_string_view<Char>& pattern)
{
    const size_t width = 1 + countRun(pattern, 1, Char('D'));
    const std::basic_string_view<Char> field = text.substr(0, width);
    text.remove_prefix(field.size());
    if (width < pattern.size()) {
        text.remove_prefix(countRun(text, 0, pattern[width]));
        pattern.remove_prefix(width + 1);
    } else {
        pattern = {};
    }
    return field;
}

std::string fieldText(std::string_view field) { return std::string(field); }
std::string fieldText(std::u32string_view field) { return encodeUtf8(field); }

// Hands each field to `emit`: a view of the text, or for money a text of its own without
// the commas (`emit` then keeps what it needs of it).
template <typename Char, typename Emit>
void splitCharacters(std::basic_string_view<Char> restText, std::basic_string_view<Char> restPattern, Emit&& emit)
{
    using View = std::basic_string_view<Char>;
    while (!restText.empty() && !restPattern.empty()) {
        View field;
        switch (restPattern[0]) {
        case Char('S'):
            field = takeDelimited(restText, restPattern);
            break;
        case Char('N'):
            field = takeDelimited(restText, restPattern);
            if (!isNumberText(field))
                RaiseStr(20050);
            break;
        case Char('M'): {
            field = takeDelimited(restText, restPattern);
            std::basic_string<Char> plain(field);
            std::erase(plain, Char(','));
            if (!isNumberText(View(plain)))
                RaiseStr(20051);
            emit(View(plain));
            continue;
        }
        case Char('D'):
            field = takeFixed(restText, restPattern);
            if (!std::all_of(field.begin(), field.end(), [](Char c) { return c >= Char('0') && c <= Char('9'); }))
                RaiseStr(20050);
            break;
        case Char('C'):
            field = takeFixed(restText, restPattern);
            break;
        default:
            RaiseStr(20052);
        }
        emit(field);
    }
}

template <typename Char>
void splitInto(std::basic_string_view<Char> text, std::basic_string_view<Char> pattern, std::vector<std::string>& list)
{
    splitCharacters(text, pattern, [&list](std::basic_string_view<Char> field) { list.push_back(fieldText(field)); });
}

} // namespace

bool IsNumberText(const std::string& field)
{
    return isNumberText(std::u32string_view(decodeUtf8(field)));
}

void SplitByPattern(const std::string& text, const std::string& pattern, std::vector<std::string>& list)
{
    if (IsAscii(text) && IsAscii(pattern)) {
        splitInto(std::string_view(text), std::string_view(pattern), list);
        return;
    }
    const std::u32string decodedText = decodeUtf8(text);
    const std::u32string decodedPattern = decodeUtf8(pattern);
    splitInto(std::u32string_view(decodedText), std::u32string_view(decodedPattern), list);
}

bool SplitAsciiByPattern(std::string_view text, std::string_view pattern, std::vector<std::string_view>& list)
{
    if (!IsAscii(text) || !IsAscii(pattern) || pattern.find('M') != std::string_view::npos)
        return false;
    splitCharacters(text, pattern, [&list](std::string_view field) { list.push_back(field); });
    return true;
}
