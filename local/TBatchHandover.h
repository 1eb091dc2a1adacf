#pragma once
#include <chrono>
#include <functional>
#include <utility>
#include <vector>

// Collects a worker's results and hands them to the window thread in batches: one
// synchronised call per batch instead of one per item. A batch goes when it is full, when
// the oldest item has waited long enough (so a slow listing still fills the screen), and
// when the worker calls Flush at its end or stop. Items keep their order.
template <typename Item>
class TBatchHandover {
public:
    /// Items per synchronised call.
    static constexpr size_t kBatchItems = 200;
    /// Longest time an item waits in a batch before it is handed over.
    static constexpr std::chrono::milliseconds kMaxDelay{100};

    /// `deliver` is called on the worker thread with a full batch; it is expected to
    /// synchronise (SynchronizeUnlessStopped) and put the items on the screen. A
    /// `firstBatchItems` other than 0 makes the first batch that small, so the screen fills
    /// at once while later batches stay large.
    explicit TBatchHandover(std::function<void(std::vector<Item>&&)> deliver,
                            size_t batchItems = kBatchItems,
                            std::chrono::milliseconds maxDelay = kMaxDelay,
                            size_t firstBatchItems = 0)
        : m_deliver(std::move(deliver)), m_batchItems(batchItems ? batchItems : 1),
          m_maxDelay(maxDelay), m_firstBatchItems(firstBatchItems ? firstBatchItems : m_batchItems)
    {
    }

    void Add(Item item)
    {
        if (m_items.empty())
            m_firstAdded = std::chrono::steady_clock::now();
        m_items.push_back(std::move(item));
        if (m_items.size() >= (m_delivered ? m_batchItems : m_firstBatchItems)
            || std::chrono::steady_clock::now() - m_firstAdded >= m_maxDelay)
            Flush();
    }

    /// Hands over whatever is waiting.
    void Flush()
    {
        if (m_items.empty())
            return;
        std::vector<Item> batch;
        batch.swap(m_items);
        m_delivered = true;
        m_deliver(std::move(batch));
    }

    /// What is waiting, taken out, for a last hand-over that carries more than the items.
    std::vector<Item> Take()
    {
        std::vector<Item> rest;
        rest.swap(m_items);
        return rest;
    }

    /// Drops what is waiting (the worker was stopped).
    void Discard() { m_items.clear(); }

    size_t Pending() const { return m_items.size(); }

private:
    std::function<void(std::vector<Item>&&)> m_deliver;
    size_t m_batchItems;
    std::chrono::milliseconds m_maxDelay;
    size_t m_firstBatchItems;
    bool m_delivered = false;
    std::vector<Item> m_items;
    std::chrono::steady_clock::time_point m_firstAdded;
};
