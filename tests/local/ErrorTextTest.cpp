#include <gtest/gtest.h>

#include "local/ErrorText.h"
#include "platform/TextCodec.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"

TEST(FormatMessageId, SubstitutesTheArgument)
{
    EXPECT_EQ(FormatMessageId(33006, "12"), "12 項目");
    EXPECT_EQ(FormatMessageId(33094, "a.exe"), "執行 a.exe 時發生錯誤\r\n");
    // A text without a placeholder comes back whole; an unknown number gives nothing.
    EXPECT_EQ(FormatMessageId(33099, "x"), LoadStr(33099));
    EXPECT_EQ(FormatMessageId(1, "x"), "");
}

TEST(FormatMessageId, ResultIsCutTo255Characters)
{
    const std::string argument(300, 'a');
    const std::string text = FormatMessageId(33120, argument);
    EXPECT_EQ(Utf8Length(text), 255u);
    EXPECT_EQ(text.rfind("共", 0), 0u);

    // Characters, not bytes: a cut never splits a Han character.
    std::string han;
    for (int i = 0; i < 300; ++i)
        han += "檔";
    const std::string cut = FormatMessageId(33006, han);
    EXPECT_EQ(Utf8Length(cut), 255u);
    EXPECT_EQ(cut.size(), 255u * 3);
}

TEST(SystemErrorText, SystemCodesEndWithALineBreak)
{
    bool found = false;
    const std::string expected = Win32MessageText(Win32::FileNotFound, &found);
    ASSERT_TRUE(found);
    const std::string text = SystemErrorText(Win32::FileNotFound);
    EXPECT_EQ(text, expected);
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST(SystemErrorText, UnknownCodeGivesTheNoMessageText)
{
    const std::string text = SystemErrorText(987654);
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_NE(text, SystemErrorText(Win32::FileNotFound));
}

TEST(SystemErrorText, ExtendedErrorGivesTheProviderTextWithoutItsLineBreak)
{
    SetNetworkProviderError(1326, "登入失敗: 使用者名稱或密碼錯誤。\r\n");
    EXPECT_EQ(SystemErrorText(Win32::ExtendedError), "登入失敗: 使用者名稱或密碼錯誤。");
    SetNetworkProviderError(53, "找不到網路路徑");
    EXPECT_EQ(SystemErrorText(Win32::ExtendedError), "找不到網路路徑");
    // A bare line feed goes without taking the last letter with it.
    SetNetworkProviderError(53, "abc\n");
    EXPECT_EQ(SystemErrorText(Win32::ExtendedError), "abc");
    SetNetworkProviderError(0, "");
    EXPECT_EQ(SystemErrorText(Win32::ExtendedError), "");
}
