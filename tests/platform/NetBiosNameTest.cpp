// The NetBIOS name query of our own: the packet for a Chinese name in CP950, the answers
// it accepts, and the configuration that decides whether it may broadcast at all.
#include "platform/NetBiosName.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string answer(uint16_t id, unsigned flags, const std::string& rdata)
{
    std::string packet{char(id >> 8), char(id & 0xFF), char(flags >> 8), char(flags & 0xFF)};
    packet += std::string("\x00\x00\x00\x01\x00\x00\x00\x00", 8);
    packet += '\x20' + std::string(32, 'A') + '\0';
    packet += std::string("\x00\x20\x00\x01\x00\x04\x93\xE0", 8);
    packet += char(rdata.size() >> 8);
    packet += char(rdata.size() & 0xFF);
    return packet + rdata;
}

TEST(NetBiosName, TheQueryCarriesTheNameInCP950PaddedAndTyped)
{
    const std::string query = NetBiosNameQuery("\xB7\x7C\xAD\x70\xAB\xC7", 0x1234); // 會計室
    ASSERT_EQ(query.size(), 50u);
    EXPECT_EQ(query.substr(0, 4), std::string("\x12\x34\x01\x10", 4)) << "recursion desired, broadcast";
    EXPECT_EQ(query.substr(4, 2), std::string("\x00\x01", 2));
    EXPECT_EQ(query[12], '\x20');
    // Each byte as two letters: B7 7C AD 70 AB C7, nine blanks, then the server type 20.
    EXPECT_EQ(query.substr(13, 32), "LHHMKNHAKLMHCACACACACACACACACACA");
    EXPECT_EQ(query.substr(45), std::string("\x00\x00\x20\x00\x01", 5));
}

TEST(NetBiosName, OnlyAPositiveAnswerToOurQueryGivesAnAddress)
{
    const std::string entry("\x00\x00\x0A\x4D\x00\x04", 6); // flags, 10.77.0.4
    EXPECT_EQ(NetBiosAnswerAddress(answer(7, 0x8500, entry), 7), "10.77.0.4");
    EXPECT_EQ(NetBiosAnswerAddress(answer(8, 0x8500, entry), 7), "") << "another query's answer";
    EXPECT_EQ(NetBiosAnswerAddress(answer(7, 0x8503, entry), 7), "") << "the name does not exist";
    EXPECT_EQ(NetBiosAnswerAddress(answer(7, 0x0110, entry), 7), "") << "a query, not an answer";
    EXPECT_EQ(NetBiosAnswerAddress(answer(7, 0x8500, entry.substr(0, 4)), 7), "") << "cut short";
    EXPECT_EQ(NetBiosAnswerAddress(answer(7, 0x8500, std::string(6, '\0')), 7), "") << "no address";
    EXPECT_EQ(NetBiosAnswerAddress(std::string("\x00\x07\x85", 3), 7), "");
}

TEST(NetBiosName, BroadcastsOnlyWhereTheConfigurationAllows)
{
    NetBiosBroadcastSettings settings = ReadNetBiosBroadcastSettings("");
    EXPECT_TRUE(settings.broadcast) << "the library's default order ends in bcast";
    EXPECT_TRUE(settings.interfaces.empty());

    settings = ReadNetBiosBroadcastSettings("[global]\n  Name Resolve Order = host\n interfaces = lo\n"
                                            "[share]\nname resolve order = bcast\ninterfaces = eth9\n");
    EXPECT_FALSE(settings.broadcast) << "loopback tests keep it off";
    EXPECT_EQ(settings.interfaces, std::vector<std::string>{"lo"});

    settings = ReadNetBiosBroadcastSettings("; comment\n[GLOBAL]\nname_resolve_order = lmhosts,BCAST host\n"
                                            "interfaces = eth0, 10.77.0.0/24\n");
    EXPECT_TRUE(settings.broadcast);
    EXPECT_EQ(settings.interfaces, (std::vector<std::string>{"eth0", "10.77.0.0/24"}));
}

TEST(NetBiosName, AnAddressOrAnEmptyNameIsNeverQueried)
{
    EXPECT_EQ(ResolveNetBiosName("10.1.2.3", 50), "");
    EXPECT_EQ(ResolveNetBiosName("", 50), "");
    EXPECT_EQ(ResolveNetBiosName("ABCDEFGHIJKLMNOP", 50), "") << "longer than 15 bytes";
}

} // namespace
