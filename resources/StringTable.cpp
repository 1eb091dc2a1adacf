#include "resources/StringTable.h"

#include <charconv>
#include <string_view>
#include <unordered_map>

namespace tamsel::detail {
extern const char* const kStringTableText;
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

std::unordered_map<int, std::string> parseTable()
{
    std::unordered_map<int, std::string> table;
    std::string_view rest(tamsel::detail::kStringTableText);
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

} // namespace

std::string LoadStr(int number)
{
    static const std::unordered_map<int, std::string> table = parseTable();
    const auto it = table.find(number);
    return it == table.end() ? std::string() : it->second;
}
