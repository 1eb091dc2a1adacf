#pragma once
#include <string>
#include <string_view>

// A Linux file name is any bytes but '/' and NUL; the program's paths are UTF-8 text in
// which '\' separates folders. These two functions map one name to the other and back,
// losslessly: ProgramName is one-to-one and NativeName(ProgramName(b)) == b for every
// name b, so the bytes acted on are always the bytes on disk.
//
// The program's form of a native name, by the first rule that applies:
//
// * Valid UTF-8: the text itself, except that a backslash, a control character (C0, DEL,
//   C1) and the escape character U+00A4 '¤' are written as the escapes of their bytes,
//   "¤HH" with upper-case hexadecimal digits ("a\b" is "a¤5Cb").
// * Valid CP950 (a name from an old disk, archive or server: every byte pair a character
//   of the table that encodes back to the same pair, no control character, no lone
//   backslash): "¤~" followed by the decoded text ("dir_" B3 5C is "¤~dir_許"). The
//   marker keeps it apart from a UTF-8 name of the same characters.
// * Anything else: valid UTF-8 sequences as text (escaped as in the first rule), every
//   other byte as "¤HH" ("a" FF "b" is "a¤FFb").
//
// NativeName accepts any text: "¤HH" stands for byte HH when HH is a byte ProgramName
// escapes (below 20, 5C, 7F and above), a leading "¤~" for CP950 text, and every other
// character (a '¤' not followed by such an escape included: "¤2E" is text, never '.') for
// its UTF-8 bytes. So a name the user types becomes a UTF-8 name, and a CP950 name
// renamed with its marker kept stays CP950.

/// The program's form of the native name `nativeName` (one path component).
std::string ProgramName(std::string_view nativeName);

/// The native bytes of the program's name `programName` (one path component).
std::string NativeName(std::string_view programName);

/// True when `text` is valid UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view text);

/// True when `nativeName` may be one component of a native path: not empty, not "." or
/// "..", without '/' or NUL. The native edge (NativePath) holds every component to this,
/// whatever escapes produced it.
bool IsNativeComponent(std::string_view nativeName);

/// The one check for a name that enters the program from outside (a server's listing, a
/// discovery reply, an archive member, a cache file, drag data): why it cannot name an entry
/// inside a folder, in the user's words; empty when it can. Refused are the empty name, "."
/// and "..", a '\', '/' or NUL, and escapes whose native form is any of these.
std::string NameFault(std::string_view name);

/// NameFault(name) is empty.
bool IsPlainName(std::string_view name);
