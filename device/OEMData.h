#pragma once
// The calibration ("OEM") configuration record: nominal value, conductance, density, sensor,
// actuator, controller function, texts and, from firmware 0x0204 on, the calibration
// constants. It mirrors the configuration area 0x0016..0x0123 of the controller and moves the
// values between the device and the window-value model (OEM tab and the dialogs' fields).
#include "device/FieldDifference.h"
#include "device/DeviceContext.h"

#include <QString>
#include <array>
#include <cstdint>
#include <functional>

namespace kadex {

class TVAVBetrieb;

inline constexpr int16_t SENSOR_VS = 1;    // volume signal
inline constexpr int16_t SENSOR_DRUCK = 2; // pressure sensor

// Values in device units.
struct TOEM_Data {
    uint16_t Vtot = 0;
    uint16_t Vnom = 0;
    uint16_t Dichte = 0;  // kg/m³ x 1024
    uint16_t Pmin = 0;    // mV
    uint16_t Pmax = 0;    // mV
    uint16_t Pnom = 0;
    uint16_t Ptot = 0;
    uint16_t Pverz = 0;   // ms
    uint16_t Ymin = 0, Ymax = 0;
    uint16_t YRmin = 0, YRmax = 0;
    int16_t StellwSignLin = 1; // 1 linear, 0 "6V ± 4 V"
    uint16_t tLZAntrieb = 0;   // s
    uint16_t ReglerFkt = 1;    // 1 volume flow, 2 pressure
    int16_t SensorTyp = SENSOR_DRUCK;
    uint32_t Leitwert = 0;     // x 100
    uint32_t Password = 0;
    QString OEMText;
    QString FenwixText;
    int16_t DrucksensorTyp = 0; // 1 DPK, 2 DSK3, 0 none
    bool operator==(const TOEM_Data&) const = default;
};

// The six sensor values in preset order: Pmin, Pmax, Pnom, Ptot, Pverz, Vtot.
using TSensorSet = std::array<uint16_t, 6>;

// The three calibration constants.
struct TKonstanten {
    int32_t KonstVnom = 0;
    float KonstWurzel = 0.0f;
    int32_t KonstPtot = 0;
    bool operator==(const TKonstanten&) const = default;
};

// The calibration computation; reglerFkt is the tool's controller function setting. Pure.
TKonstanten CalcKonstanten(const TOEM_Data& rec, int reglerFkt);

class TOEMData {
public:
    // betrieb gives the device key of the type text write and takes the written nominal value.
    TOEMData(TDeviceContext& ctx, TVAVBetrieb& betrieb);

    TOEM_Data OEM_Data;
    TOEM_Data OEM_Data_HW;
    TSensorSet SensorSetDruck{};
    TSensorSet SensorSetVS{};
    uint16_t VnomDruck = 0;
    uint16_t VnomVS = 0;
    uint8_t DrucksensorTypDevice = 0;
    QString DefaultHeader, DefaultValues;
    bool DefaultLoaded = false;

    // Hooks of windows built elsewhere: the actuator dialog's preset display, the function
    // dialog applying the shown function, the main window's preset detection.
    std::function<void()> OnActuatorPresetRefresh;
    std::function<void()> OnFunctionShown;
    std::function<void()> OnDetectPresets;
    // After a record was put into the windows (device values), once the device copy is set.
    std::function<void(const TOEM_Data& rec)> OnRecordShown;

    // From the tool settings and the main window's preset choices.
    void InitOEMData();
    // OEM_Data into the windows with the change rules of the affected fields suspended.
    void ShowOEMData();
    TOEM_Data MaskToOEMDataRecord() const;
    // Puts a record into the windows and makes it the device copy.
    void OEMDataRecordToMask(const TOEM_Data& rec);

    // Both stop at the first failed transfer and return false. A failed read leaves the
    // windows and the device copy as they were; a write updates the device copy transfer by
    // transfer, and after a failed write the device copy counts as unknown, so IsPcHwEqual
    // reports a difference until the next complete read or write.
    bool ReadConfig();
    bool WriteConfig();

    // The focused-value write of the ambient conditions group (the ambient conditions dialog's
    // confirm): password handshake, density, altitude, temperature and humidity, each only
    // while the ones before succeeded; Lock always; PanelProgStatus shows "Dichte setzen"
    // meanwhile and gets its old text back. On success the device copy's density is the
    // written one; after a failure the device copy counts as unknown.
    bool WriteConfigPartAmbient();

    TKonstanten CalcKonstanten(const TOEM_Data& rec) const;
    bool IsPcHwEqual();
    // The same walk as IsPcHwEqual, listing the differing fields: all of them, or (all false)
    // only the first, which is what IsPcHwEqual decides by. An unknown device copy ends both.
    FieldDifferences Compare(bool all);
    // False after a failed write, until a complete read or write.
    bool DeviceCopyKnown() const { return hwKnown_; }

    void StoreVnomDruck();
    void StoreVnomVS();
    void RestoreVnomDruck() { OEM_Data.Vnom = VnomDruck; }
    void RestoreVnomVS() { OEM_Data.Vnom = VnomVS; }
    void StoreSensorSetDruck();
    void StoreSensorSetVS();
    void RestoreSensorSetDruck() { setSensorSet(OEM_Data, SensorSetDruck); }
    void RestoreSensorSetVS() { setSensorSet(OEM_Data, SensorSetVS); }

    // The device copy with V'nom, P'nom and P'schleichm. as the window shows them (the
    // current unit set), for the printout and the action log.
    TOEM_Data DeviceCopyShown() const;

    bool IsSensorVariabel() const;
    bool IsAntriebVariabel() const;

    static TSensorSet SensorSetOf(const TOEM_Data& rec);
    static void setSensorSet(TOEM_Data& rec, const TSensorSet& set);

private:
    // The focused-value write updates the device copy group by group.
    friend class TFocusedWrite;
    double factorFor(int reglerFkt) const;
    double sensorFactor(int sensorTyp) const;
    uint16_t storeVnom(double factor);
    TSensorSet storeSensorSet(double factor);
    void showRecord(const TOEM_Data& rec);

    TDeviceContext& ctx_;
    TVAVBetrieb& betrieb_;
    TZBCmd& zb_;
    WindowModel& m_;
    bool hwKnown_ = true;
};

} // namespace kadex
