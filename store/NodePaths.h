#pragma once
#include <cstdint>
#include <string>
#include <string_view>

struct TNodeData;
struct TItemData;

// Names and paths of the node store. Paths are Windows-style UTF-8 texts; in UTF-8 a
// backslash byte is always a backslash, so these helpers work on bytes safely. CP950 bytes
// must be decoded before they get here (a CP950 trail byte can be 0x5C).

/// Appends "\" to a non-empty path that does not end in one; an empty path stays empty.
std::string AddBackslash(std::string_view path);
/// Removes one trailing "\".
std::string RemoveBackslash(std::string_view path);
/// Number of backslashes in `text`.
int CountBackslashes(std::string_view text);
/// The text between the (n-1)-th and the n-th backslash of AddBackslash(path), n from 1;
/// empty when there are fewer than n backslashes. PathPart("SERVER\SHARE\DIR", 2) = "SHARE".
std::string PathPart(std::string_view path, int n);
/// The name after the last backslash, and everything up to and including it.
std::string_view BareName(std::string_view path);
std::string_view FolderPart(std::string_view path);

/// The key of a caption: trailing blanks and control characters removed, at most 254
/// UTF-16 units, the characters \ / ? * : " < > ( ) dropped; "EMPTY_NAME" when nothing is left.
std::string SafeFileName(std::string_view text);

/// Case-insensitive order of two UTF-8 texts (negative, zero, positive): letters of the
/// Latin, Greek and Cyrillic alphabets and full-width Latin letters fold to one case,
/// everything else compares by code point.
int CompareTextNoCase(std::string_view a, std::string_view b);

/// `text` with every letter folded as CompareTextNoCase folds it. UTF-8 keeps the order of
/// code points, so the byte order of two folded texts is the order CompareTextNoCase gives:
/// a large list is sorted by keys folded once instead of folding in every comparison.
std::string FoldTextCase(std::string_view text);
/// FoldTextCase(text) appended to `out`: many keys in one buffer, without one allocation each.
void AppendFoldedText(std::string& out, std::string_view text);
/// The order of names on screen: as FoldTextCase's byte order, except that a run of digits
/// counts as its number ("第2章" before "第10章"). Takes texts already folded, so a large list
/// folds each name once. The stored listings keep CompareItems's order.
int CompareFoldedNaturally(std::string_view a, std::string_view b);
/// CompareFoldedNaturally of the folded texts.
int CompareNamesNaturally(std::string_view a, std::string_view b);
/// Domain nodes first, then Computer nodes, then the rest; captions in the order of names
/// on screen.
int CompareNodes(const TNodeData& a, const TNodeData& b);
/// Folders first, then files; paths without regard to case.
int CompareItems(const TItemData& a, const TItemData& b);

/// Creates AddBackslash(parent) + name + "\" (or, for an empty name, the first of
/// "新資料夾", "新資料夾0" ... "新資料夾999" that does not exist) with every missing parent,
/// and returns it. Throws Exception "重複的名稱" when a named folder exists, or the
/// system's text when it cannot be made.
std::string NewFolder(const std::string& parent, const std::string& name);

/// Deletes a folder (with or without a trailing backslash) and everything in it; symbolic
/// links are removed, never followed. True on success.
bool DeleteFolderTree(const std::string& folder);

/// "a.b.c.d", the most significant byte first.
std::string IpToText(uint32_t value);
/// Four runs separated by "." (the fourth runs to the end); characters below "0" are
/// skipped inside a run; a missing, empty or non-numeric run counts 0.
uint32_t TextToIp(std::string_view text);
