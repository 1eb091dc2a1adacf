// A registry file of any content either parses or is refused with a reason; what parses
// is written out and parses again to the same keys and values.
#include "platform/RegistryStore.h"
#include "platform/TextCodec.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// A text with a line break or NUL is stored as UTF-16: a NUL ends it, as the system reads
// a REG_SZ, and malformed UTF-8 comes back as U+FFFD.
std::string ExpectedText(const std::string& text)
{
    if (text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos)
        return text;
    std::string clean;
    for (size_t pos = 0; pos < text.size();)
        AppendUtf8(clean, NextUtf8(text, pos));
    return clean.substr(0, clean.find('\0'));
}

bool SameKeys(const std::vector<RegKey>& a, const std::vector<RegKey>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].path != b[i].path || a[i].values.size() != b[i].values.size())
            return false;
        for (size_t j = 0; j < a[i].values.size(); ++j) {
            const RegValue& x = a[i].values[j];
            const RegValue& y = b[i].values[j];
            if (x.name != y.name || x.type != y.type || x.dword != y.dword || x.binary != y.binary)
                return false;
            if (ExpectedText(x.text) != y.text)
                return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<RegKey> keys;
    std::string error;
    if (!RegistryStore::parse(text, keys, &error)) {
        if (error.empty())
            std::abort();
        return 0;
    }
    std::vector<RegKey> again;
    if (!RegistryStore::parse(RegistryStore::format(keys), again, &error) || !SameKeys(keys, again))
        std::abort();
    return 0;
}
