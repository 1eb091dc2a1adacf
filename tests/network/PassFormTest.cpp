// The password prompt offscreen: what the caller set is shown, what the user typed comes
// back only on "確定", and the dialog sits above the cursor without leaving the screen.
#include "network/TPassForm.h"

#include "store/DialogDriver.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCursor>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString Share = QStringLiteral("\\\\SERVER\\共用\\");

TEST(PassForm, ShowsTheCallersValuesAndReturnsTheTypedOnesOnOk)
{
    TPassForm form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("密碼"));
    EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
    form.setUserName(QStringLiteral("alice"));
    form.setPassword(QStringLiteral("old;pw"));
    ModalDriver<TPassForm> driver([](TPassForm& shown) {
        EXPECT_EQ(shown.ComputerEdit->text(), Share);
        EXPECT_EQ(shown.UserNameEdit->text(), QStringLiteral("alice"));
        EXPECT_EQ(shown.PasswordEdit->text(), QStringLiteral("old;pw"));
        EXPECT_EQ(shown.PasswordEdit->echoMode(), QLineEdit::Password);
        EXPECT_FALSE(shown.RecordCheckBox->isChecked());
        shown.ComputerEdit->selectAll();
        typeInto(shown.ComputerEdit, QStringLiteral("\\\\SERVER\\另一個\\"));
        shown.UserNameEdit->selectAll();
        typeInto(shown.UserNameEdit, QStringLiteral("使用者甲"));
        shown.PasswordEdit->selectAll();
        typeInto(shown.PasswordEdit, QStringLiteral("新;密碼"));
        shown.RecordCheckBox->setChecked(true);
        shown.BitBtn1->click();
    });
    EXPECT_TRUE(form.showFor(Share));
    EXPECT_TRUE(driver.opened());
    EXPECT_TRUE(form.confirmed());
    EXPECT_TRUE(form.remember());
    EXPECT_EQ(form.location(), QStringLiteral("\\\\SERVER\\另一個\\"));
    EXPECT_EQ(form.userName(), QStringLiteral("使用者甲"));
    EXPECT_EQ(form.password(), QStringLiteral("新;密碼"));
    EXPECT_FALSE(form.isVisible());
}

TEST(PassForm, CancelAndEscapeKeepTheTextsButReadTheCheckBox)
{
    TPassForm form;
    form.setUserName(QStringLiteral("bob"));
    form.setPassword(QStringLiteral("pw"));
    {
        ModalDriver<TPassForm> driver([](TPassForm& shown) { shown.BitBtn1->click(); });
        ASSERT_TRUE(form.showFor(Share));
    }
    // A second showing starts unconfirmed again and "放棄" changes none of the texts.
    ModalDriver<TPassForm> cancel([](TPassForm& shown) {
        shown.UserNameEdit->selectAll();
        typeInto(shown.UserNameEdit, QStringLiteral("typed"));
        shown.ComputerEdit->clear();
        shown.RecordCheckBox->setChecked(true);
        shown.BitBtn2->click();
    });
    EXPECT_FALSE(form.showFor(QStringLiteral("\\\\OTHER")));
    EXPECT_TRUE(cancel.opened());
    EXPECT_FALSE(form.confirmed());
    EXPECT_TRUE(form.remember());
    EXPECT_EQ(form.userName(), QStringLiteral("bob"));
    EXPECT_EQ(form.password(), QStringLiteral("pw"));
    EXPECT_EQ(form.location(), Share);

    ModalDriver<TPassForm> escape([](TPassForm& shown) {
        shown.RecordCheckBox->setChecked(false);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(shown.UserNameEdit, &press);
        EXPECT_FALSE(shown.isVisible());
    });
    form.setRemember(true);
    EXPECT_FALSE(form.showFor(Share));
    EXPECT_TRUE(escape.opened());
    EXPECT_FALSE(form.confirmed());
    EXPECT_FALSE(form.remember());
}

TEST(PassForm, SitsCentredAboveTheCursorAndStaysOnTheScreen)
{
    struct Case {
        QPoint cursor;
        bool clampX, clampY;
    };
    for (const Case& c : {Case{{600, 500}, false, false}, Case{{3, 5}, true, true}, Case{{700, 8}, false, true},
                          Case{{4, 400}, true, false}}) {
        QCursor::setPos(c.cursor);
        ASSERT_EQ(QCursor::pos(), c.cursor);
        TPassForm form;
        QPoint shownAt;
        QSize size;
        ModalDriver<TPassForm> driver([&](TPassForm& shown) {
            shownAt = shown.frameGeometry().topLeft();
            size = shown.frameGeometry().size();
        });
        form.showFor(Share);
        ASSERT_TRUE(driver.opened());
        ASSERT_GT(size.width(), 0);
        EXPECT_EQ(shownAt.x(), c.clampX ? 0 : c.cursor.x() - size.width() / 2) << c.cursor.x();
        EXPECT_EQ(shownAt.y(), c.clampY ? 0 : c.cursor.y() - size.height() - 20) << c.cursor.y();
    }
}

} // namespace
