#pragma once
// Time source of the bus layer; tests replace it to control time exactly.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace kadex {

class IClock {
public:
    virtual ~IClock() = default;
    // Milliseconds from an arbitrary start, monotonic.
    virtual uint64_t NowMs() = 0;
    // Plain sleep of the calling thread.
    virtual void SleepMs(uint32_t ms) = 0;
    // Blocks on cv (lk held on entry and on return) until notified or until NowMs() reaches
    // deadlineMs. Spurious returns are allowed; callers re-check their condition.
    virtual void WaitUntil(std::unique_lock<std::mutex>& lk, std::condition_variable& cv, uint64_t deadlineMs) = 0;
};

class SteadyClock final : public IClock {
public:
    uint64_t NowMs() override;
    void SleepMs(uint32_t ms) override;
    void WaitUntil(std::unique_lock<std::mutex>& lk, std::condition_variable& cv, uint64_t deadlineMs) override;
    static SteadyClock& Instance();
};

} // namespace kadex
