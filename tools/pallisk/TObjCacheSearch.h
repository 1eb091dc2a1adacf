#pragma once
#include "local/TWorkerThread.h"
#include "store/CacheSearch.h"

#include <functional>
#include <string>
#include <vector>

// Runs one search over the cache in the background and hands the hits to the window
// thread in batches as they are found; or, for the duplicates, collects every hit and
// hands over the groups at the end. A stopped search puts nothing more on the screen.
class TObjCacheSearch : public TWorkerThread {
    Q_OBJECT
public:
    enum class Mode { Hits, Duplicates };

    /// Hits per batch after the first, which is small so the list fills at once.
    static constexpr size_t kBatchHits = 2000;
    static constexpr size_t kFirstBatchHits = 50;

    TObjCacheSearch(std::string cachePath, SearchQuery query, Mode mode);

    /// On the window thread, with the worker as sender; the vector may be taken.
    std::function<void(TObjCacheSearch*, std::vector<SearchHit>&)> OnHits;
    std::function<void(TObjCacheSearch*, std::vector<std::vector<SearchHit>>&)> OnGroups;

    /// Read by the completion handler.
    std::vector<std::string> Errors;  // "computer: message", one per computer that failed
    int Searched = 0;                 // computers searched without error
    size_t HitCount = 0;

protected:
    void Execute() override;
    void ClearHandlers() override
    {
        OnHits = nullptr;
        OnGroups = nullptr;
    }

private:
    const std::string m_cachePath;
    const SearchQuery m_query;
    const Mode m_mode;
};
