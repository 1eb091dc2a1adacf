#pragma once
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// Just enough JSON to read the test vectors' descriptions (UTF-8 text, \uXXXX escapes of
// the basic plane, numbers as doubles).
namespace json {

struct Value {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Value> items;
    std::vector<std::pair<std::string, Value>> members;

    const Value& operator[](const std::string& key) const
    {
        for (const auto& m : members)
            if (m.first == key)
                return m.second;
        throw std::runtime_error("no member " + key);
    }
    const Value& operator[](size_t i) const { return items.at(i); }
    size_t size() const { return kind == Array ? items.size() : members.size(); }
    long long integer() const { return (long long)number; }
};

class Parser {
public:
    explicit Parser(const std::string& s) : m_s(s) {}
    Value parse()
    {
        space();
        Value v;
        const char c = m_s.at(m_i);
        if (c == '{') {
            v.kind = Value::Object;
            m_i++;
            space();
            if (m_s[m_i] == '}') {
                m_i++;
                return v;
            }
            while (true) {
                space();
                std::string key = string();
                space();
                m_i++;  // ':'
                v.members.emplace_back(key, parse());
                space();
                if (m_s[m_i++] == '}')
                    return v;
            }
        }
        if (c == '[') {
            v.kind = Value::Array;
            m_i++;
            space();
            if (m_s[m_i] == ']') {
                m_i++;
                return v;
            }
            while (true) {
                v.items.push_back(parse());
                space();
                if (m_s[m_i++] == ']')
                    return v;
            }
        }
        if (c == '"') {
            v.kind = Value::String;
            v.text = string();
            return v;
        }
        if (m_s.compare(m_i, 4, "true") == 0 || m_s.compare(m_i, 5, "false") == 0) {
            v.kind = Value::Bool;
            v.boolean = m_s[m_i] == 't';
            m_i += v.boolean ? 4 : 5;
            return v;
        }
        if (m_s.compare(m_i, 4, "null") == 0) {
            m_i += 4;
            return v;
        }
        v.kind = Value::Number;
        size_t used = 0;
        v.number = std::stod(m_s.substr(m_i, 40), &used);
        m_i += used;
        return v;
    }

private:
    void space()
    {
        while (m_i < m_s.size() && isspace(static_cast<unsigned char>(m_s[m_i])))
            m_i++;
    }
    std::string string()
    {
        std::string out;
        m_i++;  // opening quote
        while (m_s.at(m_i) != '"') {
            char c = m_s[m_i++];
            if (c != '\\') {
                out += c;
                continue;
            }
            c = m_s[m_i++];
            switch (c) {
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                const unsigned cp = unsigned(std::stoul(m_s.substr(m_i, 4), nullptr, 16));
                m_i += 4;
                if (cp < 0x80) {
                    out += char(cp);
                } else if (cp < 0x800) {
                    out += char(0xC0 | cp >> 6);
                    out += char(0x80 | (cp & 0x3F));
                } else {
                    out += char(0xE0 | cp >> 12);
                    out += char(0x80 | ((cp >> 6) & 0x3F));
                    out += char(0x80 | (cp & 0x3F));
                }
                break;
            }
            default: out += c;
            }
        }
        m_i++;
        return out;
    }
    const std::string& m_s;
    size_t m_i = 0;
};

inline Value parse(const std::string& text)
{
    return Parser(text).parse();
}

} // namespace json
