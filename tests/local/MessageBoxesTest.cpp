#include <gtest/gtest.h>

#include "local/MessageBoxes.h"
#include "local/TProcessForm.h"
#include "resources/StringTable.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

namespace {

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool onTop = false;
    Qt::TextFormat format = Qt::AutoText;
};

// Answers the next modal box with `answer` once it is up, recording what it showed.
void answerNextBox(SeenBox& seen, QMessageBox::StandardButton answer)
{
    QTimer::singleShot(0, [&seen, answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        seen.onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        seen.format = box->textFormat();
        box->button(answer)->click();
    });
}

} // namespace

TEST(MessageBoxes, QuestionAsksYesOrNo)
{
    SeenBox seen;
    answerNextBox(seen, QMessageBox::Yes);
    EXPECT_EQ(ShowMessageId(nullptr, 33102, MsgQuestion), IdYes);
    EXPECT_EQ(seen.title, QStringLiteral("詢問"));
    EXPECT_EQ(seen.text, QString::fromStdString(LoadStr(33102)));
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(seen.onTop);

    answerNextBox(seen, QMessageBox::No);
    EXPECT_EQ(ShowMessageId(nullptr, 33102, MsgQuestion), IdNo);
}

TEST(MessageBoxes, ErrorAndInformationHaveOneOkButton)
{
    SeenBox seen;
    answerNextBox(seen, QMessageBox::Ok);
    EXPECT_EQ(ShowMessageText(nullptr, QStringLiteral("壞了"), MsgError), IdOk);
    EXPECT_EQ(seen.title, QStringLiteral("錯誤"));
    // A name from a server is shown as the text it is, never as markup.
    EXPECT_EQ(seen.format, Qt::PlainText);
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);
    EXPECT_TRUE(seen.onTop);

    answerNextBox(seen, QMessageBox::Ok);
    EXPECT_EQ(ShowMessageId(nullptr, 33058, MsgInformation), IdOk);
    EXPECT_EQ(seen.title, QStringLiteral("資訊"));
    EXPECT_EQ(seen.text, QStringLiteral("此版不支援"));
    EXPECT_EQ(seen.icon, QMessageBox::Information);
}

TEST(TProcessForm, AnimationRunsOnlyWhileShown)
{
    TProcessForm form;
    form.setWindowTitle(QStringLiteral("複製"));
    form.setAnimation(TProcessForm::AnimationCopyFiles);
    form.setText(QStringLiteral("請稍待"));
    EXPECT_FALSE(form.animationRunning());
    form.show();
    EXPECT_TRUE(form.animationRunning());
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    form.close();
    EXPECT_FALSE(form.animationRunning());
}
