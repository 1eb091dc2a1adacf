#pragma once
#include "local/TWorkerThread.h"
#include "platform/Win32Error.h"
#include "store/TNodeData.h"

#include <string>
#include <vector>

// Lists the children of one node of the network neighbourhood or of the expanded network
// as new, unattached node records: the whole network gives the provider, the provider the
// workgroups and domains that discovery finds, a workgroup its computers, a computer its
// disk shares. Runs once and frees itself; the completion handler takes the records.
class TObjNetEnum : public TWorkerThread {
    Q_OBJECT
public:
    /// How long discovery listens for workgroups and computers.
    static constexpr int kDiscoveryWaitMs = 3000;

    /// `node` is owned by the tree; its Idle bit keeps it alive while the worker runs.
    explicit TObjNetEnum(TNodeData* node);
    /// Frees the records nobody took out of Results (a stopped or failed run leaves some).
    ~TObjNetEnum() override;

    void Start() { Resume(); }

    bool Completed = false;
    /// The new records; the completion handler takes them by moving them out.
    std::vector<TNodeData*> Results;
    uint32_t ErrorCode = 0;
    std::string ErrorText;
    /// One line for each name left out because it could not name an entry (IsPlainName).
    std::vector<std::string> Refused;
    /// What failed for one workgroup while the rest was listed ("NAME: text"); the window
    /// logs each, and the run still counts as completed.
    std::vector<std::string> Problems;

    /// Discovery's wait, shorter in tests.
    int DiscoveryWaitMs = kDiscoveryWaitMs;
    /// The program that does the NetBIOS browse; empty for the default.
    std::string BrowseProgram;
    /// Which discovery sources listen (discovery::Options::sources); all by default.
    unsigned DiscoverySources = ~0u;

protected:
    void Execute() override;
    void ExecuteFailed(const std::string& message) override
    {
        ErrorCode = Win32::GenFailure;
        ErrorText = message;
    }

private:
    void fail(uint32_t code);
    /// Appends one record for `resource`; false when the stop request ended the loop.
    bool addResource(const struct NetResource& resource);
    std::vector<NetResource> enumerate(bool& ok);

    TNodeData* m_node;
    std::string m_inheritedHost;
    std::string m_pingAddress;
    bool m_reachable = true;
    // Copied at construction: the worker never reads the node's fields again, except to
    // set its Idle bit after a failed ping.
    TNodeData m_request;
};
