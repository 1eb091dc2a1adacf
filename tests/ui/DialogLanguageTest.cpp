// Qt's own dialogs and texts in the interface language: its catalogue, the clock of the task
// list, the font the font dialog starts at.
#include "app/Application.h"
#include "ui/Fonts.h"
#include "ui/TimeText.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <memory>

namespace {

QString buttonText(QDialogButtonBox::StandardButton which)
{
    QDialogButtonBox box(which);
    return box.button(which)->text();
}

QStringList menuTexts(QLineEdit& edit)
{
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList texts;
    for (QAction* action : menu->actions())
        texts << action->text();
    return texts;
}

TEST(QtCatalogue, StandardButtonsAndTextMenusFollowTheInterfaceLanguage)
{
    ASSERT_TRUE(InstallQtTranslations(*QCoreApplication::instance(), InterfaceLanguage::Chinese))
        << "qtbase_zh_TW.qm is not installed";
    EXPECT_EQ(buttonText(QDialogButtonBox::Cancel), QStringLiteral("取消"));
    EXPECT_EQ(buttonText(QDialogButtonBox::Yes), QStringLiteral("是(&Y)"));
    QLineEdit edit;
    const QString chineseMenu = menuTexts(edit).join(u'|');
    EXPECT_TRUE(chineseMenu.contains(QStringLiteral("複製"))) << chineseMenu.toStdString();

    // Switching back drops the catalogue instead of stacking a second one.
    ASSERT_TRUE(InstallQtTranslations(*QCoreApplication::instance(), InterfaceLanguage::English));
    EXPECT_EQ(buttonText(QDialogButtonBox::Cancel), QStringLiteral("Cancel"));
    EXPECT_FALSE(menuTexts(edit).join(u'|').contains(QStringLiteral("複製")));
}

// The standard dialogs as a user meets them: the buttons and the file dialog's own labels in
// Chinese. With TAMSEL_SHOT_DIR set, their pictures are saved there to be looked at.
TEST(QtCatalogue, StandardDialogsSpeakChinese)
{
    ASSERT_TRUE(InstallQtTranslations(*QCoreApplication::instance(), InterfaceLanguage::Chinese));
    const QString shots = qEnvironmentVariable("TAMSEL_SHOT_DIR");

    QMessageBox box(QMessageBox::Question, QStringLiteral("詢問"), QStringLiteral("確定要刪除?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    box.show();
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("是(&Y)"));
    EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("否(&N)"));
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("取消"));
    if (!shots.isEmpty())
        box.grab().save(shots + QStringLiteral("/messagebox.png"));

    QFileDialog files(nullptr, QStringLiteral("開啟"), QDir::tempPath());
    files.setOption(QFileDialog::DontUseNativeDialog);
    files.resize(640, 420);
    files.show();
    QStringList labels;
    for (const QLabel* label : files.findChildren<QLabel*>())
        labels << label->text();
    for (const QPushButton* button : files.findChildren<QPushButton*>())
        labels << button->text();
    const QString shown = labels.join(u'|');
    EXPECT_FALSE(shown.contains(QStringLiteral("Cancel"))) << shown.toStdString();
    EXPECT_FALSE(shown.contains(QStringLiteral("File name"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("取消"))) << shown.toStdString();
    if (!shots.isEmpty())
        files.grab().save(shots + QStringLiteral("/filedialog.png"));
    InstallQtTranslations(*QCoreApplication::instance(), InterfaceLanguage::English);
}

TEST(TimeOfDay, TaiwanShowsItsDayPeriodNotAPatternLetter)
{
    const QLocale taiwan(QLocale::Chinese, QLocale::TraditionalHanScript, QLocale::Taiwan);
    EXPECT_EQ(TimeOfDayText(taiwan, QTime(15, 35, 57)), QStringLiteral("下午3:35:57"));
    EXPECT_EQ(TimeOfDayText(taiwan, QTime(9, 5, 7)), QStringLiteral("上午9:05:07"));
    EXPECT_EQ(TimeOfDayText(QLocale(QLocale::German, QLocale::Germany), QTime(15, 35, 57)), QStringLiteral("15:35:57"));
    EXPECT_EQ(TimeOfDayText(QLocale(QLocale::English, QLocale::UnitedStates), QTime(15, 35, 57)),
              QStringLiteral("3:35:57 PM"));
}

TEST(TimeOfDay, NoLocaleLeaksALetterOfItsPattern)
{
    const QTime time(15, 35, 57);
    for (const QLocale& locale :
         QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
        const QString text = TimeOfDayText(locale, time);
        // What may hold Latin letters is the locale's own word for the afternoon.
        QString rest = text;
        rest.remove(locale.pmText(), Qt::CaseInsensitive);
        // Words the locale quotes in its pattern ("AP 'ga' h:mm:ss") are its own text too.
        const QStringList parts = TimeOfDayFormat(locale).split(u'\'');
        QStringList quoted;
        for (qsizetype k = 1; k < parts.size(); k += 2)
            quoted << parts[k];
        std::sort(quoted.begin(), quoted.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
        for (const QString& word : quoted)
            rest.remove(word);
        for (QChar c : rest)
            EXPECT_FALSE((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))
                << locale.name().toStdString() << ": \"" << text.toStdString() << "\" from \""
                << locale.timeFormat(QLocale::LongFormat).toStdString() << "\"";
        EXPECT_TRUE(text.contains(locale.toString(time, QStringLiteral("mm"))))
            << locale.name().toStdString() << ": " << text.toStdString();
    }
}

TEST(FontDialogStart, IsTheInstalledFamilyTheSettingsNameIsDrawnWith)
{
    InstallFontSubstitutions();
    const QFont start = InstalledFont(SettingsFont("MS Sans Serif", 11));
    EXPECT_NE(start.family(), QStringLiteral("MS Sans Serif"));
    EXPECT_TRUE(QFontDatabase::families().contains(start.family())) << start.family().toStdString();
    EXPECT_EQ(start.pointSize(), 11);
    // A family that is installed stays itself.
    EXPECT_EQ(InstalledFont(SettingsFont("DejaVu Serif", 9)).family(), QStringLiteral("DejaVu Serif"));
}

} // namespace
