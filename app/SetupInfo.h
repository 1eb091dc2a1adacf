#pragma once
#include <cstdint>
#include <string>

// The user's settings and the program's three folders, in one record that lives for the whole
// run. The main window and the options dialog change it in memory; it goes to the registry
// key below at exit and when the options dialog is confirmed.
inline constexpr const char* kProgramKey = "Software\\Brightmoor\\Morvane\\Tamsel";

struct TSetupInfo {
    std::string FontName;
    int32_t FontSize = 0;
    std::string ListViewFontName;
    int32_t ListViewFontSize = 0;
    std::string TreeViewFontName;
    int32_t TreeViewFontSize = 0;
    uint8_t ViewStyle = 0;        // 0 large icons, 1 small icons, 2 list, 3 details
    uint8_t ButtonStyle = 0;      // 0 flat buttons, 1 raised buttons, 2 tool bars hidden
    bool ShowGlyph = false;
    bool ShowText = false;
    bool ShowStatusBar = false;
    bool ShowPanel = false;
    bool AutoHide = false;
    bool AutoScroll = false;
    bool AutoCache = false;
    bool AutoExpand = false;
    int32_t ShellWorkLimit = 0;
    std::string StartDirectory;
    // Windows-style folders, each ending in a backslash; computed at start, never stored.
    std::string TempPath;
    std::string CachePath;
    std::string ExePath;
    int32_t LimitLoad = 0;
    bool NeedPreview = false;
    // Colour groups of the file list: in use, extension list (".EXE;.COM"), text colour
    // as R + 256*G + 65536*B.
    bool AsExt1 = false, AsExt2 = false, AsExt3 = false, AsExt4 = false, AsExt5 = false;
    std::string Ext1, Ext2, Ext3, Ext4, Ext5;
    uint32_t Color1 = 0, Color2 = 0, Color3 = 0, Color4 = 0, Color5 = 0;
    int32_t PreviewImageTag = 0;

    /// The members of colour group `n` (1 to 5), for code that walks the groups.
    bool& asExt(int n);
    std::string& ext(int n);
    uint32_t& color(int n);
    bool asExt(int n) const { return const_cast<TSetupInfo*>(this)->asExt(n); }
    const std::string& ext(int n) const { return const_cast<TSetupInfo*>(this)->ext(n); }
    uint32_t color(int n) const { return const_cast<TSetupInfo*>(this)->color(n); }
};

/// The program's one settings record.
extern TSetupInfo SetupInfo;

/// Sets every stored member to its default; the three folders are left as they are.
void DefaultSetupInfo(TSetupInfo& info);

/// Fills `info` from the registry: all defaults when the settings were never saved or are
/// damaged. When the key cannot be opened, reports string 33099 and leaves `info` as it was.
void LoadSetupInfo(TSetupInfo& info);

/// Writes `info` to the registry, "Version" first. When the key cannot be opened, reports
/// string 33100 and writes nothing; a failing write raises Exception.
void SaveSetupInfo(const TSetupInfo& info);

/// Shows a message of the string table as an error. The settings store has no windows of its
/// own: the program installs its message box here, tests install a recorder. The default
/// writes to standard error.
using SetupErrorReporter = void (*)(int number);
void SetSetupErrorReporter(SetupErrorReporter reporter);
