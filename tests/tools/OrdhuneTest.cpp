#include "store/StoreFolder.h"
#include "support/TempConfig.h"
#include "store/CacheListing.h"
#include "store/CacheSearch.h"
#include "store/NodeFile.h"
#include "store/NodePaths.h"
#include "tools/ordhune/OrdhuneWizard.h"
#include "ui/TIPEdit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>

#include <array>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

bool waitUntil(const std::function<bool()>& done, int ms = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class OrdhuneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(m_home.path("Cache"));
        fs::create_directories(m_home.path("programs"));
        m_cache = m_home.win("Cache");
    }

    std::unique_ptr<OrdhuneWizard> wizard()
    {
        auto made = std::make_unique<OrdhuneWizard>(m_cache, QString::fromStdString(m_home.path("programs")));
        made->ShowError = [this](const QString& text) { m_errors << text; };
        return made;
    }

    static void typeComputer(OrdhuneWizard& w, const char* name, uint32_t address, const char* caption = "")
    {
        w.NetNameEdit->setText(QString::fromUtf8(name));
        if (address)
            w.NetAddressEdit->setValue(address);
        w.NetCaptionEdit->setText(QString::fromUtf8(caption));
    }

    TempConfig m_config;
    StoreFolder m_home;
    std::string m_cache;
    QStringList m_errors;
};

TEST_F(OrdhuneTest, ComputersGoIntoTheExpandedNetworkWhereTheSearchFindsThem)
{
    auto w = wizard();
    typeComputer(*w, "ACCT", 0xC0A80105, "會計室");
    w->AddComputerButton->click();
    // No address, and a name that no computer can have: refused, said, not listed.
    typeComputer(*w, "NOADDR", 0);
    w->AddComputerButton->click();
    typeComputer(*w, "a\\b", 0x0A000001);
    w->AddComputerButton->click();
    EXPECT_EQ(m_errors.size(), 2);
    ASSERT_EQ(w->ComputerTree->topLevelItemCount(), 1);
    // One typed but not added is added on "next", with its name as caption.
    typeComputer(*w, "FILESRV", 0x0A000002);
    ASSERT_TRUE(w->writeComputers()) << m_errors.join('\n').toStdString();
    EXPECT_EQ(w->ComputerTree->topLevelItem(1)->text(3), QStringLiteral("已加入"));

    TNodeList records;
    LoadNodeFile(m_cache + "Expanded\\", records, false);
    ASSERT_EQ(records.size(), 2u);
    const TNodeData& acct = *records[0];
    EXPECT_EQ(acct.Caption, "會計室");
    EXPECT_EQ(acct.Host, "192.168.1.5");
    EXPECT_EQ(acct.RemoteName, "\\\\ACCT\\");
    EXPECT_EQ(acct.Key, SafeFileName("會計室"));
    EXPECT_EQ(acct.RootKind, ExpandedRoot);
    EXPECT_EQ(acct.NodeAttributes, Computer | Container);
    const std::array<int32_t, 4> resource{acct.ResourceType, acct.DisplayType, acct.Scope, acct.Usage};
    EXPECT_EQ(resource, (std::array<int32_t, 4>{1, 2, 2, 2}));
    EXPECT_EQ(records[1]->Caption, "FILESRV");
    // The root record is made when the branch had none, so the cache's readers reach them.
    const std::vector<CachedComputer> computers = CachedComputers(m_cache);
    ASSERT_EQ(computers.size(), 2u);
    EXPECT_EQ(computers[0].Host, "192.168.1.5");
    EXPECT_EQ(LiveLocationOf(computers[0], "\\\\ACCT\\帳\\x.xls").Path, "\\\\192.168.1.5\\帳\\x.xls");

    // Going on again writes nothing twice; a later wizard may not add the same caption.
    ASSERT_TRUE(w->writeComputers());
    auto again = wizard();
    typeComputer(*again, "OTHER", 0x0A000003, "會計室");
    again->AddComputerButton->click();
    EXPECT_FALSE(again->writeComputers());
    ASSERT_EQ(m_errors.size(), 3);
    EXPECT_TRUE(m_errors.last().contains(QStringLiteral("會計室"))) << m_errors.last().toStdString();
    records.clear();
    LoadNodeFile(m_cache + "Expanded\\", records, false);
    EXPECT_EQ(records.size(), 2u);
    EXPECT_EQ(ReadStoredRecords(m_cache).size(), 1u);
}

TEST_F(OrdhuneTest, AnFtpSiteIsStoredWithItsSiteBlock)
{
    auto w = wizard();
    EXPECT_TRUE(w->writeFtpSite());  // left blank: nothing to store
    EXPECT_FALSE(fs::exists(m_home.path("Cache/Bookmark/ALL.NOD")));
    w->FtpHostEdit->setText(QStringLiteral("ftp.example.test"));
    w->FtpPortEdit->setValue(2121);
    w->FtpUserEdit->setText(QStringLiteral("使用者"));
    w->FtpPasswordEdit->setText(QStringLiteral("pw"));
    ASSERT_TRUE(w->writeFtpSite()) << m_errors.join('\n').toStdString();
    TNodeList records;
    LoadNodeFile(m_cache + "Bookmark\\", records, false);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]->Caption, "ftp.example.test");
    EXPECT_EQ(records[0]->RootKind, FtpRoot);
    EXPECT_EQ(records[0]->NodeAttributes, Computer | Folder);
    std::array<unsigned char, FtpSiteBlockSize> bytes{};
    ReadNodeAttachment(*records[0], bytes.data(), bytes.size());
    const FtpSiteBlock block = DecodeFtpSiteBlock(bytes.data());
    EXPECT_EQ(block.Host, "ftp.example.test");
    EXPECT_EQ(block.User, "使用者");
    EXPECT_EQ(block.Password, "pw");
    EXPECT_EQ(block.Port, 2121);
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(OrdhuneTest, TheFirstCrawlStartsTheUpdaterOrSaysItIsMissing)
{
    auto missing = wizard();
    EXPECT_FALSE(missing->CrawlButton->isEnabled());
    EXPECT_TRUE(missing->CrawlLabel->text().contains(QStringLiteral("找不到"))) << missing->CrawlLabel->text().toStdString();

    // A stand-in updater that records its arguments and prints a line.
    const std::string program = m_home.path("programs/vessring");
    m_home.writeFile("programs/vessring", "#!/bin/sh\necho \"$@\" > '" + m_home.path("args.txt") + "'\necho 'PC1 完成'\n");
    fs::permissions(program, fs::perms::owner_all);
    auto w = wizard();
    ASSERT_TRUE(w->CrawlButton->isEnabled());
    w->CrawlButton->click();
    EXPECT_FALSE(w->CrawlButton->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return w->CrawlLog->toPlainText().contains(QStringLiteral("PC1 完成")); }));
    EXPECT_EQ(m_home.readFile("args.txt"), "-N\n");
    EXPECT_TRUE(m_errors.isEmpty());
}

} // namespace
