#include <gtest/gtest.h>

#include "local/MessageBoxes.h"
#include "local/THelpForm.h"
#include "resources/StringTable.h"
#include "support/HanText.h"
#include "support/WindowGallery.h"

#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>

namespace {

struct EnglishScope {
    EnglishScope() { SetInterfaceLanguage(InterfaceLanguage::English); }
    ~EnglishScope() { SetInterfaceLanguage(InterfaceLanguage::Chinese); }
};

class EnglishWindows : public ::testing::TestWithParam<std::string> {
protected:
    EnglishScope english;
    WindowGallery gallery;
};

TEST_P(EnglishWindows, ShowsNoChineseText)
{
    QWidget* window = gallery.Open(GetParam());
    ASSERT_NE(window, nullptr) << GetParam();
    const QStringList untranslated = HanTextWalk()(window);
    EXPECT_TRUE(untranslated.isEmpty()) << GetParam() << ":\n" << untranslated.join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(EveryWindow, EnglishWindows, ::testing::ValuesIn(WindowGallery::Names()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

// The help window: its tabs, its contents and index, and the page it opens with.
TEST(EnglishHelp, HelpWindowOpensTheEnglishPages)
{
    EnglishScope english;
    THelpForm& help = THelpForm::Instance();
    help.LoadTables();
    help.ShowContents();
    const QStringList untranslated = HanTextWalk()(&help);
    EXPECT_TRUE(untranslated.isEmpty()) << untranslated.join('\n').toStdString();
    EXPECT_GT(help.ContentsTree->topLevelItemCount(), 0);
    EXPECT_GT(help.IndexList->count(), 30);
    EXPECT_TRUE(help.Browser->source().toString().contains(QStringLiteral("/en/")));
    help.hide();
    SetInterfaceLanguage(InterfaceLanguage::Chinese);
    help.LoadTables();
}

// The three boxes: their captions and buttons, and a message given by number.
TEST(EnglishMessageBoxes, CaptionsButtonsAndTextSpeakEnglish)
{
    EnglishScope english;
    QStringList titles;
    QStringList untranslated;
    for (const int kind : {MsgError, MsgInformation, MsgQuestion}) {
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            untranslated << HanTextWalk()(box);
            titles << box->windowTitle();
            box->buttons().first()->click();
        });
        ShowMessageId(nullptr, 33102, kind);
    }
    EXPECT_TRUE(untranslated.isEmpty()) << untranslated.join('\n').toStdString();
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Error"), QStringLiteral("Information"), QStringLiteral("Question")}));
}

} // namespace
