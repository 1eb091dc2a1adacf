#include "app/SetupInfo.h"

#include "platform/Exception.h"
#include "platform/RegistryFile.h"
#include "resources/StringTable.h"

#include <cstdio>
#include <exception>
#include <vector>

TSetupInfo SetupInfo;

namespace {

constexpr const char* kParentKey = "Software\\Brightmoor\\Morvane";
constexpr const char* kVersionValue = "Version";
constexpr const char* kVersionText = "1.0 Release";
constexpr size_t kColourBytes = 4;

void reportToStandardError(int number)
{
    std::fprintf(stderr, "%s\n", LoadStr(number).c_str());
}

SetupErrorReporter g_reporter = reportToStandardError;

uint32_t rgb(uint32_t red, uint32_t green, uint32_t blue)
{
    return red | (green << 8) | (blue << 16);
}

// Opens the program key below its parent, creating both. The parent's own result does not
// matter: opening the full path creates it again when needed.
bool openProgramKey(Registry& registry)
{
    if (registry.openKey(kParentKey, true))
        registry.closeKey();
    return registry.openKey(kProgramKey, true);
}

std::string readText(Registry& registry, const char* name)
{
    // A missing text is empty, not an error: older saves may lack newer texts.
    if (!registry.valueExists(name))
        return std::string();
    return registry.readString(name);
}

void readColour(Registry& registry, const char* name, uint32_t& colour)
{
    if (!registry.valueExists(name))
        return;
    const std::vector<uint8_t> bytes = registry.readBinary(name, kColourBytes);
    // A shorter value replaces only the bytes it has, as reading it into the colour's
    // memory would.
    for (size_t i = 0; i < bytes.size(); ++i)
        colour = (colour & ~(0xFFu << (8 * i))) | (uint32_t(bytes[i]) << (8 * i));
}

void writeColour(Registry& registry, const char* name, uint32_t colour)
{
    registry.writeBinary(name, {uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16), uint8_t(colour >> 24)});
}

void readStoredValues(Registry& registry, TSetupInfo& info)
{
    info.FontName = readText(registry, "FontName");
    info.FontSize = int32_t(registry.readInteger("FontSize"));
    info.ListViewFontName = readText(registry, "ListViewFontName");
    info.ListViewFontSize = int32_t(registry.readInteger("ListViewFontSize"));
    info.TreeViewFontName = readText(registry, "TreeViewFontName");
    info.TreeViewFontSize = int32_t(registry.readInteger("TreeViewFontSize"));
    info.AutoCache = registry.readBool("AutoCache");
    info.AutoExpand = registry.readBool("AutoExpand");
    info.ViewStyle = uint8_t(registry.readInteger("ViewStyle"));
    info.ButtonStyle = uint8_t(registry.readInteger("ButtonStyle"));
    info.ShowGlyph = registry.readBool("ShowGlyph");
    info.ShowText = registry.readBool("ShowText");
    info.ShowStatusBar = registry.readBool("ShowStatusBar");
    info.ShowPanel = registry.readBool("ShowPanel");
    info.AutoHide = registry.readBool("AutoHide");
    info.AutoScroll = registry.readBool("AutoScroll");
    info.ShellWorkLimit = int32_t(registry.readInteger("ShellWorkLimit"));
    info.StartDirectory = readText(registry, "StartDirectory");
    info.LimitLoad = 1;
    info.NeedPreview = registry.readBool("NeedPreview");
    for (int n = 1; n <= 5; ++n)
        info.asExt(n) = registry.readBool("AsExt" + std::to_string(n));
    for (int n = 1; n <= 5; ++n)
        info.ext(n) = readText(registry, ("Ext" + std::to_string(n)).c_str());
    for (int n = 1; n <= 5; ++n)
        readColour(registry, ("Color" + std::to_string(n)).c_str(), info.color(n));
    info.PreviewImageTag = int32_t(registry.readInteger("PreviewImageTag"));
}

} // namespace

bool& TSetupInfo::asExt(int n)
{
    bool* members[] = {&AsExt1, &AsExt2, &AsExt3, &AsExt4, &AsExt5};
    return *members[n - 1];
}

std::string& TSetupInfo::ext(int n)
{
    std::string* members[] = {&Ext1, &Ext2, &Ext3, &Ext4, &Ext5};
    return *members[n - 1];
}

uint32_t& TSetupInfo::color(int n)
{
    uint32_t* members[] = {&Color1, &Color2, &Color3, &Color4, &Color5};
    return *members[n - 1];
}

void SetSetupErrorReporter(SetupErrorReporter reporter)
{
    g_reporter = reporter ? reporter : reportToStandardError;
}

void DefaultSetupInfo(TSetupInfo& info)
{
    info.FontName = "MS Sans Serif";
    info.FontSize = 12;
    info.ListViewFontName = "MS Sans Serif";
    info.ListViewFontSize = 12;
    info.TreeViewFontName = "MS Sans Serif";
    info.TreeViewFontSize = 12;
    info.ViewStyle = 2;
    info.ButtonStyle = 0;
    info.ShowGlyph = true;
    info.ShowText = true;
    info.ShowStatusBar = true;
    info.ShowPanel = true;
    info.AutoHide = true;
    info.AutoScroll = false;
    info.AutoCache = false;
    info.AutoExpand = true;
    info.ShellWorkLimit = 30;
    info.StartDirectory = "C:\\";
    info.LimitLoad = 1;
    info.NeedPreview = false;
    info.AsExt1 = info.AsExt2 = info.AsExt3 = info.AsExt4 = true;
    info.AsExt5 = false;
    // Group 2 keeps the dot after BMP: the lists are matched by substring, so it still works.
    info.Ext1 = ".EXE;.COM;.BAT";
    info.Ext2 = ".JPG;.BMP.;.GIF";
    info.Ext3 = ".MP3;.WAV";
    info.Ext4 = ".DOC;.TXT";
    info.Ext5.clear();
    info.Color1 = rgb(0x00, 0x00, 0x80); // navy
    info.Color2 = rgb(0x80, 0x80, 0x00); // olive
    info.Color3 = rgb(0x00, 0x80, 0x80); // teal
    info.Color4 = rgb(0x80, 0x00, 0x80); // purple
    info.Color5 = rgb(0x00, 0x00, 0x00); // black
    info.PreviewImageTag = 0;
}

void LoadSetupInfo(TSetupInfo& info)
{
    Registry registry;
    if (!openProgramKey(registry)) {
        g_reporter(33099);
        return;
    }
    if (!registry.valueExists(kVersionValue)) {
        DefaultSetupInfo(info);
        return;
    }
    try {
        readStoredValues(registry, info);
    } catch (const std::exception&) {
        // Half-read settings would mix two configurations; start clean instead.
        DefaultSetupInfo(info);
    }
    registry.closeKey();
}

void SaveSetupInfo(const TSetupInfo& info)
{
    Registry registry;
    if (!openProgramKey(registry)) {
        g_reporter(33100);
        return;
    }
    registry.writeString(kVersionValue, kVersionText);
    registry.writeString("FontName", info.FontName);
    registry.writeInteger("FontSize", uint32_t(info.FontSize));
    registry.writeString("ListViewFontName", info.ListViewFontName);
    registry.writeInteger("ListViewFontSize", uint32_t(info.ListViewFontSize));
    registry.writeString("TreeViewFontName", info.TreeViewFontName);
    registry.writeInteger("TreeViewFontSize", uint32_t(info.TreeViewFontSize));
    registry.writeBool("AutoCache", info.AutoCache);
    registry.writeBool("AutoExpand", info.AutoExpand);
    registry.writeInteger("ViewStyle", info.ViewStyle);
    registry.writeInteger("ButtonStyle", info.ButtonStyle);
    registry.writeBool("ShowGlyph", info.ShowGlyph);
    registry.writeBool("ShowText", info.ShowText);
    registry.writeBool("ShowStatusBar", info.ShowStatusBar);
    registry.writeBool("ShowPanel", info.ShowPanel);
    registry.writeBool("AutoHide", info.AutoHide);
    registry.writeBool("AutoScroll", info.AutoScroll);
    registry.writeInteger("ShellWorkLimit", uint32_t(info.ShellWorkLimit));
    registry.writeString("StartDirectory", info.StartDirectory);
    registry.writeInteger("LimitLoad", uint32_t(info.LimitLoad));
    registry.writeBool("NeedPreview", info.NeedPreview);
    for (int n = 1; n <= 5; ++n) {
        const std::string number = std::to_string(n);
        registry.writeBool("AsExt" + number, info.asExt(n));
        registry.writeString("Ext" + number, info.ext(n));
        writeColour(registry, ("Color" + number).c_str(), info.color(n));
    }
    registry.writeInteger("PreviewImageTag", uint32_t(info.PreviewImageTag));
    if (!registry.flush())
        throw Exception(LoadStr(33100) + registry.lastError());
    registry.closeKey();
}
