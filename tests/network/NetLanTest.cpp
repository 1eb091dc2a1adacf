// Discovery, reachability and the network enumerator on the test LAN of
// tests/support/test-lan.sh (this program runs in its client namespace).
#include "local/TWorkerThread.h"
#include "local/WaitFor.h"
#include "network/NetDiscovery.h"
#include "network/TObjNetEnum.h"
#include "platform/NetResource.h"
#include "store/TNodeData.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
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
    EXPECT_NE(out.find("{\"type\": \"computer\", \"name\": \"ALPHA\", \"workgroup\": \"TESTLAN\", \"address\": \""
                       + env("TAMSEL_TEST_LAN_ALPHA") + "\", \"sources\": [\"netbios\", \"wsd\"]}\n"), std::string::npos) << out;

    // The browse child alone: what the window's NetBIOS source reads.
    const std::string netbios = run(std::string(TAMSEL_NET_PROGRAM) + " discover --source netbios", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(netbios.find("\"name\": \"ALPHA\", \"workgroup\": \"TESTLAN\""), std::string::npos) << netbios;
    EXPECT_EQ(netbios.find("BETA"), std::string::npos) << netbios;
}

} // namespace
