#include "comm/Clock.h"

#include <thread>

namespace kadex {

using namespace std::chrono;

uint64_t SteadyClock::NowMs()
{
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SteadyClock::SleepMs(uint32_t ms)
{
    std::this_thread::sleep_for(milliseconds(ms));
}

void SteadyClock::WaitUntil(std::unique_lock<std::mutex>& lk, std::condition_variable& cv, uint64_t deadlineMs)
{
    const uint64_t now = NowMs();
    if (deadlineMs <= now)
        return;
    cv.wait_for(lk, milliseconds(deadlineMs - now));
}

SteadyClock& SteadyClock::Instance()
{
    static SteadyClock clock;
    return clock;
}

} // namespace kadex
