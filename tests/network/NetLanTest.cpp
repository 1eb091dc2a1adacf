// Discovery, reachability and the network enumerator on the test LAN of
// tests/support/test-lan.sh (this program runs in its client namespace).
#include <gtest/gtest.h>

#include "local/TWorkerThread.h"
#include "mainwindow/BrowseFixture.h"
#include "local/WaitFor.h"
#include "app/SetupInfo.h"
#include "network/NetDiscovery.h"
#include "network/TNetEnumForm.h"
#include "platform/DriveMap.h"
#include "store/NodeFile.h"
#include "store/NodeTree.h"
#include "support/TempFolder.h"
#include "network/TObjNetEnum.h"
#include "platform/NetResource.h"
#include "store/TNodeData.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QPointer>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#include <memory>

namespace {

class NetLan : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("TAMSEL_TEST_LAN"))
            GTEST_SKIP() << "runs only inside tests/support/test-lan.sh";
    }
    static std::string env(const char* name) { return std::getenv(name) ? std::getenv(name) : ""; }
    static std::string run(const std::string& command, int* status = nullptr)
    {
        std::string out;
        FILE* pipe = ::popen(command.c_str(), "r");
        char buffer[4096];
        while (pipe && std::fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        const int rc = pipe ? ::pclose(pipe) : -1;
        if (status)
            *status = WEXITSTATUS(rc);
        return out;
    }

    struct Outcome {
        bool done = false;
        bool completed = false;
        uint32_t code = 0;
        std::string text;
        std::vector<std::unique_ptr<TNodeData>> records;
    };
    // Runs TObjNetEnum on `node` and takes its records the way the expansion window does.
    static Outcome enumerate(TNodeData& node)
    {
        Outcome outcome;
        auto* worker = new TObjNetEnum(&node);
        worker->DiscoveryWaitMs = 1500;
        worker->BrowseProgram = TAMSEL_NET_PROGRAM;
        worker->OnTerminate = [&outcome](TWorkerThread* sender) {
            auto* w = static_cast<TObjNetEnum*>(sender);
            outcome.completed = w->Completed;
            outcome.code = w->ErrorCode;
            outcome.text = w->ErrorText;
            for (TNodeData* r : w->Results)
                outcome.records.emplace_back(r);
            w->Results.clear();
            outcome.done = true;
        };
        worker->Start();
        EXPECT_TRUE(WaitFor([&] { return outcome.done; }, 15000));
        return outcome;
    }
};

TEST_F(NetLan, PingOfAnAddressWithNoHostSaysUnreachable)
{
    int status = -1;
    const std::string dead = run(std::string(TAMSEL_NET_PROGRAM) + " ping " + env("TAMSEL_TEST_LAN_DEAD"), &status);
    EXPECT_EQ(status, 3);
    EXPECT_NE(dead.find("\"reachable\": false"), std::string::npos) << dead;
    const std::string alive = run(std::string(TAMSEL_NET_PROGRAM) + " ping " + env("TAMSEL_TEST_LAN_ALPHA"), &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(alive.find("\"reachable\": true, \"ms\": "), std::string::npos) << alive;
}

// A computer with a Chinese NetBIOS name, written in CP950 on the wire, reached by its
// name: by a name query on the LAN, through the name table (CP950 lines), from the command
// line and from the expanded network without an address. Needs no master browser.
TEST_F(NetLan, TheChineseComputerIsOpenedByItsName)
{
    TempFolder home;
    const std::string tools = "TAMSEL_HOME=" + home.path() + " TAMSEL_CONFIG=" + home.path("registry.reg") + " ";
    int status = -1;
    std::string out = run(tools + TAMSEL_NET_PROGRAM + " shares '\\\\會計室' 2>&1", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("{\"name\": \"公用\", \"type\": \"disk\""), std::string::npos) << out;
    out = run(tools + TAMSEL_NET_PROGRAM + " ls '\\\\會計室\\公用\\' 2>&1", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("帳目.txt"), std::string::npos) << out;

    // The name table as the program writes it, in CP950: 倉庫 stands for the same computer.
    home.writeFile("lmhosts", "# the office\n" + env("TAMSEL_TEST_LAN_KAIJI") + "     \xAD\xDC\xAE\x77\n");
    out = run(tools + TAMSEL_NET_PROGRAM + " shares '\\\\倉庫' 2>&1", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("\"公用\""), std::string::npos) << out;

    out = run(tools + VESSRING_PROGRAM + " '\\\\會計室' --workgroup 業務部 --json 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("\"computer\": \"會計室\", \"state\": \"complete\""), std::string::npos) << out;

    // A computer of the expanded network the user added by name alone.
    TNodeData byName;
    byName.RootKind = ExpandedRoot;
    byName.NodeAttributes = Computer | Container;
    byName.DisplayType = int32_t(netres::DisplayServer);
    byName.RemoteName = "\\\\會計室";
    Outcome shares = enumerate(byName);
    ASSERT_TRUE(shares.completed) << shares.code << " " << shares.text;
    std::vector<std::string> names;
    for (auto& r : shares.records)
        names.push_back(r->RemoteName);
    EXPECT_EQ(names, (std::vector<std::string>{"\\\\會計室\\pub\\", "\\\\會計室\\公用\\"}));
}

TEST_F(NetLan, EnumeratorLevels)
{
    TNodeData network;
    network.RootKind = NetRoot;
    network.NodeAttributes = Sys;
    network.Host = "";
    Outcome top = enumerate(network);
    ASSERT_TRUE(top.completed) << top.text;
    ASSERT_EQ(top.records.size(), 1u);
    TNodeData& provider = *top.records[0];
    EXPECT_EQ(provider.RemoteName, netres::ProviderName);
    EXPECT_EQ(provider.DisplayType, int32_t(netres::DisplayNetwork));
    EXPECT_TRUE(provider.has(Container));
    EXPECT_FALSE(provider.has(Domain) || provider.has(Computer));

    Outcome groups = enumerate(provider);
    ASSERT_TRUE(groups.completed) << groups.text;
    TNodeData* testlan = nullptr;
    for (auto& r : groups.records)
        if (r->RemoteName == "TESTLAN")
            testlan = r.get();
    ASSERT_NE(testlan, nullptr);
    EXPECT_TRUE(testlan->has(Domain) && testlan->has(Container));
    EXPECT_EQ(testlan->Host, "TESTLAN");
    EXPECT_EQ(testlan->Key, "TESTLAN");
    EXPECT_EQ(testlan->State, uint32_t(Idle));

    Outcome computers = enumerate(*testlan);
    ASSERT_TRUE(computers.completed) << computers.text;
    std::vector<std::string> names;
    for (auto& r : computers.records) {
        names.push_back(r->Caption);
        EXPECT_TRUE(r->has(Computer));
        EXPECT_EQ(r->RemoteName, "\\\\" + r->Caption);
        EXPECT_EQ(r->Host, "TESTLAN");  // inherited: only a domain gives its own name
    }
    EXPECT_NE(std::find(names.begin(), names.end(), "BETA"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "ALPHA"), names.end());

    // A computer of the expanded network is reached through its address: pinged, then its
    // disk shares, the administrative ones left out.
    TNodeData beta;
    beta.RootKind = ExpandedRoot;
    beta.NodeAttributes = Computer | Container;
    beta.DisplayType = int32_t(netres::DisplayServer);
    beta.RemoteName = "\\\\BETA";
    beta.Host = env("TAMSEL_TEST_LAN_BETA");
    Outcome shares = enumerate(beta);
    ASSERT_TRUE(shares.completed) << shares.code << " " << shares.text;
    ASSERT_EQ(shares.records.size(), 1u);
    EXPECT_EQ(shares.records[0]->RemoteName, "\\\\BETA\\pub\\");
    EXPECT_TRUE(shares.records[0]->has(Share) && shares.records[0]->has(Folder));
    EXPECT_EQ(shares.records[0]->Host, beta.Host);
}

TEST_F(NetLan, ExpandedComputerThatDoesNotAnswerIsNoAnswerWithinTheLimit)
{
    TNodeData dead;
    dead.RootKind = ExpandedRoot;
    dead.NodeAttributes = Computer | Container;
    dead.DisplayType = int32_t(netres::DisplayServer);
    dead.RemoteName = "\\\\GHOST";
    dead.Host = env("TAMSEL_TEST_LAN_DEAD");
    dead.State = 0;
    QElapsedTimer timer;
    timer.start();
    Outcome outcome = enumerate(dead);
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.code, 0u);
    EXPECT_EQ(outcome.text, "無反應");
    EXPECT_TRUE(outcome.records.empty());
    EXPECT_TRUE(dead.State & Idle);
}

TEST_F(NetLan, TheExpansionWindowHangsAWorkgroupsComputersInAndStoresThem)
{
    TempFolder cache;
    SetupInfo = TSetupInfo();
    SetupInfo.AutoHide = true;
    SetupInfo.AutoCache = true;
    QTreeWidget tree;
    auto* node = new QTreeWidgetItem(&tree);
    auto* group = new TNodeData;
    group->RootKind = NetRoot;
    group->NodeAttributes = Domain | Container;
    group->DisplayType = int32_t(netres::DisplayDomain);
    group->Usage = int32_t(netres::UsageContainer);
    group->RemoteName = group->Caption = group->Host = group->Key = "TESTLAN";
    group->StoreDir = WindowsPath(cache.path()) + "\\";
    group->State = Expanded | Idle;
    ShowNodeData(group, node);
    bool updateAllowed = true, updateRunning = false;
    QPointer<TNetEnumForm> form = new TNetEnumForm;
    form->DiscoveryWaitMs = 1500;
    form->BrowseProgram = TAMSEL_NET_PROGRAM;
    QStringList messages;
    form->ShowInformation = [&messages](const QString& text) { messages << text; };
    form->StartEnum(node, updateAllowed, updateRunning);
    ASSERT_TRUE(WaitFor([&] {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return form.isNull();
    }, 15000));
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    QStringList names;
    for (int i = 0; i < node->childCount(); ++i) {
        const TNodeData* data = GetNodeData(node->child(i));
        names << node->child(i)->text(0);
        EXPECT_TRUE(data->has(Computer));
        EXPECT_EQ(data->ImageIndex, 6);
        EXPECT_EQ(data->Host, "TESTLAN");
        EXPECT_EQ(node->child(i)->childCount(), 1);  // expandable
    }
    EXPECT_TRUE(names.contains("ALPHA") && names.contains("BETA")) << names.join(',').toStdString();
    // The computers are in the node file the workgroup loads its cached children from.
    TNodeList stored;
    LoadNodeFile(group->StoreDir + "TESTLAN\\", stored, true);
    QStringList storedNames;
    for (const auto& record : stored)
        storedNames << QString::fromStdString(record->Caption);
    EXPECT_TRUE(storedNames.contains("ALPHA") && storedNames.contains("BETA")) << storedNames.join(',').toStdString();
    EXPECT_TRUE(updateAllowed);
    EXPECT_FALSE(updateRunning);
    FreeNodeTree(tree.invisibleRootItem());
}

// Last: the master browser election of the test LAN takes about 20 s, and the tests
// above run meanwhile.
TEST_F(NetLan, DiscoverMergesNetBiosAndWsDiscoveryAndFindsTheSmb2OnlyComputerOverWsDiscoveryOnly)
{
    const std::string ready = env("TAMSEL_TEST_LAN_BROWSE_READY");
    ASSERT_TRUE(WaitFor([&] { return ::access(ready.c_str(), F_OK) == 0; }, 60000))
        << "ALPHA never became the master browser of TESTLAN";
    int status = -1;
    const std::string out = run(std::string(TAMSEL_NET_PROGRAM) + " discover --wait 1500", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("{\"type\": \"workgroup\", \"name\": \"TESTLAN\", \"sources\": [\"netbios\", \"wsd\"]}\n"),
              std::string::npos) << out;
    // BETA speaks no NetBIOS: only WS-Discovery can know it.
    EXPECT_NE(out.find("{\"type\": \"computer\", \"name\": \"BETA\", \"workgroup\": \"TESTLAN\", \"address\": \""
                       + env("TAMSEL_TEST_LAN_BETA") + "\", \"sources\": [\"wsd\"]}\n"), std::string::npos) << out;
    // ALPHA announces itself over DNS-SD too where the LAN has mDNS daemons.
    const std::string alphaSources = env("TAMSEL_TEST_LAN_MDNS").empty() ? "[\"netbios\", \"wsd\"]"
                                                                          : "[\"netbios\", \"wsd\", \"dnssd\"]";
    EXPECT_NE(out.find("{\"type\": \"computer\", \"name\": \"ALPHA\", \"workgroup\": \"TESTLAN\", \"address\": \""
                       + env("TAMSEL_TEST_LAN_ALPHA") + "\", \"sources\": " + alphaSources + "}\n"), std::string::npos) << out;

    // The browse child alone: what the window's NetBIOS source reads.
    const std::string netbios = run(std::string(TAMSEL_NET_PROGRAM) + " discover --source netbios", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(netbios.find("\"name\": \"ALPHA\", \"workgroup\": \"TESTLAN\""), std::string::npos) << netbios;
    EXPECT_EQ(netbios.find("BETA"), std::string::npos) << netbios;

    if (!env("TAMSEL_TEST_LAN_MDNS").empty()) {
        const std::string dnssd = run(std::string(TAMSEL_NET_PROGRAM) + " discover --source dnssd", &status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(dnssd, "{\"type\": \"computer\", \"name\": \"ALPHA\", \"workgroup\": \"\", \"address\": \""
                             + env("TAMSEL_TEST_LAN_ALPHA") + "\", \"sources\": [\"dnssd\"]}\n");
    }
}

// The master browsers list a Chinese workgroup and computer, decoded from CP950, besides
// stale entries whose names no code page of the LAN decodes: a server in TESTLAN's list
// and a workgroup in the list of workgroups, whose master does not exist. Both are reported
// for themselves and leave the rest listed, and WS-Discovery's UTF-8 names merge with the
// NetBIOS ones.
TEST_F(NetLan, ChineseNamesAreListedFromNetBiosAndStaleEntriesHideNothing)
{
    const std::string ready = env("TAMSEL_TEST_LAN_BROWSE_READY");
    ASSERT_TRUE(WaitFor([&] { return ::access(ready.c_str(), F_OK) == 0; }, 60000)) << "no master browser";
    const std::string announce = std::string(TAMSEL_TESTS_DIR) + "/support/nb-announce.py ";
    const std::string broadcast = " 10.77.0.255";
    int status = -1;
    run(announce + "host ffff5354414c45 TESTLAN" + broadcast, &status);
    ASSERT_EQ(status, 0);
    run(announce + "domain 8130475250 GHOST" + broadcast, &status);
    ASSERT_EQ(status, 0);
    // Read as Latin-1, every byte is a character: the entries are in the lists.
    const std::string raw = std::string("TAMSEL_OEM_CHARSET=ISO-8859-1 ") + TAMSEL_NET_PROGRAM
                            + " discover --source netbios --workgroup";
    std::string seen;
    ASSERT_TRUE(WaitFor([&] {
        seen = run(raw + "s 2>/dev/null; " + raw + " TESTLAN 2>/dev/null");
        return seen.find("STALE") != std::string::npos && seen.find("0GRP") != std::string::npos;
    }, 20000)) << seen;

    const std::string out = run(std::string(TAMSEL_NET_PROGRAM) + " discover --wait 1500 2>&1", &status);
    EXPECT_EQ(status, 0);
    // Each undecodable name is an error line of its own, by its bytes.
    EXPECT_NE(out.find("{\"error\": 123, \"message\": \"\\\\xFF\\\\xFFSTALE: "), std::string::npos) << out;
    EXPECT_NE(out.find("{\"error\": 123, \"message\": \"\\\\x810GRP: "), std::string::npos) << out;
    for (const std::string& line : {
             std::string("{\"type\": \"workgroup\", \"name\": \"TESTLAN\", \"sources\": [\"netbios\", \"wsd\"]}\n"),
             std::string("{\"type\": \"workgroup\", \"name\": \"業務部\", \"sources\": [\"netbios\", \"wsd\"]}\n"),
             "{\"type\": \"computer\", \"name\": \"會計室\", \"workgroup\": \"業務部\", \"address\": \""
                 + env("TAMSEL_TEST_LAN_KAIJI") + "\", \"sources\": [\"netbios\", \"wsd\"]}\n",
             std::string("\"name\": \"ALPHA\", \"workgroup\": \"TESTLAN\"")})
        EXPECT_NE(out.find(line), std::string::npos) << line << " in\n" << out;
    EXPECT_EQ(out.find("\"name\": \"\xC3\xBF"), std::string::npos) << out;
    EXPECT_EQ(out.find("GRP\", \"sources\""), std::string::npos) << out;
    EXPECT_EQ(out.find("STALE\", \"workgroup\""), std::string::npos) << out;
}

// The main window on the test LAN: the Chinese computer opened by its name from the address
// box, and the tree of the network neighbourhood expanded down to its share, with a picture
// of it for a look (TAMSEL_TEST_SCREENSHOTS names the folder; under Xvfb with
// QT_QPA_PLATFORM=xcb it is what the screen shows).
class NetLanWindow : public BrowseFixture {
protected:
    void SetUp() override
    {
        if (!std::getenv("TAMSEL_TEST_LAN"))
            GTEST_SKIP() << "runs only inside tests/support/test-lan.sh";
        BrowseFixture::SetUp();
        setenv("TAMSEL_NET", TAMSEL_NET_PROGRAM, 1);
        SetupInfo.AutoHide = true;
    }

    TMainForm& openLanForm()
    {
        TMainForm& form = openForm();
        form.NetEnumFormSetup = [this](TNetEnumForm* window) {
            window->DiscoveryWaitMs = 1500;
            window->ShowInformation = [this](const QString& text) { m_errors << text; };
            window->ShowError = [this](const QString& text) { m_errors << text; };
            window->AskCredentials = [](const std::string&, std::string&, std::string&, bool&) { return false; };
            m_windows << window;
        };
        return form;
    }

    // Expands a node live and waits until its expansion window has gone.
    bool expandLive(QTreeWidgetItem* node)
    {
        if (!node)
            return false;
        const int before = m_windows.size();
        node->setExpanded(true);
        return waitUntil([&] {
            return m_windows.size() > before
                   && std::all_of(m_windows.begin(), m_windows.end(), [](const auto& w) { return w.isNull(); });
        }, 15000);
    }

    QList<QPointer<TNetEnumForm>> m_windows;
};

TEST_F(NetLanWindow, TheChineseComputerOpensByNameAndTheTreeShowsItUnderItsWorkgroup)
{
    openLanForm();
    go("\\\\會計室\\公用");
    ASSERT_TRUE(waitUntil([this] { return listCaptions() == QStringList{QStringLiteral("帳目.txt")}; }, 15000))
        << listCaptions().join(',').toStdString() << " " << m_errors.join('\n').toStdString();
    EXPECT_EQ(shownFolder(), "\\\\會計室\\公用\\");

    const std::string ready = std::getenv("TAMSEL_TEST_LAN_BROWSE_READY");
    ASSERT_TRUE(waitUntil([&] { return ::access(ready.c_str(), F_OK) == 0; }, 60000)) << "no master browser";
    QTreeWidgetItem* provider = m_form->netRoot()->child(0);
    ASSERT_TRUE(expandLive(provider));
    QTreeWidgetItem* group = child(provider, "業務部");
    ASSERT_NE(group, nullptr) << captions(provider).join(',').toStdString();
    ASSERT_TRUE(expandLive(group));
    QTreeWidgetItem* computer = child(group, "會計室");
    ASSERT_NE(computer, nullptr) << captions(group).join(',').toStdString();
    EXPECT_EQ(GetNodeData(computer)->RemoteName, "\\\\會計室");
    ASSERT_TRUE(expandLive(computer));
    QTreeWidgetItem* share = child(computer, "公用");
    ASSERT_NE(share, nullptr) << captions(computer).join(',').toStdString();
    m_form->FolderTreeView->setCurrentItem(share);
    EXPECT_TRUE(waitUntil([this] { return listCaptions() == QStringList{QStringLiteral("帳目.txt")}; }, 15000))
        << listCaptions().join(',').toStdString();
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();

    // The tree's font has the characters, so the picture shows them rather than boxes.
    const QFontMetrics metrics(m_form->FolderTreeView->font());
    for (const QChar c : QStringLiteral("業務部會計室公用"))
        EXPECT_TRUE(metrics.inFont(c)) << QString(c).toStdString();
    const char* shots = std::getenv("TAMSEL_TEST_SCREENSHOTS");
    std::string folder = shots && *shots ? shots : "/tmp/tamsel-lan-shots";
    std::error_code made;
    std::filesystem::create_directories(folder, made);
    // The default folder may be another user's, from a run as root or in a user namespace.
    if (!(shots && *shots) && ::access(folder.c_str(), W_OK) != 0) {
        std::string own = "/tmp/tamsel-lan-shots-XXXXXX";
        ASSERT_NE(::mkdtemp(own.data()), nullptr);
        folder = own;
    }
    EXPECT_TRUE(m_form->grab().save(QString::fromStdString(folder + "/network-tree.png"))) << folder;
    std::printf("picture of the tree: %s/network-tree.png\n", folder.c_str());
}

} // namespace
