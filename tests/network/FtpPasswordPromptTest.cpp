// A site whose stored password is refused brings up the password prompt itself: named by
// the site's host, which cannot be changed there, pre-filled from the site block, and what
// was typed and remembered is what the block keeps.
#include "network/TFTPEnumForm.h"
#include "network/TPassForm.h"

#include "local/TempTree.h"
#include "network/FtpServers.h"
#include "network/FtpSiteNode.h"
#include "store/CacheListing.h"
#include "store/DialogDriver.h"
#include "store/NodeFile.h"
#include "store/NodeTree.h"
#include "support/DialogScript.h"
#include "support/TestDrives.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPointer>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <array>
#include <filesystem>

namespace {

TEST(FtpPasswordPrompt, ARefusedPasswordIsAskedForInThePromptAndKept)
{
    TempTree tree;
    ASSERT_TRUE(tree.valid());
    MapTestDrives(tree.root());
    std::filesystem::create_directories(tree.path("root/folder"));
    std::filesystem::create_directories(tree.path("store"));
    FtpTestServer server;
    ASSERT_TRUE(server.startPyftpd(tree.path("root"), "user", "secret"));

    QTreeWidget view;
    auto* site = AddLoopbackSiteNode(view);
    TNodeData* data = GetNodeData(site);
    FtpSiteBlock block;
    block.Host = "127.0.0.1";
    block.Port = server.port();
    block.User = "user";
    block.Password = "wrong";
    std::array<unsigned char, FtpSiteBlockSize> bytes{};
    EncodeFtpSiteBlock(block, bytes.data());
    WriteNodeAttachment(*data, bytes.data(), bytes.size());

    QPointer<TFTPEnumForm> window = new TFTPEnumForm;
    window->AskQuestion = [](const QString&) { return true; };
    QStringList errors;
    window->ShowError = [&errors](const QString& text) { errors << text; };
    QString location, user, password;
    bool locationEnabled = true;
    DialogScript script;
    script.then<TPassForm>([&](TPassForm& prompt) {
        location = prompt.ComputerEdit->text();
        locationEnabled = prompt.ComputerEdit->isEnabled();
        user = prompt.UserNameEdit->text();
        password = prompt.PasswordEdit->text();
        prompt.PasswordEdit->selectAll();
        typeInto(prompt.PasswordEdit, QStringLiteral("secret"));
        prompt.RecordCheckBox->setChecked(true);
        prompt.BitBtn1->click();
    });
    bool updateAllowed = true, updateRunning = false;
    EXPECT_TRUE(window->ConnectSite(site, updateAllowed, updateRunning)) << errors.join('\n').toStdString();
    EXPECT_FALSE(location.isEmpty()) << "no prompt came up";
    EXPECT_EQ(location, QStringLiteral("127.0.0.1"));
    EXPECT_FALSE(locationEnabled);
    EXPECT_EQ(user, QStringLiteral("user"));
    EXPECT_EQ(password, QStringLiteral("wrong"));
    EXPECT_TRUE(window->connected());
    ReadNodeAttachment(*data, bytes.data(), bytes.size());
    EXPECT_EQ(DecodeFtpSiteBlock(bytes.data()).Password, "secret");

    window->AskQuestion = [](const QString&) { return true; };
    window->close();
    QApplication::processEvents();
    delete window.data();
    FreeNodeTree(site);
    RefreshDriveMap();
}

} // namespace
