#include <gtest/gtest.h>

#include "BrowseFixture.h"
#include "resources/StringTable.h"
#include "support/HanText.h"

#include <QStatusBar>

namespace {

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
};

// Every menu, submenu, context menu, tool button, list column, tree root and status panel
// of the window speaks English when the English table is chosen; a caption that misses its
// entry in the table shows here. The folder shown holds ASCII names only.
TEST_F(EnglishTest, EveryTextOfTheWindowIsEnglish)
{
    TMainForm& form = openForm();
    const QStringList untranslated = HanTextWalk()(&form);
    EXPECT_TRUE(untranslated.isEmpty()) << untranslated.join("\n").toStdString();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("File Manager"));
    const auto* status = form.findChild<QStatusBar*>();
    ASSERT_NE(status, nullptr);
    // The walk saw the status texts of the folder shown, not an empty bar.
    QStringList panels;
    for (const QLabel* panel : status->findChildren<QLabel*>())
        if (!panel->text().isEmpty())
            panels << panel->text();
    EXPECT_FALSE(panels.isEmpty());
}

} // namespace
