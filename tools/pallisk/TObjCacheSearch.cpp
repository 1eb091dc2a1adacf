#include "tools/pallisk/TObjCacheSearch.h"

#include "local/TBatchHandover.h"

TObjCacheSearch::TObjCacheSearch(std::string cachePath, SearchQuery query, Mode mode)
    : m_cachePath(std::move(cachePath)), m_query(std::move(query)), m_mode(mode)
{
}

void TObjCacheSearch::Execute()
{
    std::vector<SearchHit> kept;
    TBatchHandover<SearchHit> handover(
        [this](std::vector<SearchHit>&& batch) {
            SynchronizeUnlessStopped([this, &batch] {
                if (OnHits)
                    OnHits(this, batch);
            });
        },
        kBatchHits, TBatchHandover<SearchHit>::kMaxDelay, kFirstBatchHits);
    Searched = SearchCache(
        m_cachePath, m_query,
        [&](const SearchHit& hit) {
            if (Terminated())
                return false;
            ++HitCount;
            if (m_mode == Mode::Duplicates)
                kept.push_back(hit);
            else
                handover.Add(hit);
            return true;
        },
        [this](const std::string& message) { Errors.push_back(message); });
    if (Terminated())
        return;
    if (m_mode == Mode::Hits) {
        handover.Flush();
    } else {
        auto groups = GroupDuplicates(kept);
        SynchronizeUnlessStopped([this, &groups] {
            if (OnGroups)
                OnGroups(this, groups);
        });
    }
}
