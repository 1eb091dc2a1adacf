#include "local/ErrorText.h"

#include "platform/TextCodec.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"

#include <cstdio>

namespace {

constexpr size_t kMessageLimit = 255;       // characters of a formatted message
constexpr size_t kSystemTextLimit = 1023;   // characters of a system error text
constexpr int kMessageNotFound = 317;       // the code a failed text lookup reports

} // namespace

std::string FormatMessageId(int number, const std::string& argument)
{
    const std::string format = Utf8Left(LoadStr(number), kMessageLimit);
    std::string out;
    bool substituted = false;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            if (format[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (format[i + 1] == 's' && !substituted) {
                out += argument;
                substituted = true;
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return Utf8Left(out, kMessageLimit);
}

std::string SystemErrorText(int code)
{
    if (code == Win32::ExtendedError) {
        std::string text = Utf8Left(NetworkProviderErrorText(), kMessageLimit);
        // The provider ends its text with a line break, which callers add themselves. Only
        // control characters go: a text ending in a bare "\n" keeps its last letter.
        for (int i = 0; i < 2 && !text.empty() && static_cast<unsigned char>(text.back()) < 32; ++i)
            text.pop_back();
        return text;
    }
    bool found = false;
    std::string text = Win32MessageText(code, &found);
    if (!found) {
        text = Win32MessageText(kMessageNotFound, &found);
        if (!found) {
            char buffer[96];
            std::snprintf(buffer, sizeof buffer, "系統找不到訊息號碼 0x%X 的訊息文字。\r\n",
                          static_cast<unsigned>(code));
            text = buffer;
        }
    }
    return Utf8Left(text, kSystemTextLimit);
}
