#pragma once
#include <atomic>
#include <cstdio>
#include <exception>
#include <string>
#include <thread>

/// Runs `body` and hands the text of any exception it lets out to `failed`, so that none
/// leaves the thread function it runs in: one that does ends the whole program. Every
/// thread function of the program runs its work through this.
template <class Body, class Failed>
void RunGuarded(Body&& body, Failed&& failed) noexcept
{
    try {
        body();
    } catch (const std::exception& error) {
        failed(std::string(error.what()));
    } catch (...) {
        failed(std::string("unknown exception"));
    }
}

/// The thread a piece of state belongs to, checked wherever that state is touched. A touch
/// from another thread is a race that usually goes unseen, so it is counted and reported
/// rather than left to chance: the tests that drive the threads look at the count.
class ThreadOwner {
public:
    /// Makes the calling thread the owner.
    void claim() { m_owner.store(std::this_thread::get_id()); }
    /// True on the owner's thread (or before any thread claimed the state); otherwise counts
    /// the touch and names `what` on the standard error.
    bool check(const char* what) const
    {
        const std::thread::id owner = m_owner.load();
        if (owner == std::thread::id() || owner == std::this_thread::get_id())
            return true;
        s_violations.fetch_add(1);
        std::fprintf(stderr, "tamsel: %s touched from a thread not its own\n", what);
        return false;
    }
    /// How many touches from a wrong thread there were in this process.
    static int violations() { return s_violations.load(); }

private:
    std::atomic<std::thread::id> m_owner{};
    static inline std::atomic<int> s_violations{0};
};
