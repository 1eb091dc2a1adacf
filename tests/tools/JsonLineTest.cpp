#include "tools/JsonLine.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string jsonText(const std::string& text)
{
    const std::string line = JsonObject().text("t", text).line();
    return line.substr(6, line.size() - 6 - 2);  // between {"t": and }\n
}

// Texts are copied in runs of eight bytes while nothing needs an escape: each character that
// does is escaped wherever it falls in a run, first and last byte included.
TEST(JsonLine, EscapesEveryQuoteBackslashAndControlCharacterAtEveryOffset)
{
    const std::string plain = "\\\\PC0\\共用\\報告 Final-01.txt";  // UTF-8 passes unchanged
    for (const char special : {'"', '\\', '\n', '\r', '\t', '\x01', '\x1f'}) {
        for (size_t at = 0; at <= 24; at++) {
            std::string text = std::string(24, 'a');
            text.insert(at, 1, special);
            std::string expected = std::string(24, 'a');
            const std::string escape = special == '"'    ? "\\\""
                                       : special == '\\' ? "\\\\"
                                       : special == '\n' ? "\\n"
                                       : special == '\r' ? "\\r"
                                       : special == '\t' ? "\\t"
                                       : special == 1    ? "\\u0001"
                                                         : "\\u001f";
            expected.insert(at, escape);
            EXPECT_EQ(jsonText(text), "\"" + expected + "\"") << int(special) << " at " << at;
        }
    }
    EXPECT_EQ(jsonText(plain), "\"\\\\\\\\PC0\\\\共用\\\\報告 Final-01.txt\"");
    EXPECT_EQ(jsonText(std::string("\x7f\x20\xff\x80", 4)), "\"\x7f \xff\x80\"");  // only below 0x20 is a control
    EXPECT_EQ(jsonText(""), "\"\"");
}

} // namespace
