#pragma once
// The rates the serial link runs at; the link falls back to 1200 for any other.
#include <algorithm>
#include <iterator>

namespace kadex {

inline constexpr int kBaudRates[] = {300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200};

constexpr bool IsBaudRate(int rate)
{
    return std::find(std::begin(kBaudRates), std::end(kBaudRates), rate) != std::end(kBaudRates);
}

} // namespace kadex
