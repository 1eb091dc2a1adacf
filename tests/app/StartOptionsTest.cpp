#include <gtest/gtest.h>

#include "app/StartOptions.h"
#include "platform/DriveMap.h"

namespace {

// The whole file system as drive C:, so that Linux paths have a known program form.
class StartOptionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::vector<DriveInfo> drives(1);
        drives[0].letter = 'C';
        drives[0].mountPoint = "/";
        SetDriveMapForTest(drives);
    }
    void TearDown() override { RefreshDriveMap(); }
};

TEST_F(StartOptionsTest, SelectWithCachedAndComputerAndTheLinesThatCannotBeUsed)
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
    EXPECT_EQ(ParseStartOptions({"--select", "/tmp"}).SelectPath, "C:\\tmp");

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--select"}, {"--select", ""}, {"--cached"}, {"--computer", "PC"}, {"--bogus"}, {"-x", "/tmp"},
             {"/tmp", "--bogus"}, {"/tmp", "/usr"}, {"--select", "/tmp", "/usr"}, {""}, {"http://host/"},
             {"ftp://u:pw@host/"}, {"ftp://host/", "--cached"}, {"smb://host:139/share"}, {"--item", "a.txt"},
             {"ftp://host/", "--item", "a.txt"}, {"--select", "D:\\", "--item", "..\\a"},
             {"--select", "D:\\", "--item", ".."}, {"--select", "D:\\", "--item", "x/y"}}) {
        options = ParseStartOptions(bad, "/home");
        EXPECT_FALSE(options.Error.empty()) << bad[0];
        EXPECT_TRUE(options.SelectPath.empty());
        EXPECT_TRUE(options.FtpUrl.empty());
        EXPECT_FALSE(options.Cached);
    }
}

TEST_F(StartOptionsTest, APathOrLinkOpensThereFromAnyFolder)
{
    const auto place = [](const std::vector<std::string>& args, const std::string& current = "/home/ann") {
        const StartOptions options = ParseStartOptions(args, current);
        EXPECT_TRUE(options.Error.empty()) << args[0] << ": " << options.Error;
        return options.SelectPath;
    };
    EXPECT_EQ(place({"/srv/data"}), "C:\\srv\\data");
    EXPECT_EQ(place({"C:\\srv"}), "C:\\srv");
    EXPECT_EQ(place({"\\\\PC\\share\\dir"}), "\\\\PC\\share\\dir");
    EXPECT_EQ(place({"file:///srv/%E8%B3%87%E6%96%99"}), "C:\\srv\\資料");
    EXPECT_EQ(place({"smb://pc/share/dir/"}), "\\\\pc\\share\\dir\\");
    // Relative to the folder the program was started in, not the running program's.
    EXPECT_EQ(place({"docs/a.txt"}), "C:\\home\\ann\\docs\\a.txt");
    EXPECT_EQ(place({"."}, "/home/ann/"), "C:\\home\\ann");
    EXPECT_EQ(place({"../bob/./x"}), "C:\\home\\bob\\x");

    const StartOptions ftp = ParseStartOptions({"ftp://ann@files:2121/pub"}, "/home");
    EXPECT_TRUE(ftp.Error.empty()) << ftp.Error;
    EXPECT_EQ(ftp.FtpUrl, "ftp://ann@files:2121/pub");
    EXPECT_TRUE(ftp.SelectPath.empty());

    EXPECT_TRUE(ParseStartOptions({"--help"}).Help);
    EXPECT_TRUE(ParseStartOptions({"--version"}).Version);
    EXPECT_NE(StartVersionText().find("tamsel "), std::string::npos);
    EXPECT_NE(StartHelpText().find("smb://"), std::string::npos);
}

TEST_F(StartOptionsTest, HandedOverArgumentsAskForTheSamePlace)
{
    // What a second start sends is read by the running program without its folder.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"docs"}, {"smb://pc/share/資料"}, {"ftp://files/pub"}, {"--select", "\\\\PC\\S", "--cached", "--computer", "PC"},
             {"--select", "D:\\帳本", "--item", "總帳.xls", "--cached", "--computer", "會計"},
             {"--select", "/srv/帳本", "--item", "第57章.txt"}, {}}) {
        const StartOptions sent = ParseStartOptions(args, "/home/ann");
        ASSERT_TRUE(sent.Error.empty()) << sent.Error;
        const StartOptions received = ParseStartOptions(StartArguments(sent), "/elsewhere");
        EXPECT_TRUE(received.Error.empty()) << received.Error;
        EXPECT_EQ(received.SelectPath, sent.SelectPath);
        EXPECT_EQ(received.FtpUrl, sent.FtpUrl);
        EXPECT_EQ(received.Cached, sent.Cached);
        EXPECT_EQ(received.Computer, sent.Computer);
        EXPECT_EQ(received.Item, sent.Item);
    }
}

} // namespace
