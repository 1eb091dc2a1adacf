#include "tools/JsonLine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

namespace {

std::string jsonText(const std::string& text)
{
    const std::string line = JsonObject().text("t", text).line();
    return line.substr(6, line.size() - 6 - 2);  // between {"t": and }\n
}

// Texts are copied in runs of eight bytes while nothing needs an escape, the last few bytes
// of a longer text in one run that ends with it: each character that does is escaped
// wherever it falls in a run, first and last byte included, in texts of every length
// around a run's.
TEST(JsonLine, EscapesEveryQuoteBackslashAndControlCharacterAtEveryOffset)
{
    const std::string plain = "\\\\PC0\\共用\\報告 Final-01.txt";  // UTF-8 passes unchanged
    for (const char special : {'"', '\\', '\n', '\r', '\t', '\x01', '\x1f'}) {
        const std::string escape = special == '"'    ? "\\\""
                                   : special == '\\' ? "\\\\"
                                   : special == '\n' ? "\\n"
                                   : special == '\r' ? "\\r"
                                   : special == '\t' ? "\\t"
                                   : special == 1    ? "\\u0001"
                                                     : "\\u001f";
        for (size_t length = 0; length <= 24; length++) {
            for (size_t at = 0; at <= length; at++) {
                std::string text = std::string(length, 'a');
                text.insert(at, 1, special);
                std::string expected = std::string(length, 'a');
                expected.insert(at, escape);
                EXPECT_EQ(jsonText(text), "\"" + expected + "\"") << int(special) << " at " << at << " of " << length;
            }
        }
    }
    EXPECT_EQ(jsonText(plain), "\"\\\\\\\\PC0\\\\共用\\\\報告 Final-01.txt\"");
    EXPECT_EQ(jsonText(std::string("\x7f\x20\xff\x80", 4)), "\"\x7f \xff\x80\"");  // only below 0x20 is a control
    EXPECT_EQ(jsonText(""), "\"\"");
}

// Escapes that fall close together, in one run of eight or across two, against the plain
// byte-by-byte rule; an object reused through clear() writes the same lines.
TEST(JsonLine, RandomTextsEscapeAsTheBytewiseRuleAndAReusedObjectAgrees)
{
    const auto reference = [](const std::string& text) {
        std::string out = "\"";
        for (const unsigned char c : text) {
            if (c == '"' || c == '\\')
                out += {'\\', char(c)};
            else if (c == '\n')
                out += "\\n";
            else if (c == '\r')
                out += "\\r";
            else if (c == '\t')
                out += "\\t";
            else if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else
                out += char(c);
        }
        return out + "\"";
    };
    std::mt19937 random(20261210);
    const std::string alphabet = std::string("ab\\\"\n\x01\x1f \x7f\x80\xe5\x8c\x97", 13);
    for (const std::string& text : {std::string(50, '\x01'), std::string(50, '\\') + std::string(9, '\x1f')})
        EXPECT_EQ(jsonText(text), reference(text));
    JsonObject reused;
    for (int round = 0; round < 2000; round++) {
        std::string text(random() % 40, ' ');
        for (char& c : text)
            c = alphabet[random() % alphabet.size()];
        ASSERT_EQ(jsonText(text), reference(text)) << "round " << round;
        reused.clear().text("t", text).number("n", -round);
        ASSERT_EQ(reused.line(), "{\"t\": " + reference(text) + ", \"n\": " + std::to_string(-round) + "}\n");
    }
}

} // namespace
