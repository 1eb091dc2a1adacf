// The site window against pyftpdlib on loopback: listings into the tree and the site's
// listing files, transfers, the busy rule, the close that removes the listings, the log in
// batches, and the window's state touched on its own thread only (every case checks that).
#include "network/TFTPEnumForm.h"

#include "local/TempTree.h"
#include "network/FtpServers.h"
#include "network/FtpSiteNode.h"
#include "platform/ThreadGuard.h"
#include "store/CacheListing.h"
#include "store/NodeTree.h"
#include "support/StallMeter.h"
#include "support/TestDrives.h"

#include <gtest/gtest.h>

#include "local/ForceStopEvent.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <array>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace {

std::string windowsPath(const std::string& native) { return "D:" + native + "\\"; }

class SiteWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tree.valid());
        MapTestDrives(tree.root());
        std::filesystem::create_directories(tree.path("root/b folder/inner"));
        std::filesystem::create_directories(tree.path("root/A folder"));
        std::ofstream(tree.path("root/b folder/inner/x.txt")) << "x";
        std::ofstream(tree.path("root/top file.txt")) << "top";
        std::filesystem::create_directories(tree.path("store"));
        std::filesystem::create_directories(tree.path("local"));
        ASSERT_TRUE(server.startPyftpd(tree.path("root"), "user", "secret"));

        site = AddLoopbackSiteNode(view);
        writeBlock(server.port());

        window = new TFTPEnumForm;
        window->AskQuestion = [this](const QString& text) {
            questions << text;
            return answer;
        };
        window->ShowError = [this](const QString& text) { errors << text; };
        window->ShowInformation = [this](const QString& text) { informations << text; };
        window->AskCredentials = [this](std::string& user, std::string& typed, bool& remember) {
            ++credentialAsks;
            user = "user";
            typed = "secret";
            remember = true;
            return true;
        };
        window->OnFinished = [this](QTreeWidgetItem* node) { finished << node; };
        violationsAtStart = ThreadOwner::violations();
    }
    void TearDown() override
    {
        if (window) {
            answer = true;
            window->close();
            QApplication::processEvents();
        }
        delete window.data();
        FreeNodeTree(site);
        RefreshDriveMap();
        EXPECT_EQ(ThreadOwner::violations(), violationsAtStart)
            << "the window's state was touched from the conversation's thread, or the conversation's from the window's";
    }
    /// The site's connection block, for the server on `port`.
    void writeBlock(int port)
    {
        FtpSiteBlock block;
        block.Host = "127.0.0.1";
        block.Port = port;
        block.User = "user";
        block.Password = password;
        std::array<unsigned char, FtpSiteBlockSize> bytes{};
        EncodeFtpSiteBlock(block, bytes.data());
        WriteNodeAttachment(*GetNodeData(site), bytes.data(), bytes.size());
    }
    /// Connects the window to the unruly server instead (listings that pause, bad dates).
    void useUnrulyServer()
    {
        ASSERT_TRUE(hostile.startUnruly(tree.root()));
        writeBlock(hostile.port());
    }
    /// Connects the window to the hostile server instead.
    void useHostileServer()
    {
        ASSERT_TRUE(hostile.startHostile(tree.root()));
        writeBlock(hostile.port());
    }
    QStringList itemNames(const TItemList& items) const
    {
        QStringList names;
        for (const TItemData& item : items)
            names << QString::fromStdString(ItemPath(item));
        names.sort();
        return names;
    }
    QStringList childCaptions(QTreeWidgetItem* node) const
    {
        QStringList captions;
        for (int i = 0; i < node->childCount(); ++i)
            captions << node->child(i)->text(0);
        return captions;
    }
    TItemList listing(const std::string& folder) const
    {
        TItemList items;
        ReadFolderListing(items, "D:\\store\\", "SITE", folder);
        return items;
    }

    TempTree tree;
    FtpTestServer server;
    FtpTestServer hostile;
    QTreeWidget view;
    QTreeWidgetItem* site = nullptr;
    QPointer<TFTPEnumForm> window;
    std::string password = "secret";
    bool updateAllowed = true, updateRunning = false, answer = true;
    QStringList questions, errors, informations;
    QList<QTreeWidgetItem*> finished;
    int credentialAsks = 0;
    int violationsAtStart = 0;
};

TEST_F(SiteWindowTest, ListsFoldersIntoTheTreeAndAppendsThemToOneListingPair)
{
    ASSERT_TRUE(window->ConnectSite(site, updateAllowed, updateRunning)) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(window->connected());
    EXPECT_EQ(childCaptions(site), (QStringList{QStringLiteral("A folder"), QStringLiteral("b folder")}));
    EXPECT_TRUE(GetNodeData(site)->State & Expanded);
    EXPECT_EQ(listing("\\").size(), 3u);
    QTreeWidgetItem* folder = site->child(1);
    const TNodeData* folderData = GetNodeData(folder);
    EXPECT_EQ(folderData->RemoteName, "\\b folder\\");
    EXPECT_EQ(folderData->Key, "SITE");
    EXPECT_EQ(folderData->SiteWindow, window.data());
    window->ListFolder(folder);
    EXPECT_EQ(childCaptions(folder), QStringList{QStringLiteral("inner")});
    // Both folders are in the same pair of files.
    EXPECT_EQ(listing("\\").size(), 3u);
    ASSERT_EQ(listing("\\b folder\\").size(), 1u);
    EXPECT_EQ(ItemPath(listing("\\b folder\\")[0]), "\\b folder\\inner");
    EXPECT_TRUE(updateAllowed);
    EXPECT_FALSE(updateRunning);
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_TRUE(window->logText().contains(QStringLiteral("成功連接 - 127.0.0.1")));
    EXPECT_TRUE(window->logText().contains(QStringLiteral("列出目錄成功")));

    // Closing asks, disconnects, collapses the site and deletes its listing files.
    answer = false;
    window->close();
    EXPECT_TRUE(window->connected());
    answer = true;
    window->close();
    QApplication::processEvents();
    EXPECT_EQ(questions.size(), 2);
    EXPECT_FALSE(std::filesystem::exists(tree.path("store/SITE.LST")));
    EXPECT_FALSE(std::filesystem::exists(tree.path("store/SITE.IDX")));
    EXPECT_TRUE(std::filesystem::exists(tree.path("store/SITE.ATT")));
    EXPECT_EQ(site->childCount(), 1);
    EXPECT_EQ(GetNodeData(site)->SiteWindow, nullptr);
    EXPECT_EQ(finished.last(), site);
}

TEST_F(SiteWindowTest, DownloadsUploadsAndChangesTheServer)
{
    ASSERT_TRUE(window->ConnectSite(site, updateAllowed, updateRunning));
    const std::string local = windowsPath("\\local");
    window->DownloadFiles(local, {"1\\top file.txt", "2\\b folder"});
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    std::ifstream in(tree.path("local/top file.txt"));
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "top");
    EXPECT_TRUE(std::filesystem::exists(tree.path("local/b folder/inner/x.txt")));
    EXPECT_TRUE(window->logText().contains(QStringLiteral("總共1 檔案,1 資料夾")));

    std::ofstream(tree.path("local/new.txt")) << "new";
    window->UploadFiles("\\A folder\\", {windowsPath("\\local") + "new.txt", windowsPath("\\local") + "missing.txt"});
    EXPECT_TRUE(std::filesystem::exists(tree.path("root/A folder/new.txt")));
    EXPECT_TRUE(window->RenameRemote("\\A folder\\new.txt", "renamed.txt"));
    EXPECT_TRUE(std::filesystem::exists(tree.path("root/A folder/renamed.txt")));
    EXPECT_TRUE(window->MakeRemoteFolder("\\A folder\\New"));
    EXPECT_TRUE(std::filesystem::is_directory(tree.path("root/A folder/New")));
    EXPECT_TRUE(window->DeleteRemote("\\A folder\\renamed.txt", false));
    EXPECT_FALSE(std::filesystem::exists(tree.path("root/A folder/renamed.txt")));
    EXPECT_FALSE(window->RenameRemote("\\A folder\\nothing", "x"));
    EXPECT_TRUE(window->logText().contains(QStringLiteral("更名成功")));
    EXPECT_TRUE(window->logText().contains(QStringLiteral("更改名稱失敗")));
}

// Names a server lists that spell a step out with the codec's escapes, that are all dots,
// that hold a control character or markup: downloaded through the window into the download
// folder and nowhere else, the refused one logged, every name shown in the log as it is.
TEST_F(SiteWindowTest, HostileNamesStayInTheDownloadFolderAndShowAsText)
{
    namespace fs = std::filesystem;
    const std::string dots = "\xC2\xA4" "2E" "\xC2\xA4" "2E";
    fs::create_directories(tree.path("root/" + dots + "/" + dots));
    std::ofstream(tree.path("root/" + dots + "/victim.txt")) << "server";
    std::ofstream(tree.path("root/" + dots + "/" + dots + "/deeper.txt")) << "server";
    std::ofstream(tree.path("root/" + dots + "/bell\x07.txt")) << "bell";
    std::ofstream(tree.path("root/<img src=x>.txt")) << "markup";
    std::ofstream(tree.path("root/...")) << "dots";
    fs::create_directories(tree.path("local/dl"));
    std::ofstream(tree.path("local/victim.txt")) << "mine";
    ASSERT_TRUE(window->ConnectSite(site, updateAllowed, updateRunning));
    window->DownloadFiles(windowsPath("\\local\\dl"), {"2\\" + dots, "1\\<img src=x>.txt", "1\\..."});
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    std::ifstream mine(tree.path("local/victim.txt"));
    std::string text;
    std::getline(mine, text);
    EXPECT_EQ(text, "mine") << "a file written above the download folder";
    EXPECT_TRUE(fs::exists(tree.path("local/dl/" + dots + "/victim.txt")));
    EXPECT_TRUE(fs::exists(tree.path("local/dl/" + dots + "/" + dots + "/deeper.txt")));
    EXPECT_FALSE(fs::exists(tree.path("local/" + dots)));
    EXPECT_FALSE(fs::exists(tree.path("local/dl/" + dots + "/bell\x07.txt")));
    EXPECT_TRUE(fs::exists(tree.path("local/dl/<img src=x>.txt")));
    EXPECT_TRUE(fs::exists(tree.path("local/dl/...")));
    QApplication::processEvents();
    const QString log = window->logText();
    EXPECT_TRUE(log.contains(QStringLiteral("<img src=x>.txt"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QString::fromUtf8("bell\x07.txt"))) << log.toStdString();
}

TEST_F(SiteWindowTest, ASecondOperationWhileBusyOnlyShowsTheBusyBox)
{
    ASSERT_TRUE(window->ConnectSite(site, updateAllowed, updateRunning));
    bool secondResult = true;
    // The second request arrives while the first download waits for the server.
    QTimer::singleShot(0, window, [&] { secondResult = window->MakeRemoteFolder("\\second"); });
    window->DownloadFiles(windowsPath("\\local"), {"1\\top file.txt"});
    QApplication::processEvents();
    EXPECT_FALSE(secondResult);
    EXPECT_FALSE(std::filesystem::exists(tree.path("root/second")));
    ASSERT_EQ(informations.size(), 1);
    EXPECT_TRUE(informations[0].contains(QStringLiteral("忙碌中,請稍待 ...")));
    EXPECT_TRUE(std::filesystem::exists(tree.path("local/top file.txt")));
}

TEST_F(SiteWindowTest, AWrongStoredPasswordAsksAndRemembersTheTypedOne)
{
    FtpSiteBlock block;
    std::array<unsigned char, FtpSiteBlockSize> bytes{};
    ReadNodeAttachment(*GetNodeData(site), bytes.data(), bytes.size());
    block = DecodeFtpSiteBlock(bytes.data());
    block.Password = "wrong";
    EncodeFtpSiteBlock(block, bytes.data());
    WriteNodeAttachment(*GetNodeData(site), bytes.data(), bytes.size());
    ASSERT_TRUE(window->ConnectSite(site, updateAllowed, updateRunning));
    EXPECT_EQ(credentialAsks, 1);
    ReadNodeAttachment(*GetNodeData(site), bytes.data(), bytes.size());
    EXPECT_EQ(DecodeFtpSiteBlock(bytes.data()).Password, "secret");
}

TEST_F(SiteWindowTest, AFolderListedAgainReplacesItsOwnListingAndKeepsTheOthers)
{
    ASSERT_TRUE(window->ConnectSite(site, updateAllowed, updateRunning));
    window->ListFolder(site->child(1));
    ASSERT_EQ(listing("\\b folder\\").size(), 1u);
    // The server changes; the root is listed again, as a refresh after an operation does.
    std::filesystem::remove(tree.path("root/top file.txt"));
    std::ofstream(tree.path("root/new file.txt")) << "new";
    window->ListFolder(site);
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(itemNames(listing("\\")),
              (QStringList{"\\A folder", "\\b folder", "\\new file.txt"}));
    EXPECT_EQ(itemNames(listing("\\b folder\\")), QStringList{"\\b folder\\inner"});
    // A folder that is empty now loses its earlier listing.
    std::filesystem::remove_all(tree.path("root/b folder/inner"));
    QTreeWidgetItem* folder = nullptr;
    for (int i = 0; i < site->childCount(); ++i)
        if (site->child(i)->text(0) == QStringLiteral("b folder"))
            folder = site->child(i);
    ASSERT_NE(folder, nullptr);
    window->ListFolder(folder);
    EXPECT_THROW(listing("\\b folder\\"), std::exception);
    EXPECT_EQ(listing("\\").size(), 3u);
}

TEST_F(SiteWindowTest, ClosingDuringADownloadAsksStopsTheLoopAndLeavesNoFile)
{
    useHostileServer();
    ASSERT_TRUE(window->ConnectSite(site, updateAllowed, updateRunning)) << errors.join(QLatin1Char('\n')).toStdString();
    // stall.bin goes first (downloads run in reverse order) and never comes; the close
    // arrives while the window waits for it.
    QTimer::singleShot(300, window, [this] { window->close(); });
    window->DownloadFiles(windowsPath("\\local"), {"1\\good.txt", "1\\stall.bin"});
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].contains(QStringLiteral("確定要離線?")));
    EXPECT_TRUE(informations.contains(QStringLiteral("嘗試離線中,請稍待 ..."))) << informations.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(std::filesystem::exists(tree.path("local/stall.bin")));
    EXPECT_FALSE(std::filesystem::exists(tree.path("local/good.txt"))) << "no further file after the close";
    EXPECT_FALSE(std::filesystem::exists(tree.path("store/SITE.LST")));
    EXPECT_EQ(site->childCount(), 1);
    EXPECT_EQ(GetNodeData(site)->SiteWindow, nullptr);
}

TEST_F(SiteWindowTest, ADownloadThatBrokeOffGoesOnFromWhereItStoppedWhenAskedAgain)
{
    useHostileServer();
    ASSERT_TRUE(window->ConnectSite(site, updateAllowed, updateRunning)) << errors.join(QLatin1Char('\n')).toStdString();
    const std::string local = tree.path("local/resume.bin");
    window->DownloadFiles(windowsPath("\\local"), {"1\\resume.bin"});
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("下載檔案時發生錯誤"))) << errors[0].toStdString();
    EXPECT_FALSE(std::filesystem::exists(local));
    EXPECT_EQ(std::filesystem::file_size(FtpClient::partialName(local)), 40000u);

    // The server sends the whole file only from an offset: a fresh start would break off again.
    window->DownloadFiles(windowsPath("\\local"), {"1\\resume.bin"});
    EXPECT_EQ(errors.size(), 1) << errors.join(QLatin1Char('\n')).toStdString();
    std::ifstream in(local, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(bytes.size(), 100000u);
    bool pattern = true;
    for (size_t i = 0; i < bytes.size() && pattern; ++i)
        pattern = static_cast<unsigned char>(bytes[i]) == i % 251;
    EXPECT_TRUE(pattern);
    EXPECT_FALSE(std::filesystem::exists(FtpClient::partialName(local)));
}

QTreeWidgetItem* childNamed(QTreeWidgetItem* node, const QString& caption)
{
    for (int i = 0; i < node->childCount(); ++i)
        if (node->child(i)->text(0) == caption)
            return node->child(i);
    return nullptr;
}

// A listing line dated as no calendar is refused alone and logged; the folder is listed.
TEST_F(SiteWindowTest, AListingLineWithAnImpossibleDateIsRefusedAloneAndLogged)
{
    useUnrulyServer();
    ASSERT_TRUE(window->ConnectSite(site, updateAllowed, updateRunning)) << errors.join(QLatin1Char('\n')).toStdString();
    QTreeWidgetItem* dates = childNamed(site, QStringLiteral("dates"));
    ASSERT_NE(dates, nullptr);
    window->ListFolder(dates);
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(childCaptions(dates), QStringList{QStringLiteral("sub")});
    EXPECT_EQ(itemNames(listing("\\dates\\")), QStringList({QStringLiteral("\\dates\\good.txt"),
                                                             QStringLiteral("\\dates\\sub")}));
    for (const char* name : {"zero.txt", "feb30.txt", "hour25.txt"})
        EXPECT_TRUE(window->logText().contains(QStringLiteral("拒絕日期不正確的項目: ") + QString::fromUtf8(name))) << name;

    // A folder download meets the same lines on the conversation's thread.
    window->DownloadFiles(windowsPath("\\local"), {"2\\dates\\"});
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(std::filesystem::exists(tree.path("local/dates/good.txt")));
}

// The server is stopped (SIGSTOP) halfway through a listing: the window thread goes on
// handling its events while it waits, the error says the server stopped answering, and
// after SIGCONT the next listing works.
TEST_F(SiteWindowTest, AServerThatStopsAnsweringIsAFaultNotAFreeze)
{
    useUnrulyServer();
    ASSERT_TRUE(window->ConnectSite(site, updateAllowed, updateRunning)) << errors.join(QLatin1Char('\n')).toStdString();
    QTreeWidgetItem* paused = childNamed(site, QStringLiteral("pause"));
    ASSERT_NE(paused, nullptr);
    // The meter's timer must go on ticking after the server has stopped and before the
    // listing gives up: a window thread that stood still until then would tick only afterwards.
    bool stopped = false;
    int ticksWhileSilent = 0;
    StallMeter meter;
    meter.onTick = [&] {
        if (stopped)
            ++ticksWhileSilent;
        if (!stopped && std::filesystem::exists(hostile.pausedMarker())) {
            ::kill(hostile.pid(), SIGSTOP);
            std::filesystem::remove(hostile.pausedMarker());
            stopped = true;
        }
    };
    window->ListFolder(paused);
    const int ticksBeforeTheEnd = ticksWhileSilent;
    ::kill(hostile.pid(), SIGCONT);
    ASSERT_TRUE(stopped) << "the listing never paused";
    EXPECT_GT(ticksBeforeTheEnd, 0) << "the window thread stood still while the server was silent";
    RecordProperty("longest_stall_ms_listing", int(meter.longestMs()));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("伺服器停止回應"))) << errors[0].toStdString();
    errors.clear();
    window->ListFolder(site);
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_NE(childNamed(site, QStringLiteral("dates")), nullptr);
}

// Stop (the task list's) while a download waits for a stopped server ends the job and the
// window without waiting for the server: the silence limit is set far out, so only Stop can
// end the transfer while the server stays stopped. No partial file takes its final name.
TEST_F(SiteWindowTest, StopDoesNotWaitForASilentServer)
{
    useUnrulyServer();
    window->serverSilenceMs = 600000;
    ASSERT_TRUE(window->ConnectSite(site, updateAllowed, updateRunning)) << errors.join(QLatin1Char('\n')).toStdString();
    bool stopped = false, serverKilled = false, goneWhileStopped = false;
    // A window that waited for the server would otherwise hang the test: the server is
    // killed after a while, which ends the transfer, and the order of the two events is what
    // fails the case.
    QTimer killAnyway;
    killAnyway.setSingleShot(true);
    QObject::connect(&killAnyway, &QTimer::timeout, [&] {
        serverKilled = true;
        ::kill(hostile.pid(), SIGKILL);
    });
    StallMeter meter;
    meter.onTick = [&] {
        if (!stopped && std::filesystem::exists(hostile.pausedMarker())) {
            ::kill(hostile.pid(), SIGSTOP);
            std::filesystem::remove(hostile.pausedMarker());
            stopped = true;
            QCoreApplication::postEvent(window, new QEvent(ForceStopEventType()));
            killAnyway.start(30000);
        }
    };
    window->DownloadFiles(windowsPath("\\local"), {"1\\pause.bin"});
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
    goneWhileStopped = window.isNull() && !serverKilled;
    ::kill(hostile.pid(), SIGCONT);
    ASSERT_TRUE(stopped) << "the download never paused";
    EXPECT_TRUE(goneWhileStopped) << "Stop waited for the server";
    RecordProperty("longest_stall_ms", int(meter.longestMs()));
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(std::filesystem::exists(tree.path("local/pause.bin")));
}

// What the window keeps of the listings is its own thread's: a reader on another thread is
// caught (which is what lets every case here check that the conversation kept out).
TEST_F(SiteWindowTest, TheWindowsListingsAreReadOnItsOwnThreadOnly)
{
    ASSERT_TRUE(window->ConnectSite(site, updateAllowed, updateRunning)) << errors.join(QLatin1Char('\n')).toStdString();
    const FtpEntry* entry = window->ListedEntry("\\", "top file.txt");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->size, 3);
    EXPECT_EQ(ThreadOwner::violations(), violationsAtStart);
    std::thread([this] { window->ListedEntry("\\", "top file.txt"); }).join();
    EXPECT_EQ(ThreadOwner::violations(), violationsAtStart + 1);
    violationsAtStart = ThreadOwner::violations();
}

// A folder of many files downloaded: the conversation's lines reach the log in one piece
// at the end of the download, not one insertion per file, and each file's line is there
// once, in the order the files were fetched (the order the server lists them).
TEST_F(SiteWindowTest, ADownloadOfManyFilesReachesTheLogInAFewBatchesInOrder)
{
    constexpr int kFiles = 120;
    std::filesystem::create_directories(tree.path("root/many"));
    for (int i = 0; i < kFiles; ++i)
        std::ofstream(tree.path("root/many/f" + std::to_string(1000 + i) + ".txt")) << i;
    ASSERT_TRUE(window->ConnectSite(site, updateAllowed, updateRunning)) << errors.join(QLatin1Char('\n')).toStdString();
    // The order the conversation meets the files in: the server's listing of the folder.
    FtpSite lister;
    FtpSettings settings;
    settings.host = "127.0.0.1";
    settings.port = server.port();
    settings.user = "user";
    settings.password = password;
    ASSERT_TRUE(lister.connect(settings, FtpEncoding::Utf8).ok);
    std::vector<FtpEntry> entries;
    std::vector<std::string> refused;
    ASSERT_TRUE(lister.listFolder("/many", 45000, entries, refused).ok);
    ASSERT_EQ(entries.size(), size_t(kFiles));
    lister.disconnect();

    // Only the end of the operation hands lines over: nothing depends on the machine's pace.
    window->logFlushInterval = std::chrono::hours(1);
    int writes = 0, lines = 0;
    window->OnLogWritten = [&](int count) {
        ++writes;
        lines += count;
    };
    window->DownloadFiles(windowsPath("\\local"), {"2\\many"});
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(std::filesystem::exists(tree.path("local/many/f1119.txt")));
    EXPECT_LE(writes, 3) << "one insertion per line";
    EXPECT_GE(lines, kFiles);
    const QStringList log = window->logText().split(QLatin1Char('\n'));
    const qsizetype summary = log.indexOf(QStringLiteral("總共1 資料夾"));
    ASSERT_GE(summary, 0) << window->logText().toStdString();
    qsizetype previous = summary;
    for (const FtpEntry& entry : entries) {
        const QString line = QStringLiteral("下載:/many/") + QString::fromStdString(entry.name);
        EXPECT_EQ(log.count(line), 1) << line.toStdString();
        const qsizetype at = log.indexOf(line);
        EXPECT_GT(at, previous) << line.toStdString() << " out of order";
        previous = std::max(previous, at);
    }
}

// While a command waits for the server, what the conversation wrote before it is on the
// screen: the log's timer hands it over without waiting for the command's end.
TEST_F(SiteWindowTest, TheLogShowsWhatTheConversationWroteWhileACommandStillWaits)
{
    useHostileServer();
    ASSERT_TRUE(window->ConnectSite(site, updateAllowed, updateRunning)) << errors.join(QLatin1Char('\n')).toStdString();
    bool shownWhileWaiting = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!window || !window->logText().contains(QStringLiteral("stall.bin")))
            return;
        shownWhileWaiting = true;
        poll.stop();
        window->close();
    });
    poll.start(20);
    // stall.bin never comes; the close that the line's arrival sets off ends the wait.
    window->DownloadFiles(windowsPath("\\local"), {"1\\stall.bin"});
    poll.stop();
    EXPECT_TRUE(shownWhileWaiting) << "the line waited for the command's end";
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
    EXPECT_TRUE(window.isNull());
    EXPECT_FALSE(std::filesystem::exists(tree.path("local/stall.bin")));
}

} // namespace
