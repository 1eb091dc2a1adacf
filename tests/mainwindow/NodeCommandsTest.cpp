#include <gtest/gtest.h>

#include "app/Application.h"
#include "app/SetupInfo.h"
#include "mainwindow/TMainForm.h"
#include "store/DialogDriver.h"
#include "store/NodeFile.h"
#include "store/NodeTree.h"
#include "store/TContentForm.h"
#include "store/TEditForm.h"
#include "support/TempConfig.h"
#include "ui/TListModel.h"
#include "ui/TListView.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <memory>

namespace {

class NodeCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetupInfo = TSetupInfo();
        PrepareProgramFolders(SetupInfo);
        LoadSetupInfo(SetupInfo);
        SetupInfo.AutoExpand = false;
        form = std::make_unique<TMainForm>();
        form->ShowError = [this](const QString& text) { errors << text; };
        form->show();
        QApplication::processEvents();
    }
    void TearDown() override
    {
        form.reset();
    }

    QAction* action(const char* name) { return form->findChild<QAction*>(QString::fromLatin1(name)); }

    // A stored computer of the expanded network with one share below it.
    QTreeWidgetItem* addComputer()
    {
        QTreeWidgetItem* root = form->expandedRoot();
        // The root's children count as loaded, so showing the computer does not load them
        // from the node file again in its place.
        GetNodeData(root)->State |= Expanded;
        auto* computer = new QTreeWidgetItem(root);
        TNodeData* data = NewNodeData(root);
        data->Caption = data->Key = "PC1";
        // A container: showing it lists its child nodes, not its folder on the network.
        data->NodeAttributes = Computer | Container;
        data->RemoteName = "\\\\PC1\\";
        data->Host = "10.0.0.1";
        data->State = Expanded | Idle;
        ShowNodeData(data, computer);
        WriteNodeRecord(*data);
        auto* share = new QTreeWidgetItem(computer);
        TNodeData* shareData = NewNodeData(computer);
        shareData->Caption = "SHARE";
        shareData->NodeAttributes = Share | Folder;
        shareData->RemoteName = "\\\\PC1\\SHARE\\";
        ShowNodeData(shareData, share);
        return computer;
    }

    TempConfig m_config;
    std::unique_ptr<TMainForm> form;
    QStringList errors;
};

TEST_F(NodeCommandsTest, BothNodeEntriesShowTheSelectedNodesDescription)
{
    form->FolderTreeView->setCurrentItem(form->expandedRoot());
    for (const char* name : {"N26", "DNContent"}) {
        ASSERT_NE(action(name), nullptr) << name;
        EXPECT_TRUE(action(name)->isEnabled()) << name;
        QString memo;
        bool editable = true;
        QString title;
        ModalDriver<TContentForm> driver([&](TContentForm& shown) {
            memo = shown.ContentMemo->toPlainText();
            editable = shown.EditBitBtn->isEnabled();
            title = shown.windowTitle();
            shown.OKBitBtn->click();
        });
        action(name)->trigger();
        EXPECT_TRUE(driver.opened()) << name;
        EXPECT_EQ(title, QStringLiteral("內容"));
        EXPECT_TRUE(memo.startsWith(QStringLiteral("名稱:") + form->expandedRoot()->text(0) + QLatin1Char('\n'))) << name;
        EXPECT_FALSE(editable) << name;  // a root is nobody's own node
    }
}

TEST_F(NodeCommandsTest, EditingTheShownComputerListsItAfresh)
{
    QTreeWidgetItem* computer = addComputer();
    form->FolderTreeView->setCurrentItem(computer);
    ASSERT_EQ(form->shownNode(), computer);
    ASSERT_EQ(form->FileListView->model()->rowCount(), 1);  // its share

    ModalDriver<TContentForm> driver([](TContentForm& content) {
        ModalDriver<TEditForm> editor([](TEditForm& edit) {
            // The name comes selected, as the first field of a dialog does: go to its end.
            edit.NetNameEdit->setFocus();
            edit.NetNameEdit->end(false);
            typeInto(edit.NetNameEdit, QStringLiteral("2"));
            edit.NetOKButton->click();
        });
        content.EditBitBtn->click();
        EXPECT_TRUE(editor.opened());
        content.OKBitBtn->click();
    });
    action("DNContent")->trigger();
    ASSERT_TRUE(driver.opened());
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(computer->text(0), QStringLiteral("PC12"));
    EXPECT_EQ(GetNodeData(computer)->RemoteName, "\\\\PC12\\");
    ASSERT_EQ(computer->childCount(), 1);
    EXPECT_EQ(GetNodeData(computer->child(0)), nullptr);
    // The list of the old children went with them: the computer is shown afresh, and
    // until it is enumerated again it has nothing to list.
    EXPECT_EQ(form->shownNode(), computer);
    EXPECT_EQ(form->FolderTreeView->currentItem(), computer);
    EXPECT_EQ(form->FileListView->model()->rowCount(), 0);
}

} // namespace
