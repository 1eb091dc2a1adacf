#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// Texts are UTF-8 in memory and CP950 (the Microsoft table) on disk.
//
// A character CP950 cannot hold is written as a reversible escape, and bytes that are not
// valid CP950 decode to characters that encode back to the same bytes, so any name
// survives a decode/encode round trip. The user-defined ranges map to the private use area.

/// CP950 bytes to UTF-8. Never fails; invalid bytes are kept reversibly (see above).
std::string DecodeCP950(std::string_view bytes);

/// UTF-8 to CP950 bytes. Never fails; characters outside CP950 are escaped reversibly.
std::string EncodeCP950(std::string_view utf8);

/// CP950 bytes of `utf8` cut to at most `maxBytes` bytes, never splitting a double-byte
/// character or an escape. Used for fixed-width fields (maxBytes = width - 1).
std::string EncodeCP950Cut(std::string_view utf8, size_t maxBytes);

/// Length in bytes of the longest prefix of the CP950 `bytes` that ends on a character
/// boundary and is at most `maxBytes` long.
size_t CP950CutLength(std::string_view bytes, size_t maxBytes);

/// Reads a NUL-terminated CP950 text from a fixed field of `width` bytes (no NUL: the
/// whole field) and decodes it.
std::string ReadTextField(const unsigned char* field, size_t width);

/// Writes `utf8` into a fixed field of `width` bytes: CP950, cut to width - 1 bytes on a
/// character boundary, NUL-padded to the end of the field.
void WriteTextField(unsigned char* field, size_t width, std::string_view utf8);

/// Upper-cases ASCII letters only, as the stored formats compare names.
std::string UpperAscii(std::string_view text);

/// Number of Unicode characters in a UTF-8 text, and its first `count` characters.
size_t Utf8Length(std::string_view utf8);
std::string Utf8Left(std::string_view utf8, size_t count);
