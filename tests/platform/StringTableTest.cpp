#include <gtest/gtest.h>

#include "resources/StringTable.h"

#include <algorithm>
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

// English word order may move a value, but every value keeps its place in the sentence.
TEST(StringTable, EveryEnglishCaptionHasThePlacesOfItsChineseOne)
{
    for (const auto& [chinese, english] : EnglishCaptionTable()) {
        std::vector<std::string> wanted = formatCodes(chinese);
        std::vector<std::string> given = formatCodes(english);
        std::sort(wanted.begin(), wanted.end());
        std::sort(given.begin(), given.end());
        EXPECT_EQ(given, wanted) << chinese;
        EXPECT_FALSE(english.empty()) << chinese;
        const auto endsInBreak = [](const std::string& text) {
            return text.size() >= 2 && text.substr(text.size() - 2) == "\r\n";
        };
        EXPECT_EQ(endsInBreak(english), endsInBreak(chinese)) << chinese;
    }
    EXPECT_GT(EnglishCaptionTable().size(), 500u);
}

TEST(StringTable, FormattedCaptionsFillTheirPlacesInEitherLanguage)
{
    LanguageScope english(InterfaceLanguage::English);
    EXPECT_EQ(UiFormat("快取檔 %1 已損壞：第 %2 行", {"C:\\a.idx", "7"}), "The cache file C:\\a.idx is damaged: line 7");
    // English puts the share before the computer.
    EXPECT_EQ(UiFormat("%1 的分享 %2 拒絕存取：%3",
                       {"PC1", "music", "denied"}), "The share music of PC1 refused access: denied");
    // A value that holds a place of its own is not filled again; a place without a value stays.
    EXPECT_EQ(UiFormat("%1 失敗：%2", {"%2", "x"}), "%2 failed: x");
    EXPECT_EQ(UiFormat("第 %1 行：%2", {"3"}), "line 3: %2");
    EXPECT_EQ(UiFormat("沒有這個句子 %1", {"v"}), "沒有這個句子 v");
    SetInterfaceLanguage(InterfaceLanguage::Chinese);
    EXPECT_EQ(UiFormat("快取檔 %1 已損壞：第 %2 行", {"C:\\a.idx", "7"}), "快取檔 C:\\a.idx 已損壞：第 7 行");
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
