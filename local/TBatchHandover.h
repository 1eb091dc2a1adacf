#pragma once
#include "platform/MemoryPages.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

// Collects a worker's results and hands them to the window thread in batches: one
// synchronised call per batch instead of one per item. A batch goes when it is full, when
// the worker calls Flush at its end or stop, and when its oldest item has waited the
// longest delay. That last one must not wait for the worker's next item: a listing stuck on
// a share that stopped answering would keep what it found unseen. So a timer of the window
// thread (the thread the worker object lives in, and the one that has an event loop) hands
// the batch over when its delay passes; the worker only asks for it to be started. Items
// keep their order: the window thread runs every hand-over, the timer's and the worker's
// synchronised ones, one after another.
template <typename Item>
class TBatchHandover {
public:
    /// Items per synchronised call.
    static constexpr size_t kBatchItems = 200;
    /// Longest time an item waits in a batch before it is handed over.
    static constexpr std::chrono::milliseconds kMaxDelay{100};
    /// Room taken for a batch when it begins, at most.
    static constexpr size_t kMaxReservedItems = 8192;

    /// `deliver` gets each batch. The worker thread calls it for a full batch and on Flush;
    /// the window thread calls it when a batch's delay has passed. So it must hand the
    /// batch over with SynchronizeUnlessStopped (which runs the procedure at once on the
    /// window thread) and touch nothing outside that procedure. A `firstBatchItems` other
    /// than 0 makes the first batch that small, so the screen fills at once while later
    /// batches stay large.
    explicit TBatchHandover(std::function<void(std::vector<Item>&&)> deliver,
                            size_t batchItems = kBatchItems,
                            std::chrono::milliseconds maxDelay = kMaxDelay,
                            size_t firstBatchItems = 0)
        : m_state(std::make_shared<State>())
    {
        m_state->deliver = std::move(deliver);
        m_state->batchItems = batchItems ? batchItems : 1;
        m_state->maxDelay = maxDelay;
        m_state->firstBatchItems = firstBatchItems ? firstBatchItems : m_state->batchItems;
    }
    TBatchHandover(TBatchHandover&&) noexcept = default;
    TBatchHandover(const TBatchHandover&) = delete;
    TBatchHandover& operator=(const TBatchHandover&) = delete;

    /// Waits for a hand-over the timer has begun: `deliver` refers to the worker's state,
    /// which goes with this object. Later timers of this object hand over nothing.
    ~TBatchHandover()
    {
        if (!m_state)
            return;
        std::unique_lock<std::mutex> lock(m_state->mutex);
        m_state->closed = true;
        m_state->idle.wait(lock, [this] { return !m_state->timerDelivering; });
    }

    void Add(Item item)
    {
        State& s = *m_state;
        std::unique_lock<std::mutex> lock(s.mutex);
        const bool first = s.items.empty();
        if (first) {
            s.firstAdded = std::chrono::steady_clock::now();
            ++s.batchNumber;
            // A full batch is the usual case: its room taken at once, not grown row by row.
            ReservePrefaulted(s.items, std::min<size_t>(s.delivered ? s.batchItems : s.firstBatchItems, kMaxReservedItems));
        }
        s.items.push_back(std::move(item));
        if (s.items.size() >= (s.delivered ? s.batchItems : s.firstBatchItems)
            || std::chrono::steady_clock::now() - s.firstAdded >= s.maxDelay) {
            lock.unlock();
            Flush();
            return;
        }
        if (first)
            armTimer(m_state, s.batchNumber);
    }

    /// Hands over whatever is waiting.
    void Flush()
    {
        std::vector<Item> batch;
        {
            std::lock_guard<std::mutex> lock(m_state->mutex);
            if (m_state->items.empty())
                return;
            batch.swap(m_state->items);
            m_state->delivered = true;
        }
        m_state->deliver(std::move(batch));
    }

    /// What is waiting, taken out, for a last hand-over that carries more than the items.
    std::vector<Item> Take()
    {
        std::vector<Item> rest;
        std::lock_guard<std::mutex> lock(m_state->mutex);
        rest.swap(m_state->items);
        return rest;
    }

    /// Drops what is waiting (the worker was stopped).
    void Discard()
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->items.clear();
    }

    size_t Pending() const
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        return m_state->items.size();
    }

private:
    // Shared with the timers, which may fire after this object has gone.
    struct State {
        std::mutex mutex;
        std::condition_variable idle;
        std::function<void(std::vector<Item>&&)> deliver;
        size_t batchItems = 0;
        size_t firstBatchItems = 0;
        std::chrono::milliseconds maxDelay{0};
        std::vector<Item> items;
        std::chrono::steady_clock::time_point firstAdded;
        uint64_t batchNumber = 0;  // batches begun; a timer of an earlier one does nothing
        bool delivered = false;
        bool closed = false;
        bool timerDelivering = false;
    };

    // Starts, on the window thread, the timer of batch `batch`. Without an application there
    // is no window thread, and a batch waits for the next item or Flush.
    static void armTimer(const std::shared_ptr<State>& state, uint64_t batch)
    {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return;
        QMetaObject::invokeMethod(app, [state, batch, app] {
            // The delay counts from the batch's first item, not from this call.
            std::chrono::milliseconds left{0};
            {
                std::lock_guard<std::mutex> lock(state->mutex);
                const auto waited = std::chrono::steady_clock::now() - state->firstAdded;
                if (waited < state->maxDelay)
                    left = std::chrono::ceil<std::chrono::milliseconds>(state->maxDelay - waited);
            }
            QTimer::singleShot(left, app, [state, batch] { deliverOverdue(state, batch); });
        }, Qt::QueuedConnection);
    }

    // The timer of batch `batch` (window thread): hands it over unless the worker has done so
    // already, has begun another batch since, or has gone.
    static void deliverOverdue(const std::shared_ptr<State>& state, uint64_t batch)
    {
        std::vector<Item> items;
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            if (state->closed || state->batchNumber != batch || state->items.empty())
                return;
            items.swap(state->items);
            state->delivered = true;
            state->timerDelivering = true;
        }
        // The worker's destructor waits for this; it must end even when the delivery throws.
        struct Done {
            State& state;
            ~Done()
            {
                {
                    std::lock_guard<std::mutex> lock(state.mutex);
                    state.timerDelivering = false;
                }
                state.idle.notify_all();
            }
        } done{*state};
        state->deliver(std::move(items));
    }

    std::shared_ptr<State> m_state;
};
