#include "local/ErrorText.h"

#include "platform/TextCodec.h"
#include "platform/Win32Error.h"
#include "resources/StringTable.h"

namespace {

constexpr size_t kMessageLimit = 255;       // characters of a formatted message
constexpr size_t kSystemTextLimit = 1023;   // characters of a system error text

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
    // For a code without a text the platform answers with the text saying that no message
    // was found for it, as the system's own lookup does.
    const std::string text = Win32MessageText(code);
    return Utf8Left(text, kSystemTextLimit);
}
