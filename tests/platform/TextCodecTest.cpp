#include "platform/TextCodec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

std::string Utf8(char32_t cp)
{
    std::string s;
    AppendUtf8(s, cp);
    return s;
}

TEST(TextCodec, KnownCodesBothWays)
{
    struct Case { std::string bytes; std::string text; };
    const std::vector<Case> cases = {
        {Bytes({0xA3, 0xE1}), "€"},
        {Bytes({0xF9, 0xD6}), "碁"},
        {Bytes({0xF9, 0xDD}), "╔"},
        {Bytes({0xA5, 0x5C}), "功"},
        {Bytes({0xA4, 0xA4, 0xA4, 0xE5}), "中文"},
        {Bytes({0x80}), Utf8(0x80)},
        {"ABC\\x", "ABC\\x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeCP950(c.bytes), c.text) << c.text;
        EXPECT_EQ(EncodeCP950(c.text), c.bytes) << c.text;
    }
}

TEST(TextCodec, UserDefinedRangesMapToPrivateUse)
{
    struct Case { int lead, trail; char32_t cp; };
    const std::vector<Case> cases = {
        {0xFA, 0x40, 0xE000}, {0xFE, 0xFE, 0xE310}, {0x8E, 0x40, 0xE311},
        {0xA0, 0xFE, 0xEEB7}, {0x81, 0x40, 0xEEB8}, {0x8D, 0xFE, 0xF6B0},
        {0xFA, 0xA1, 0xE000 + 63},
    };
    for (const Case& c : cases) {
        const std::string bytes = Bytes({c.lead, c.trail});
        EXPECT_EQ(DecodeCP950(bytes), Utf8(c.cp)) << std::hex << c.lead << c.trail;
        EXPECT_EQ(EncodeCP950(Utf8(c.cp)), bytes) << std::hex << c.lead << c.trail;
    }
}

TEST(TextCodec, DuplicateCodesEncodeToOne)
{
    // The table's ten characters with two codes, and the code written for each.
    const std::vector<std::pair<int, int>> duplicates = {
        {0xA2CC, 0xA451}, {0xA2CE, 0xA4CA}, {0xF9E9, 0xA2A5}, {0xF9EA, 0xA2A6}, {0xF9EB, 0xA2A7},
        {0xF9F9, 0xA2A4}, {0xF9FA, 0xA27E}, {0xF9FB, 0xA2A1}, {0xF9FC, 0xA2A2}, {0xF9FD, 0xA2A3},
    };
    for (auto [second, first] : duplicates) {
        const std::string text = DecodeCP950(Bytes({second >> 8, second & 0xFF}));
        EXPECT_EQ(text, DecodeCP950(Bytes({first >> 8, first & 0xFF})));
        EXPECT_EQ(EncodeCP950(text), Bytes({first >> 8, first & 0xFF}));
    }
    // A2CC and A451 are both U+5341: reading either works, writing gives A451.
    EXPECT_EQ(DecodeCP950(Bytes({0xA2, 0xCC})), "十");
    EXPECT_EQ(DecodeCP950(Bytes({0xA4, 0x51})), "十");
    EXPECT_EQ(EncodeCP950("十"), Bytes({0xA4, 0x51}));
}

TEST(TextCodec, SecondByteBackslashStaysInsideTheCharacter)
{
    const std::string text = "功\\功能\\";
    const std::string bytes = EncodeCP950(text);
    EXPECT_EQ(bytes, Bytes({0xA5, 0x5C, 0x5C, 0xA5, 0x5C, 0xAF, 0xE0, 0x5C}));
    EXPECT_EQ(DecodeCP950(bytes), text);
    // A cut right after the lead byte of 功 must not leave "\xA5" alone with a backslash.
    EXPECT_EQ(CP950CutLength(bytes, 4), 3u);
}

TEST(TextCodec, CharactersOutsideCP950Escape)
{
    const std::string emoji = "\xF0\x9F\x98\x80";  // U+1F600
    EXPECT_FALSE(IsCP950Char(0x4EEC));              // 们 is simplified only
    EXPECT_TRUE(IsCP950Char(0x5011));               // 們
    EXPECT_EQ(EncodeCP950("们"), "\xFF" "4EEC");
    EXPECT_EQ(EncodeCP950(emoji), "\xFF+01F600");
    const std::string mixed = "a们" + emoji + "們b" + Utf8(0xF880) + Utf8(0xF8F8);
    EXPECT_EQ(DecodeCP950(EncodeCP950(mixed)), mixed);
    // An escape is never split by a cut.
    const std::string bytes = EncodeCP950("x" + emoji);
    for (size_t max = 1; max < bytes.size(); ++max)
        EXPECT_EQ(CP950CutLength(bytes, max), 1u) << max;
}

TEST(TextCodec, EscapeLookalikesStayText)
{
    // "\xFF0041" is no escape ('A' needs none): it reads as an invalid byte and "0041".
    const std::string lookalike = "\xFF" "0041";
    EXPECT_EQ(DecodeCP950(lookalike), Utf8(0xF8FF) + "0041");
    EXPECT_EQ(EncodeCP950(DecodeCP950(lookalike)), lookalike);
    // A lone 0xFF in memory before text that would complete an escape is escaped itself.
    const std::string text = Utf8(0xF8FF) + "4EEC";
    EXPECT_EQ(EncodeCP950(text), "\xFF" "F8FF4EEC");
    EXPECT_EQ(DecodeCP950(EncodeCP950(text)), text);
    // A lone lead byte before a byte that would pair with it.
    const std::string lead = Utf8(0xF8A4) + "@";
    EXPECT_EQ(DecodeCP950(EncodeCP950(lead)), lead);
    const std::string lead2 = Utf8(0xF8A4) + Utf8(0xF8A4);
    EXPECT_EQ(DecodeCP950(EncodeCP950(lead2)), lead2);
}

TEST(TextCodec, InvalidBytesDecodeReversibly)
{
    const std::vector<std::string> inputs = {
        Bytes({0xFF}), Bytes({0x81, 0x20, 0x41}), Bytes({0xA4}), Bytes({0xA4, 0x7F, 0xA4, 0xA4}),
        Bytes({0xFF, '+', '0', '0', '0', '0', '4', '1'}), Bytes({0xC8, 0x7F}),
    };
    for (const std::string& in : inputs) {
        const std::string text = DecodeCP950(in);
        EXPECT_EQ(EncodeCP950(text), in);
    }
    // The rest of the text after a bad byte survives.
    EXPECT_EQ(DecodeCP950(Bytes({0x81, 0x20, 0xA4, 0xA4})), Utf8(0xF881) + " 中");
}

TEST(TextCodec, RandomBytesAndTextsRoundTrip)
{
    std::mt19937 rng(950);
    // Bytes biased towards lead bytes, 0xFF and hex digits, where the rules interact.
    const std::string alphabet = Bytes({0x81, 0xA4, 0xA5, 0xC8, 0xF9, 0xFA, 0xFE, 0xFF, 0x80, 0x40,
                                        0x5C, 0x7F, 0xA1, 0x30, 0x34, 0x41, 0x45, 0x43, 0x46, 0x2B});
    for (int round = 0; round < 20000; ++round) {
        std::string in;
        const int len = static_cast<int>(rng() % 12);
        for (int i = 0; i < len; ++i)
            in.push_back(rng() % 4 == 0 ? static_cast<char>(rng() % 256) : alphabet[rng() % alphabet.size()]);
        const std::string text = DecodeCP950(in);
        ASSERT_EQ(DecodeCP950(EncodeCP950(text)), text) << round;
        // Bytes come back unchanged, except the second codes of the table's duplicates.
        bool hasDuplicate = false;
        for (const char* d : {"十", "卅", "╞", "╪", "╡", "═", "╭", "╮", "╰", "╯"})
            hasDuplicate = hasDuplicate || text.find(d) != std::string::npos;
        if (!hasDuplicate) {
            ASSERT_EQ(EncodeCP950(text), in) << round;
        }
    }
    const std::vector<char32_t> points = {'A', '0', '4', 'E', 'C', '+', '@', 0x4E2D, 0x4EEC, 0x1F600,
                                          0xF8FF, 0xF8A4, 0xF881, 0xF880, 0xE000, 0x20AC, 0x80, 0x5C};
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int len = static_cast<int>(rng() % 8);
        for (int i = 0; i < len; ++i)
            AppendUtf8(text, points[rng() % points.size()]);
        ASSERT_EQ(DecodeCP950(EncodeCP950(text)), text) << round;
    }
}

TEST(TextCodec, CutsNeverSplitACharacter)
{
    // "ab" and 63 double-byte characters: byte 127 is the lead byte of the last one.
    std::string text = "ab";
    for (int i = 0; i < 63; ++i)
        text += "功";
    unsigned char field[128];
    WriteTextField(field, sizeof field, text);
    EXPECT_EQ(field[125], 0x5C);  // end of the 62nd character
    EXPECT_EQ(field[126], 0);
    EXPECT_EQ(field[127], 0);
    EXPECT_EQ(ReadTextField(field, sizeof field), Utf8Left(text, 64));
    EXPECT_EQ(EncodeCP950Cut(text, 127).size(), 126u);
    EXPECT_EQ(EncodeCP950Cut(text, 128).size(), 128u);
    EXPECT_EQ(CP950CutLength("abc", 0), 0u);
}

TEST(TextCodec, AsciiFieldsAreCutAndPaddedAsAnyText)
{
    // Plain ASCII goes into a field without being encoded: the bytes must be those the
    // encoder would have written, cut to the field and padded with NULs.
    for (const std::string& text : {std::string(), std::string("\\site\\report00001.txt"), std::string(300, 'x')}) {
        unsigned char field[260];
        std::memset(field, 0x55, sizeof field);
        WriteTextField(field, sizeof field, text);
        const std::string expected = EncodeCP950Cut(text, sizeof field - 1);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(field), expected.size()), expected);
        for (size_t i = expected.size(); i < sizeof field; ++i)
            ASSERT_EQ(field[i], 0) << i;
    }
}

TEST(TextCodec, TruncatedLeadByteAtEndOfField)
{
    // Another program cut the field inside a character: the rest is read, nothing lost.
    const unsigned char field[4] = {'a', 'b', 0xA5, 0};
    EXPECT_EQ(ReadTextField(field, sizeof field), "ab" + Utf8(0xF8A5));
    const unsigned char full[3] = {'a', 'b', 0xA5};  // no NUL at all
    const std::string text = ReadTextField(full, sizeof full);
    EXPECT_EQ(text, "ab" + Utf8(0xF8A5));
    unsigned char back[4];
    WriteTextField(back, sizeof back, text);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(back), 4), Bytes({'a', 'b', 0xA5, 0}));
}

TEST(TextCodec, Utf8Helpers)
{
    EXPECT_EQ(Utf8Length("a中\xF0\x9F\x98\x80"), 3u);
    EXPECT_EQ(Utf8Left("a中文", 2), "a中");
    EXPECT_EQ(Utf8Left("ab", 5), "ab");
    EXPECT_EQ(UpperAscii("abz中é"), "ABZ中é");
    // Malformed UTF-8 counts one character per bad byte and encodes to escaped U+FFFD.
    EXPECT_EQ(Utf8Length("\xC3"), 1u);
    EXPECT_EQ(EncodeCP950("\xE4\xB8"), "\xFF" "FFFD\xFF" "FFFD");
}

}  // namespace
