#pragma once
#include "resources/StringTable.h"

#include <string>

// The interface language the user chose in the options dialog: "EN", "CHT", or empty for
// the locale's choice. Kept as the value "Language" of the program's key, apart from the
// settings record, whose values other programs of the family read as they are.
inline constexpr const char* kLanguageValue = "Language";

/// The stored choice; empty when there is none or it cannot be read.
std::string LoadLanguageSetting();
/// Stores the choice; false when the key cannot be opened or written.
bool SaveLanguageSetting(const std::string& choice);

/// The language for a stored choice: "EN" and "CHT" (any case) decide, anything else leaves
/// it to the locale (LC_ALL, LC_MESSAGES, LANG as the environment has them).
InterfaceLanguage ChosenLanguage(const std::string& choice);

/// Makes the texts of this process speak the stored choice, or the locale's language.
void UseChosenLanguage();
