#include "platform/SmbContext.h"
#include "platform/SmbShares.h"
#include "platform/Win32Error.h"
#include "support/SmbTestServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fcntl.h>
#include <thread>

namespace {

using SmbShares = SmbServerTest;

const SmbShare* Find(const std::vector<SmbShare>& shares, const std::string& remote)
{
    const auto it = std::find_if(shares.begin(), shares.end(),
                                 [&](const SmbShare& s) { return s.resource.RemoteName == remote; });
    return it == shares.end() ? nullptr : &*it;
}

TEST_F(SmbShares, ListsDiskSharesWithCjkNamesAndFlagsHiddenOnes)
{
    std::vector<SmbShare> shares;
    int error = -1;
    ASSERT_TRUE(ListSmbShares("\\\\127.0.0.1", shares, &error)) << error;
    EXPECT_EQ(error, 0);
    const SmbShare* pub = Find(shares, "\\\\127.0.0.1\\公開");
    ASSERT_NE(pub, nullptr);
    EXPECT_EQ(pub->resource.DisplayType, netres::DisplayShare);
    EXPECT_EQ(pub->resource.ResourceType, netres::TypeDisk);
    EXPECT_EQ(pub->resource.Comment, "大家的");
    EXPECT_FALSE(pub->hidden);
    const SmbShare* admin = Find(shares, "\\\\127.0.0.1\\管理$");
    ASSERT_NE(admin, nullptr);
    EXPECT_TRUE(admin->hidden);
    ASSERT_NE(Find(shares, "\\\\127.0.0.1\\私人"), nullptr);
    EXPECT_EQ(Find(shares, "\\\\127.0.0.1\\IPC$"), nullptr); // not a disk share
    // The three spellings of a host name one server.
    std::vector<SmbShare> again;
    ASSERT_TRUE(ListSmbShares("127.0.0.1\\", again, &error));
    EXPECT_EQ(again.size(), shares.size());
}

TEST_F(SmbShares, NoServerIsBadNetpath)
{
    std::vector<SmbShare> shares;
    int error = 0;
    EXPECT_FALSE(ListSmbShares("\\\\127.0.0.2", shares, &error));
    EXPECT_EQ(error, Win32::BadNetpath);
    EXPECT_FALSE(ListSmbShares("", shares, &error));
    EXPECT_EQ(error, Win32::BadNetpath);
}

TEST_F(SmbShares, EachThreadHasItsOwnContexts)
{
    SMBCCTX* mine = SmbThreadContext(SmbKind::Files);
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(SmbThreadContext(SmbKind::Files), mine);
    EXPECT_NE(SmbThreadContext(SmbKind::Browse), mine);
    SMBCCTX* other = nullptr;
    std::thread([&] { other = SmbThreadContext(SmbKind::Files); }).join();
    EXPECT_NE(other, nullptr);
    EXPECT_NE(other, mine);

    // The configuration the contexts read stays open for the run; a program we start must
    // not inherit it.
    int configs = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code failed;
        const std::string target = std::filesystem::read_symlink(entry.path(), failed).string();
        if (target.find("tamsel-smb.conf") == std::string::npos)
            continue;
        ++configs;
        EXPECT_TRUE(::fcntl(std::stoi(entry.path().filename().string()), F_GETFD) & FD_CLOEXEC) << target;
    }
    EXPECT_GT(configs, 0);
}

TEST(SmbUrl, EscapesUrlSyntaxAndKeepsNames)
{
    EXPECT_EQ(SmbUrl("\\\\srv"), "smb://srv/");
    EXPECT_EQ(SmbUrl("\\\\srv\\C$\\a b\\"), "smb://srv/C%24/a%20b/");
    EXPECT_EQ(SmbUrl("\\\\srv\\共用\\100%;x@y?#"), "smb://srv/共用/100%25%3Bx%40y%3F%23");
}

TEST(SmbCredentialCache, ShareEntryWinsOverServerAndFallbackIsAskedLast)
{
    SmbCredentials::clear();
    std::string user, password;
    std::vector<std::string> asked;
    SmbCredentials::setFallback([&](const std::string& location, std::string& u, std::string& p) {
        asked.push_back(location);
        if (location != "\\\\srv")
            return false;
        u = "stored";
        p = "pw;with;semicolons";
        return true;
    });
    EXPECT_TRUE(SmbCredentials::lookup("srv", "docs", user, password));
    EXPECT_EQ(user, "stored");
    EXPECT_EQ(password, "pw;with;semicolons");
    EXPECT_EQ(asked, (std::vector<std::string>{"\\\\srv\\docs\\", "\\\\srv"}));

    SmbCredentials::set("\\\\SRV", "server-wide", "a");
    SmbCredentials::set("\\\\SRV\\DOCS\\", "share", "b");
    EXPECT_TRUE(SmbCredentials::lookup("srv", "docs", user, password));
    EXPECT_EQ(user, "share");
    EXPECT_TRUE(SmbCredentials::lookup("srv", "other", user, password));
    EXPECT_EQ(user, "server-wide");
    SmbCredentials::forget("\\\\srv\\docs");
    EXPECT_TRUE(SmbCredentials::lookup("srv", "docs", user, password));
    EXPECT_EQ(user, "server-wide");
    SmbCredentials::setFallback(nullptr);
    SmbCredentials::clear();
    EXPECT_FALSE(SmbCredentials::lookup("srv", "docs", user, password));
}

TEST(SmbCredentialCache, StoreAnswersAreKeptOnlyWhileAskedToAndOnlyUntilSomethingIsSet)
{
    SmbCredentials::clear();
    std::string user, password;
    std::string stored = "first";
    int asked = 0;
    SmbCredentials::setFallback([&](const std::string& location, std::string& u, std::string& p) {
        asked++;
        if (location != "\\\\srv")
            return false;
        u = "user";
        p = stored;
        return true;
    });
    {
        SmbCredentials::KeepStoreAnswers keep;
        {
            SmbCredentials::KeepStoreAnswers nested;
            EXPECT_TRUE(SmbCredentials::lookup("srv", "docs", user, password));
            EXPECT_EQ(asked, 2);  // the share, then the server
        }
        // The outer one still keeps them: the share's refusal as well as the server's answer.
        stored = "changed";
        EXPECT_TRUE(SmbCredentials::lookup("srv", "docs", user, password));
        EXPECT_EQ(password, "first");
        EXPECT_EQ(asked, 2);
        EXPECT_FALSE(SmbCredentials::lookup("srv", "docs", user, password, false));
        // Something set in this run drops what was kept.
        SmbCredentials::set("\\\\other", "x", "y");
        EXPECT_TRUE(SmbCredentials::lookup("srv", "docs", user, password));
        EXPECT_EQ(password, "changed");
        EXPECT_EQ(asked, 4);
    }
    // The outer one ending drops them: a later walk asks the store again.
    stored = "third";
    EXPECT_TRUE(SmbCredentials::lookup("srv", "docs", user, password));
    EXPECT_EQ(password, "third");
    EXPECT_TRUE(SmbCredentials::lookup("srv", "docs", user, password));
    EXPECT_EQ(asked, 8);
    SmbCredentials::setFallback(nullptr);
    SmbCredentials::clear();
}

} // namespace
