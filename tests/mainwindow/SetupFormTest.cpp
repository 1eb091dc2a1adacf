#include <gtest/gtest.h>

#include "BrowseFixture.h"
#include "app/LanguageSetting.h"
#include "app/TSetupForm.h"
#include "platform/RegistryFile.h"
#include "store/DialogDriver.h"
#include "ui/Fonts.h"
#include "ui/TColorComboBox.h"
#include "ui/TListView.h"
#include "ui/TStatusBar.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>

namespace {

// The options dialog as the main window opens it, driven from inside its own loop.
class SetupFormTest : public BrowseFixture {
protected:
    /// Stores the record as the dialog will find it.
    static void store(const std::function<void(TSetupInfo&)>& change)
    {
        TSetupInfo info = SetupInfo;
        change(info);
        SaveSetupInfo(info);
    }

    static TSetupInfo stored()
    {
        TSetupInfo info = SetupInfo;
        LoadSetupInfo(info);
        return info;
    }

    /// Runs the dialog from the View menu with `inside` inside it; false when it never opened.
    bool runDialog(const std::function<void(TSetupForm&)>& inside)
    {
        ModalDriver<TSetupForm> driver([&](TSetupForm& dialog) {
            dialog.AskFont = [this](QWidget*, QFont& font) {
                m_offeredFont = font;
                font = m_pickedFont;
                return true;
            };
            inside(dialog);
        });
        m_form->findChild<QAction*>(QStringLiteral("N86"))->trigger();
        return driver.opened();
    }

    static bool sameFont(const QFont& shown, const std::string& name, int size)
    {
        const QFont expected = SettingsFont(name, size);
        return shown.family() == expected.family() && shown.pointSize() == expected.pointSize();
    }

    QFont m_pickedFont{QStringLiteral("DejaVu Serif"), 15};
    QFont m_offeredFont;
};

TEST_F(SetupFormTest, ShowsTheStoredRecordAndOkSavesWhatItShows)
{
    store([](TSetupInfo& info) {
        info.ButtonStyle = 1;
        info.ViewStyle = 3;
        info.Ext4 = ".TXT;.中文";
        info.Color2 = 0x123456;  // not one of the sixteen
    });
    TMainForm& form = openForm();
    // A view style chosen in the window since the last save is not what the dialog shows.
    SetupInfo.ViewStyle = 0;
    ASSERT_TRUE(runDialog([](TSetupForm& dialog) {
        EXPECT_EQ(dialog.ToolBarRadioGroup->checkedId(), 1);
        EXPECT_EQ(dialog.ListViewRadioGroup->checkedId(), 3);
        EXPECT_EQ(dialog.Edits[3]->text(), QStringLiteral(".TXT;.中文"));
        EXPECT_EQ(dialog.ColorComboBoxes[1]->colorValue(), 0x123456u);
        EXPECT_FALSE(dialog.CheckBox6->isEnabled());
        dialog.ShellLimitCSpinEdit->setValue(150);
        EXPECT_EQ(dialog.ShellLimitCSpinEdit->value(), 99);
        dialog.StatusBarCheckBox->setChecked(false);
        dialog.BitBtn1->click();
    }));
    const TSetupInfo after = stored();
    EXPECT_EQ(after.ButtonStyle, 1);
    EXPECT_EQ(after.ViewStyle, 3);
    EXPECT_EQ(after.Ext4, ".TXT;.中文");
    EXPECT_EQ(after.Color2, 0x123456u);
    EXPECT_EQ(after.ShellWorkLimit, 99);
    EXPECT_FALSE(after.ShowStatusBar);
    // OK applies the record to the whole window.
    EXPECT_EQ(form.fileListView()->viewStyle(), 3);
    EXPECT_TRUE(form.statusBarPanels()->isHidden());
}

TEST_F(SetupFormTest, FontsAndColoursShowAtOnceAndCancelPutsEverythingBack)
{
    TMainForm& form = openForm();
    const TSetupInfo before = SetupInfo;
    const QFont treeFont = form.FolderTreeView->font();
    const QFont windowFont = form.font();
    const std::string registryBefore = [] {
        std::ifstream in(RegistryFilePath());
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    ASSERT_TRUE(runDialog([&](TSetupForm& dialog) {
        dialog.BitBtn6->click();
        EXPECT_TRUE(sameFont(form.FolderTreeView->font(), "DejaVu Serif", 15));
        EXPECT_EQ(SetupInfo.TreeViewFontName, "DejaVu Serif");
        m_pickedFont = QFont(QStringLiteral("DejaVu Sans Mono"), 9);
        dialog.BitBtn3->click();
        EXPECT_TRUE(sameFont(form.font(), "DejaVu Sans Mono", 9));
        EXPECT_TRUE(sameFont(dialog.font(), "DejaVu Sans Mono", 9));
        // The tree keeps the font given to it; the general one does not replace it.
        EXPECT_TRUE(sameFont(form.FolderTreeView->font(), "DejaVu Serif", 15));
        dialog.ColorComboBoxes[0]->setCurrentIndex(9);
        EXPECT_EQ(SetupInfo.Color1, TColorComboBox::standardColor(9));
        dialog.Edits[4]->setText(".LOG");
        EXPECT_EQ(SetupInfo.Ext5, ".LOG");
        dialog.BitBtn2->click();
    }));
    EXPECT_EQ(form.FolderTreeView->font(), treeFont);
    EXPECT_EQ(form.font(), windowFont);
    EXPECT_EQ(SetupInfo.TreeViewFontName, before.TreeViewFontName);
    EXPECT_EQ(SetupInfo.FontName, before.FontName);
    EXPECT_EQ(SetupInfo.Color1, before.Color1);
    EXPECT_EQ(SetupInfo.Ext5, before.Ext5);
    std::ifstream in(RegistryFilePath());
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), registryBefore);
}

TEST_F(SetupFormTest, OkKeepsTheGeneralFontWhenTheListFontWasChosenLast)
{
    TMainForm& form = openForm();
    const std::string general = SetupInfo.FontName;
    ASSERT_TRUE(runDialog([](TSetupForm& dialog) {
        dialog.BitBtn5->click();
        dialog.BitBtn1->click();
    }));
    const TSetupInfo after = stored();
    EXPECT_EQ(after.FontName, general);
    EXPECT_EQ(after.ListViewFontName, "DejaVu Serif");
    EXPECT_EQ(after.ListViewFontSize, 15);
    EXPECT_TRUE(sameFont(form.fileListView()->font(), "DejaVu Serif", 15));
}

TEST_F(SetupFormTest, FontDialogStartsAtTheInstalledFontInUse)
{
    store([](TSetupInfo& info) {
        info.FontName = "MS Sans Serif";
        info.FontSize = 11;
    });
    TMainForm& form = openForm();
    ASSERT_TRUE(runDialog([](TSetupForm& dialog) {
        dialog.BitBtn3->click();
        dialog.BitBtn2->click();
    }));
    // Offered under the name the font list knows, the one the window is drawn with.
    EXPECT_NE(m_offeredFont.family(), QStringLiteral("MS Sans Serif"));
    EXPECT_TRUE(QFontDatabase::families().contains(m_offeredFont.family())) << m_offeredFont.family().toStdString();
    EXPECT_EQ(m_offeredFont.family(), QFontInfo(form.font()).family());
    EXPECT_EQ(m_offeredFont.pointSize(), 11);
}

TEST_F(SetupFormTest, DefaultsStayOpenForOkOrCancel)
{
    store([](TSetupInfo& info) {
        info.ButtonStyle = 2;
        info.AutoExpand = false;
        info.Ext1 = ".XYZ";
        info.ShellWorkLimit = 5;
    });
    openForm();
    SetupInfo.ShellWorkLimit = 7;  // in memory only
    ASSERT_TRUE(runDialog([](TSetupForm& dialog) {
        EXPECT_EQ(dialog.ShellLimitCSpinEdit->value(), 5);
        dialog.BitBtn7->click();
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.ToolBarRadioGroup->checkedId(), 0);
        EXPECT_TRUE(dialog.AutoExpandCheckBox->isChecked());
        EXPECT_EQ(dialog.Edits[0]->text(), QStringLiteral(".EXE;.COM;.BAT"));
        EXPECT_EQ(dialog.ShellLimitCSpinEdit->value(), 30);
        dialog.BitBtn2->click();
    }));
    // Cancelled: nothing was stored and the record is the one from before.
    EXPECT_EQ(stored().Ext1, ".XYZ");
    EXPECT_EQ(SetupInfo.ShellWorkLimit, 7);

    ASSERT_TRUE(runDialog([](TSetupForm& dialog) {
        dialog.BitBtn7->click();
        dialog.BitBtn1->click();
    }));
    TSetupInfo defaults = SetupInfo;
    DefaultSetupInfo(defaults);
    const TSetupInfo after = stored();
    EXPECT_EQ(after.ButtonStyle, defaults.ButtonStyle);
    EXPECT_EQ(after.Ext1, defaults.Ext1);
    EXPECT_EQ(after.ShellWorkLimit, defaults.ShellWorkLimit);
    EXPECT_EQ(after.FontName, defaults.FontName);
}

TEST_F(SetupFormTest, LanguageChoiceIsStoredApartFromTheRecord)
{
    openForm();
    ASSERT_TRUE(runDialog([](TSetupForm& dialog) {
        EXPECT_EQ(dialog.LanguageComboBox->currentIndex(), 0);
        dialog.LanguageComboBox->setCurrentIndex(2);
        dialog.BitBtn1->click();
    }));
    EXPECT_EQ(LoadLanguageSetting(), "EN");
    EXPECT_EQ(ChosenLanguage(LoadLanguageSetting()), InterfaceLanguage::English);
    ASSERT_TRUE(runDialog([](TSetupForm& dialog) { EXPECT_EQ(dialog.LanguageComboBox->currentIndex(), 2); }));
}

} // namespace
