// The program's name table: the lmhosts lines it accepts, the lookup that follows the file
// on disk, and SMB servers reached through it on the loopback smbd by a made-up name. Only
// names the table holds are ever handed to the SMB layer here: a made-up name that nothing
// resolves must not go out to a name server.
#include "platform/DriveMap.h"
#include "platform/ServerNames.h"
#include "platform/SmbContext.h"
#include "platform/SmbFiles.h"
#include "platform/SmbShares.h"
#include "platform/Win32Error.h"
#include "support/SmbTestServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

constexpr const char* kTestName = "TAMSELTESTPC";

std::vector<std::pair<std::string, std::string>> Pairs(const std::vector<NameTableEntry>& entries)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const NameTableEntry& entry : entries)
        pairs.emplace_back(entry.address, entry.name);
    return pairs;
}

using Pair = std::pair<std::string, std::string>;

TEST(NameTableParse, ReadsTheProgramsOwnLinesAndHandWrittenOnes)
{
    // What the rebuild writes: address, five blanks, name; Windows line ends too.
    EXPECT_EQ(Pairs(ParseNameTable("10.0.0.5     ALPHA\n192.168.1.20     中文電腦\r\n")),
              (std::vector<Pair>{{"10.0.0.5", "ALPHA"}, {"192.168.1.20", "中文電腦"}}));
    // Tabs, leading blanks, keywords and comments after the name, a quoted name, a
    // name-type suffix, no line end at the end of the file.
    EXPECT_EQ(Pairs(ParseNameTable("\t10.0.0.6\tBETA\t#PRE\n"
                                   "   10.0.0.7  GAMMA  #PRE #DOM:WORK  # the office printer\n"
                                   "10.0.0.8 \"DELTA ROOM\" #PRE\n"
                                   "10.0.0.9 EPSILON#20\n"
                                   "10.0.0.10 ZETA")),
              (std::vector<Pair>{{"10.0.0.6", "BETA"},
                                 {"10.0.0.7", "GAMMA"},
                                 {"10.0.0.8", "DELTA ROOM"},
                                 {"10.0.0.9", "EPSILON"},
                                 {"10.0.0.10", "ZETA"}}));
}

TEST(NameTableParse, SkipsCommentsKeywordsAndLinesThatAreNoEntry)
{
    const std::string text = "# a comment line\n"
                             "#PRE\n"
                             "#INCLUDE \\\\server\\share\\lmhosts\n"
                             "#BEGIN_ALTERNATE\n"
                             "\n"
                             "   \t  \n"
                             "10.0.0.1\n"                  // no name
                             "10.0.0.2     #PRE\n"         // a keyword where the name goes
                             "999.0.0.1     TOOBIG\n"      // not an address
                             "10.0.0     SHORT\n"
                             "host.example     NAMED\n"
                             "fe80::1     SIX\n"           // not reached through this table
                             "10.0.0.3x     TRAILING\n"
                             "\"\"     EMPTY\n"
                             "10.0.0.4     \"\"\n"         // an empty quoted name
                             "10.0.0.11 \"UNCLOSED NAME\n"
                             "10.0.0.12     GOOD\n";
    EXPECT_EQ(Pairs(ParseNameTable(text)),
              (std::vector<Pair>{{"10.0.0.11", "UNCLOSED NAME"}, {"10.0.0.12", "GOOD"}}));
    EXPECT_TRUE(ParseNameTable("").empty());
    // Bytes that are no text at all are lines like any other: nothing breaks.
    const std::string noise("\x00\xff\xfe\n\x01\x02 \x03\n10.0.0.13\x00 X\n", 17);
    EXPECT_TRUE(ParseNameTable(noise).empty());
}

// The system's resolution of these tests: one name known, none asked of a name server.
std::string FakeSystemResolve(const std::string& name)
{
    return name == "SYSPC" || name == "syspc" ? "10.4.4.4" : std::string();
}

class ServerNameTable : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetSystemNameResolver(FakeSystemResolve);
        SetServerNameTable(WindowsPath(m_folder.path("lmhosts")));
    }
    void TearDown() override
    {
        SetServerNameTable({});
        SetSystemNameResolver(nullptr);
    }
    // Replaces the table as the rebuild does: a new file in the old one's place.
    void write(const std::string& text)
    {
        m_folder.writeFile("lmhosts.new", text);
        std::filesystem::rename(m_folder.path("lmhosts.new"), m_folder.path("lmhosts"));
    }
    TempFolder m_folder;
};

TEST_F(ServerNameTable, NamesCompareWithoutCaseAndTheFirstLineOfANameCounts)
{
    write("10.1.1.1     Alpha\n10.1.1.2     ALPHA\n10.1.1.3     beta\n");
    EXPECT_EQ(ResolveServerName("ALPHA"), "10.1.1.1");
    EXPECT_EQ(ResolveServerName("alpha"), "10.1.1.1");
    EXPECT_EQ(ResolveServerName("BeTa"), "10.1.1.3");
    EXPECT_EQ(ResolveServerName("GAMMA"), "");
    EXPECT_EQ(ResolveServerName(""), "");
}

TEST_F(ServerNameTable, ChineseNamesAreReadInCP950AndInUtf8)
{
    // 會計室 and 業務部 in CP950, a quoted name with a trail byte that is a backslash (許 is
    // B3 5C), and one line in UTF-8.
    write("10.4.4.4     \xB7\x7C\xAD\x70\xAB\xC7\n10.4.4.5     \"\xB3\x5C\xA5\x69\" #PRE\n10.4.4.6     業務部\n");
    EXPECT_EQ(ResolveServerName("會計室"), "10.4.4.4");
    EXPECT_EQ(ResolveServerName("許可"), "10.4.4.5");
    EXPECT_EQ(ResolveServerName("業務部"), "10.4.4.6");
    EXPECT_EQ(ResolveServerName("\xB7\x7C\xAD\x70\xAB\xC7"), "") << "names are looked up as text, not as bytes";
}

TEST_F(ServerNameTable, AnAddressADiscoverySawServesNamesTheTableLacks)
{
    write("10.1.1.1     ALPHA\n");
    RememberServerAddress("alpha", "10.9.9.9");
    RememberServerAddress("Gamma", "10.3.3.3");
    RememberServerAddress("DELTA", "fe80::1");
    RememberServerAddress("EPSILON", "not an address");
    EXPECT_EQ(ResolveServerName("ALPHA"), "10.1.1.1") << "the table's own line wins";
    EXPECT_EQ(ResolveServerName("GAMMA"), "10.3.3.3");
    EXPECT_EQ(ResolveServerName("DELTA"), "");
    EXPECT_EQ(ResolveServerName("EPSILON"), "");
    RememberServerAddress("GAMMA", "10.3.3.4");
    EXPECT_EQ(ResolveServerName("gamma"), "10.3.3.4") << "a later sighting replaces it";
    // Without a table too.
    SetServerNameTable({});
    EXPECT_EQ(ResolveServerName("GAMMA"), "10.3.3.4");
    RememberServerAddress("GAMMA", "");
    RememberServerAddress("ALPHA", "");
    EXPECT_EQ(ResolveServerName("GAMMA"), "");
}

TEST_F(ServerNameTable, ADiscoveryAddressIsOnlyAFallBackAndSaysSo)
{
    write("10.1.1.1     TABLEPC\n");
    // Someone on the LAN claims all three names.
    for (const char* name : {"TABLEPC", "SYSPC", "LANPC"})
        RememberServerAddress(name, "10.66.66.66");
    const ServerLocation table = LocateServer("tablepc");
    EXPECT_EQ(table.address, "10.1.1.1");
    EXPECT_EQ(table.source, ServerAddressSource::Table);
    const ServerLocation system = LocateServer("SYSPC");
    EXPECT_EQ(system.address, "10.4.4.4") << "the system's resolution outranks a discovery reply";
    EXPECT_EQ(system.source, ServerAddressSource::System);
    const ServerLocation lan = LocateServer("LANPC");
    EXPECT_EQ(lan.address, "10.66.66.66");
    EXPECT_EQ(lan.source, ServerAddressSource::Discovery);
    // A name no discovery saw is left to the SMB layer as it is.
    EXPECT_EQ(LocateServer("OTHERPC").source, ServerAddressSource::None);
    for (const char* name : {"TABLEPC", "SYSPC", "LANPC"})
        RememberServerAddress(name, "");
}

// Computers an imported archive brought and the user did not vouch for sit in the table's
// unverified neighbour: reached when nothing else knows their names, never trusted as the
// table's own lines are.
TEST_F(ServerNameTable, AnImportedAddressIsOnlyAFallBackAndSaysSo)
{
    write("10.1.1.1     TABLEPC\n");
    m_folder.writeFile("lmhosts.unverified", "10.77.77.77     TABLEPC\n10.77.77.77     SYSPC\n"
                                             "10.77.77.77     IMPORTEDPC\n10.77.77.78     SEENPC\n");
    EXPECT_EQ(UnverifiedNameTablePath(WindowsPath(m_folder.path("lmhosts"))), WindowsPath(m_folder.path("lmhosts.unverified")));
    const ServerLocation table = LocateServer("TABLEPC");
    EXPECT_EQ(table.address, "10.1.1.1");
    EXPECT_TRUE(AddressIsVouchedFor(table.source));
    const ServerLocation system = LocateServer("syspc");
    EXPECT_EQ(system.address, "10.4.4.4") << "the system's resolution outranks an imported line";
    EXPECT_TRUE(AddressIsVouchedFor(system.source));
    const ServerLocation imported = LocateServer("importedpc");
    EXPECT_EQ(imported.address, "10.77.77.77");
    EXPECT_EQ(imported.source, ServerAddressSource::Imported);
    EXPECT_FALSE(AddressIsVouchedFor(imported.source));
    RememberServerAddress("SEENPC", "10.66.66.66");
    EXPECT_EQ(LocateServer("SEENPC").address, "10.66.66.66") << "a fresh sighting comes before an old archive";
    EXPECT_FALSE(AddressIsVouchedFor(LocateServer("SEENPC").source));
    RememberServerAddress("SEENPC", "");

    // Vouched for at the next rebuild: the line moves into the table and is trusted.
    write("10.77.77.77     IMPORTEDPC\n");
    m_folder.writeFile("lmhosts.unverified", "");
    EXPECT_EQ(LocateServer("IMPORTEDPC").source, ServerAddressSource::Table);
}

TEST_F(ServerNameTable, FollowsTheFileWhenItIsRebuiltOrRemoved)
{
    EXPECT_EQ(ResolveServerName("ALPHA"), "") << "no file yet";
    write("10.1.1.1     ALPHA\n");
    EXPECT_EQ(ResolveServerName("ALPHA"), "10.1.1.1");
    write("10.2.2.2     ALPHA\n10.2.2.3     BETA\n");
    EXPECT_EQ(ResolveServerName("ALPHA"), "10.2.2.2");
    EXPECT_EQ(ResolveServerName("BETA"), "10.2.2.3");
    std::filesystem::remove(m_folder.path("lmhosts"));
    EXPECT_EQ(ResolveServerName("ALPHA"), "");
    SetServerNameTable({});
    write("10.1.1.1     ALPHA\n");
    EXPECT_EQ(ResolveServerName("ALPHA"), "") << "the lookup is switched off";
}

TEST_F(ServerNameTable, ThreadsLookUpWhileTheTableIsRewritten)
{
    write("10.1.1.1     ALPHA\n");
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t)
        readers.emplace_back([&] {
            while (!stop) {
                const std::string address = ResolveServerName("alpha");
                if (address != "10.1.1.1" && address != "10.2.2.2")
                    ++wrong;
            }
        });
    for (int i = 0; i < 200; ++i)
        write(i % 2 ? "10.1.1.1     ALPHA\n" : "# rebuilt\n10.2.2.2     ALPHA\n");
    stop = true;
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(wrong, 0);
}

// The loopback smbd reached by a name only the table knows.
class SmbByTableName : public SmbServerTest {
protected:
    void SetUp() override
    {
        SmbServerTest::SetUp();
        m_folder.writeFile("lmhosts", std::string("127.0.0.1     ") + kTestName + "\n");
        SetServerNameTable(WindowsPath(m_folder.path("lmhosts")));
        ASSERT_EQ(ResolveServerName(kTestName), "127.0.0.1") << "every name used below is in the table";
    }
    void TearDown() override
    {
        SetServerNameTable({});
        SmbServerTest::TearDown();
    }
    TempFolder m_folder;
};

TEST_F(SmbByTableName, SharesAndFoldersOpenUnderTheName)
{
    EXPECT_EQ(SmbUrl("\\\\tamseltestpc\\公開\\a b"), "smb://127.0.0.1/公開/a%20b")
        << "the address replaces the name, the rest is escaped as before";
    std::vector<SmbShare> shares;
    int error = -1;
    ASSERT_TRUE(ListSmbShares(std::string("\\\\") + kTestName, shares, &error)) << error;
    // The shares keep the name the user gave.
    const bool found = std::any_of(shares.begin(), shares.end(), [](const SmbShare& s) {
        return s.resource.RemoteName == std::string("\\\\") + kTestName + "\\公開";
    });
    EXPECT_TRUE(found);

    std::filesystem::create_directories(s_server->folder("public") + "/資料夾");
    std::ofstream(s_server->folder("public") + "/資料夾/檔案.txt") << "內容";
    std::vector<std::string> names;
    ASSERT_TRUE(smbpath::forEachEntry(std::string("\\\\") + kTestName + "\\公開\\資料夾\\", [&](FindEntry&& entry) {
        names.push_back(entry.name);
        return true;
    }, &error)) << error;
    EXPECT_EQ(names, std::vector<std::string>{"檔案.txt"});
}

TEST_F(SmbByTableName, CredentialsApplyByTheNameNotByTheAddress)
{
    const std::string privateShare = std::string("\\\\") + kTestName + "\\私人";
    int error = 0;
    auto lists = [&] {
        return smbpath::forEachEntry(privateShare + "\\", [](FindEntry&&) { return true; }, &error);
    };
    // Credentials stored for the address do not belong to the name.
    allowPrivateShare();
    EXPECT_FALSE(lists());
    EXPECT_EQ(error, Win32::LogonFailure);

    SmbCredentials::clear();
    SmbDropConnections();
    SmbCredentials::set(privateShare, SmbTestServer::User, SmbTestServer::Password);
    EXPECT_TRUE(lists()) << error;

    // Dropping the name's connections drops the ones made to its address, so that the
    // next call asks for credentials again.
    SmbCredentials::clear();
    SmbDropConnections(kTestName);
    EXPECT_FALSE(lists());
}

TEST_F(SmbByTableName, ARebuiltTableMovesTheNameElsewhere)
{
    // 127.0.0.2 answers on no port of the test's server: the name follows the table.
    m_folder.writeFile("lmhosts.new", std::string("127.0.0.2     ") + kTestName + "\n");
    std::filesystem::rename(m_folder.path("lmhosts.new"), m_folder.path("lmhosts"));
    std::vector<SmbShare> shares;
    int error = 0;
    EXPECT_FALSE(ListSmbShares(std::string("\\\\") + kTestName, shares, &error));
    EXPECT_EQ(error, Win32::BadNetpath);
}

} // namespace
