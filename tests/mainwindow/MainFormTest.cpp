#include <gtest/gtest.h>

#include "app/Application.h"
#include "app/SetupInfo.h"
#include "mainwindow/TMainForm.h"
#include "platform/RegistryFile.h"
#include "resources/StringTable.h"
#include "support/TempConfig.h"
#include "ui/TFormPosSaver.h"
#include "ui/TListView.h"
#include "ui/TSplitter.h"
#include "ui/TStatusBar.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStandardItemModel>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetupInfo = TSetupInfo();
        PrepareProgramFolders(SetupInfo);
        LoadSetupInfo(SetupInfo);
    }

    std::unique_ptr<TMainForm> openForm()
    {
        auto form = std::make_unique<TMainForm>();
        form->show();
        QApplication::processEvents();
        return form;
    }

    QAction* action(TMainForm& form, const char* name)
    {
        auto* found = form.findChild<QAction*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    static void storeExtraParam1(const std::string& text)
    {
        Registry registry;
        ASSERT_TRUE(registry.openKey(kProgramKey, true));
        registry.writeString("ExtraParam1", text);
    }

    static QStringList captions(const QMenu* menu)
    {
        QStringList texts;
        for (const QAction* entry : menu->actions())
            texts << (entry->isSeparator() ? QStringLiteral("-") : entry->text());
        return texts;
    }

    TempConfig m_config;
};

// Answers the next question box with `answer` once it is up.
void answerNextQuestion(QMessageBox::StandardButton answer, QString* text)
{
    QTimer::singleShot(0, [answer, text] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        *text = box->text();
        box->button(answer)->click();
    });
}

} // namespace

TEST_F(MainFormTest, StartUpCreatesTempButNotCache)
{
    const std::filesystem::path home(m_config.home());
    EXPECT_TRUE(std::filesystem::is_directory(home / "Temp"));
    EXPECT_FALSE(std::filesystem::exists(home / "Cache"));
    EXPECT_EQ(SetupInfo.CachePath, SetupInfo.ExePath + "Cache\\");
    EXPECT_EQ(SetupInfo.TempPath, SetupInfo.ExePath + "Temp\\");
    EXPECT_EQ(SetupInfo.ExePath.back(), '\\');
}

TEST_F(MainFormTest, FrameHasEveryComponent)
{
    auto form = openForm();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("檔案管理員"));
    for (const char* name : {"CoolBar", "ToolBar1", "ToolBar2", "AddressToolButton", "AddressComboBox", "LeftPanel",
                             "TreePanel", "FolderTreeView", "PlainSplitter", "RightPanel", "ListPanel", "FileListView",
                             "PreviewSplitter", "PreviewPanel", "StatusBar"})
        EXPECT_NE(form->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_FALSE(form->PreviewSplitter->isVisible());
    EXPECT_FALSE(form->PreviewPanel->isVisible());
    EXPECT_TRUE(form->FolderTreeView->isVisible());

    QStringList menus;
    for (const QAction* menu : form->menuBar()->actions())
        menus << menu->text();
    EXPECT_EQ(menus, (QStringList{"檔案(&F)", "檢示(&V)", "編輯(&E)", "快取", "工具(&T)", "說明(&H)"}));
    EXPECT_EQ(captions(form->ToolMenuItem1), (QStringList{"收集器", "搜尋家", "更新快取", "-", "密碼管理員", "延伸工具", "-"}));
    EXPECT_EQ(captions(form->BookmarkPopupMenu), (QStringList{"新增書籤(&A)", "重載書籤(&R)", "新增 FTP 站台…", "-"}));
    EXPECT_EQ(form->ExpandPopupMenu->actions().size(), 7);
    EXPECT_EQ(form->LocalListPopupMenu->defaultAction()->text(), QStringLiteral("系統選單"));
    EXPECT_TRUE(form->ToolMenuItem2->isEmpty() && form->ToolMenuItem3->isEmpty() && form->ToolMenuItem4->isEmpty());
    EXPECT_EQ(action(*form, "X1")->text(), QStringLiteral("結束(&X)"));
    EXPECT_EQ(action(*form, "ML2")->text(), QStringLiteral("小型圖式(M)"));
    EXPECT_EQ(action(*form, "N93")->shortcut(), QKeySequence(Qt::Key_F2));

    QStringList buttons;
    for (QToolButton* button : form->ToolBar1->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly))
        if (!button->objectName().startsWith(QLatin1String("qt_")))
            buttons << button->text();
    EXPECT_EQ(buttons, (QStringList{"前頁", "後頁", "展開", "總管", "快取", "行程", "收集", "更新", "搜尋", "精靈", "預覽"}));
    EXPECT_FALSE(form->PreviewToolButton->isVisible());
    EXPECT_EQ(form->PriorToolButton->toolTip(), QStringLiteral("前頁"));
    EXPECT_EQ(form->ThreadToolButton->statusTip(), QStringLiteral("顯示行程|顯示當前在背景執行的行程"));
    EXPECT_EQ(form->ToolButton6->toolTip(), QStringLiteral("找尋檔案"));
    EXPECT_EQ(form->AddressToolButton->text(), QStringLiteral("書籤"));
}

TEST_F(MainFormTest, UnbuiltCommandsAreDisabledAndBuiltOnesEnabled)
{
    auto form = openForm();
    for (const char* name : {"U1"})
        EXPECT_FALSE(action(*form, name)->isEnabled()) << name;
    for (const char* name : {"X1", "F2", "N5", "N6", "N7", "N8", "S1", "N10", "N93", "ML1", "ML4", "A3", "I1", "A1", "LocalML3", "N40",
                             "N1", "N3", "R1", "C1", "N26", "DNContent", "N63", "N92", "N30", "N34", "DNRename", "N19", "N16", "C4", "N79", "N91", "N81", "N60", "N66", "N76", "NetDelete", "N24", "N86", "M50",
                             "DNNewDir", "DNDel", "FTPNewDir", "FTPDelete", "FTPOpen", "FTPRename", "FTPRefresh", "T2", "N87", "ToolMenu", "N89", "N99", "R2",
                             "FTP1", "FTP2", "FTPExplore"})
        EXPECT_TRUE(action(*form, name)->isEnabled()) << name;
    EXPECT_FALSE(form->PriorToolButton->isEnabled());
    EXPECT_FALSE(form->NextToolButton->isEnabled());
    EXPECT_TRUE(form->ThreadToolButton->isEnabled());
}

TEST_F(MainFormTest, CacheWizardEntryOpensTheExportImportWizard)
{
    auto form = openForm();
    QString shownTitle;
    // The wizard runs modally: look at it from inside its own event loop, then close it.
    QTimer::singleShot(0, [&shownTitle] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            shownTitle = modal->windowTitle();
            modal->close();
        }
    });
    action(*form, "N79")->trigger();
    EXPECT_EQ(shownTitle, QStringLiteral("匯出匯入精靈"));
}

TEST_F(MainFormTest, PasswordManagerEntryOpensTheManagerInTheSettingsFont)
{
    SetupInfo.FontName = "Noto Sans CJK TC";
    SetupInfo.FontSize = 13;
    auto form = openForm();
    QString shownTitle;
    QFont shownFont;
    QTimer::singleShot(0, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            shownTitle = modal->windowTitle();
            shownFont = modal->font();
            modal->close();
        }
    });
    action(*form, "N24")->trigger();
    EXPECT_EQ(shownTitle, QStringLiteral("密碼管理員"));
    EXPECT_EQ(shownFont.family(), QStringLiteral("Noto Sans CJK TC"));
    EXPECT_EQ(shownFont.pointSize(), 13);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainFormTest, StatusBarHasSixPanelsAndTakesTheLongPartOfHints)
{
    auto form = openForm();
    TStatusBar* bar = form->statusBarPanels();
    EXPECT_EQ(bar->findChildren<QLabel*>().size(), 5);
    EXPECT_EQ(bar->findChildren<QWidget*>(QStringLiteral("Panel2")).size(), 1);
    EXPECT_EQ(bar->panelText(3), QStringLiteral("0"));
    EXPECT_EQ(bar->panelText(4), QStringLiteral("0"));
    // Panel 0 is the tree's width, and wider while its text needs it.
    EXPECT_GE(bar->panelWidth(0), 250);
    bar->setPanelText(0, QStringLiteral("x"));
    EXPECT_EQ(bar->panelWidth(0), 250);
    const QString diskText = QStringLiteral("磁碟空間252.0GB,可用空間80938.00MB 磁碟空間252.0GB,可用空間80938.00MB");
    bar->setPanelText(0, diskText);
    const auto* label = bar->findChild<QLabel*>(QStringLiteral("Panel0"));
    EXPECT_GE(label->contentsRect().width(), label->fontMetrics().horizontalAdvance(diskText));
    EXPECT_EQ(bar->panelWidth(0), label->width());

    QStatusTipEvent withLongPart(form->PriorToolButton->statusTip());
    QApplication::sendEvent(form->PriorToolButton, &withLongPart);
    EXPECT_EQ(bar->panelText(0), QStringLiteral("移向前一頁"));
    QStatusTipEvent plain(QStringLiteral("檔案總管"));
    QApplication::sendEvent(form->ExploreToolButton, &plain);
    EXPECT_EQ(bar->panelText(0), QStringLiteral("檔案總管"));

    // The start folder's listing may still run and hold the gauge: drive it both ways.
    bar->setBusy(false);
    EXPECT_FALSE(bar->isBusy());
    bar->setBusy(true);
    EXPECT_TRUE(bar->isBusy());
}

TEST_F(MainFormTest, LeftPaneWidthComesFromExtraParam1)
{
    for (const auto& [stored, expected] : {std::pair<std::string, int>{"", 250}, {"abc", 250}, {"12x", 250}, {"1.5", 250}, {"300", 300}, {" +280", 280}}) {
        if (!stored.empty())
            storeExtraParam1(stored);
        auto form = openForm();
        EXPECT_EQ(form->plainSplitter()->leftPosition(), expected) << stored;
        form->statusBarPanels()->setPanelText(0, QString());
        EXPECT_EQ(form->statusBarPanels()->panelWidth(0), expected) << stored;
    }
}

TEST_F(MainFormTest, ApplySettingsFollowsTheRecord)
{
    SetupInfo.ButtonStyle = 2;
    SetupInfo.ViewStyle = 3;
    SetupInfo.ShowStatusBar = false;
    SetupInfo.ShowPanel = false;
    SetupInfo.ShowGlyph = false;
    auto form = openForm();
    EXPECT_FALSE(form->CoolBar->isVisible());
    EXPECT_TRUE(action(*form, "N6")->isChecked());
    EXPECT_EQ(form->fileListView()->viewStyle(), TListView::Details);
    EXPECT_TRUE(action(*form, "ML4")->isChecked());
    EXPECT_FALSE(form->statusBarPanels()->isVisible());
    EXPECT_FALSE(action(*form, "S1")->isChecked());
    EXPECT_FALSE(form->TreePanel->isVisible());
    EXPECT_FALSE(form->ListPanel->isVisible());
    EXPECT_TRUE(form->PriorToolButton->icon().isNull());
    EXPECT_EQ(form->PriorToolButton->toolButtonStyle(), Qt::ToolButtonTextOnly);
    EXPECT_TRUE(action(*form, "N8")->isChecked());

    SetupInfo.ButtonStyle = 1;
    SetupInfo.ShowGlyph = true;
    SetupInfo.ShowText = false;
    form->ApplySettings();
    EXPECT_TRUE(form->CoolBar->isVisible());
    EXPECT_FALSE(form->PriorToolButton->autoRaise());
    EXPECT_FALSE(form->PriorToolButton->icon().isNull());
    EXPECT_EQ(form->PriorToolButton->toolButtonStyle(), Qt::ToolButtonIconOnly);
    EXPECT_EQ(SetupInfo.ButtonStyle, 1);
}

TEST_F(MainFormTest, ButtonStyleOutOfRangeLeavesTheToolBarsAlone)
{
    SetupInfo.ButtonStyle = 3;
    auto form = openForm();
    EXPECT_TRUE(form->CoolBar->isVisible());
    EXPECT_FALSE(action(*form, "F2")->isChecked() || action(*form, "N5")->isChecked() || action(*form, "N6")->isChecked());
    EXPECT_EQ(SetupInfo.ButtonStyle, 3);
}

TEST_F(MainFormTest, ViewCommandsChangeTheWindowAndTheRecord)
{
    auto form = openForm();
    action(*form, "S1")->trigger();
    EXPECT_FALSE(form->statusBarPanels()->isVisible());
    EXPECT_FALSE(action(*form, "S1")->isChecked());
    EXPECT_FALSE(SetupInfo.ShowStatusBar);
    action(*form, "S1")->trigger();
    EXPECT_TRUE(form->statusBarPanels()->isVisible());
    EXPECT_TRUE(SetupInfo.ShowStatusBar);

    action(*form, "N10")->trigger();
    EXPECT_FALSE(form->TreePanel->isVisible());
    EXPECT_FALSE(SetupInfo.ShowPanel);

    action(*form, "N8")->trigger();
    EXPECT_FALSE(action(*form, "N8")->isChecked());
    EXPECT_FALSE(SetupInfo.ShowText);
    EXPECT_EQ(form->PriorToolButton->toolButtonStyle(), Qt::ToolButtonIconOnly);

    action(*form, "N6")->trigger();
    EXPECT_FALSE(form->CoolBar->isVisible());
    EXPECT_EQ(SetupInfo.ButtonStyle, 2);
    action(*form, "N5")->trigger();
    EXPECT_TRUE(form->CoolBar->isVisible());
    EXPECT_FALSE(form->AddressToolButton->autoRaise());
    EXPECT_EQ(SetupInfo.ButtonStyle, 1);

    // The copy in a list menu and the View menu's entry move together.
    action(*form, "NetML1")->trigger();
    EXPECT_EQ(form->fileListView()->viewStyle(), TListView::LargeIcons);
    EXPECT_TRUE(action(*form, "ML1")->isChecked());
    EXPECT_EQ(SetupInfo.ViewStyle, 0);
    action(*form, "N93")->trigger();
    EXPECT_EQ(form->fileListView()->viewStyle(), TListView::LargeIcons);
}

TEST_F(MainFormTest, SelectAllAndInvert)
{
    auto form = openForm();
    auto* model = form->fileListView()->model();
    for (const char* name : {"a", "b", "c"})
        model->appendItem({QString::fromLatin1(name), {}, 1, 0});
    form->fileListView()->selectionModel()->select(model->index(1, 0), QItemSelectionModel::Select);
    action(*form, "I1")->trigger();
    auto selectedRows = [&] { return form->fileListView()->selectionModel()->selectedRows().size(); };
    EXPECT_EQ(selectedRows(), 2);
    EXPECT_FALSE(form->fileListView()->selectionModel()->isRowSelected(1));
    action(*form, "A3")->trigger();
    EXPECT_EQ(selectedRows(), 3);
}

TEST_F(MainFormTest, ClosingWithAnotherWindowOpenAsksFirst)
{
    auto form = openForm();
    QDialog other;
    other.show();
    QString question;
    answerNextQuestion(QMessageBox::No, &question);
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(question.toStdString(), LoadStr(33059));
    {
        Registry registry;
        ASSERT_TRUE(registry.openKey(kProgramKey, true));
        EXPECT_FALSE(registry.valueExists("ExtraParam1")) << "nothing is stored when the user says No";
    }

    answerNextQuestion(QMessageBox::Yes, &question);
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(form->isVisible());
}

TEST_F(MainFormTest, SettingsAndPlacementReachTheRegistryFileAtExit)
{
    {
        auto form = openForm();
        form->plainSplitter()->setLeftPosition(321);
        action(*form, "S1")->trigger();
        action(*form, "ML4")->trigger();
        EXPECT_TRUE(form->close());
        // What the entry does after the message loop.
        SaveSetupInfo(SetupInfo);
    }
    Registry registry;
    ASSERT_TRUE(registry.openKey(kProgramKey, false));
    EXPECT_EQ(registry.readString("ExtraParam1"), "321");
    for (const char* name : {"Top", "Left", "Width", "Height"})
        EXPECT_EQ(registry.valueType(name), RegType::DWord) << name;
    EXPECT_EQ(registry.readInteger("ShowStatusBar"), 0u);
    EXPECT_EQ(registry.readInteger("ViewStyle"), 3u);
    EXPECT_EQ(registry.readString("Version"), "1.0 Release");

    std::ifstream file(m_config.registryFile());
    ASSERT_TRUE(file.good());
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_NE(text.str().find("1.0 Release"), std::string::npos);

    // The next start opens with what was stored.
    TSetupInfo next;
    LoadSetupInfo(next);
    EXPECT_FALSE(next.ShowStatusBar);
    SetupInfo = next;
    auto again = openForm();
    EXPECT_EQ(again->plainSplitter()->leftPosition(), 321);
    EXPECT_EQ(again->fileListView()->viewStyle(), TListView::Details);
}

TEST_F(MainFormTest, PlacementIsRestoredOnlyWhenItLiesOnAScreen)
{
    const auto storePlacement = [](int left, int top, int width, int height) {
        Registry registry;
        ASSERT_TRUE(registry.openKey(kProgramKey, true));
        registry.writeInteger("Left", uint32_t(left));
        registry.writeInteger("Top", uint32_t(top));
        registry.writeInteger("Width", uint32_t(width));
        registry.writeInteger("Height", uint32_t(height));
    };
    storePlacement(30, 40, 640, 450);
    {
        auto form = openForm();
        EXPECT_EQ(form->size(), QSize(640, 450));
    }
    storePlacement(-20000, -20000, 700, 500);
    auto form = openForm();
    EXPECT_NE(form->size(), QSize(700, 500)) << "a window off every screen keeps its default placement";
    EXPECT_GT(form->x(), -20000);
}

TEST_F(MainFormTest, HintsFollowTheProgramsTiming)
{
    auto form = openForm();
    QStyle* style = QApplication::style();
    EXPECT_EQ(style->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 100);
    EXPECT_EQ(style->styleHint(QStyle::SH_ToolTip_FallAsleepDelay), 100);
    EXPECT_EQ(form->CacheToolButton->toolTipDuration(), 2000);
}
