#include "common/Units.h"

namespace kadex {

const UnitSetEntry UnitSet[UnitSetCount] = {
    {u"m³/h / Pa", 1.0, 1.0},
    {u"l/s / Pa", 1.0 / 3.6, 1.0},
    {u"cfm / uPSI", 0.5886854653558604, 145.0389},
};

const UnitSetEntry& UnitSetAt(int index)
{
    return UnitSet[(index >= 0 && index < UnitSetCount) ? index : 0];
}

double FlowFactor(int index) { return UnitSetAt(index).flowFactor; }
double PressureFactor(int index) { return UnitSetAt(index).pressureFactor; }

double FunctionFactor(int unitIndex, int reglerFkt)
{
    return reglerFkt == 2 ? PressureFactor(unitIndex) : FlowFactor(unitIndex);
}

} // namespace kadex
