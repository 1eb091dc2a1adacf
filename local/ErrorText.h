#pragma once
#include <string>

// Message texts shared by every window and worker (UTF-8). No Qt: workers and
// command-line tools use them too.

/// String `number` (at most 255 characters of it) used as a format with one "%s",
/// `argument` substituted; the result is cut to 255 characters.
std::string FormatMessageId(int number, const std::string& argument);

/// The system's text for a Win32 error code, ending in a line break. For 1208, the
/// network provider's last error text without its final line break. For a code with no
/// text, the text saying that no message was found.
std::string SystemErrorText(int code);
