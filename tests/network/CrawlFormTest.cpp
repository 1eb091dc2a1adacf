// The cache update window against Samba on loopback: a share that refused the crawl is
// named to the user in the password dialog, and what the user types there crawls it.
#include "network/TCrawlForm.h"

#include "network/NetPassword.h"
#include "network/TPassForm.h"
#include "platform/DriveMap.h"
#include "store/CacheListing.h"
#include "store/DialogDriver.h"
#include "store/NodeFile.h"
#include "store/NodePaths.h"
#include "support/DialogScript.h"
#include "support/SmbTestServer.h"
#include "support/TempConfig.h"
#include "../local/WaitFor.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

namespace {

class CrawlFormTest : public SmbServerTest {
protected:
    void SetUp() override
    {
        SmbServerTest::SetUp();
        if (HasFatalFailure())
            return;
        for (const char* share : {"public", "private-share"})
            for (const auto& entry : fs::directory_iterator(s_server->folder(share)))
                fs::remove_all(entry.path());
        std::ofstream(s_server->folder("public") + "/公開.txt") << "p";
        std::ofstream(s_server->folder("private-share") + "/秘密.txt") << "s";
        fs::create_directories(config.home() + "/Cache/Expanded");
        computer.Caption = "測試機";
        computer.Key = "測試機";
        computer.RemoteName = "\\\\TAMSELSRV\\";
        computer.Host = "127.0.0.1";
        computer.RootKind = ExpandedRoot;
        computer.NodeAttributes = Computer | Container;
        computer.State = Idle;
        computer.StoreDir = WindowsPath(config.home()) + "\\Cache\\Expanded\\";
        WriteNodeRecord(computer);
    }

    std::set<std::string> names(const std::string& folder) const
    {
        TItemList list;
        ReadFolderListing(list, computer.StoreDir, computer.Key, folder);
        std::set<std::string> out;
        for (const TItemData& item : list)
            out.insert(std::string(BareName(ItemPath(item))));
        return out;
    }

    /// Runs a whole update, the dialogs answered by the script alive meanwhile, and waits
    /// until the window says it has ended.
    void crawl()
    {
        auto* form = new TCrawlForm(QStringLiteral(VESSRING_TOOL), {QStringLiteral("-N")});
        bool finished = false;
        QObject::connect(form, &TCrawlForm::Finished, [&finished] { finished = true; });
        ASSERT_TRUE(form->Start());
        ASSERT_TRUE(WaitFor([&finished] { return finished; }, 120000));
    }

    TempConfig config;
    TNodeData computer;
};

TEST_F(CrawlFormTest, ARefusedShareBringsThePasswordDialogAndIsCrawledWithWhatWasTyped)
{
    QString reason;
    bool locationLocked = false;
    {
        DialogScript script;
        script.then<TPassForm>([&](TPassForm& prompt) {
            reason = prompt.ReasonLabel->text();
            locationLocked = !prompt.ComputerEdit->isEnabled();
            typeInto(prompt.UserNameEdit, QString::fromUtf8(SmbTestServer::User));
            typeInto(prompt.PasswordEdit, QString::fromUtf8(SmbTestServer::Password));
            prompt.BitBtn1->click();
        });
        crawl();
    }
    EXPECT_TRUE(reason.startsWith(QStringLiteral("\\\\TAMSELSRV\\私人 需要密碼才能連線：更新快取時伺服器拒絕存取")))
        << reason.toStdString();
    EXPECT_TRUE(locationLocked);
    EXPECT_EQ(names("\\\\TAMSELSRV\\私人\\"), std::set<std::string>{"秘密.txt"});
    EXPECT_EQ(names("\\\\TAMSELSRV\\公開\\"), std::set<std::string>{"公開.txt"});
    // "記住密碼" was left unticked: the password served this crawl only.
    std::string user, password;
    EXPECT_FALSE(LookupNetPassword("\\\\TAMSELSRV\\私人\\", user, password));
}

TEST_F(CrawlFormTest, ACancelledPromptLeavesTheShareRefusedAndARememberedOneIsStored)
{
    {
        DialogScript script;
        script.then<TPassForm>([](TPassForm& prompt) { prompt.BitBtn2->click(); });
        crawl();
    }
    // Never read: the cache has no listing of it at all.
    EXPECT_ANY_THROW(names("\\\\TAMSELSRV\\私人\\"));
    EXPECT_EQ(names("\\\\TAMSELSRV\\公開\\"), std::set<std::string>{"公開.txt"});

    DialogScript script;
    script.then<TPassForm>([](TPassForm& prompt) {
        typeInto(prompt.UserNameEdit, QString::fromUtf8(SmbTestServer::User));
        typeInto(prompt.PasswordEdit, QString::fromUtf8(SmbTestServer::Password));
        prompt.RecordCheckBox->setChecked(true);
        prompt.BitBtn1->click();
    });
    crawl();
    EXPECT_EQ(names("\\\\TAMSELSRV\\私人\\"), std::set<std::string>{"秘密.txt"});
    std::string user, password;
    ASSERT_TRUE(LookupNetPassword("\\\\TAMSELSRV\\私人\\", user, password));
    EXPECT_EQ(password, SmbTestServer::Password);
}

} // namespace
