#pragma once
// A clock for threads that wait on it: time moves only when a test advances it, and advancing
// wakes every waiter whose deadline has come. Waiting stays a plain condition-variable wait;
// the clock keeps a list of the waiters so that it can notify them.
#include "comm/Clock.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace kadex::test {

class VirtualClock final : public IClock {
public:
    explicit VirtualClock(uint64_t startMs = 1000) : now_(startMs) {}

    uint64_t NowMs() override
    {
        std::lock_guard<std::mutex> g(m_);
        return now_;
    }

    void SleepMs(uint32_t ms) override
    {
        std::mutex sm;
        std::condition_variable scv;
        std::unique_lock<std::mutex> lk(sm);
        const uint64_t until = NowMs() + ms;
        while (NowMs() < until)
            WaitUntil(lk, scv, until);
    }

    void WaitUntil(std::unique_lock<std::mutex>& lk, std::condition_variable& cv, uint64_t deadlineMs) override
    {
        Waiter w{&cv, lk.mutex(), deadlineMs, 0};
        {
            std::lock_guard<std::mutex> g(m_);
            if (deadlineMs <= now_)
                return;
            w.id = ++nextId_;
            waiters_.push_back(&w);
            changed_.notify_all();
        }
        // The caller's mutex is held until the wait releases it, so an advance (which takes
        // that mutex before notifying) cannot slip in between registering and waiting.
        cv.wait(lk);
        // Leave the list without holding the caller's mutex: an advance may be about to take it.
        lk.unlock();
        {
            std::unique_lock<std::mutex> g(m_);
            changed_.wait(g, [&] { return !w.notifying; });
            waiters_.erase(std::find(waiters_.begin(), waiters_.end(), &w));
            changed_.notify_all();
        }
        lk.lock();
    }

    // Moves time on and wakes the waiters whose deadline has come; returns once they have left
    // their waits (what they do next runs concurrently).
    void Advance(uint64_t ms) { AdvanceTo(NowMs() + ms); }

    void AdvanceTo(uint64_t t)
    {
        std::vector<Waiter*> due;
        std::vector<uint64_t> ids;
        {
            std::lock_guard<std::mutex> g(m_);
            now_ = std::max(now_, t);
            for (Waiter* w : waiters_) {
                if (w->deadline <= now_ && !w->notifying) {
                    w->notifying = true;
                    due.push_back(w);
                    ids.push_back(w->id);
                }
            }
        }
        for (Waiter* w : due) {
            std::lock_guard<std::mutex> g(*w->mutex);
            w->cv->notify_all();
        }
        std::unique_lock<std::mutex> g(m_);
        for (Waiter* w : due)
            w->notifying = false;
        changed_.notify_all();
        changed_.wait(g, [&] {
            return std::none_of(waiters_.begin(), waiters_.end(), [&](const Waiter* w) {
                return std::find(ids.begin(), ids.end(), w->id) != ids.end();
            });
        });
    }

    // Threads waiting on this clock now.
    size_t Waiters()
    {
        std::lock_guard<std::mutex> g(m_);
        return waiters_.size();
    }

    // Blocks (in real time, at most timeoutMs) until at least n threads wait on this clock, so a
    // test advances only once the threads have reached their waits.
    bool WaitForWaiters(size_t n, int timeoutMs = 10000)
    {
        std::unique_lock<std::mutex> g(m_);
        return changed_.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] { return waiters_.size() >= n; });
    }

    // Like WaitForWaiters, for a waiter with exactly this deadline (one that has counted its wait
    // from a known moment).
    bool WaitForWaiterAt(uint64_t deadlineMs, int timeoutMs = 10000)
    {
        std::unique_lock<std::mutex> g(m_);
        return changed_.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] {
            return std::any_of(waiters_.begin(), waiters_.end(), [&](const Waiter* w) { return w->deadline == deadlineMs; });
        });
    }

private:
    struct Waiter {
        std::condition_variable* cv;
        std::mutex* mutex;
        uint64_t deadline;
        uint64_t id;
        bool notifying = false;
    };
    std::mutex m_;
    std::condition_variable changed_;
    std::vector<Waiter*> waiters_;
    uint64_t now_;
    uint64_t nextId_ = 0;
};

} // namespace kadex::test
