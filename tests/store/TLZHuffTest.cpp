#include "store/TLZHuff.h"
#include "platform/Exception.h"
#include "VectorFiles.h"
#include "support/PlainLzss.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using Bytes = std::vector<uint8_t>;

struct ArchiveVector {
    std::string json;
    std::vector<std::string> names;  // UTF-8, backslash-separated
    Bytes nameBlock;                 // CP950 names, each with its NUL
    std::vector<Bytes> files;
    Bytes expected;
};

ArchiveVector loadVector(const std::string& name)
{
    const auto dir = vectors::root() / "archives" / name;
    ArchiveVector v;
    v.json = vectors::readText(dir / "vector.json");
    v.names = vectors::stringArray(v.json, "names");
    for (const auto& hex : vectors::stringArray(v.json, "names_cp950_hex")) {
        const std::string bytes = vectors::fromHex(hex);
        v.nameBlock.insert(v.nameBlock.end(), bytes.begin(), bytes.end());
        v.nameBlock.push_back(0);
    }
    for (const auto& n : v.names)
        v.files.push_back(vectors::readBytes(vectors::nativeName(dir / "input", n)));
    v.expected = vectors::readBytes(dir / "expected.che");
    return v;
}

Bytes encodeAll(TLZHuff& coder, const std::vector<Bytes>& blocks)
{
    Bytes out = {0xE1, 0xE1};
    for (const auto& b : blocks)
        coder.EncodeBlock(b, out);
    return out;
}

Bytes randomBytes(size_t n, uint32_t seed, int alphabet = 256)
{
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& c : b)
        c = uint8_t(rng() % alphabet);
    return b;
}

// Text-like data: words from a small vocabulary, so that matches of every length occur.
Bytes textBytes(size_t n, uint32_t seed)
{
    static const char* words[] = {"共享", "資料夾 ", "the ", "cache ", "\\\\SERVER\\SHARE\\", "檔案", "a", "bc", "\r\n"};
    std::mt19937 rng(seed);
    Bytes b;
    while (b.size() < n) {
        const std::string w = words[rng() % 9];
        b.insert(b.end(), w.begin(), w.end());
    }
    b.resize(n);
    return b;
}

void expectRoundTrip(const std::vector<Bytes>& blocks)
{
    TLZHuff enc;
    const Bytes archive = encodeAll(enc, blocks);
    TLZHuff dec;
    size_t pos = 2;
    for (size_t i = 0; i < blocks.size(); i++) {
        Bytes out;
        const bool decoded = dec.DecodeBlock(archive, pos, out);
        EXPECT_EQ(decoded, !blocks[i].empty()) << "block " << i;
        EXPECT_EQ(out, blocks[i]) << "block " << i << " of " << blocks.size();
        EXPECT_FALSE(dec.lastBlockShort());
    }
    EXPECT_EQ(pos, archive.size());
}

} // namespace

TEST(TLZHuffVectors, EncodingReproducesEveryArchiveByteForByte)
{
    for (const auto& name : vectors::archiveVectors()) {
        const ArchiveVector v = loadVector(name);
        ASSERT_FALSE(v.expected.empty()) << name;
        std::vector<Bytes> blocks = {v.nameBlock};
        blocks.insert(blocks.end(), v.files.begin(), v.files.end());
        TLZHuff coder;
        EXPECT_EQ(encodeAll(coder, blocks), v.expected) << name;
    }
}

TEST(TLZHuffVectors, DecodingRestoresEveryBlockAndItsBoundaries)
{
    for (const auto& name : vectors::archiveVectors()) {
        const ArchiveVector v = loadVector(name);
        const auto offsets = vectors::numbers(v.json, "offset");
        const auto ends = vectors::numbers(v.json, "end");
        ASSERT_EQ(offsets.size(), v.files.size() + 1) << name;
        TLZHuff coder;
        size_t pos = 2;
        for (size_t i = 0; i <= v.files.size(); i++) {
            EXPECT_EQ(pos, size_t(offsets[i])) << name << " block " << i;
            Bytes out;
            coder.DecodeBlock(v.expected, pos, out);
            EXPECT_EQ(out, i == 0 ? v.nameBlock : v.files[i - 1]) << name << " block " << i;
            EXPECT_EQ(pos, size_t(ends[i])) << name << " block " << i;
        }
        EXPECT_EQ(pos, v.expected.size()) << name;
    }
}

TEST(TLZHuffVectors, CrossWindowBlockNeedsTheSharedWindow)
{
    // The second file's first item refers to bytes the first file left in the window:
    // decoding it with a fresh (zero) window must give other bytes.
    const ArchiveVector v = loadVector("t3_cross_window");
    const auto offsets = vectors::numbers(v.json, "offset");
    TLZHuff fresh;
    size_t pos = size_t(offsets[2]);
    Bytes out;
    fresh.DecodeBlock(v.expected, pos, out);
    EXPECT_NE(out, v.files[1]);
    EXPECT_EQ(v.expected[offsets[2] + 5], 0xDC);  // after the size and the flag byte
    EXPECT_EQ(v.expected[offsets[2] + 6], 0xFF);
}

TEST(TLZHuffCoder, KnownSmallBlocks)
{
    TLZHuff coder;
    Bytes out;
    EXPECT_FALSE(coder.EncodeBlock(Bytes{}, out));
    EXPECT_EQ(out, (Bytes{0, 0, 0, 0}));
    out.clear();
    EXPECT_TRUE(coder.EncodeBlock(Bytes{0x5A}, out));
    EXPECT_EQ(out, (Bytes{1, 0, 0, 0, 0x01, 0x5A}));
    // Nine zero bytes after a fresh window match the zeros before 4078 at once.
    TLZHuff zeros;
    out.clear();
    zeros.EncodeBlock(Bytes(9, 0), out);
    EXPECT_EQ(out, (Bytes{9, 0, 0, 0, 0x00, 0xDC, 0xF6}));  // match at 4060 (last inserted), length 9
}

TEST(TLZHuffCoder, RoundTripsAtTheEdges)
{
    for (size_t n : {size_t(1), size_t(2), size_t(3), size_t(17), size_t(18), size_t(19), size_t(4095),
                     size_t(4096), size_t(4097), size_t(8192 + 18)}) {
        expectRoundTrip({randomBytes(n, uint32_t(n))});
        expectRoundTrip({textBytes(n, uint32_t(n))});
        expectRoundTrip({Bytes(n, 'x')});
    }
    // Runs of exactly the longest match and one either side, repeated.
    for (size_t run : {size_t(17), size_t(18), size_t(19)}) {
        Bytes b;
        for (int k = 0; k < 50; k++) {
            const Bytes r = randomBytes(run, 7);
            b.insert(b.end(), r.begin(), r.end());
            b.push_back(uint8_t(k));
        }
        expectRoundTrip({b});
    }
}

TEST(TLZHuffCoder, ManyBlocksShareOneWindow)
{
    std::vector<Bytes> blocks;
    for (uint32_t k = 0; k < 30; k++) {
        const size_t n = (k * 977) % 6000;
        blocks.push_back(k % 2 ? randomBytes(n, k, 4) : textBytes(n, k));
    }
    expectRoundTrip(blocks);
    expectRoundTrip({randomBytes(300000, 1), Bytes{}, textBytes(200000, 2), Bytes{1}});
}

TEST(TLZHuffCoder, CutBlockRestoresThePrefixAndSaysSo)
{
    const Bytes data = textBytes(50000, 3);
    TLZHuff enc;
    Bytes archive;
    enc.EncodeBlock(data, archive);
    for (size_t cut : {size_t(5), size_t(4 + 1000), archive.size() - 1}) {
        const Bytes part(archive.begin(), archive.begin() + cut);
        TLZHuff dec;
        size_t pos = 0;
        Bytes out;
        EXPECT_TRUE(dec.DecodeBlock(part, pos, out));
        EXPECT_TRUE(dec.lastBlockShort()) << cut;
        EXPECT_LT(out.size(), data.size());
        EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin())) << cut;
        EXPECT_EQ(pos, cut);
    }
}

TEST(TLZHuffCoder, SizeFieldsThatLieDoNotAllocateOrOverrun)
{
    // 4 GiB - 1 claimed, 20 coded bytes supplied.
    Bytes archive = {0xFF, 0xFF, 0xFF, 0xFF};
    for (int k = 0; k < 20; k++)
        archive.push_back(uint8_t(k * 37));
    TLZHuff dec;
    size_t pos = 0;
    Bytes out;
    EXPECT_TRUE(dec.DecodeBlock(archive, pos, out));
    EXPECT_TRUE(dec.lastBlockShort());
    EXPECT_LE(out.size(), size_t(20 * 18));
    EXPECT_LE(out.capacity(), size_t(64 * 1024));
    EXPECT_EQ(pos, archive.size());

    // A size smaller than the coded data: the output stops at the size, mid-match too.
    Bytes enc;
    TLZHuff coder;
    coder.EncodeBlock(Bytes(100, 'q'), enc);
    enc[0] = 10;
    TLZHuff dec2;
    pos = 0;
    dec2.DecodeBlock(enc, pos, out);
    EXPECT_EQ(out, Bytes(10, 'q'));
    EXPECT_FALSE(dec2.lastBlockShort());
}

TEST(TLZHuffCoder, MissingSizeFieldIsAReadError)
{
    TLZHuff dec;
    Bytes out;
    for (const Bytes& archive : {Bytes{}, Bytes{1, 0, 0}}) {
        size_t pos = 0;
        try {
            dec.DecodeBlock(archive, pos, out);
            ADD_FAILURE() << "no error for " << archive.size() << " bytes";
        } catch (const Exception& e) {
            EXPECT_EQ(e.message(), "Read Error");
        }
    }
}

TEST(TLZHuffCoder, CancelStopsAndProgressIsReported)
{
    const Bytes data = randomBytes(200000, 9);
    TLZHuff coder;
    int calls = 0;
    uint64_t last = 0;
    coder.OnProgress = [&](TLZHuff& c) {
        EXPECT_GT(c.produced(), last);
        last = c.produced();
        if (++calls == 3)
            c.Cancel();
    };
    Bytes archive;
    EXPECT_TRUE(coder.EncodeBlock(data, archive));
    EXPECT_EQ(calls, 3);
    EXPECT_LT(archive.size(), data.size() / 2);  // stopped early
    const size_t before = archive.size();
    EXPECT_FALSE(coder.EncodeBlock(data, archive));  // nothing written once cancelled
    EXPECT_EQ(archive.size(), before);

    // Decoding: progress in steps of 10240 produced bytes, up to the size.
    TLZHuff enc2;
    Bytes full;
    enc2.EncodeBlock(data, full);
    TLZHuff dec;
    int progressCalls = 0, decodedCalls = 0;
    dec.OnProgress = [&](TLZHuff&) { ++progressCalls; };
    dec.OnBlockDecoded = [&](TLZHuff& c) { ++decodedCalls; EXPECT_EQ(c.produced(), data.size()); };
    size_t pos = 0;
    Bytes out;
    dec.DecodeBlock(full, pos, out);
    EXPECT_EQ(out, data);
    EXPECT_EQ(decodedCalls, 1);
    EXPECT_GE(progressCalls, int(data.size() / TLZHuff::ProgressStep) - 1);
    EXPECT_LE(progressCalls, int(data.size() / TLZHuff::ProgressStep) + 1);
}

TEST(TLZHuffCoder, SameBytesAsThePlainCoderOnEveryKindOfData)
{
    // The fast match finder must take every decision the plain one takes: checked on
    // data that exercises shallow trees (random), deep ones (text, small alphabets) and
    // full-length matches in long repeats, over several blocks sharing one window.
    std::vector<Bytes> blocks = {randomBytes(70000, 11), textBytes(120000, 12), randomBytes(50000, 13, 2),
                                 randomBytes(40000, 14, 3), Bytes(30000, 0), textBytes(5, 15)};
    Bytes repeated = textBytes(3000, 16);
    for (int k = 0; k < 20; k++)
        repeated.insert(repeated.end(), repeated.begin() + k * 7, repeated.begin() + k * 7 + 900);
    blocks.push_back(repeated);
    TLZHuff fast;
    PlainLzss plain;
    Bytes a = {0xE1, 0xE1}, b = {0xE1, 0xE1};
    for (const auto& block : blocks) {
        fast.EncodeBlock(block, a);
        plain.encodeBlock(block, b);
        ASSERT_EQ(a, b) << "block of " << block.size() << " bytes";
    }
    expectRoundTrip(blocks);
}
