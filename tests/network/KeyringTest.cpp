// The password store against a real Secret Service: a gnome-keyring-daemon in a private D-Bus
// session (tests/support/with-keyring.sh). What the keyring holds is read back with
// secret-tool, as another program of the desktop would read it.
#include "network/NetPassword.h"
#include "platform/RegistryFile.h"
#include "platform/SecretStore.h"
#include "store/CacheListing.h"
#include "store/NodeFile.h"
#include "store/StoredNodes.h"
#include "store/TNodeData.h"
#include "support/TempConfig.h"
#include "support/TestDrives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

// Runs a command through the shell, with `input` on its standard input when given; its output.
std::string run(const std::string& command, const std::string& input = "")
{
    std::string line = command;
    if (!input.empty())
        line = "printf %s '" + input + "' | " + command;
    FILE* pipe = popen(line.c_str(), "r");
    if (!pipe)
        return "";
    std::string output;
    std::array<char, 256> chunk{};
    while (size_t n = fread(chunk.data(), 1, chunk.size(), pipe))
        output.append(chunk.data(), n);
    pclose(pipe);
    return output;
}

std::string lookup(const std::string& attributes) { return run("secret-tool lookup " + attributes); }

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class Keyring : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(getenv("DBUS_SESSION_BUS_ADDRESS")) << "run through with-keyring.sh";
        SecretStore::ResetAvailability();
        ASSERT_TRUE(NetPasswordsInKeyring());
        // Each test starts from an empty keyring.
        for (const char* protocol : {"smb", "ftp"})
            for (const NetworkSecret& item : SecretStore::Search(protocol))
                SecretStore::Remove(item);
    }
    TempConfig m_config;
};

TEST_F(Keyring, ShareLoginsLiveInTheKeyringAndTheFileKeepsOnlyTheUser)
{
    StoreNetPassword("\\\\SRV\\共用\\", "WG\\alice", "s3;cr et");
    EXPECT_EQ(lookup("protocol smb server SRV object 共用 user alice domain WG"), "s3;cr et");
    const std::string settings = fileText(m_config.registryFile());
    EXPECT_EQ(settings.find("s3;cr et"), std::string::npos) << settings;
    EXPECT_NE(settings.find("WG\\\\alice;"), std::string::npos) << settings;

    std::string user, password;
    ASSERT_TRUE(LookupNetPassword("\\\\srv\\共用\\", user, password));
    EXPECT_EQ(user, "WG\\alice");
    EXPECT_EQ(password, "s3;cr et");
    // The share's login is not its server's.
    EXPECT_FALSE(LookupNetPassword("\\\\SRV", user, password));

    // Our own login of the whole server leaves the share's in place.
    StoreNetPassword("\\\\SRV", "WG\\alice", "server-secret");
    ASSERT_TRUE(LookupNetPassword("\\\\SRV\\共用\\", user, password));
    EXPECT_EQ(password, "s3;cr et");
    ASSERT_TRUE(LookupNetPassword("\\\\SRV", user, password));
    EXPECT_EQ(password, "server-secret");

    // Another user for the same location replaces the login, as one location holds one.
    StoreNetPassword("\\\\SRV\\共用\\", "bob", "second");
    EXPECT_EQ(lookup("protocol smb server SRV object 共用 user alice"), "");
    ASSERT_TRUE(LookupNetPassword("\\\\SRV\\共用\\", user, password));
    EXPECT_EQ(user, "bob");
    EXPECT_EQ(password, "second");
}

TEST_F(Keyring, LoginsOtherProgramsSavedServeUsAndDeleteExactlyOne)
{
    const std::string schema = "--label=other xdg:schema org.gnome.keyring.NetworkPassword protocol smb ";
    // The server's first: the service replaces items whose attributes include the new one's.
    run("secret-tool store " + schema + "server nas user carol", "server-pw");
    run("secret-tool store " + schema + "server nas object docs user carol domain HOME", "docs-pw");
    std::string user, password;
    ASSERT_TRUE(LookupNetPassword("\\\\NAS\\DOCS\\", user, password));
    EXPECT_EQ(user, "HOME\\carol");
    EXPECT_EQ(password, "docs-pw");
    ASSERT_TRUE(LookupNetPassword("\\\\NAS", user, password));
    EXPECT_EQ(password, "server-pw");

    std::vector<NetPasswordEntry> entries = ListNetPasswords();
    ASSERT_EQ(entries.size(), 2u);
    auto server = std::find_if(entries.begin(), entries.end(), [](const auto& e) { return e.location == "\\\\nas"; });
    ASSERT_NE(server, entries.end());
    EXPECT_TRUE(server->inKeyring);
    EXPECT_EQ(server->userName, "carol");
    // Deleting the server's login leaves the share's, whose attributes include the server's.
    DeleteNetPassword(*server);
    EXPECT_EQ(lookup("protocol smb server nas object docs"), "docs-pw");
    EXPECT_FALSE(LookupNetPassword("\\\\NAS", user, password));
    EXPECT_EQ(ListNetPasswords().size(), 1u);
}

TEST_F(Keyring, TheFirstStartWithAKeyringMovesTheOldEntries)
{
    {
        Registry registry;
        ASSERT_TRUE(registry.openKey(NetPasswordKey, true));
        registry.writeString("\\\\OLD\\S\\", "dan;pw;1");
        registry.writeString("\\\\EMPTY", "erin;");
        registry.writeString("\\\\BROKEN", "no separator");
        ASSERT_TRUE(registry.flush());
    }
    std::string error;
    EXPECT_EQ(MoveNetPasswordsToKeyring(&error), 1);
    EXPECT_EQ(error, "");
    EXPECT_EQ(lookup("protocol smb server OLD object S user dan"), "pw;1");
    const std::string settings = fileText(m_config.registryFile());
    EXPECT_EQ(settings.find("pw;1"), std::string::npos) << settings;
    EXPECT_NE(settings.find("\"dan;\""), std::string::npos) << settings;
    // Moved once: a second start finds nothing more to move, and the login still answers.
    EXPECT_EQ(MoveNetPasswordsToKeyring(&error), 0);
    std::string user, password;
    ASSERT_TRUE(LookupNetPassword("\\\\OLD\\S\\", user, password));
    EXPECT_EQ(password, "pw;1");
    EXPECT_FALSE(TellKeyringAbsentOnce(true));
}

TEST_F(Keyring, FtpSiteFileKeepsItsFormatWithTheFieldEmpty)
{
    TempFolder store;
    MapTestDrives(store.path());
    TNodeData site;
    site.StoreDir = "D:\\";
    site.Key = "SITE";
    FtpSiteBlock block;
    block.Host = "ftp.example";
    block.User = "frank";
    block.Password = "ftp-pw";
    block.Port = 2121;
    WriteFtpSiteAttachment(site, block);

    const std::string bytes = store.readFile("SITE.ATT");
    ASSERT_EQ(bytes.size(), FtpSiteBlockSize);
    const FtpSiteBlock onDisk = DecodeFtpSiteBlock(reinterpret_cast<const unsigned char*>(bytes.data()));
    EXPECT_EQ(onDisk.Password, "");
    EXPECT_EQ(onDisk.User, "frank");
    EXPECT_EQ(onDisk.Port, 2121);
    EXPECT_EQ(lookup("protocol ftp server ftp.example user frank port 2121"), "ftp-pw");
    EXPECT_EQ(ReadFtpSiteAttachment(site).Password, "ftp-pw");

    // A site written before the keyring: reading it moves the password out of the file.
    block.Password = "old-ftp-pw";
    block.Port = 21;
    std::array<unsigned char, FtpSiteBlockSize> old{};
    EncodeFtpSiteBlock(block, old.data());
    WriteNodeAttachment(site, old.data(), old.size());
    EXPECT_EQ(ReadFtpSiteAttachment(site).Password, "old-ftp-pw");
    EXPECT_EQ(store.readFile("SITE.ATT").find("old-ftp-pw"), std::string::npos);
    EXPECT_EQ(lookup("protocol ftp server ftp.example user frank"), "old-ftp-pw");
    EXPECT_EQ(ReadFtpSiteAttachment(site).Password, "old-ftp-pw");
    RefreshDriveMap();
}

// The first start that finds a keyring moves every stored site's password, also that of a
// site inside a folder of the bookmarks that is never opened.
TEST_F(Keyring, TheFirstStartMovesTheStoredSitesPasswords)
{
    TempFolder store;
    std::filesystem::create_directories(store.path("Bookmark/工作"));
    MapTestDrives(store.path());
    TNodeData folder;
    folder.StoreDir = "D:\\Bookmark\\";
    folder.Caption = folder.Key = "工作";
    folder.RootKind = BookmarkRoot;
    folder.NodeAttributes = Domain | Container;
    std::vector<TNodeData> folders{folder};
    AddStoredNodes(folders);
    std::vector<TNodeData> sites{FtpSiteRecord("D:\\Bookmark\\工作\\", "網站", "ftp.example", 0)};
    AddStoredNodes(sites);
    FtpSiteBlock block;
    block.Host = "ftp.example";
    block.User = "gina";
    block.Password = "site-pw";
    block.Port = 21;
    std::array<unsigned char, FtpSiteBlockSize> old{};
    EncodeFtpSiteBlock(block, old.data());
    WriteNodeAttachment(sites.front(), old.data(), old.size());

    std::string error;
    EXPECT_EQ(MoveFtpPasswordsToKeyring("D:\\", &error), 1);
    EXPECT_EQ(error, "");
    EXPECT_EQ(lookup("protocol ftp server ftp.example user gina"), "site-pw");
    const std::string bytes = store.readFile("Bookmark/工作/" + sites.front().Key + ".ATT");
    ASSERT_EQ(bytes.size(), FtpSiteBlockSize);
    EXPECT_EQ(bytes.find("site-pw"), std::string::npos);
    EXPECT_EQ(DecodeFtpSiteBlock(reinterpret_cast<const unsigned char*>(bytes.data())).User, "gina");
    EXPECT_EQ(MoveFtpPasswordsToKeyring("D:\\", &error), 0);
    EXPECT_EQ(ReadFtpSiteAttachment(sites.front()).Password, "site-pw");
    RefreshDriveMap();
}

} // namespace
