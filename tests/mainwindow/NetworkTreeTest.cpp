// The live network in the main window: the network root's provider, an expanded-network
// computer expanded live into its shares and listed through its UNC path, the network
// list's commands, and a computer that cannot be reached showing its cached folders on
// the same node.
#include <gtest/gtest.h>

#include "BrowseFixture.h"
#include "local/TImageLists.h"
#include "network/TNetEnumForm.h"
#include "platform/NetResource.h"
#include "store/CacheListing.h"
#include "store/NodeFile.h"
#include "store/NodePaths.h"
#include "resources/UiText.h"
#include "support/SmbTestServer.h"
#include "ui/TStatusBar.h"

#include <QAction>
#include <QMenu>
#include <QTimer>

#include <filesystem>
#include <fstream>

namespace {

class NetworkTreeTest : public WithSmbServer<BrowseFixture> {
protected:
    void SetUp() override
    {
        WithSmbServer::SetUp();
        if (HasFatalFailure())
            return;
        SetupInfo.AutoHide = true;
        SetupInfo.AutoExpand = false;
    }

    // A computer of the expanded network as the new-computer command stores it.
    static void addComputer(const char* caption, const char* name)
    {
        const std::string folder = SetupInfo.CachePath + "Expanded\\";
        std::filesystem::create_directories(NativePath(folder));
        TNodeData data;
        data.StoreDir = folder;
        data.Caption = caption;
        data.Key = SafeFileName(caption);
        data.RootKind = ExpandedRoot;
        data.NodeAttributes = Computer;
        data.Host = "127.0.0.1";
        data.RemoteName = std::string("\\\\") + name + "\\";
        data.ResourceType = int32_t(netres::TypeDisk);
        data.DisplayType = int32_t(netres::DisplayServer);
        data.Scope = int32_t(netres::ScopeGlobalNet);
        data.Usage = int32_t(netres::UsageContainer);
        data.State = Idle;
        data.ImageIndex = data.SelectedIndex = TImageLists::TreeComputer;
        WriteNodeRecord(data);
    }

    static TItemData item(const std::string& path, bool folder)
    {
        TItemData entry;
        SetItemPath(entry, path);
        entry.Attributes = folder ? 0x10 : 0x20;
        entry.Size = folder ? 0 : 5;
        entry.Modified = 45000;
        return entry;
    }

    TMainForm& openNetworkForm()
    {
        TMainForm& form = openForm();
        form.NetEnumFormSetup = [this](TNetEnumForm* window) {
            window->ShowInformation = [this](const QString& text) { m_windowMessages << text; };
            window->ShowError = [this](const QString& text) { m_windowMessages << text; };
            window->AskCredentials = [](const std::string&, std::string&, std::string&, bool&) { return false; };
            m_windows << window;
        };
        m_form->expandedRoot()->setExpanded(true);
        return form;
    }

    // Expands a node live and waits until its expansion window has gone.
    bool expandLive(QTreeWidgetItem* node)
    {
        const int before = m_windows.size();
        node->setExpanded(true);
        return waitUntil([&] {
            return m_windows.size() > before && std::all_of(m_windows.begin(), m_windows.end(), [](const auto& w) { return w.isNull(); });
        }, 8000);
    }

    QList<QPointer<TNetEnumForm>> m_windows;
    QStringList m_windowMessages;
};

TEST_F(NetworkTreeTest, TheNetworkRootHoldsTheProviderReadyToExpand)
{
    openNetworkForm();
    QTreeWidgetItem* root = m_form->netRoot();
    ASSERT_EQ(captions(root), QStringList{QStringLiteral("Microsoft Windows Network")});
    const TNodeData* provider = GetNodeData(root->child(0));
    EXPECT_TRUE(provider->has(Domain) && provider->has(Container));
    EXPECT_EQ(provider->DisplayType, int32_t(netres::DisplayNetwork));
    EXPECT_EQ(provider->ImageIndex, TImageLists::TreeDomain);
    EXPECT_EQ(provider->RootKind, NetRoot);
    EXPECT_EQ(root->child(0)->childCount(), 1);  // the placeholder: nothing was looked up yet
}

TEST_F(NetworkTreeTest, AnExpandedComputerExpandsLiveAndItsShareListsThroughItsPath)
{
    std::filesystem::create_directories(s_server->folder("public") + "/樹窗/子夾");
    std::ofstream(s_server->folder("public") + "/樹窗/說明.txt") << "hello";
    addComputer("伺服器", "127.0.0.1");
    openNetworkForm();
    QTreeWidgetItem* pc = child(m_form->expandedRoot(), "伺服器");
    ASSERT_NE(pc, nullptr);
    ASSERT_TRUE(expandLive(pc));
    EXPECT_TRUE(m_windowMessages.isEmpty()) << m_windowMessages.join('\n').toStdString();
    QTreeWidgetItem* share = child(pc, "公開");
    ASSERT_NE(share, nullptr) << captions(pc).join(',').toStdString();
    ASSERT_TRUE(expandLive(share));
    QTreeWidgetItem* folder = child(share, "樹窗");
    ASSERT_NE(folder, nullptr);

    // Showing the folder lists it live, by its UNC path.
    m_form->FolderTreeView->setCurrentItem(folder);
    ASSERT_TRUE(waitUntil([this] { return listCaptions().size() == 2; })) << m_errors.join('\n').toStdString();
    EXPECT_EQ(listCaptions(), (QStringList{QStringLiteral("子夾"), QStringLiteral("說明.txt")}));
    EXPECT_EQ(m_form->ListMode, 1);
    EXPECT_EQ(m_form->currentAddress(), "expanded:\\伺服器\\公開\\樹窗\\");

    // The list's "系統選單" is the system menu of the selected file, on the share.
    m_form->fileListView()->currentView()->selectionModel()->select(
        m_form->fileListView()->model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QStringList entries;
    QTimer::singleShot(0, [&entries] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* entry : menu->actions())
                entries << entry->text();
            menu->close();
        }
    });
    m_form->findChild<QAction*>(QStringLiteral("N76"))->trigger();
    EXPECT_TRUE(entries.contains(UiString(44060))) << entries.join(',').toStdString();
    EXPECT_TRUE(entries.contains(UiString(44064))) << entries.join(',').toStdString();

    // A new folder on the share is made there and the list read again.
    m_form->findChild<QAction*>(QStringLiteral("NetNewDir"))->trigger();
    EXPECT_TRUE(std::filesystem::is_directory(s_server->folder("public") + "/樹窗/新資料夾"));
    ASSERT_TRUE(waitUntil([this] { return listCaptions().contains(QStringLiteral("新資料夾")); }));

    // The expand menu opens what is loaded of the expanded network, down to the folders.
    m_form->FolderTreeView->collapseAll();
    m_form->findChild<QAction*>(QStringLiteral("N66"))->trigger();
    EXPECT_TRUE(share->isExpanded());
    m_form->FolderTreeView->collapseAll();
    m_form->findChild<QAction*>(QStringLiteral("N65"))->trigger();
    EXPECT_TRUE(pc->isExpanded());
    EXPECT_FALSE(share->isExpanded());
}

TEST_F(NetworkTreeTest, AComputerThatCannotBeReachedOffersItsCachedFoldersOnTheSameNode)
{
    // The address answers but nothing listens on the SMB port: the computer is off.
    const std::string port = std::getenv("TAMSEL_SMB_PORT");
    ScopedEnvironment closedPort{"TAMSEL_SMB_PORT"};
    setenv("TAMSEL_SMB_PORT", "9", 1);
    addComputer("HOST1", "127.0.0.1");
    addComputer("HOST2", "127.0.0.1");
    const std::string folder = SetupInfo.CachePath + "Expanded\\";
    WriteFolderListing({item("\\\\127.0.0.1\\PUB", true), item("\\\\127.0.0.1\\top.txt", false)}, folder, "HOST1", true);
    WriteFolderListing({item("\\\\127.0.0.1\\PUB\\Sub", true), item("\\\\127.0.0.1\\PUB\\a.txt", false)}, folder, "HOST1",
                       false);
    openNetworkForm();

    QTreeWidgetItem* host = child(m_form->expandedRoot(), "HOST1");
    ASSERT_NE(host, nullptr);
    ASSERT_TRUE(expandLive(host));
    EXPECT_EQ(host->text(0), QStringLiteral("HOST1(快取)"));
    EXPECT_TRUE(GetNodeData(host)->State & CacheFallback);
    EXPECT_FALSE(m_form->CacheMode);
    EXPECT_TRUE(m_windowMessages.isEmpty()) << m_windowMessages.join('\n').toStdString();
    QTreeWidgetItem* pub = child(host, "PUB");
    ASSERT_NE(pub, nullptr) << captions(host).join(',').toStdString();

    // The cached folder lists from the cache, with the cache's date in the status bar.
    m_form->FolderTreeView->setCurrentItem(pub);
    ASSERT_TRUE(waitUntil([this] { return listCaptions().size() == 2; }));
    EXPECT_EQ(listCaptions(), (QStringList{QStringLiteral("Sub"), QStringLiteral("a.txt")}));
    EXPECT_EQ(m_form->ListMode, 3);
    const QString location = m_form->statusBarPanels()->panelText(0);
    EXPECT_TRUE(location.startsWith(QStringLiteral("(快取) 2"))) << location.toStdString();
    pub->setExpanded(true);
    EXPECT_EQ(captions(pub), QStringList{QStringLiteral("Sub")});

    // Without a cache the computer says why and stays expandable.
    QTreeWidgetItem* bare = child(m_form->expandedRoot(), "HOST2");
    ASSERT_TRUE(expandLive(bare));
    ASSERT_EQ(m_windowMessages.size(), 1);
    EXPECT_TRUE(m_windowMessages[0].startsWith(QStringLiteral("HOST2\r\n")));
    EXPECT_EQ(bare->childCount(), 1);
    EXPECT_FALSE(GetNodeData(bare)->State & Expanded);

    // When the computer answers again, a refresh shows it live under its own caption.
    setenv("TAMSEL_SMB_PORT", port.c_str(), 1);
    m_form->FolderTreeView->setCurrentItem(host);
    m_form->RefreshNode(host, true);
    ASSERT_TRUE(waitUntil([&] { return child(host, "公開") != nullptr; }, 8000)) << captions(host).join(',').toStdString();
    EXPECT_EQ(host->text(0), QStringLiteral("HOST1"));
    EXPECT_FALSE(GetNodeData(host)->State & CacheFallback);
}

} // namespace
