#include <gtest/gtest.h>

#include "app/StartOptions.h"
#include "platform/DriveMap.h"

TEST(StartOptionsTest, SelectWithCachedAndComputerAndTheLinesThatCannotBeUsed)
{
    StartOptions options = ParseStartOptions({});
    EXPECT_TRUE(options.Error.empty());
    EXPECT_TRUE(options.SelectPath.empty());

    options = ParseStartOptions({"--select", "\\\\PC\\共用\\資料", "--cached", "--computer", "PC"});
    EXPECT_TRUE(options.Error.empty()) << options.Error;
    EXPECT_EQ(options.SelectPath, "\\\\PC\\共用\\資料");
    EXPECT_TRUE(options.Cached);
    EXPECT_EQ(options.Computer, "PC");
    options = ParseStartOptions({"--select", "D:\\帳本", "--item", "總帳 2024.xls"});
    EXPECT_EQ(options.Item, "總帳 2024.xls");
    EXPECT_TRUE(options.Error.empty()) << options.Error;

    // A cached FTP folder keeps its own slashes; a live Linux path becomes the program's form.
    EXPECT_EQ(ParseStartOptions({"--cached", "--select", "/pub/"}).SelectPath, "/pub/");
    std::vector<DriveInfo> drives(1);
    drives[0].letter = 'C';
    drives[0].mountPoint = "/";
    SetDriveMapForTest(drives);
    EXPECT_EQ(ParseStartOptions({"--select", "/tmp"}).SelectPath, "C:\\tmp");
    RefreshDriveMap();

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--select"}, {"--select", ""}, {"--cached"}, {"--computer", "PC"}, {"--bogus"}, {"C:\\"},
             {"--item", "a.txt"}, {"--select", "D:\\", "--item", "..\\a"}, {"--select", "D:\\", "--item", ".."},
             {"--select", "D:\\", "--item", "x/y"}}) {
        options = ParseStartOptions(bad);
        EXPECT_FALSE(options.Error.empty()) << bad[0];
        EXPECT_TRUE(options.SelectPath.empty());
        EXPECT_FALSE(options.Cached);
    }
}
