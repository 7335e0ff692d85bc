#include "sim/SimClock.h"

#include "comm/Clock.h"

namespace kadex::sim {

using namespace std::chrono;

uint64_t RealClock::nowUs()
{
    // Runs at the bus layer's rate, so simulated delays keep their proportion to the tool's
    // timeouts when tests speed time up.
    return SteadyClock::NowUs();
}

void RealClock::waitUntil(std::unique_lock<std::mutex>& lk, std::condition_variable& cv, uint64_t deadlineUs)
{
    const uint64_t now = nowUs();
    if (deadlineUs <= now)
        return;
    cv.wait_for(lk, SteadyClock::RealSpan(deadlineUs - now));
}

uint64_t ManualClock::nowUs()
{
    std::lock_guard<std::mutex> g(m_);
    return now_;
}

void ManualClock::waitUntil(std::unique_lock<std::mutex>& lk, std::condition_variable& cv, uint64_t deadlineUs)
{
    if (deadlineUs <= nowUs())
        return;
    cv.wait_for(lk, milliseconds(2));
}

void ManualClock::advanceUs(uint64_t us)
{
    std::lock_guard<std::mutex> g(m_);
    now_ += us;
}

} // namespace kadex::sim
