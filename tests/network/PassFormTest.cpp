// The password prompt offscreen: what the caller set is shown, what the user typed comes
// back only on "確定", and the dialog sits over the window the user works in.
#include "network/TPassForm.h"

#include "store/DialogDriver.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QMainWindow>
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

// The prompt comes where the user looks: over the main window even when a task window that
// may be hidden asked, over the dialog that opened it, and never off the screen.
TEST(PassForm, OpensOverTheMainWindowOrTheDialogThatAsked)
{
    QMainWindow main;
    main.setGeometry(200, 150, 700, 500);
    main.show();
    QWidget taskWindow(&main, Qt::Window);  // hidden, as a task window with auto-hide is
    const auto shownCentre = [](TPassForm& form) {
        QPoint centre;
        ModalDriver<TPassForm> driver([&](TPassForm& shown) { centre = shown.frameGeometry().center(); });
        form.showFor(Share);
        EXPECT_TRUE(driver.opened());
        return centre;
    };
    const auto near = [](QPoint a, QPoint b) { return (a - b).manhattanLength() <= 2; };
    {
        TPassForm form(&taskWindow);
        const QPoint centre = shownCentre(form);
        EXPECT_TRUE(near(centre, main.frameGeometry().center())) << centre.x() << "," << centre.y();
    }
    {
        QDialog manager(&main);
        manager.setGeometry(360, 300, 300, 260);
        manager.show();
        TPassForm form(&manager);
        const QPoint centre = shownCentre(form);
        EXPECT_TRUE(near(centre, manager.frameGeometry().center())) << centre.x() << "," << centre.y();
    }

    // Centred over its owner, pushed back inside the screen's free area at every edge.
    const QRect screen(0, 0, 1024, 768);
    const QSize size(300, 200);
    EXPECT_EQ(TPassForm::placementFor(QRect(100, 100, 600, 400), size, screen), QPoint(249, 199));
    EXPECT_EQ(TPassForm::placementFor(QRect(-500, -400, 300, 200), size, screen), QPoint(0, 0));
    EXPECT_EQ(TPassForm::placementFor(QRect(900, 700, 400, 300), size, screen), QPoint(724, 568));
    EXPECT_EQ(TPassForm::placementFor(QRect(), size, screen), QPoint(361, 283));
    EXPECT_EQ(TPassForm::placementFor(QRect(), size, QRect(1024, 0, 800, 600)), QPoint(1273, 199));
}

// Which location asks and why stands above the edits, and each edit's caption names what
// it holds.
TEST(PassForm, SaysWhichShareAskedAndWhy)
{
    TPassForm form;
    EXPECT_EQ(form.Label2->text(), QStringLiteral("位置"));
    EXPECT_EQ(form.Label3->text(), QStringLiteral("使用者名稱"));
    EXPECT_EQ(TPassForm::reasonText(QStringLiteral("\\\\SERVER\\SHARE\\"), QStringLiteral("伺服器拒絕了目前的登入。")),
              QStringLiteral("\\\\SERVER\\SHARE 需要密碼才能連線：伺服器拒絕了目前的登入。"));
    form.setReason(TPassForm::reasonText(Share, QStringLiteral("伺服器拒絕了目前的登入。")));
    ModalDriver<TPassForm> driver([](TPassForm& shown) {
        EXPECT_TRUE(shown.ReasonLabel->isVisible());
        EXPECT_EQ(shown.ReasonLabel->text(), QStringLiteral("\\\\SERVER\\共用 需要密碼才能連線：伺服器拒絕了目前的登入。"));
        // The sentence is read before the edits.
        EXPECT_LT(shown.ReasonLabel->geometry().bottom(), shown.ComputerEdit->geometry().top());
    });
    form.showFor(Share);
    EXPECT_TRUE(driver.opened());
    TPassForm plain;
    EXPECT_TRUE(plain.ReasonLabel->isHidden());
}

} // namespace
