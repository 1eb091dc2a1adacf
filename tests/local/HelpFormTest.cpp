#include <gtest/gtest.h>

#include "local/TExtendToolForm.h"
#include "local/THelpForm.h"
#include "resources/StringTable.h"
#include "support/TempConfig.h"

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QTreeWidget>

namespace {

QString readResource(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The pages of one language: the Chinese ones in ":/help/", the English ones in ":/help/en/".
QStringList helpPages(const QString& folder)
{
    QStringList pages;
    QDirIterator it(folder);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(QLatin1String(".html")))
            pages << path.mid(folder.size());
    }
    pages.sort();
    return pages;
}

// The help window keeps its tables: they are read again in the language of each test.
struct LanguageScope {
    explicit LanguageScope(InterfaceLanguage language) { SetInterfaceLanguage(language); }
    ~LanguageScope()
    {
        SetInterfaceLanguage(InterfaceLanguage::Chinese);
        THelpForm::Instance().LoadTables();
    }
};

class HelpPagesTest : public ::testing::TestWithParam<InterfaceLanguage> {};

TEST_P(HelpPagesTest, EveryLinkPictureContentsLineAndKeywordNamesAPageThatIsThere)
{
    LanguageScope language(GetParam());
    const QString folder =
        GetParam() == InterfaceLanguage::English ? QStringLiteral(":/help/en/") : QStringLiteral(":/help/");
    const QStringList pages = helpPages(folder);
    ASSERT_GE(pages.size(), 29);
    // The two languages describe the same windows and menus, page for page.
    EXPECT_EQ(pages, helpPages(QStringLiteral(":/help/en/")));
    const QRegularExpression reference(QStringLiteral("(?:href|src)=\"([^\"#]+)"));
    for (const QString& page : pages) {
        const QString text = readResource(folder + page);
        EXPECT_TRUE(text.contains(QStringLiteral("<h1>"))) << page.toStdString();
        // A page per window and per menu, each with a picture of it.
        EXPECT_TRUE(text.contains(QStringLiteral("<img src="))) << page.toStdString();
        for (auto match = reference.globalMatch(text); match.hasNext();) {
            const QString target = match.next().captured(1);
            EXPECT_TRUE(QFile::exists(folder + target)) << page.toStdString() << " -> " << target.toStdString();
        }
    }
    THelpForm& help = THelpForm::Instance();
    help.LoadTables();
    QStringList listed;
    for (QTreeWidgetItemIterator it(help.ContentsTree); *it; ++it)
        listed << (*it)->data(0, Qt::UserRole).toString();
    // Every page is in the contents, and the contents name no page that is missing.
    for (const QString& page : pages)
        EXPECT_TRUE(listed.contains(page)) << page.toStdString();
    for (const QString& page : listed)
        EXPECT_TRUE(pages.contains(page)) << page.toStdString();
    ASSERT_GT(help.IndexList->count(), 30);
    for (int i = 0; i < help.IndexList->count(); ++i)
        EXPECT_TRUE(pages.contains(help.IndexList->item(i)->data(Qt::UserRole).toString()))
            << help.IndexList->item(i)->text().toStdString();
    // The window opens the pages of its language.
    help.ShowPage(QStringLiteral("tools.html"));
    EXPECT_EQ(help.Browser->source().toString(), QStringLiteral("qrc") + folder + QStringLiteral("tools.html"));
    help.hide();
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, HelpPagesTest,
                         ::testing::Values(InterfaceLanguage::Chinese, InterfaceLanguage::English),
                         [](const ::testing::TestParamInfo<InterfaceLanguage>& info) {
                             return std::string(info.param == InterfaceLanguage::English ? "English" : "Chinese");
                         });

TEST(HelpFormTest, IndexFiltersByKeywordAndEnterShowsTheFirstPage)
{
    THelpForm& help = THelpForm::Instance();
    help.ShowIndex();
    help.IndexEdit->setText(QStringLiteral("%file"));
    int shown = 0;
    for (int i = 0; i < help.IndexList->count(); ++i)
        shown += help.IndexList->item(i)->isHidden() ? 0 : 1;
    EXPECT_EQ(shown, 1);
    emit help.IndexEdit->returnPressed();
    EXPECT_EQ(help.CurrentPage(), QStringLiteral("tools.html"));
    EXPECT_TRUE(help.Browser->toPlainText().contains(QStringLiteral("%FILE")));
    help.ShowPage(QStringLiteral("no-such-page.html"));
    EXPECT_EQ(help.CurrentPage(), QStringLiteral("index.html"));
    help.hide();
}

TEST(HelpFormTest, F1OpensThePageOfTheWindowWithTheFocus)
{
    TempConfig config;
    InstallHelpKey(*qApp);
    TExtendToolForm tools;
    tools.ShowError = [](QWidget*, int) {};
    tools.show();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QApplication::sendEvent(tools.CaptionEdit, &press);
    THelpForm& help = THelpForm::Instance();
    EXPECT_TRUE(help.isVisible());
    EXPECT_EQ(help.CurrentPage(), QStringLiteral("tools.html"));
    // A window with no page of its own gets the contents page.
    QWidget other;
    other.setObjectName(QStringLiteral("Unnamed"));
    EXPECT_EQ(HelpPageFor(&other), QStringLiteral("index.html"));
    // F1 with a modifier is not the help key.
    help.hide();
    QKeyEvent shifted(QEvent::KeyPress, Qt::Key_F1, Qt::ShiftModifier);
    QApplication::sendEvent(tools.CaptionEdit, &shifted);
    EXPECT_FALSE(help.isVisible());
    tools.reject();
}

} // namespace
