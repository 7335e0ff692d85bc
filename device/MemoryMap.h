#pragma once
// Controller memory cells the device records read and write. Configuration values are
// big-endian; the single-precision floats (K, KonstWurzel) are little-endian.
#include <cstdint>

namespace kadex::memmap {

// Controller-parameter (QV) area, 0x0001..0x0113; written only after Unlock with the device key.
inline constexpr uint16_t SnrYearWeek = 0x0001;    // 2 bytes; the 7 identity bytes start here
inline constexpr uint16_t SnrDaySnr = 0x0003;      // 2 bytes
inline constexpr uint16_t SnrSuffix = 0x0005;      // 1 byte each: suffix, device family, test station
inline constexpr uint16_t SnrDevFam = 0x0006;
inline constexpr uint16_t SnrTestStation = 0x0007;
inline constexpr uint8_t SnrBytes = 7;
inline constexpr uint16_t QvFlags = 0x0008;        // bit 0 set: external flow sensor
inline constexpr uint16_t BetrOn = 0x000A;         // 2 bytes, then BetrRun
inline constexpr uint16_t BetrRun = 0x000C;
inline constexpr uint16_t AddressCode = 0x000E;    // bus address code
inline constexpr uint16_t T1 = 0x0100;             // T1, Tv, Tn, KTa: 2 bytes each
inline constexpr uint16_t Tv = 0x0102;
inline constexpr uint16_t Tn = 0x0104;
inline constexpr uint16_t KTa = 0x0106;
inline constexpr uint16_t Adaptiv = 0x0108;        // 1 byte
inline constexpr uint16_t K = 0x0110;              // float, little-endian

// Calibration configuration area, 0x0016..0x0123; written only after Unlock with the OEM key
// (the low half of the password), except the type text, which needs the device key.
inline constexpr uint16_t ConfigFlags = 0x0016;    // bit 1 set: actuator signal "6V ± 4 V"
inline constexpr uint16_t Password = 0x0018;       // 4 bytes
inline constexpr uint16_t Function = 0x001D;       // 0 volume flow, 1 pressure
inline constexpr uint16_t SensorTyp = 0x001E;      // 1 volume signal, 2 pressure sensor
inline constexpr uint16_t DrucksensorTyp = 0x0020; // pressure sensor family
inline constexpr uint16_t Vtot = 0x0028;
inline constexpr uint16_t Leitwert16 = 0x002A;     // conductance / 10 (conductance x 100 / 10)
inline constexpr uint16_t Dichte = 0x002C;         // density x 1024
inline constexpr uint16_t LZAntrieb = 0x002E;      // actuator running time, s
inline constexpr uint16_t Vnom = 0x0032;
inline constexpr uint16_t Ymin = 0x0038;           // Ymin, Ymax
inline constexpr uint16_t Ymax = 0x003A;
inline constexpr uint16_t Ptot = 0x0044;           // Ptot, Pverz
inline constexpr uint16_t Pverz = 0x0046;
inline constexpr uint16_t Pmin = 0x0048;           // Pmin, Pmax, Pnom
inline constexpr uint16_t Pmax = 0x004A;           // Pmax, Pnom
inline constexpr uint16_t Pnom = 0x004C;
inline constexpr uint16_t YRmin = 0x004E;          // YRmin, YRmax
inline constexpr uint16_t YRmax = 0x0050;
inline constexpr uint16_t Hoehe = 0x0060;          // altitude, m
inline constexpr uint16_t Temp = 0x0062;           // temperature, °C, signed
inline constexpr uint16_t Feuchte = 0x0064;        // relative humidity, %
inline constexpr uint16_t OEMText = 0x0070;        // 16 characters
inline constexpr uint16_t PositionText = 0x0080;   // 16 characters
inline constexpr uint16_t FenwixText = 0x0090;     // 16 characters, device key
inline constexpr uint16_t Leitwert32 = 0x0114;     // conductance x 100, from firmware 0x0204
inline constexpr uint16_t KonstVnom = 0x0118;      // from firmware 0x0204
inline constexpr uint16_t KonstWurzel = 0x011C;    // float, little-endian
inline constexpr uint16_t KonstPtot = 0x0120;

// Firmware from which the conductance cell and the calibration constants exist.
inline constexpr uint16_t FwKonstanten = 0x0204;
// Firmware from which the volume-signal sensor exists.
inline constexpr uint16_t FwVolumensignal = 0x0220;

} // namespace kadex::memmap
