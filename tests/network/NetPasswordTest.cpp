#include "network/NetPassword.h"
#include "platform/FileAccess.h"
#include "platform/RegistryFile.h"
#include "platform/SecretStore.h"
#include "platform/Win32Error.h"
#include "support/SmbTestServer.h"
#include "support/ScopedEnvironment.h"
#include "support/TempConfig.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace {

TEST(NetPassword, SplitsAtTheFirstSemicolonAndNeedsOne)
{
    TempConfig config;
    std::string user = "untouched", password;
    EXPECT_FALSE(LookupNetPassword("\\\\SRV\\SHARE\\", user, password));
    StoreNetPassword("\\\\SRV\\SHARE\\", "alice", "pa;ss;word");
    ASSERT_TRUE(LookupNetPassword("\\\\srv\\share\\", user, password));
    EXPECT_EQ(user, "alice");
    EXPECT_EQ(password, "pa;ss;word");
    StoreNetPassword("\\\\SRV\\SHARE\\", "bob", "");
    ASSERT_TRUE(LookupNetPassword("\\\\SRV\\SHARE\\", user, password));
    EXPECT_EQ(user, "bob");
    EXPECT_EQ(password, "");
    {
        Registry registry;
        ASSERT_TRUE(registry.openKey("\\Software\\Brightmoor\\Morvane\\Tamsel\\NetPassword", false));
        registry.writeString("\\\\OLD", "no separator");
        registry.writeInteger("\\\\NUM", 7);
    }
    EXPECT_FALSE(LookupNetPassword("\\\\OLD", user, password));
    EXPECT_FALSE(LookupNetPassword("\\\\NUM", user, password));
    struct stat st {};
    ASSERT_EQ(stat(config.registryFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(NetPassword, WithoutAKeyringTheFileHoldsThePasswordAndTheUserIsToldOnce)
{
    TempConfig config;
    // A session bus where no one listens: no Secret Service.
    ScopedEnvironment bus{"DBUS_SESSION_BUS_ADDRESS"};
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + config.folder() + "/no-bus").c_str(), 1);
    SecretStore::ResetAvailability();
    EXPECT_FALSE(NetPasswordsInKeyring());
    StoreNetPassword("\\\\SRV", "alice", "in-file");
    std::ifstream in(config.registryFile());
    const std::string settings((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(settings.find("alice;in-file"), std::string::npos) << settings;
    EXPECT_EQ(MoveNetPasswordsToKeyring(), 0);

    EXPECT_TRUE(TellKeyringAbsentOnce(false));
    EXPECT_FALSE(TellKeyringAbsentOnce(false)) << "told on every start";
    // A keyring seen in between: its absence later is news again.
    EXPECT_FALSE(TellKeyringAbsentOnce(true));
    EXPECT_TRUE(TellKeyringAbsentOnce(false));
    SecretStore::ResetAvailability();
}

using NetPasswordLogon = SmbServerTest;

TEST_F(NetPasswordLogon, TheStoreAnswersTheShareLogon)
{
    TempConfig config;
    UseNetPasswordsForSmb();
    std::vector<FindEntry> entries;
    int error = 0;
    StoreNetPassword("\\\\127.0.0.1\\私人\\", SmbTestServer::User, "wrong");
    EXPECT_FALSE(ListDirectory("\\\\127.0.0.1\\私人\\", entries, &error));
    EXPECT_EQ(error, Win32::InvalidPassword);
    StoreNetPassword("\\\\127.0.0.1\\私人\\", SmbTestServer::User, SmbTestServer::Password);
    SmbDropConnections();
    EXPECT_TRUE(ListDirectory("\\\\127.0.0.1\\私人\\", entries, &error)) << error;
    SmbCredentials::setFallback(nullptr);
}

} // namespace
