// Any bytes decode, and their text encodes and decodes back to itself; any text read as
// UTF-8 survives an encode/decode round trip; a cut never splits a character.
#include "platform/TextCodec.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string text = DecodeCP950(bytes);
    if (DecodeCP950(EncodeCP950(text)) != text)
        std::abort();

    // The input as UTF-8 text: malformed sequences become U+FFFD first.
    std::string clean;
    for (size_t pos = 0; pos < bytes.size();)
        AppendUtf8(clean, NextUtf8(bytes, pos));
    const std::string encoded = EncodeCP950(clean);
    if (DecodeCP950(encoded) != clean)
        std::abort();

    const size_t cut = CP950CutLength(encoded, size / 2);
    if (cut > size / 2 || DecodeCP950(encoded.substr(0, cut)) != Utf8Left(clean, Utf8Length(DecodeCP950(encoded.substr(0, cut)))))
        std::abort();
    return 0;
}
