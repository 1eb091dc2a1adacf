#pragma once
// One JSON object per line, the output convention of every command-line program here.
// Texts are written as UTF-8; bytes that are not UTF-8 pass unchanged, so that a name the
// program could not decode still reaches the script that asked for it.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

class JsonObject {
public:
    JsonObject() { m_out.reserve(192); }  // a search's line in one allocation
    JsonObject& text(const char* key, const std::string& value)
    {
        field(key);
        quote(value);
        return *this;
    }
    JsonObject& number(const char* key, long long value)
    {
        field(key);
        m_out += std::to_string(value);
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
    /// Writes the line; `flush` false leaves it in the stream's buffer (long listings, whose
    /// reader waits for the end anyway).
    void print(std::FILE* to = stdout, bool flush = true) const
    {
        std::fwrite(m_out.data(), 1, m_out.size(), to);
        std::fputs("}\n", to);
        if (flush)
            std::fflush(to);
    }

private:
    void field(const char* key)
    {
        m_out += m_out.size() > 1 ? ", \"" : "\"";
        m_out += key;
        m_out += "\": ";
    }
    // Whether any of the eight bytes at `p` is a control character, '"' or '\\': the
    // bit tricks for "holds a byte below n" and "holds a zero byte", which never miss one.
    static bool needsEscape(const char* p)
    {
        constexpr uint64_t ones = 0x0101010101010101ULL, highs = 0x8080808080808080ULL;
        uint64_t v;
        std::memcpy(&v, p, 8);
        const auto hasZero = [&](uint64_t x) { return ((x - ones) & ~x & highs) != 0; };
        return ((v - ones * 0x20) & ~v & highs) != 0 || hasZero(v ^ (ones * '"')) || hasZero(v ^ (ones * '\\'));
    }
    // Plain characters go over in runs: a search prints a million paths.
    void quote(const std::string& value)
    {
        m_out += '"';
        const char* run = value.data();
        const char* const end = run + value.size();
        for (const char* p = run; p != end; ++p) {
            // Eight bytes at a time while none of them needs an escape.
            while (end - p >= 8 && !needsEscape(p))
                p += 8;
            if (p == end)
                break;
            const unsigned char c = static_cast<unsigned char>(*p);
            if (c >= 0x20 && c != '"' && c != '\\')
                continue;
            m_out.append(run, p);
            run = p + 1;
            switch (c) {
            case '"': m_out += "\\\""; break;
            case '\\': m_out += "\\\\"; break;
            case '\n': m_out += "\\n"; break;
            case '\r': m_out += "\\r"; break;
            case '\t': m_out += "\\t"; break;
            default: {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                m_out += buf;
            }
            }
        }
        m_out.append(run, end);
        m_out += '"';
    }
    std::string m_out = "{";
};
