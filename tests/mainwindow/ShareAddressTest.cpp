#include <gtest/gtest.h>

#include "BrowseFixture.h"
#include "platform/SmbContext.h"
#include "support/SmbTestServer.h"
#include "support/StallMeter.h"
#include "resources/UiText.h"
#include "ui/TListView.h"
#include "ui/TStatusBar.h"

#include <QComboBox>

#include <filesystem>
#include <fstream>

namespace {

// A share's folder typed into the address box: the tree gets the share under the network
// root, loaded down to the folder, and the list shows the folder through its network path.
using ShareAddressTest = WithSmbServer<BrowseFixture>;

TEST_F(ShareAddressTest, ATypedShareFolderIsShownInTheTreeAndTheList)
{
    const std::string root = s_server->folder("public") + "/位址/下層";
    std::filesystem::create_directories(root + "/子");
    std::ofstream(root + "/報告.txt") << "report";
    openForm();

    go("\\\\127.0.0.1\\公開\\位址\\下層");
    ASSERT_TRUE(waitUntil([this] { return listCaptions().size() == 2; })) << m_errors.join('\n').toStdString();
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_EQ(shownFolder(), "\\\\127.0.0.1\\公開\\位址\\下層\\");
    EXPECT_EQ(listCaptions(), (QStringList{QStringLiteral("子"), QStringLiteral("報告.txt")}));
    // The way there is in the tree: share, then each folder, under the network root.
    const QTreeWidgetItem* shown = m_form->FolderTreeView->currentItem();
    ASSERT_TRUE(shown->parent() && shown->parent()->parent());
    EXPECT_EQ(shown->parent()->parent()->parent(), m_form->netRoot());

    // The same share again reuses its node; a file's address opens its folder.
    const int shares = m_form->netRoot()->childCount();
    go("\\\\127.0.0.1\\公開\\位址\\下層\\報告.txt");
    EXPECT_EQ(m_form->netRoot()->childCount(), shares);
    EXPECT_EQ(shownFolder(), "\\\\127.0.0.1\\公開\\位址\\下層\\");

    // The share's root, and a folder the share does not have.
    go("\\\\127.0.0.1\\公開");
    EXPECT_EQ(shownFolder(), "\\\\127.0.0.1\\公開\\");
    m_errors.clear();
    go("\\\\127.0.0.1\\公開\\沒有這個");
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors.front().contains(QStringLiteral("沒有這個")));
}

// The share's smbd stopped (SIGSTOP): showing a folder of it fails, saying the server
// stopped answering, while the window thread goes on; once smbd runs again (SIGCONT) the
// next listing works without a restart.
TEST_F(ShareAddressTest, AStoppedServerIsAFaultNotAFreeze)
{
    std::filesystem::create_directories(s_server->folder("public") + "/停/內");
    openForm();
    go("\\\\127.0.0.1\\公開\\停");
    ASSERT_TRUE(waitUntil([this] { return listCaptions() == QStringList{QStringLiteral("內")}; }))
        << m_errors.join('\n').toStdString();
    QTreeWidgetItem* folder = m_form->FolderTreeView->currentItem();
    QTreeWidgetItem* share = folder->parent();
    ASSERT_NE(share, nullptr);

    const auto status = [this] { return m_form->StatusBar->panelText(1); };
    StallMeter meter;
    s_server->pause();
    m_form->FolderTreeView->setCurrentItem(share);
    // A listing's failure goes to the status bar.
    const QString before = status(), reading = UiString(33010);
    const bool failed = waitUntil([&] { return status() != before && status() != reading && !status().isEmpty(); }, 30000);
    const QString said = status();
    s_server->resume();
    ASSERT_TRUE(failed) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("伺服器停止回應"))) << said.toStdString();
    EXPECT_LT(meter.longestMs(), 1000) << "the window thread stood still";
    RecordProperty("longest_stall_ms", int(meter.longestMs()));

    m_errors.clear();
    m_form->FolderTreeView->setCurrentItem(folder);
    EXPECT_TRUE(waitUntil([this] { return listCaptions() == QStringList{QStringLiteral("內")}; }, 40000))
        << m_errors.join('\n').toStdString();
}

} // namespace
