#include <gtest/gtest.h>

#include "BrowseFixture.h"
#include "platform/SmbContext.h"
#include "support/SmbTestServer.h"
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

} // namespace
