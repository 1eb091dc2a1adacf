#include "store/StoreFolder.h"
#include "support/SmbTestServer.h"
#include "support/TempConfig.h"
#include "platform/SmbContext.h"
#include "store/CacheListing.h"
#include "store/NodeFile.h"
#include "tools/quellor/Collector.h"
#include "tools/quellor/QuellorWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

TItemData entry(const std::string& path, uint32_t size, bool folder = false)
{
    TItemData item;
    SetItemPath(item, path);
    item.Size = size;
    item.Attributes = folder ? FileAttributeDirectory : 0x20;
    return item;
}

// A cache of two computers under workgroup WG: LOCAL, whose listing names folders of this
// machine (drive paths), and OFF, which never answers.
class CollectorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(m_home.path("Cache/Net/WG"));
        fs::create_directories(m_home.path("src/sub"));
        fs::create_directories(m_home.path("src/相簿/內"));
        m_home.writeFile("src/報告.txt", "top");
        m_home.writeFile("src/sub/報告.txt", "sub");
        m_home.writeFile("src/readme.md", "new readme");
        m_home.writeFile("src/相簿/內/照片.jpg", "jpeg");
        fs::create_directories(m_home.path("target"));
        m_home.writeFile("target/readme.md", "mine");
        m_cache = m_home.win("Cache");
        m_group = m_cache + "Net\\WG\\";
        node(m_cache, "Net", Sys | Domain | Container, "");
        node(m_cache + "Net\\", "WG", Domain | Container, "");
        node(m_group, "LOCAL", Computer, "\\\\LOCAL");
        node(m_group, "OFF", Computer, "\\\\OFF");
        const std::string src = m_home.win("src");
        WriteFolderListing({entry(src + "報告.txt", 3), entry(src + "readme.md", 10), entry(src + "相簿", 0, true)},
                           m_group, "LOCAL", true);
        WriteFolderListing({entry(src + "sub\\報告.txt", 3)}, m_group, "LOCAL", false);
        WriteFolderListing({entry("\\\\OFF\\d\\a.txt", 1), entry("\\\\OFF\\d\\b.txt", 1)}, m_group, "OFF", true);
    }

    void node(const std::string& storeDir, const char* caption, uint16_t attributes, const char* remote)
    {
        TNodeData data;
        data.StoreDir = storeDir;
        data.Caption = data.Key = caption;
        data.RootKind = NetRoot;
        data.NodeAttributes = attributes;
        data.RemoteName = remote;
        WriteNodeRecord(data);
    }

    std::vector<std::string> stagingLeft() const
    {
        std::vector<std::string> left;
        for (const auto& e : fs::directory_iterator(m_home.path("target")))
            if (e.path().filename().string().rfind(".quellor-", 0) == 0)
                left.push_back(e.path());
        return left;
    }

    StoreFolder m_home;
    std::string m_cache;
    std::string m_group;
};

TEST_F(CollectorTest, FetchesFromSeveralFoldersNumbersClashesAndReportsWhatItCouldNotFetch)
{
    const std::string src = m_home.win("src");
    std::string text;
    auto jsonPath = [](std::string path) {
        std::string escaped;
        for (char c : path)
            escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
        return escaped;
    };
    text += "{\"path\":\"" + jsonPath(src + "報告.txt") + "\",\"size\":3,\"computer\":\"LOCAL\"}\n";
    text += "{\"path\":\"" + jsonPath(src + "sub\\報告.txt") + "\",\"size\":3,\"computer\":\"LOCAL\"}\n";
    text += src + "readme.md\r\n\n";
    text += "{\"path\":\"" + jsonPath(src + "相簿") + "\",\"computer\":\"LOCAL\"}\n";
    text += "{\"path\":\"\\\\\\\\OFF\\\\d\\\\a.txt\",\"computer\":\"OFF\"}\n";
    text += "\\\\OFF\\d\\b.txt\n";
    text += "{\"path\":\"" + jsonPath(src + "gone.txt") + "\",\"computer\":\"LOCAL\"}\n";
    text += "{\"path\":\"\\\\\\\\X\\\\s\\\\c.txt\",\"computer\":\"NOSUCH\"}\n";
    text += "{not json\n";
    std::vector<int> bad;
    const std::vector<CollectItem> items = ReadCollectList(text, [&](int line, const std::string&) { bad.push_back(line); });
    EXPECT_EQ(bad, std::vector<int>{10});
    ASSERT_EQ(items.size(), 8u);
    EXPECT_EQ(items[2].Path, src + "readme.md");
    EXPECT_TRUE(items[2].Computer.empty());

    Collector collector(m_cache, m_home.path("target"));
    std::vector<std::string> asked;
    collector.HostAnswers = [&](const std::string& host) {
        asked.push_back(host);
        return false;
    };
    std::vector<CollectResult> results;
    for (const CollectItem& item : items)
        results.push_back(collector.collect(item));

    const std::string target = m_home.path("target") + "/";
    EXPECT_EQ(results[0].Code, 0) << results[0].Message;
    EXPECT_EQ(results[0].Target, target + "報告.txt");
    EXPECT_EQ(results[1].Target, target + "報告 (2).txt");
    EXPECT_EQ(m_home.readFile("target/報告.txt"), "top");
    EXPECT_EQ(m_home.readFile("target/報告 (2).txt"), "sub");
    // What was there before stays as it was.
    EXPECT_EQ(results[2].Target, target + "readme (2).md");
    EXPECT_EQ(m_home.readFile("target/readme.md"), "mine");
    EXPECT_EQ(m_home.readFile("target/readme (2).md"), "new readme");
    // A folder comes with everything in it.
    EXPECT_EQ(results[3].Code, 0) << results[3].Message;
    EXPECT_EQ(m_home.readFile("target/相簿/內/照片.jpg"), "jpeg");

    // A computer that does not answer is asked once; its files are reported, not fetched.
    EXPECT_EQ(asked, std::vector<std::string>{"OFF"});
    for (int i : {4, 5}) {
        EXPECT_EQ(results[size_t(i)].Code, 53) << i;
        EXPECT_NE(results[size_t(i)].Message.find("沒有回應"), std::string::npos) << results[size_t(i)].Message;
        EXPECT_TRUE(results[size_t(i)].Target.empty());
    }
    EXPECT_EQ(results[6].Code, 2) << results[6].Message;
    EXPECT_NE(results[6].Message.find("gone.txt"), std::string::npos);
    EXPECT_NE(results[7].Code, 0);
    EXPECT_NE(results[7].Message.find("NOSUCH"), std::string::npos);
    EXPECT_TRUE(stagingLeft().empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(m_home.path("target")), fs::directory_iterator()), 5);
}

TEST(FreeNameTest, NumbersGoBeforeTheExtension)
{
    StoreFolder folder;
    EXPECT_EQ(FreeName(folder.path(), "a.tar.gz"), "a.tar.gz");
    for (const char* name : {"a.tar.gz", "a.tar (2).gz", ".bashrc", "無副檔名"})
        folder.writeFile(name, "x");
    EXPECT_EQ(FreeName(folder.path(), "a.tar.gz"), "a.tar (3).gz");
    EXPECT_EQ(FreeName(folder.path(), ".bashrc"), ".bashrc (2)");
    EXPECT_EQ(FreeName(folder.path(), "無副檔名"), "無副檔名 (2)");
}

bool waitUntil(const std::function<bool()>& done, int ms = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// The window fetches the list on its worker and lists each outcome.
TEST_F(CollectorTest, TheWindowCollectsTheListAndShowsEachOutcome)
{
    QuellorWindow window(m_cache);
    window.HostAnswers = [](const std::string&) { return false; };
    const std::string src = m_home.win("src");
    window.ListEdit->setPlainText(QString::fromStdString(src + "報告.txt\n\\\\OFF\\d\\a.txt\n"));
    window.TargetEdit->setText(QString::fromStdString(m_home.win("target")));
    window.CollectButton->click();
    ASSERT_TRUE(waitUntil([&] { return !window.collecting(); }));
    ASSERT_EQ(window.ResultTree->topLevelItemCount(), 2);
    EXPECT_EQ(window.ResultTree->topLevelItem(0)->text(0), QStringLiteral("已收集"));
    EXPECT_EQ(window.ResultTree->topLevelItem(1)->text(0), QStringLiteral("未取得"));
    EXPECT_EQ(m_home.readFile("target/報告.txt"), "top");
}

// pallisk's lines piped into quellor, whole programs, with the program folder of the test.
TEST_F(CollectorTest, PalliskPipedIntoQuellor)
{
    const std::string command = "TAMSEL_HOME='" + m_home.path() + "' TAMSEL_CONFIG='" + m_home.path("registry.reg") + "' '"
                                + PALLISK_TOOL + "' --query 報告 | TAMSEL_HOME='" + m_home.path() + "' '" + QUELLOR_TOOL
                                + "' --to '" + m_home.path("target") + "' 2>'" + m_home.path("stderr.txt") + "'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
        out.append(buffer, n);
    const int status = pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << m_home.readFile("stderr.txt");
    EXPECT_NE(out.find("\"collected\""), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
    EXPECT_EQ(m_home.readFile("target/報告.txt") + m_home.readFile("target/報告 (2).txt"), "topsub");

    // A file that cannot be fetched makes the run fail, and says which. (A computer that is
    // not cached fails before any echo: this test sends nothing to any network.)
    const std::string bad = "printf '%s\\n' '{\"path\":\"\\\\\\\\X\\\\s\\\\c.txt\",\"computer\":\"NOSUCH\"}' | TAMSEL_HOME='"
                            + m_home.path() + "' '" + QUELLOR_TOOL + "' --to '" + m_home.path("target") + "' 2>'"
                            + m_home.path("stderr.txt") + "'";
    const int badStatus = std::system(bad.c_str());
    EXPECT_EQ(WEXITSTATUS(badStatus), 1);
    EXPECT_NE(m_home.readFile("stderr.txt").find("NOSUCH"), std::string::npos) << m_home.readFile("stderr.txt");
}

// Live from a share of an smbd on loopback: the public share's file comes, the private
// share's refuses without credentials and the refusal is reported.
class CollectorSmbTest : public SmbServerTest {};

TEST_F(CollectorSmbTest, FetchesFromALoopbackShareAndReportsARefusal)
{
    StoreFolder home;
    fs::create_directories(home.path("Cache/Net/WG"));
    const std::string cache = home.win("Cache");
    const std::string group = cache + "Net\\WG\\";
    TNodeData data;
    data.StoreDir = cache;
    data.Caption = data.Key = "Net";
    data.NodeAttributes = Sys | Domain;
    data.RootKind = NetRoot;
    WriteNodeRecord(data);
    data.StoreDir = cache + "Net\\";
    data.Caption = data.Key = "WG";
    data.NodeAttributes = Domain;
    WriteNodeRecord(data);
    data.StoreDir = group;
    data.Caption = data.Key = "127.0.0.1";
    data.NodeAttributes = Computer;
    data.RemoteName = "\\\\127.0.0.1";
    WriteNodeRecord(data);
    fs::create_directories(s_server->folder("public") + "/資料夾");
    std::ofstream(s_server->folder("public") + "/資料夾/共用檔.txt") << "shared bytes";
    std::ofstream(s_server->folder("private-share") + "/秘密.txt") << "secret";
    WriteFolderListing({entry("\\\\127.0.0.1\\公開\\資料夾\\共用檔.txt", 12)}, group, "127.0.0.1", true);
    WriteFolderListing({entry("\\\\127.0.0.1\\私人\\秘密.txt", 6)}, group, "127.0.0.1", false);

    Collector collector(cache, home.path("target"));
    std::vector<std::string> asked;
    collector.HostAnswers = [&](const std::string& host) {
        asked.push_back(host);
        return true;
    };
    const CollectResult shared = collector.collect({"\\\\127.0.0.1\\公開\\資料夾\\共用檔.txt", "127.0.0.1"});
    EXPECT_EQ(shared.Code, 0) << shared.Message;
    EXPECT_EQ(home.readFile("target/共用檔.txt"), "shared bytes");
    const CollectResult secret = collector.collect({"\\\\127.0.0.1\\私人\\秘密.txt", "127.0.0.1"});
    EXPECT_NE(secret.Code, 0);
    EXPECT_NE(secret.Message.find("秘密.txt"), std::string::npos) << secret.Message;
    EXPECT_FALSE(fs::exists(home.path("target/秘密.txt")));
    EXPECT_EQ(asked, std::vector<std::string>{"127.0.0.1"});

    allowPrivateShare();
    const CollectResult allowed = collector.collect({"\\\\127.0.0.1\\私人\\秘密.txt", "127.0.0.1"});
    EXPECT_EQ(allowed.Code, 0) << allowed.Message;
    EXPECT_EQ(home.readFile("target/秘密.txt"), "secret");
}

} // namespace
