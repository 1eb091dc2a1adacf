#pragma once
#include <QFont>
#include <string>

// The Han fallback for every font of the interface: without it Qt picks Japanese glyph forms
// under a C or English locale.
inline constexpr const char* kHanFallbackFamily = "Noto Sans CJK TC";

/// Maps the font names the settings carry to installed fonts (once, at start).
void InstallFontSubstitutions();

/// A font of family `name` (from the settings) and `pointSize`, falling back to the
/// Traditional Chinese family for characters the family lacks.
QFont SettingsFont(const std::string& name, int pointSize);

/// The font `font` is really drawn with: its family as installed (the substitute of
/// "MS Sans Serif", not that name) and its size, for dialogs that must start at it.
QFont InstalledFont(const QFont& font);
