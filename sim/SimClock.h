#pragma once
// Time source of the simulator, in microseconds: wire timing needs finer steps than a
// millisecond, and tests drive the live values with a clock they advance by hand.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace kadex::sim {

class SimClock {
public:
    virtual ~SimClock() = default;
    // Microseconds from an arbitrary start, monotonic.
    virtual uint64_t nowUs() = 0;
    // Blocks on cv (lk held on entry and on return) until notified or until nowUs() reaches
    // deadlineUs. Spurious returns are allowed; callers re-check.
    virtual void waitUntil(std::unique_lock<std::mutex>& lk, std::condition_variable& cv, uint64_t deadlineUs) = 0;
};

class RealClock final : public SimClock {
public:
    uint64_t nowUs() override;
    void waitUntil(std::unique_lock<std::mutex>& lk, std::condition_variable& cv, uint64_t deadlineUs) override;
};

// Time moves only when advanced. Waiters poll in short real slices, so a thread waiting for a
// manual deadline notices an advance without the clock knowing about every condition variable.
class ManualClock final : public SimClock {
public:
    explicit ManualClock(uint64_t startUs = 1'000'000) : now_(startUs) {}
    uint64_t nowUs() override;
    void waitUntil(std::unique_lock<std::mutex>& lk, std::condition_variable& cv, uint64_t deadlineUs) override;
    void advanceUs(uint64_t us);
    void advanceMs(uint64_t ms) { advanceUs(ms * 1000); }

private:
    std::mutex m_;
    uint64_t now_;
};

} // namespace kadex::sim
