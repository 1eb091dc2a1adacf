#pragma once
// Conversions between code pages chosen at run time (the LAN's OEM code page can be set),
// through the system's converters. CP950 itself has its own tables (TextCodec.h).
#include <optional>
#include <string>
#include <string_view>

/// `text` converted from the code page `from` to `to`; nothing when the system has no such
/// converter or `text` does not convert whole.
std::optional<std::string> ConvertCodePage(std::string_view text, const char* from, const char* to);
