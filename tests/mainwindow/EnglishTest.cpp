#include <gtest/gtest.h>

#include "BrowseFixture.h"
#include "resources/StringTable.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

namespace {

bool hasHan(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() >= 0x3400 && c.unicode() <= 0x9FFF)
            return true;
    return false;
}

class EnglishTest : public BrowseFixture {
protected:
    void SetUp() override
    {
        BrowseFixture::SetUp();
        SetInterfaceLanguage(InterfaceLanguage::English);
    }
    void TearDown() override
    {
        BrowseFixture::TearDown();
        SetInterfaceLanguage(InterfaceLanguage::Chinese);
    }

    static void collect(const QMenu* menu, QStringList& untranslated)
    {
        for (const QAction* entry : menu->actions()) {
            if (hasHan(entry->text()))
                untranslated << menu->objectName() + ": " + entry->text();
            if (entry->menu())
                collect(entry->menu(), untranslated);
        }
    }
};

// Every menu, submenu, context menu and tool button of the window speaks English when the
// English table is chosen; a caption that misses its entry in the table shows here.
TEST_F(EnglishTest, EveryCommandOfTheWindowHasItsEnglishCaption)
{
    TMainForm& form = openForm();
    QStringList untranslated;
    for (const QMenu* menu : form.findChildren<QMenu*>()) {
        // The external tools are named by the user.
        if (menu->objectName().startsWith(QLatin1String("ToolMenuItem")) && menu->objectName() != "ToolMenuItem1")
            continue;
        collect(menu, untranslated);
    }
    for (const QToolButton* button : form.findChildren<QToolButton*>()) {
        if (hasHan(button->text()) || hasHan(button->toolTip()))
            untranslated << button->objectName() + ": " + button->text() + " " + button->toolTip();
    }
    EXPECT_TRUE(untranslated.isEmpty()) << untranslated.join("\n").toStdString();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("File Manager"));
}

} // namespace
