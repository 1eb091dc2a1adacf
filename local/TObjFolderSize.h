#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "local/TWorkerThread.h"

// Adds up the sizes of files and folders (links not followed) for the properties window,
// off the window thread, reporting the running totals now and then.
class TObjFolderSize : public TWorkerThread {
public:
    /// Interval between two reports of the running totals.
    static constexpr std::chrono::milliseconds kReportInterval{200};

    explicit TObjFolderSize(std::vector<std::string> nativePaths) : m_paths(std::move(nativePaths)) {}

    void Start() { Resume(); }

    /// Running totals, on the window thread; the completion handler reads the final ones.
    std::function<void(TObjFolderSize*)> OnProgress;
    uint64_t Bytes = 0;
    uint64_t Files = 0;
    uint64_t Folders = 0;

protected:
    void Execute() override;
    void ClearHandlers() override { OnProgress = nullptr; }

private:
    void add(const std::string& path, bool top);
    void report();

    std::vector<std::string> m_paths;
    std::chrono::steady_clock::time_point m_lastReport;
};
