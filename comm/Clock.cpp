#include "comm/Clock.h"

#include <atomic>
#include <thread>

namespace kadex {

using namespace std::chrono;

namespace {
std::atomic<uint32_t> g_rate{1};
}

void SteadyClock::SetRate(uint32_t rate)
{
    g_rate = rate == 0 ? 1 : rate;
}

uint32_t SteadyClock::Rate()
{
    return g_rate.load();
}

uint64_t SteadyClock::NowUs()
{
    return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count()) * g_rate.load();
}

microseconds SteadyClock::RealSpan(uint64_t clockUs)
{
    return microseconds(static_cast<int64_t>(clockUs / g_rate.load()));
}

uint64_t SteadyClock::NowMs()
{
    return NowUs() / 1000;
}

void SteadyClock::SleepMs(uint32_t ms)
{
    std::this_thread::sleep_for(RealSpan(uint64_t{ms} * 1000));
}

void SteadyClock::WaitUntil(std::unique_lock<std::mutex>& lk, std::condition_variable& cv, uint64_t deadlineMs)
{
    const uint64_t now = NowMs();
    if (deadlineMs <= now)
        return;
    cv.wait_for(lk, RealSpan((deadlineMs - now) * 1000));
}

SteadyClock& SteadyClock::Instance()
{
    static SteadyClock clock;
    return clock;
}

} // namespace kadex
