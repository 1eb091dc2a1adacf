#include "tools/net/NetCli.h"

#include "resources/StringTable.h"
#include "tools/JsonLine.h"

#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace netcli {

NetArgs::NetArgs(const std::vector<std::string>& words, const std::set<std::string>& valueOptions,
                 const std::set<std::string>& flags)
{
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.size() > 2 && word.compare(0, 2, "--") == 0) {
            if (valueOptions.count(word)) {
                if (i + 1 >= words.size())
                    throw CommandError{87, UiFormat("%1 需要一個值", {word}), true};
                m_values[word] = words[++i];
                m_allValues[word].push_back(m_values[word]);
            } else if (flags.count(word)) {
                m_flags.insert(word);
            } else {
                throw CommandError{87, UiFormat("不認識的選項 %1", {word}), true};
            }
        } else {
            m_positional.push_back(word);
        }
    }
}

bool NetArgs::has(const std::string& option) const
{
    return m_flags.count(option) || m_values.count(option);
}

std::string NetArgs::value(const std::string& option, const std::string& fallback) const
{
    auto it = m_values.find(option);
    return it == m_values.end() ? fallback : it->second;
}

std::vector<std::string> NetArgs::values(const std::string& option) const
{
    auto it = m_allValues.find(option);
    return it == m_allValues.end() ? std::vector<std::string>{} : it->second;
}

long long NetArgs::number(const std::string& option, long long fallback, long long min, long long max) const
{
    auto it = m_values.find(option);
    if (it == m_values.end())
        return fallback;
    size_t used = 0;
    long long value = 0;
    try {
        value = std::stoll(it->second, &used);
    } catch (...) {
        used = 0;
    }
    if (used == 0 || used != it->second.size() || value < min || value > max)
        throw CommandError{87, UiFormat("%1 需要 %2 到 %3 的整數", {option, std::to_string(min), std::to_string(max)}), true};
    return value;
}

void NetArgs::expect(size_t min, size_t max, const std::string& synopsis) const
{
    if (m_positional.size() < min || m_positional.size() > max)
        throw CommandError{87, UsageText(synopsis), true};
}

std::string UsageText(const std::string& synopsis)
{
    return UiFormat("用法: %1", {UiCaption(synopsis)});
}

int report(const CommandError& error)
{
    JsonObject().number("error", error.code).text("message", error.message).print(stderr);
    return error.usage ? ExitUsage : ExitFailed;
}

void bufferResults()
{
    if (isatty(STDOUT_FILENO))
        return;
    static char buffer[1 << 20];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
}

std::string readPasswordFromStdin()
{
    std::string line;
    std::getline(std::cin, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

} // namespace netcli
