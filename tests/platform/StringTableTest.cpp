#include <gtest/gtest.h>

#include "resources/StringTable.h"

#include <cctype>
#include <string>
#include <vector>

TEST(StringTable, LoadsByNumberAndUnknownNumbersAreEmpty)
{
    EXPECT_EQ(LoadStr(100), "CHT");
    EXPECT_EQ(LoadStr(32002), "錯誤");
    EXPECT_EQ(LoadStr(1), "");
}

namespace {

// The format codes of a text in order: "%s", "%3d", "%1" and the like.
std::vector<std::string> formatCodes(const std::string& text)
{
    std::vector<std::string> codes;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '%')
            continue;
        size_t end = i + 1;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
            ++end;
        if (end < text.size() && (text[end] == 's' || text[end] == 'd'))
            ++end;
        if (end > i + 1)
            codes.push_back(text.substr(i, end - i));
        i = end - 1;
    }
    return codes;
}

class LanguageScope {
public:
    explicit LanguageScope(InterfaceLanguage language) { SetInterfaceLanguage(language); }
    ~LanguageScope() { SetInterfaceLanguage(InterfaceLanguage::Chinese); }
};

} // namespace

TEST(StringTable, EnglishTableAnswersWhereItHasATextAndChineseElsewhere)
{
    LanguageScope english(InterfaceLanguage::English);
    EXPECT_EQ(LoadStr(100), "EN");
    EXPECT_EQ(LoadStr(33072), "Duplicate tool name");
    EXPECT_EQ(LoadStr(33099), "Error while loading the options\r\n");
    // The provider's name is the same in every language.
    EXPECT_EQ(LoadStr(33016), "Microsoft Windows Network");
    EXPECT_EQ(UiCaption("檔案(&F)"), "&File");
    EXPECT_EQ(UiCaption("沒有這個標題"), "沒有這個標題");
    SetInterfaceLanguage(InterfaceLanguage::Chinese);
    EXPECT_EQ(LoadStr(33072), "重複的工具名稱");
    EXPECT_EQ(UiCaption("檔案(&F)"), "檔案(&F)");
}

TEST(StringTable, EveryEnglishTextHasTheFormatCodesOfItsChineseOne)
{
    int compared = 0;
    for (int number = 0; number < 50000; ++number) {
        SetInterfaceLanguage(InterfaceLanguage::Chinese);
        const std::string chinese = LoadStr(number);
        if (chinese.empty())
            continue;
        LanguageScope english(InterfaceLanguage::English);
        const std::string translated = LoadStr(number);
        EXPECT_FALSE(translated.empty()) << number;
        EXPECT_EQ(formatCodes(translated), formatCodes(chinese)) << number;
        // Texts that end a first line keep their line break, as callers append to them.
        EXPECT_EQ(translated.size() >= 2 && translated.substr(translated.size() - 2) == "\r\n",
                  chinese.size() >= 2 && chinese.substr(chinese.size() - 2) == "\r\n")
            << number;
        ++compared;
    }
    EXPECT_GT(compared, 150);
}

TEST(StringTable, LocaleChoosesEnglishOnlyForEnglishNames)
{
    EXPECT_EQ(LanguageOfLocale(nullptr, nullptr, "en_US.UTF-8"), InterfaceLanguage::English);
    EXPECT_EQ(LanguageOfLocale(nullptr, "en", "zh_TW.UTF-8"), InterfaceLanguage::English);
    EXPECT_EQ(LanguageOfLocale("zh_TW.UTF-8", "en_GB", "en_GB"), InterfaceLanguage::Chinese);
    EXPECT_EQ(LanguageOfLocale("", "", "en@quot"), InterfaceLanguage::English);
    EXPECT_EQ(LanguageOfLocale(nullptr, nullptr, "eng"), InterfaceLanguage::Chinese);
    EXPECT_EQ(LanguageOfLocale(nullptr, nullptr, "C.UTF-8"), InterfaceLanguage::Chinese);
    EXPECT_EQ(LanguageOfLocale(nullptr, nullptr, nullptr), InterfaceLanguage::Chinese);
}
