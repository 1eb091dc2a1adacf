#include "store/CacheListing.h"
#include "platform/TextCodec.h"
#include "StoreFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

// The byte positions of the fixed-layout records, written out by hand: a writer and a reader
// that moved a field together would still agree with each other, not with files written
// before them.

namespace {

std::string le32(uint32_t v)
{
    std::string out;
    for (int k = 0; k < 4; k++)
        out += char((v >> (8 * k)) & 0xFF);
    return out;
}

// `text` at the start of a field of `width` bytes, NUL-padded.
std::string field(const std::string& text, size_t width)
{
    std::string out = text;
    out.resize(width, '\0');
    return out;
}

} // namespace

TEST(FtpSiteBlockBytes, EveryFieldAtItsPlace)
{
    FtpSiteBlock block;
    block.Host = "ftp.example.com";
    block.User = "anonymous";
    block.Password = "密碼";
    block.ProxyHost = "proxy.lan";
    block.Port = 2121;
    block.ProxyPort = -2;
    unsigned char bytes[FtpSiteBlockSize];
    std::memset(bytes, 0xEE, sizeof bytes);
    EncodeFtpSiteBlock(block, bytes);
    const std::string expected = field("ftp.example.com", 128) + field("anonymous", 64)
        + field(EncodeCP950("密碼"), 64) + field("proxy.lan", 128) + le32(2121) + le32(uint32_t(-2));
    ASSERT_EQ(expected.size(), size_t(392));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), sizeof bytes), expected);

    // Read from bytes made by hand, a field that fills its width without a NUL included.
    std::string stored = field(std::string(128, 'h'), 128) + field("u", 64) + field("p", 64)
        + field("", 128) + le32(21) + le32(8080);
    const FtpSiteBlock back = DecodeFtpSiteBlock(reinterpret_cast<const unsigned char*>(stored.data()));
    EXPECT_EQ(back.Host, std::string(128, 'h'));
    EXPECT_EQ(back.User, "u");
    EXPECT_EQ(back.Password, "p");
    EXPECT_EQ(back.ProxyHost, "");
    EXPECT_EQ(back.Port, 21);
    EXPECT_EQ(back.ProxyPort, 8080);
}

TEST(FtpSiteBlockBytes, LongTextsAreCutToTheirFieldAndLeaveTheNextAlone)
{
    FtpSiteBlock block;
    block.Host = std::string(300, 'a');
    block.User = std::string(100, 'b');
    block.Password = "功功功功功功功功功功功功功功功功功功功功功功功功功功功功功功功功功功";  // 33 x 2 bytes
    block.ProxyHost = std::string(128, 'c');
    unsigned char bytes[FtpSiteBlockSize];
    EncodeFtpSiteBlock(block, bytes);
    const std::string got(reinterpret_cast<const char*>(bytes), sizeof bytes);
    EXPECT_EQ(got.substr(0, 128), std::string(127, 'a') + '\0');
    EXPECT_EQ(got.substr(128, 64), std::string(63, 'b') + '\0');
    // 63 bytes of room: 31 whole characters, never half of the 32nd.
    std::string password;
    for (int k = 0; k < 31; k++)
        password += EncodeCP950("功");
    EXPECT_EQ(got.substr(192, 64), field(password, 64));
    EXPECT_EQ(got.substr(256, 128), std::string(127, 'c') + '\0');
    EXPECT_EQ(got.substr(384), le32(21) + le32(21));
}

TEST(ListDatBytes, RecordsAreLaidOutFieldByField)
{
    StoreFolder dir;
    TItemData a;
    a.Size = 0x01020304;
    a.Attributes = 0x10;
    a.Modified = 45000.25;
    SetItemPath(a, "\\\\SRV\\公用\\");
    TItemData b;
    b.Size = 7;
    b.Attributes = 0x21;
    SetItemPath(b, std::string(300, 'x'));
    WriteListDat(dir.win("LIST.DAT"), {a, b});

    std::string expected;
    for (const TItemData* item : {&a, &b}) {
        expected += le32(item->Size) + le32(item->Attributes);
        uint64_t bits;
        std::memcpy(&bits, &item->Modified, 8);
        for (int k = 0; k < 8; k++)
            expected += char((bits >> (8 * k)) & 0xFF);
        expected += field(std::string(ItemPathBytes(*item)), 256);
    }
    ASSERT_EQ(expected.size(), size_t(2 * 272));
    EXPECT_EQ(expected.substr(16, 8), "\\\\SRV\\" + EncodeCP950("公用").substr(0, 2));
    EXPECT_EQ(expected.substr(272 + 16 + 254, 2), std::string("x\0", 2));  // 255 bytes and the NUL
    EXPECT_EQ(dir.readFile("LIST.DAT"), expected);

    TItemList back;
    dir.writeFile("LIST.DAT", expected);
    ReadListDat(dir.win("LIST.DAT"), back);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].Size, 0x01020304u);
    EXPECT_EQ(back[0].Modified, 45000.25);
    EXPECT_EQ(ItemPath(back[0]), "\\\\SRV\\公用\\");
    EXPECT_EQ(back[1].Attributes, 0x21u);
    EXPECT_EQ(ItemPath(back[1]), std::string(255, 'x'));
}
