#pragma once
// The clock rate the test programs hand to the programs they start (KADEX_TIME_RATE, 1 to
// 100): read by the simulator and by test builds of the command line, never by the product.
#include "comm/Clock.h"

#include <cstdlib>

namespace kadex::sim {

inline void SetClockRateFromEnvironment()
{
    const char* text = std::getenv("KADEX_TIME_RATE");
    if (!text || !*text)
        return;
    char* end = nullptr;
    const unsigned long rate = std::strtoul(text, &end, 10);
    if (*end == '\0' && rate >= 1 && rate <= 100)
        SteadyClock::SetRate(static_cast<uint32_t>(rate));
}

} // namespace kadex::sim
