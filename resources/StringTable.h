#pragma once
#include <initializer_list>
#include <string>
#include <unordered_map>

// The program's numbered strings (UTF-8), compiled in from resources/strings.txt and, for
// the English interface, resources/strings-en.txt. Returns the empty string for a number
// the table does not hold; a number the English table lacks gives the Chinese text.
std::string LoadStr(int number);

enum class InterfaceLanguage { Chinese, English };

/// The language of every text looked up from now on (Chinese at start).
void SetInterfaceLanguage(InterfaceLanguage language);
InterfaceLanguage CurrentInterfaceLanguage();

/// The language the locale asks for: the first set of LC_ALL, LC_MESSAGES and LANG decides;
/// "en", "en_US.UTF-8" and the like are English, everything else (and nothing set) Chinese.
InterfaceLanguage LanguageOfLocale(const char* lcAll, const char* lcMessages, const char* lang);

/// A caption of the windows (menu entries, buttons, labels), written in the code in its
/// Chinese form, in the current language (resources/captions-en.txt); unchanged when the
/// table has no English form for it.
std::string UiCaption(const std::string& chinese);

/// The whole caption table, Chinese text to English, as resources/captions-en.txt has it.
const std::unordered_map<std::string, std::string>& EnglishCaptionTable();

/// UiCaption of a message with the places "%1" to "%9", each filled with its argument; a
/// place without an argument stays as it is, and an argument's own "%1" is not filled again.
std::string UiFormat(const std::string& chinese, std::initializer_list<std::string> arguments);
