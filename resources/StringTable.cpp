#include "resources/StringTable.h"

#include <charconv>
#include <string_view>
#include <unordered_map>

namespace tamsel::detail {
extern const char* const kStringTableText;
extern const char* const kEnglishStringTableText;
extern const char* const kEnglishCaptionText;
}

namespace {

std::string unescape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[++i]) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        default: out += text[i]; break;
        }
    }
    return out;
}

std::unordered_map<int, std::string> parseTable(const char* text)
{
    std::unordered_map<int, std::string> table;
    std::string_view rest(text);
    while (!rest.empty()) {
        const size_t eol = rest.find('\n');
        std::string_view line = rest.substr(0, eol);
        rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
        const size_t tab = line.find('\t');
        if (line.empty() || line.front() == '#' || tab == std::string_view::npos)
            continue;
        int number = 0;
        auto [end, ec] = std::from_chars(line.data(), line.data() + tab, number);
        if (ec != std::errc() || end != line.data() + tab)
            continue;
        table.emplace(number, unescape(line.substr(tab + 1)));
    }
    return table;
}

// The caption table: the Chinese text, a tab, its English form.
std::unordered_map<std::string, std::string> parseCaptions(const char* text)
{
    std::unordered_map<std::string, std::string> table;
    std::string_view rest(text);
    while (!rest.empty()) {
        const size_t eol = rest.find('\n');
        std::string_view line = rest.substr(0, eol);
        rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
        const size_t tab = line.find('\t');
        if (line.empty() || line.front() == '#' || tab == std::string_view::npos)
            continue;
        table.emplace(unescape(line.substr(0, tab)), unescape(line.substr(tab + 1)));
    }
    return table;
}

InterfaceLanguage& currentLanguage()
{
    static InterfaceLanguage language = InterfaceLanguage::Chinese;
    return language;
}

} // namespace

std::string LoadStr(int number)
{
    static const std::unordered_map<int, std::string> chinese = parseTable(tamsel::detail::kStringTableText);
    static const std::unordered_map<int, std::string> english = parseTable(tamsel::detail::kEnglishStringTableText);
    if (currentLanguage() == InterfaceLanguage::English) {
        const auto it = english.find(number);
        if (it != english.end())
            return it->second;
    }
    const auto it = chinese.find(number);
    return it == chinese.end() ? std::string() : it->second;
}

const std::unordered_map<std::string, std::string>& EnglishCaptionTable()
{
    static const std::unordered_map<std::string, std::string> english = parseCaptions(tamsel::detail::kEnglishCaptionText);
    return english;
}

std::string UiCaption(const std::string& chinese)
{
    const std::unordered_map<std::string, std::string>& english = EnglishCaptionTable();
    if (currentLanguage() != InterfaceLanguage::English)
        return chinese;
    const auto it = english.find(chinese);
    return it == english.end() ? chinese : it->second;
}

std::string UiFormat(const std::string& chinese, std::initializer_list<std::string> arguments)
{
    const std::string pattern = UiCaption(chinese);
    std::string out;
    out.reserve(pattern.size());
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (pattern[i] == '%' && next >= '1' && next <= '9' && size_t(next - '1') < arguments.size()) {
            out += *(arguments.begin() + (next - '1'));
            ++i;
            continue;
        }
        out += pattern[i];
    }
    return out;
}

void SetInterfaceLanguage(InterfaceLanguage language)
{
    currentLanguage() = language;
}

InterfaceLanguage CurrentInterfaceLanguage()
{
    return currentLanguage();
}

InterfaceLanguage LanguageOfLocale(const char* lcAll, const char* lcMessages, const char* lang)
{
    // The first of these that is set and not empty decides, as for every program's messages.
    for (const char* value : {lcAll, lcMessages, lang}) {
        if (!value || !*value)
            continue;
        const std::string_view name(value);
        return name.size() >= 2 && (name[0] == 'e' || name[0] == 'E') && (name[1] == 'n' || name[1] == 'N')
                       && (name.size() == 2 || name[2] == '_' || name[2] == '.' || name[2] == '@')
                   ? InterfaceLanguage::English
                   : InterfaceLanguage::Chinese;
    }
    return InterfaceLanguage::Chinese;
}
