#include "device/BetriebCalc.h"

#include "common/Helpers.h"

#include <algorithm>

namespace kadex::betrieb {

bool VminIsShareOfVmax(uint16_t firmware)
{
    return firmware == 0x0220 || firmware == 0x0221;
}

int32_t VminFromDevice(uint16_t firmware, uint16_t vmaxPrz, uint16_t rawVmin)
{
    if (VminIsShareOfVmax(firmware))
        return Trunc(static_cast<double>(vmaxPrz) * rawVmin / 10000.0);
    return rawVmin;
}

uint16_t VminToDevice(uint16_t firmware, uint16_t vmaxPrz, uint16_t vminPrz)
{
    if (!VminIsShareOfVmax(firmware))
        return vminPrz;
    if (vmaxPrz == 0)
        return 0;
    // Formed as 10000 * vmin / vmax so that 10000 / 5000 * 1000 gives 2000 exactly.
    return static_cast<uint16_t>(Trunc(10000.0 * vminPrz / vmaxPrz));
}

double ActuatorSignalPercent(bool linear, int y, int ymin, int ymax)
{
    if (linear) {
        if (ymax <= ymin)
            return 0.0;
        y = std::clamp(y, ymin, ymax);
        return 100.0 * (y - ymin) / (ymax - ymin);
    }
    if (y >= 5500 && y <= 6500)
        return 0.0;
    y = std::clamp(y, 2000, 10000);
    return y < 5500 ? (y - 5500) / 35.0 : (y - 6500) / 35.0;
}

double MotorFeedbackPercent(int16_t raw)
{
    return std::clamp(raw / 100.0, 0.0, 100.0);
}

SetpointView AutoSetpoint(uint16_t firmware, uint16_t s, uint16_t vminPrz, uint16_t vmaxPrz)
{
    SetpointView v;
    if (s > 10000) {
        v.none = true;
        return v;
    }
    const double w = s / 100.0;
    const double vmax = vmaxPrz / 100.0;
    const double vmin = vminPrz / 100.0;
    if (firmware >= 0x0220) {
        v.flowShare = w;
        v.shownPercent = (vmax - vmin > 1.0) ? (w - vmin) * 100.0 / (vmax - vmin) : 0.0;
    } else {
        v.flowShare = (w + vmin - vmin * w / 100.0) * vmax / 100.0;
        v.shownPercent = w;
    }
    return v;
}

double VariableFlowShare(uint16_t firmware, double b, uint16_t vminPrz, uint16_t vmaxPrz)
{
    const double vmax = vmaxPrz / 100.0;
    const double vmin = vminPrz / 100.0;
    if (firmware < 0x0220)
        return (b + vmin - b * vmin / 100.0) * vmax / 100.0;
    return vmin + b * (vmax - vmin) / 100.0;
}

void Sampling::Add(int32_t p)
{
    if (count >= 10)
        return;
    if (count == 0) {
        min = max = sum = p;
    } else {
        min = std::min(min, p);
        max = std::max(max, p);
        sum += p;
    }
    last = p;
    ++count;
}

} // namespace kadex::betrieb
