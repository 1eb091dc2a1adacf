#include <gtest/gtest.h>

#include "app/SetupInfo.h"
#include "platform/RegistryFile.h"
#include "support/TempConfig.h"

#include <fstream>
#include <vector>

namespace {

std::vector<int> g_reported;

void recordReport(int number)
{
    g_reported.push_back(number);
}

class SetupInfoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_reported.clear();
        SetSetupErrorReporter(recordReport);
    }
    void TearDown() override { SetSetupErrorReporter(nullptr); }

    // Saves the defaults, then lets the test change single values before loading.
    void storeDefaults()
    {
        TSetupInfo info;
        DefaultSetupInfo(info);
        SaveSetupInfo(info);
    }
    static void openProgramKey(Registry& registry) { ASSERT_TRUE(registry.openKey(kProgramKey, false)); }

    TempConfig m_config;
};

void expectDefaults(const TSetupInfo& info)
{
    EXPECT_EQ(info.FontName, "MS Sans Serif");
    EXPECT_EQ(info.FontSize, 12);
    EXPECT_EQ(info.TreeViewFontSize, 12);
    EXPECT_EQ(info.ViewStyle, 2);
    EXPECT_EQ(info.ButtonStyle, 0);
    EXPECT_TRUE(info.ShowGlyph && info.ShowText && info.ShowStatusBar && info.ShowPanel);
    EXPECT_TRUE(info.AutoHide);
    EXPECT_FALSE(info.AutoScroll);
    EXPECT_FALSE(info.AutoCache);
    EXPECT_TRUE(info.AutoExpand);
    EXPECT_EQ(info.ShellWorkLimit, 30);
    EXPECT_EQ(info.StartDirectory, "C:\\");
    EXPECT_EQ(info.LimitLoad, 1);
    EXPECT_FALSE(info.NeedPreview);
    EXPECT_TRUE(info.AsExt1 && info.AsExt2 && info.AsExt3 && info.AsExt4);
    EXPECT_FALSE(info.AsExt5);
    EXPECT_EQ(info.Ext2, ".JPG;.BMP.;.GIF");
    EXPECT_EQ(info.Ext5, "");
    EXPECT_EQ(info.Color1, 0x800000u);
    EXPECT_EQ(info.Color2, 0x008080u);
    EXPECT_EQ(info.Color3, 0x808000u);
    EXPECT_EQ(info.Color4, 0x800080u);
    EXPECT_EQ(info.Color5, 0u);
    EXPECT_EQ(info.PreviewImageTag, 0);
}

} // namespace

TEST_F(SetupInfoTest, FirstRunTakesDefaultsAndSavesThirtySevenValuesVersionFirst)
{
    TSetupInfo info;
    info.ExePath = "C:\\tamsel\\";
    LoadSetupInfo(info);
    expectDefaults(info);
    EXPECT_EQ(info.ExePath, "C:\\tamsel\\") << "folders are not settings";
    EXPECT_TRUE(g_reported.empty());
    {
        Registry registry;
        EXPECT_TRUE(registry.keyExists("Software\\Brightmoor\\Morvane"));
        EXPECT_TRUE(registry.keyExists(kProgramKey));
    }

    SaveSetupInfo(info);
    Registry registry;
    openProgramKey(registry);
    const std::vector<std::string> expected{
        "Version", "FontName", "FontSize", "ListViewFontName", "ListViewFontSize", "TreeViewFontName",
        "TreeViewFontSize", "AutoCache", "AutoExpand", "ViewStyle", "ButtonStyle", "ShowGlyph",
        "ShowText", "ShowStatusBar", "ShowPanel", "AutoHide", "AutoScroll", "ShellWorkLimit",
        "StartDirectory", "LimitLoad", "NeedPreview", "AsExt1", "Ext1", "Color1", "AsExt2", "Ext2",
        "Color2", "AsExt3", "Ext3", "Color3", "AsExt4", "Ext4", "Color4", "AsExt5", "Ext5", "Color5",
        "PreviewImageTag"};
    EXPECT_EQ(registry.valueNames(), expected);
    EXPECT_EQ(registry.readString("Version"), "1.0 Release");
    EXPECT_EQ(registry.valueType("ShowGlyph"), RegType::DWord);
    EXPECT_EQ(registry.readInteger("ShowGlyph"), 1u);
    EXPECT_EQ(registry.readBinary("Color1", 4), (std::vector<uint8_t>{0x00, 0x00, 0x80, 0x00}));
    EXPECT_EQ(registry.readBinary("Color2", 4), (std::vector<uint8_t>{0x80, 0x80, 0x00, 0x00}));
}

TEST_F(SetupInfoTest, EveryValueSurvivesASaveAndLoad)
{
    TSetupInfo info;
    DefaultSetupInfo(info);
    info.FontName = "新細明體";
    info.FontSize = 9;
    info.ListViewFontName = "Arial";
    info.TreeViewFontSize = 14;
    info.ViewStyle = 3;
    info.ButtonStyle = 2;
    info.ShowText = false;
    info.AutoScroll = true;
    info.AutoCache = true;
    info.ShellWorkLimit = 5;
    info.StartDirectory = "D:\\資料\\";
    info.NeedPreview = true;
    info.AsExt5 = true;
    info.Ext5 = ".ZIP";
    info.Color5 = 0x123456;
    info.PreviewImageTag = -3;
    SaveSetupInfo(info);

    TSetupInfo loaded;
    LoadSetupInfo(loaded);
    EXPECT_EQ(loaded.FontName, "新細明體");
    EXPECT_EQ(loaded.FontSize, 9);
    EXPECT_EQ(loaded.ListViewFontName, "Arial");
    EXPECT_EQ(loaded.TreeViewFontSize, 14);
    EXPECT_EQ(loaded.ViewStyle, 3);
    EXPECT_EQ(loaded.ButtonStyle, 2);
    EXPECT_FALSE(loaded.ShowText);
    EXPECT_TRUE(loaded.AutoScroll);
    EXPECT_TRUE(loaded.AutoCache);
    EXPECT_EQ(loaded.ShellWorkLimit, 5);
    EXPECT_EQ(loaded.StartDirectory, "D:\\資料\\");
    EXPECT_TRUE(loaded.NeedPreview);
    EXPECT_TRUE(loaded.AsExt5);
    EXPECT_EQ(loaded.Ext5, ".ZIP");
    EXPECT_EQ(loaded.Color5, 0x123456u);
    EXPECT_EQ(loaded.PreviewImageTag, -3);
}

TEST_F(SetupInfoTest, MissingOrMistypedNumberGivesAllDefaults)
{
    const auto loadAfter = [this](auto change) {
        storeDefaults();
        {
            Registry registry;
            openProgramKey(registry);
            registry.writeString("FontName", "Arial");
            registry.writeInteger("ShellWorkLimit", 99);
            change(registry);
        }
        TSetupInfo info;
        LoadSetupInfo(info);
        return info;
    };
    expectDefaults(loadAfter([](Registry& r) { r.deleteValue("ShowText"); }));
    expectDefaults(loadAfter([](Registry& r) { r.writeString("FontSize", "12"); }));
    expectDefaults(loadAfter([](Registry& r) { r.writeInteger("FontName", 1); }));
    expectDefaults(loadAfter([](Registry& r) { r.writeInteger("Color2", 5); }));
    expectDefaults(loadAfter([](Registry& r) { r.writeBinary("Color2", {1, 2, 3, 4, 5}); }));
    expectDefaults(loadAfter([](Registry& r) { r.deleteValue("PreviewImageTag"); }));
    EXPECT_TRUE(g_reported.empty()) << "damaged settings fall back silently";
    // The control: the same changes without a fault are read as stored.
    const TSetupInfo info = loadAfter([](Registry&) {});
    EXPECT_EQ(info.FontName, "Arial");
    EXPECT_EQ(info.ShellWorkLimit, 99);
}

TEST_F(SetupInfoTest, MissingTextReadsEmptyWithoutFallingBack)
{
    storeDefaults();
    {
        Registry registry;
        openProgramKey(registry);
        registry.deleteValue("FontName");
        registry.deleteValue("Ext1");
        registry.writeInteger("FontSize", 20);
    }
    TSetupInfo info;
    LoadSetupInfo(info);
    EXPECT_EQ(info.FontName, "");
    EXPECT_EQ(info.Ext1, "");
    EXPECT_EQ(info.FontSize, 20);
}

TEST_F(SetupInfoTest, MissingColourKeepsThePreviousValue)
{
    storeDefaults();
    {
        Registry registry;
        openProgramKey(registry);
        registry.deleteValue("Color3");
        registry.writeBinary("Color4", {0x11, 0x22});
    }
    TSetupInfo first;
    LoadSetupInfo(first);
    EXPECT_EQ(first.Color3, 0u) << "black on the first load of a run";
    EXPECT_EQ(first.Color2, 0x008080u);

    TSetupInfo again;
    again.Color3 = 0xABCDEF;
    again.Color4 = 0x00FFFFFF;
    LoadSetupInfo(again);
    EXPECT_EQ(again.Color3, 0xABCDEFu);
    // A short colour value replaces only the bytes it holds.
    EXPECT_EQ(again.Color4, 0x00FF2211u);
}

TEST_F(SetupInfoTest, LimitLoadIsAlwaysOneAndStylesKeepTheirLowByte)
{
    storeDefaults();
    {
        Registry registry;
        openProgramKey(registry);
        registry.writeInteger("LimitLoad", 0);
        registry.writeInteger("ViewStyle", 258);
        registry.writeInteger("ButtonStyle", 0x103);
    }
    TSetupInfo info;
    LoadSetupInfo(info);
    EXPECT_EQ(info.LimitLoad, 1);
    EXPECT_EQ(info.ViewStyle, 2);
    EXPECT_EQ(info.ButtonStyle, 3);
}

TEST_F(SetupInfoTest, UnopenableKeyReportsAndLeavesTheRecordAlone)
{
    // A plain file where the registry's folder should be: no key can be created, even by root.
    const std::string blocker = m_config.folder() + "/blocked";
    std::ofstream(blocker) << "not a folder";
    setenv("TAMSEL_CONFIG", (blocker + "/registry.reg").c_str(), 1);

    TSetupInfo info;
    info.FontSize = 77;
    LoadSetupInfo(info);
    EXPECT_EQ(info.FontSize, 77);
    EXPECT_EQ(info.FontName, "");
    SaveSetupInfo(info);
    EXPECT_EQ(g_reported, (std::vector<int>{33099, 33100}));
    setenv("TAMSEL_CONFIG", m_config.registryFile().c_str(), 1);
}
