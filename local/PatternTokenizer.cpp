#include "local/PatternTokenizer.h"

#include "platform/Exception.h"

#include <algorithm>
#include <utility>

namespace {

// Bytes that are not valid UTF-8 decode to this range and encode back to the same byte, so a
// listing line in an unexpected encoding splits without losing anything.
constexpr char32_t kRawByteBase = 0xDC00;

std::u32string decodeUtf8(const std::string& text)
{
    std::u32string out;
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

std::string encodeUtf8(const std::u32string& text)
{
    std::string out;
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

bool isNumberText(const std::u32string& field)
{
    if (field.empty())
        return false;
    size_t start = field[0] == U'+' || field[0] == U'-' ? 1 : 0;
    return std::all_of(field.begin() + start, field.end(),
                       [](char32_t c) { return (c >= U'0' && c <= U'9') || c == U'.'; });
}

size_t countRun(const std::u32string& text, size_t from, char32_t c)
{
    size_t n = 0;
    while (from + n < text.size() && text[from + n] == c)
        ++n;
    return n;
}

// One delimited field ("S", "N", "M"): the field ends where `runLength` copies of the
// delimiter begin (never at the first character); the whole run, however long, is skipped.
std::u32string takeDelimited(std::u32string& text, std::u32string& pattern)
{
    if (pattern.size() == 1) {
        pattern.clear();
        return std::exchange(text, std::u32string());
    }
    const char32_t delimiter = pattern[1];
    const size_t runLength = countRun(pattern, 1, delimiter);
    pattern.erase(0, 1 + runLength);
    for (size_t at = 1; at + runLength <= text.size(); ++at) {
        if (countRun(text, at, delimiter) >= runLength) {
            std::u32string field = text.substr(0, at);
            text.erase(0, at + countRun(text, at, delimiter));
            return field;
        }
    }
    return std::exchange(text, std::u32string());
}

// One fixed-width field ("DDDD" or "CDDD"): the first `width` characters, then every copy
// of the delimiter that follows them.
std::u32string takeFixed(std::u32string& text, std::u32string& pattern)
{
    const size_t width = 1 + countRun(pattern, 1, U'D');
    std::u32string field = text.substr(0, width);
    text.erase(0, field.size());
    if (width < pattern.size()) {
        text.erase(0, countRun(text, 0, pattern[width]));
        pattern.erase(0, width + 1);
    } else {
        pattern.clear();
    }
    return field;
}

} // namespace

bool IsNumberText(const std::string& field)
{
    return isNumberText(decodeUtf8(field));
}

void SplitByPattern(const std::string& text, const std::string& pattern, std::vector<std::string>& list)
{
    std::u32string restText = decodeUtf8(text);
    std::u32string restPattern = decodeUtf8(pattern);
    while (!restText.empty() && !restPattern.empty()) {
        std::u32string field;
        switch (restPattern[0]) {
        case U'S':
            field = takeDelimited(restText, restPattern);
            break;
        case U'N':
            field = takeDelimited(restText, restPattern);
            if (!isNumberText(field))
                RaiseStr(20050);
            break;
        case U'M':
            field = takeDelimited(restText, restPattern);
            std::erase(field, U',');
            if (!isNumberText(field))
                RaiseStr(20051);
            break;
        case U'D':
            field = takeFixed(restText, restPattern);
            if (!std::all_of(field.begin(), field.end(), [](char32_t c) { return c >= U'0' && c <= U'9'; }))
                RaiseStr(20050);
            break;
        case U'C':
            field = takeFixed(restText, restPattern);
            break;
        default:
            RaiseStr(20052);
        }
        list.push_back(encodeUtf8(field));
    }
}
