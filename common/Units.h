#pragma once
// The three unit sets: display value = device value (m³/h or Pa) x factor.
#include <QString>

namespace kadex {

struct UnitSetEntry {
    const char16_t* name;
    double flowFactor;
    double pressureFactor;
};

inline constexpr int UnitSetCount = 3;
extern const UnitSetEntry UnitSet[UnitSetCount];

// Index outside 0..2 is taken as 0.
const UnitSetEntry& UnitSetAt(int index);
double FlowFactor(int index);
double PressureFactor(int index);
// The factor of the controller function: 1 = volume flow, 2 = pressure.
double FunctionFactor(int unitIndex, int reglerFkt);

} // namespace kadex
