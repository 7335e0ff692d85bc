#pragma once
// Conversions of the operating data and the live values, as plain functions.
#include <QString>
#include <cstdint>

namespace kadex::betrieb {

// V'min as stored by exactly 0x0220/0x0221 is a share of V'max (hundredths of a percent).
bool VminIsShareOfVmax(uint16_t firmware);
// Raw V'min from the device to V'min in 0.01 % of V'nom.
int32_t VminFromDevice(uint16_t firmware, uint16_t vmaxPrz, uint16_t rawVmin);
// V'min in 0.01 % of V'nom to what the device stores. A V'max of 0 cannot carry a share:
// V'min is then sent as 0 instead of dividing by zero.
uint16_t VminToDevice(uint16_t firmware, uint16_t vmaxPrz, uint16_t vminPrz);

// Actuator signal Y in percent. Linear: y clamped into [ymin, ymax] and scaled (0 when
// ymax <= ymin, where no range exists). "6V +- 4 V": -100..+100 % with a dead band 5500..6500 mV.
double ActuatorSignalPercent(bool linear, int y, int ymin, int ymax);

// Motor position feedback: signed 0.01 % to percent, clamped into 0..100.
double MotorFeedbackPercent(int16_t raw);

struct SetpointView {
    bool none = false;      // "---"
    double shownPercent = 0;
    double flowShare = 0;   // percent of V'nom
};
// Setpoint display in "Auto": s in 0.01 % (above 10000 means none).
SetpointView AutoSetpoint(uint16_t firmware, uint16_t s, uint16_t vminPrz, uint16_t vmaxPrz);
// Flow share (percent of V'nom) of a "Variabel" setpoint b in percent.
double VariableFlowShare(uint16_t firmware, double b, uint16_t vminPrz, uint16_t vmaxPrz);

// Pressure sampling for the conductance measurement: at most ten samples.
struct Sampling {
    int32_t last = 0, min = 0, max = 0, sum = 0, count = 0;
    void Reset() { last = -1; min = max = 0; sum = 0; count = 0; }
    void Add(int32_t p);
    bool Complete() const { return count >= 10; }
};

} // namespace kadex::betrieb
