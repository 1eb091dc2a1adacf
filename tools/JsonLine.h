#pragma once
// One JSON object per line, the output convention of every command-line program here.
// Texts are written as UTF-8; bytes that are not UTF-8 pass unchanged, so that a name the
// program could not decode still reaches the script that asked for it.
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

class JsonObject {
public:
    JsonObject() { m_out.reserve(192); }  // a search's line in one allocation
    /// Empty again, keeping the room: a caller printing a million lines reuses one object.
    JsonObject& clear()
    {
        m_out.assign(1, '{');
        return *this;
    }
    JsonObject& text(const char* key, std::string_view value)
    {
        field(key);
        quote(value);
        return *this;
    }
    JsonObject& number(const char* key, long long value)
    {
        field(key);
        char digits[24];
        m_out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
        return *this;
    }
    JsonObject& real(const char* key, double value)
    {
        field(key);
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", value);
        m_out += buf;
        return *this;
    }
    JsonObject& boolean(const char* key, bool value)
    {
        field(key);
        m_out += value ? "true" : "false";
        return *this;
    }
    JsonObject& texts(const char* key, const std::vector<std::string>& values)
    {
        field(key);
        m_out += '[';
        for (size_t i = 0; i < values.size(); ++i) {
            if (i)
                m_out += ", ";
            quote(values[i]);
        }
        m_out += ']';
        return *this;
    }
    /// The finished line, newline included.
    std::string line() const { return m_out + "}\n"; }
    /// Appends the finished line, newline included, to `text`.
    void appendLine(std::string& text) const
    {
        text.append(m_out);
        text.append("}\n", 2);
    }
    /// Writes the line; `flush` false leaves it in the stream's buffer (long listings, whose
    /// reader waits for the end anyway).
    void print(std::FILE* to = stdout, bool flush = true)
    {
        // One call for the whole line: stdio takes its lock per call.
        m_out += "}\n";
        std::fwrite(m_out.data(), 1, m_out.size(), to);
        m_out.resize(m_out.size() - 2);
        if (flush)
            std::fflush(to);
    }

private:
    void field(const char* key)
    {
        // Written in place, as quote() does: four fields a line, a million lines.
        const size_t length = std::strlen(key);
        const size_t start = m_out.size();
        const bool first = start <= 1;
        m_out.resize(start + length + (first ? 4 : 6));
        char* out = m_out.data() + start;
        if (!first) {
            *out++ = ',';
            *out++ = ' ';
        }
        *out++ = '"';
        std::memcpy(out, key, length);
        std::memcpy(out + length, "\": ", 3);
    }
    // The place (0 to 7) of the first of the eight bytes at `p` that is a control
    // character, '"' or '\\', or 8 when there is none. The bit tricks for "holds a byte
    // below n" and "holds a zero byte" may flag bytes above a true one, never below it, so
    // the lowest flag of the three is exact.
    static int firstEscape(const char* p)
    {
        constexpr uint64_t ones = 0x0101010101010101ULL, highs = 0x8080808080808080ULL;
        uint64_t v;
        std::memcpy(&v, p, 8);
        const auto zeros = [&](uint64_t x) { return (x - ones) & ~x & highs; };
        const uint64_t flags = ((v - ones * 0x20) & ~v & highs) | zeros(v ^ (ones * '"')) | zeros(v ^ (ones * '\\'));
        return flags ? std::countr_zero(flags) / 8 : 8;
    }
    // Written in place: a search prints a million paths, each with a backslash between
    // its names, and an append per escape was most of its time.
    void quote(std::string_view value)
    {
        const size_t start = m_out.size();
        // Room for every byte escaped as "\\" or "\"", the closing quote, and the eight
        // bytes a run copies at once; more is made when a control character (six bytes for
        // one) comes.
        m_out.resize(start + 2 + value.size() * 2 + 8);
        char* out = m_out.data() + start;
        *out++ = '"';
        const char* p = value.data();
        const char* const end = p + value.size();
        while (p != end) {
            // Eight bytes at a time, up to the first that needs an escape.
            while (end - p >= 8) {
                const int plain = firstEscape(p);
                std::memcpy(out, p, 8);
                out += plain;
                p += plain;
                if (plain < 8)
                    break;
            }
            if (p == end)
                break;
            const unsigned char c = static_cast<unsigned char>(*p++);
            if (c >= 0x20 && c != '"' && c != '\\') {
                *out++ = char(c);
                continue;
            }
            *out++ = '\\';
            switch (c) {
            case '"': *out++ = '"'; break;
            case '\\': *out++ = '\\'; break;
            case '\n': *out++ = 'n'; break;
            case '\r': *out++ = 'r'; break;
            case '\t': *out++ = 't'; break;
            default: {
                const size_t at = size_t(out - m_out.data());
                // The five bytes of this escape, then the room the rest may take (see above).
                if (m_out.size() - at < 5 + 2 * size_t(end - p) + 9) {
                    m_out.resize(at + 5 + 6 * size_t(end - p) + 9);
                    out = m_out.data() + at;
                }
                static constexpr char hex[] = "0123456789abcdef";
                std::memcpy(out, "u00", 3);
                out[3] = hex[c >> 4];
                out[4] = hex[c & 15];
                out += 5;
            }
            }
        }
        *out++ = '"';
        m_out.resize(size_t(out - m_out.data()));
    }
    std::string m_out = "{";
};
