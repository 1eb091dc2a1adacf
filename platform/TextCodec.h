#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// Texts are UTF-8 in memory and CP950 (the Microsoft table) on disk.
//
// The table is glibc's "CP950" converter read once into a lookup table, plus the
// user-defined ranges, which it leaves out, mapped to the private use area as the system
// maps them:
//   FA40-FEFE -> U+E000-U+E310,  8E40-A0FE -> U+E311-U+EEB7,  8140-8DFE -> U+EEB8-U+F6B0
// (C6A1-C8FE -> U+F6B1-U+F848 already comes from the converter). A single 0x80 is U+0080.
// Where two byte pairs decode to one character (A2CC and A451 are both U+5341), encoding
// gives the pair the converter chooses.
//
// Two reversible rules make every name survive a round trip in both directions:
//
// * A character CP950 cannot hold is written as an escape introduced by 0xFF, a byte no
//   CP950 text contains:  FF h h h h  for a character of the basic plane, and
//   FF '+' h h h h h h  for any other, with upper-case hexadecimal digits. An escape is
//   read back only when it names a character that needs one, so it never swallows text.
//   The payload is plain ASCII: no NUL, no backslash, unchanged by upper-casing.
//
// * A byte that is not valid CP950 (a lead byte without a valid trail byte, including one
//   cut off at the end of a field, or a lone 0xFF) decodes to U+F880 + (byte - 0x80), a
//   private use character the table does not use. Encoding such a character gives the
//   byte back, unless the byte would then join its neighbours into another character; in
//   that case the character is escaped instead.
//
// Malformed UTF-8 in memory is encoded as an escaped U+FFFD per bad byte.

/// CP950 bytes to UTF-8. Never fails; invalid bytes are kept reversibly (see above).
std::string DecodeCP950(std::string_view bytes);
/// DecodeCP950 appended to `out`, whose room is reused: a search decodes a name per hit.
void AppendDecodedCP950(std::string& out, std::string_view bytes);

/// Whether every byte is ASCII: then the text is the same in CP950 and in UTF-8.
bool IsAscii(std::string_view bytes);

/// UTF-8 to CP950 bytes. Never fails; characters outside CP950 are escaped reversibly.
std::string EncodeCP950(std::string_view utf8);

/// CP950 bytes of `utf8` cut to at most `maxBytes` bytes, never splitting a double-byte
/// character or an escape. Used for fixed-width fields (maxBytes = width - 1).
std::string EncodeCP950Cut(std::string_view utf8, size_t maxBytes);

/// Length in bytes of the longest prefix of the CP950 `bytes` that ends on a character
/// boundary and is at most `maxBytes` long.
size_t CP950CutLength(std::string_view bytes, size_t maxBytes);

/// True when `codePoint` has a CP950 code of its own (no escape needed).
bool IsCP950Char(char32_t codePoint);

/// Reads a NUL-terminated CP950 text from a fixed field of `width` bytes (no NUL: the
/// whole field) and decodes it.
std::string ReadTextField(const unsigned char* field, size_t width);

/// Writes `utf8` into a fixed field of `width` bytes: CP950, cut to width - 1 bytes on a
/// character boundary, NUL-padded to the end of the field.
void WriteTextField(unsigned char* field, size_t width, std::string_view utf8);

/// Upper-cases ASCII letters only, as the stored formats compare names. For UTF-8 text:
/// CP950 trail bytes can be ASCII letters, so never apply it to encoded bytes.
std::string UpperAscii(std::string_view text);

/// Number of Unicode characters in a UTF-8 text, and its first `count` characters.
size_t Utf8Length(std::string_view utf8);
std::string Utf8Left(std::string_view utf8, size_t count);

/// Decodes one UTF-8 sequence at `pos`, advancing it; malformed input yields U+FFFD and
/// advances one byte. `pos` must be below utf8.size().
char32_t NextUtf8(std::string_view utf8, size_t& pos);

/// Value of a hexadecimal digit of either case, -1 for any other character.
int HexDigitValue(char c);

/// Appends the UTF-8 form of `codePoint` to `out`.
void AppendUtf8(std::string& out, char32_t codePoint);
