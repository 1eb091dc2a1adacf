#pragma once
#include "store/CacheSearch.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

// The collector: copies chosen files (or folders) of cached computers into one local
// folder, each from its computer while that computer answers. Nothing in the target is
// ever replaced: a name that is taken gets a number ("報告 (2).doc").

/// One thing to fetch: its path as the cache records it, and the computer whose cache
/// holds it (a caption; empty: the cached computer whose name the path begins with).
struct CollectItem {
    std::string Path;
    std::string Computer;
};

struct CollectResult {
    std::string Source;   // the path asked for
    std::string Target;   // native path it was stored as; empty when not fetched
    int Code = 0;         // 0 fetched, else a Win32 code
    std::string Message;  // why it was not fetched
};

/// Reads the things to fetch from text: pallisk's JSON lines ({"path":..,"computer":..})
/// or plain paths, one per line; blank lines are skipped. A line that is neither gives
/// `bad` its number and text and is left out.
std::vector<CollectItem> ReadCollectList(const std::string& text,
                                         const std::function<void(int line, const std::string&)>& bad = {});

/// `name`, or with " (2)", " (3)" ... before its extension, whichever does not exist yet
/// in the native folder `folder`.
std::string FreeName(const std::string& folder, const std::string& name);

class Collector {
public:
    /// `cachePath` is the program's "Cache\" (Windows form); `targetFolder` a native folder,
    /// made when missing.
    Collector(const std::string& cachePath, std::string targetFolder);

    /// Whether a host answers; PingHost by default. Asked once per host.
    std::function<bool(const std::string& host)> HostAnswers;

    /// Fetches one item; never throws.
    CollectResult collect(const CollectItem& item);

private:
    const CachedComputer* computerFor(const CollectItem& item) const;
    bool answers(const std::string& host);

    std::vector<CachedComputer> m_computers;
    std::string m_target;
    std::map<std::string, bool> m_hosts;
};
