// Live-value and level conversions of the operating data.
#include "common/Helpers.h"
#include "device/BetriebCalc.h"

#include <gtest/gtest.h>

using namespace kadex;
using namespace kadex::betrieb;

TEST(BetriebCalc, VminShareOfVmaxOnlyAt0220And0221)
{
    EXPECT_EQ(VminFromDevice(0x0221, 5000, 2000), 1000);
    EXPECT_EQ(VminFromDevice(0x0220, 5000, 2000), 1000);
    EXPECT_EQ(VminFromDevice(0x0222, 5000, 2000), 2000);
    EXPECT_EQ(VminFromDevice(0x021F, 5000, 2000), 2000);
    EXPECT_EQ(VminToDevice(0x0220, 5000, 1000), 2000);
    EXPECT_EQ(VminToDevice(0x0221, 3000, 1000), 3333);
    EXPECT_EQ(VminToDevice(0x0308, 5000, 1000), 1000);
    // V'max 0 at 0x0220: nothing to take a share of; no division by zero.
    EXPECT_EQ(VminToDevice(0x0220, 0, 1000), 0);
    EXPECT_EQ(VminFromDevice(0x0220, 0, 2000), 0);
}

TEST(BetriebCalc, ActuatorSignal)
{
    // "6V +- 4 V"
    EXPECT_DOUBLE_EQ(ActuatorSignalPercent(false, 5500, 0, 0), 0.0);
    EXPECT_DOUBLE_EQ(ActuatorSignalPercent(false, 6500, 0, 0), 0.0);
    EXPECT_DOUBLE_EQ(ActuatorSignalPercent(false, 1000, 0, 0), -100.0);
    EXPECT_DOUBLE_EQ(ActuatorSignalPercent(false, 10000, 0, 0), 100.0);
    EXPECT_DOUBLE_EQ(ActuatorSignalPercent(false, 8250, 0, 0), 50.0);
    EXPECT_DOUBLE_EQ(ActuatorSignalPercent(false, 12000, 0, 0), 100.0);
    // linear
    EXPECT_DOUBLE_EQ(ActuatorSignalPercent(true, 1500, 2000, 10000), 0.0);
    EXPECT_DOUBLE_EQ(ActuatorSignalPercent(true, 6000, 2000, 10000), 50.0);
    EXPECT_DOUBLE_EQ(ActuatorSignalPercent(true, 11000, 2000, 10000), 100.0);
    // Ymax = Ymin has no range: 0 %, not a division by zero.
    EXPECT_DOUBLE_EQ(ActuatorSignalPercent(true, 6000, 5000, 5000), 0.0);
    EXPECT_EQ(Fixed(ActuatorSignalPercent(true, 6000, 5000, 5000), 1), "0.0");
}

TEST(BetriebCalc, MotorFeedbackClamped)
{
    EXPECT_EQ(Fixed(MotorFeedbackPercent(10500), 1), "100.0");
    EXPECT_EQ(Fixed(MotorFeedbackPercent(-5), 1), "0.0");
    EXPECT_EQ(Fixed(MotorFeedbackPercent(4321), 1), "43.2");
}

TEST(BetriebCalc, AutoSetpoint)
{
    EXPECT_TRUE(AutoSetpoint(0x0308, 10001, 0, 10000).none);
    SetpointView v = AutoSetpoint(0x0308, 10000, 0, 10000);
    EXPECT_FALSE(v.none);
    EXPECT_DOUBLE_EQ(v.shownPercent, 100.0);
    // V'min 20.00 %, V'max 20.50 %: no usable span, shown 0.
    v = AutoSetpoint(0x0220, 2025, 2000, 2050);
    EXPECT_DOUBLE_EQ(v.shownPercent, 0.0);
    EXPECT_DOUBLE_EQ(v.flowShare, 20.25);
    v = AutoSetpoint(0x0220, 6000, 2000, 10000);
    EXPECT_DOUBLE_EQ(v.shownPercent, 50.0);
    // Old firmware: the setpoint is a share of the V'min..V'max range.
    v = AutoSetpoint(0x0210, 5000, 2000, 8000);
    EXPECT_DOUBLE_EQ(v.shownPercent, 50.0);
    EXPECT_DOUBLE_EQ(v.flowShare, (50 + 20 - 20 * 50 / 100.0) * 80 / 100.0);
}

TEST(BetriebCalc, VariableFlowShare)
{
    EXPECT_DOUBLE_EQ(VariableFlowShare(0x0308, 50, 2000, 10000), 60.0);
    EXPECT_DOUBLE_EQ(VariableFlowShare(0x0210, 50, 2000, 10000), 60.0);
    EXPECT_DOUBLE_EQ(VariableFlowShare(0x0210, 0, 2000, 8000), 16.0);
    EXPECT_DOUBLE_EQ(VariableFlowShare(0x0308, 0, 2000, 8000), 20.0);
}

TEST(BetriebCalc, SamplingStopsAtTen)
{
    Sampling s;
    s.Reset();
    s.Add(35);
    EXPECT_EQ(s.min, 35);
    EXPECT_EQ(s.max, 35);
    EXPECT_EQ(s.sum, 35);
    for (int i = 1; i < 10; ++i)
        s.Add(30 + i);
    EXPECT_TRUE(s.Complete());
    const Sampling before = s;
    s.Add(1000);
    EXPECT_EQ(s.count, 10);
    EXPECT_EQ(s.max, before.max);
    EXPECT_EQ(s.sum, before.sum);
    EXPECT_EQ(s.last, before.last);
}
