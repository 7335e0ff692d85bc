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

    // How many times faster than real time the steady clocks (this one and the simulator's)
    // run; 1 in the programs. Test programs raise it once, before any clock is read, so that
    // timeouts, guard times and simulated delays pass quicker with their proportions kept.
    static void SetRate(uint32_t rate);
    static uint32_t Rate();
    // Real microseconds since the clock's epoch times the rate.
    static uint64_t NowUs();
    // Real time for a span of clock time.
    static std::chrono::microseconds RealSpan(uint64_t clockUs);
};

} // namespace kadex
