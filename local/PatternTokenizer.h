#pragma once
#include <string>
#include <string_view>
#include <vector>

// Splits one line of text into fields by a short pattern of field codes, each followed by
// the delimiter that ends the field in the text (the FTP window splits remote listing lines
// with it). Positions count characters, not bytes, so double-width names split where a
// person sees the columns.
//
// Codes: "S" text, "N" number, "M" money (commas dropped), each ended by a run of n copies
// of the delimiter written after the code; "DDDD" a fixed-width field of digits and "CDDD"
// a fixed-width text field, each followed by one delimiter character that is skipped in
// the text as often as it repeats there.

/// The pattern of a Unix-style FTP listing line: eight fields ended by blanks, a ninth ended
/// only by five or more blanks (a file name keeps its single blanks), the rest last.
inline constexpr const char* kFtpListingPattern = "S S S S S S S S S     S";

/// Appends the fields of `text` (UTF-8) to `list`. Raises Exception with string 20050 (not a
/// number), 20051 (not money) or 20052 (bad pattern); the fields found before the error stay
/// in `list`.
void SplitByPattern(const std::string& text, const std::string& pattern, std::vector<std::string>& list);
/// SplitByPattern of a `text` of plain ASCII, the fields appended as views of `text` (no
/// copies: a listing splits thousands of lines). False, appending nothing, for a text or
/// pattern that is not plain ASCII or a pattern with money fields; raises as SplitByPattern.
bool SplitAsciiByPattern(std::string_view text, std::string_view pattern, std::vector<std::string_view>& list);

/// True for a non-empty text of an optional leading sign and then only digits and points, in
/// any number and order (a lone sign and "1.2.3" pass: callers only need to reject letters).
bool IsNumberText(const std::string& field);
