#include <gtest/gtest.h>

#include "ui/TIPEdit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

namespace {

// Key presses go where the control has put its focus, as a person's typing would.
void press(TIPEdit& edit, int key, const QString& text = QString())
{
    QWidget* target = edit.focusWidget();
    ASSERT_NE(target, nullptr);
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &up);
}

void type(TIPEdit& edit, const QString& text)
{
    for (QChar c : text) {
        const int key = c == QLatin1Char('.') ? int(Qt::Key_Period) : int(Qt::Key_0) + (c.unicode() - '0');
        press(edit, key, QString(c));
    }
}

QStringList fields(const TIPEdit& edit)
{
    QStringList result;
    for (int i = 0; i < 4; ++i)
        result << edit.field(i)->text();
    return result;
}

class TIPEditTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        edit.show();
        edit.field(0)->setFocus();
    }
    TIPEdit edit;
};

TEST_F(TIPEditTest, ValueIsTheFourFieldsMostSignificantFirst)
{
    edit.setValue(0xC0A80114u);
    EXPECT_EQ(fields(edit), (QStringList{"192", "168", "1", "20"}));
    EXPECT_EQ(edit.value(), 0xC0A80114u);
    edit.setValue(0xFFFFFFFFu);
    EXPECT_EQ(edit.value(), 0xFFFFFFFFu);
    edit.clear();
    EXPECT_TRUE(edit.isBlank());
    EXPECT_EQ(edit.value(), 0u);
}

TEST_F(TIPEditTest, TypedAddressMovesOnAtDotsAndAfterThreeDigits)
{
    type(edit, QStringLiteral("10.0.7.255"));
    EXPECT_EQ(fields(edit), (QStringList{"10", "0", "7", "255"}));
    EXPECT_EQ(edit.value(), 0x0A0007FFu);

    edit.clear();
    edit.field(0)->setFocus();
    // Three digits fill a field; the dot typed after it must not skip the next one.
    type(edit, QStringLiteral("192.168.1.2"));
    EXPECT_EQ(fields(edit), (QStringList{"192", "168", "1", "2"}));
}

TEST_F(TIPEditTest, NumbersAboveTheByteRangeAndLettersAreRefused)
{
    type(edit, QStringLiteral("300"));
    EXPECT_EQ(edit.field(0)->text(), QStringLiteral("255"));
    press(edit, Qt::Key_A, QStringLiteral("a"));
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(edit.field(i)->text().contains(QLatin1Char('a')));
    // An empty field counts 0, so a half-typed address still has a value.
    edit.clear();
    edit.field(1)->setText(QStringLiteral("5"));
    EXPECT_EQ(edit.value(), 0x00050000u);
}

TEST_F(TIPEditTest, BackspaceAtTheStartOfAFieldGoesBackToThePreviousOne)
{
    type(edit, QStringLiteral("12."));
    EXPECT_EQ(edit.focusWidget(), edit.field(1));
    press(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.focusWidget(), edit.field(0));
    press(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.field(0)->text(), QStringLiteral("1"));
}

} // namespace
