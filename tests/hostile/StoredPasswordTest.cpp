// Someone on the LAN claims a computer's name in a discovery reply: the stored password of
// that computer must not go to the address the reply gave. The loopback smbd plays the
// claimant; the password store is a stand-in that counts what it was asked.
#include "platform/DriveMap.h"
#include "platform/ServerNames.h"
#include "platform/SmbContext.h"
#include "platform/SmbFiles.h"
#include "platform/Win32Error.h"
#include "support/SmbTestServer.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

constexpr const char* kClaimed = "CLAIMEDPC";
std::string g_systemAnswer; // what the system's resolution says about kClaimed

std::string TestResolve(const std::string& name)
{
    return name == kClaimed ? g_systemAnswer : std::string();
}

class StoredPassword : public SmbServerTest {
protected:
    void SetUp() override
    {
        SmbServerTest::SetUp();
        g_systemAnswer.clear();
        SetSystemNameResolver(TestResolve);
        SetServerNameTable({});
        RememberServerAddress(kClaimed, "127.0.0.1"); // a discovery reply's word
        SmbCredentials::setFallback([this](const std::string& location, std::string& user, std::string& password) {
            ++m_storeAsked;
            if (location.rfind(std::string("\\\\") + kClaimed, 0) != 0)
                return false;
            user = SmbTestServer::User;
            password = SmbTestServer::Password;
            return true;
        });
    }
    void TearDown() override
    {
        RememberServerAddress(kClaimed, "");
        SetSystemNameResolver(nullptr);
        SmbCredentials::setFallback(nullptr);
        SmbServerTest::TearDown();
    }
    bool lists(int* error)
    {
        SmbDropConnections();
        return smbpath::forEachEntry(std::string("\\\\") + kClaimed + "\\私人\\", [](FindEntry&&) { return true; },
                                     error);
    }
    std::atomic<int> m_storeAsked{0};
};

TEST_F(StoredPassword, IsNotSentToAnAddressOnlyADiscoverySaw)
{
    int error = 0;
    EXPECT_FALSE(lists(&error)) << "the claimant got the stored password";
    EXPECT_EQ(error, Win32::LogonFailure);
    EXPECT_EQ(m_storeAsked, 0) << "the password store is not even read for that address";

    // What the user gives in this run for the name is theirs to send (the dialog's answer,
    // a command line's password).
    SmbCredentials::set(std::string("\\\\") + kClaimed + "\\私人", SmbTestServer::User, SmbTestServer::Password);
    EXPECT_TRUE(lists(&error)) << error;
}

TEST_F(StoredPassword, GoesWhereTheSystemOrTheTableSaysTheServerIs)
{
    // The system resolves the name to the server the password was stored for: the
    // discovery reply's address no longer counts, and the stored password is used.
    g_systemAnswer = "127.0.0.1";
    RememberServerAddress(kClaimed, "127.0.0.9");
    int error = 0;
    EXPECT_TRUE(lists(&error)) << error;
    EXPECT_GT(m_storeAsked, 0);

    // The same through the name table, the system knowing nothing.
    g_systemAnswer.clear();
    TempFolder folder;
    folder.writeFile("lmhosts", std::string("127.0.0.1     ") + kClaimed + "\n");
    SetServerNameTable(WindowsPath(folder.path("lmhosts")));
    EXPECT_TRUE(lists(&error)) << error;
    SetServerNameTable({});
}

TEST_F(StoredPassword, IsNotSentToAnAddressOnlyAnImportedArchiveGave)
{
    // Someone's archive put the name at the claimant's address, and the user did not vouch
    // for it at the rebuild: the line sits in the unverified table.
    RememberServerAddress(kClaimed, "");
    TempFolder folder;
    folder.writeFile("lmhosts", "");
    folder.writeFile("lmhosts.unverified", std::string("127.0.0.1     ") + kClaimed + "\n");
    SetServerNameTable(WindowsPath(folder.path("lmhosts")));
    int error = 0;
    EXPECT_FALSE(lists(&error)) << "the claimant got the stored password";
    EXPECT_EQ(error, Win32::LogonFailure);
    EXPECT_EQ(m_storeAsked, 0);

    // Vouched for, the same line is the table's and the password goes.
    folder.writeFile("lmhosts", std::string("127.0.0.1     ") + kClaimed + "\n");
    EXPECT_TRUE(lists(&error)) << error;
    SetServerNameTable({});
}

} // namespace
