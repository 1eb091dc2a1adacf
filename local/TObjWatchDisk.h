#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "local/TWorkerThread.h"

// A change watcher: waits for name changes in a folder and calls OnChange on the window
// thread for each notification. It runs from construction until it is woken after
// Terminate (always Terminate, then Wake; neither waits), or at once when the folder
// cannot be watched.
//
// A watch of a whole subtree is not possible here; a subtree watcher watches its root
// and the folders below it that its creator adds (the folders expanded in the tree), and
// reports a change in any of them as its own change.
class TObjWatchDisk : public TWorkerThread {
public:
    // Filter bits: which names to report.
    static constexpr uint32_t ChangeFileName = 1;
    static constexpr uint32_t ChangeDirName = 2;

    /// `path` is a Windows-style folder path. Starts the thread.
    TObjWatchDisk(const std::string& path, bool subtree, uint32_t filter);
    ~TObjWatchDisk() override;

    /// Ends the wait at once; after Terminate the thread then leaves. Any thread.
    void Wake();

    /// Watches one more folder below the root (subtree watchers). Window thread only.
    bool AddFolder(const std::string& path);
    void RemoveFolder(const std::string& path);

    const std::string& Path() const { return m_path; }
    bool Subtree() const { return m_subtree; }
    uint32_t Filter() const { return m_filter; }

    /// How many times the watcher has come to its wait with nothing unread: every change
    /// made before it came there has been read and, if it was to be reported, reported.
    /// Whoever made a change while the watcher was waiting knows, once this count has
    /// grown, that the change was dealt with. Any thread.
    uint64_t Waits() const { return m_waits.load(std::memory_order_acquire); }
    /// True while the watcher waits with nothing unread. Any thread.
    bool Waiting() const { return m_waiting.load(std::memory_order_acquire); }

    /// Called on the window thread per notification unless the terminate flag is set.
    std::function<void()> OnChange;
    /// True while OnChange runs: a handler shared by several watchers finds its caller.
    bool InHandler = false;

protected:
    void Execute() override;
    void ClearHandlers() override { OnChange = nullptr; }

private:
    int addWatch(const std::string& nativePath);
    bool readChanges();

    const std::string m_path;
    const bool m_subtree;
    const uint32_t m_filter;
    int m_inotifyFd = -1;
    int m_wakeFd = -1;
    int m_rootWatch = -1;
    std::map<std::string, int> m_folders;  // window thread only
    std::atomic<uint64_t> m_waits{0};
    std::atomic<bool> m_waiting{false};
};
