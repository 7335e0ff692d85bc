#pragma once
// The operating data record: flow levels, W1/U5 ranges, nominal value and position text of
// the connected controller, its identification, the override operation with its live values
// and the pressure sampling of the conductance measurement.
#include "device/FieldDifference.h"
#include "device/BetriebCalc.h"
#include "device/DeviceContext.h"
#include "device/Identify.h"

#include <QString>
#include <atomic>
#include <functional>
#include <mutex>

namespace kadex {

// Defaults of a fresh record (section BETRIEB of the tool settings).
struct TBetrData {
    int32_t VminPrz = 0;
    int32_t VmidPrz = 5000;
    int32_t VmaxPrz = 10000;
    int32_t W1MinMV = 0;
    int32_t W1MaxMV = 10000;
    int32_t U5MinMV = 0;
    int32_t U5MaxMV = 10000;
    QString PosText = QStringLiteral("Positionstext");
};

// Values last read from or successfully written to the device.
struct TBetrDataHW {
    uint16_t VnomM3 = 0;
    uint16_t VmaxPrz = 0;
    uint16_t VmidPrz = 0;
    uint16_t VminPrz = 0;
    uint16_t W1MinMV = 0, W1MaxMV = 0;
    uint16_t U5MinMV = 0, U5MaxMV = 0;
    QString PosText;
};

// Operating choices of the operation panel.
enum BetrChoice {
    ChoiceNone = 0, ChoiceAuto = 1, ChoiceZu = 2, ChoiceAuf = 3, ChoiceVmin = 4, ChoiceVmid = 5,
    ChoiceVmax = 6, ChoiceVnom = 7, ChoiceVariabel = 8, ChoiceSchnellZu = 9, ChoiceSchnellAuf = 10,
};

class TVAVBetrieb {
public:
    // Takes its defaults from the tool settings as they are read at this moment.
    explicit TVAVBetrieb(TDeviceContext& ctx);

    TBetrData BetrData;
    TBetrDataHW HW;

    // Identification and operation state.
    QString SerNr() const;
    void SetSerNr(const QString& s);
    uint32_t DeviceKey = 0;
    int32_t FirmwareNr = 0;
    std::function<void()> OnFirmwareRead;
    std::atomic<bool> BetriebAktiv{false};
    // The controller may still hold a forced mode or setpoint: set when the operation mode
    // starts, cleared once a StopBetrieb had both releases answered.
    std::atomic<bool> ReleaseOwed{false};
    std::atomic<bool> SkipNextRead{false};
    // The identification's motor stop: its cancel and its owed release.
    TIdentStop IdentStop;
    std::atomic<bool> DruckmessungAktiv{false};
    uint16_t SollwPrz = 0;
    double MotRueckPrz = 0;
    betrieb::Sampling Mess;

    // BetrData := the BETRIEB defaults of the tool settings (at creation), or the given ones.
    void InitBetriebData();
    void InitBetriebData(const TBetrData& defaults);
    void SetData();
    bool ReadData();
    bool WriteData();

    bool ReadVnom();
    bool GetVminVmidVmax();
    bool SetVminVmidVmax();
    bool ReadPosText();
    bool GetW1MinW1Max();
    bool GetU5MinU5Max();
    bool SetW1MinW1Max();
    bool SetU5MinU5Max();

    bool ReadSerNr();
    bool ReadConfTableID();
    bool ReadZBAdr();
    bool ReadDeviceTexts();
    bool ReadFirmware();
    int32_t GetFirmwareNr() const { return FirmwareNr; }
    bool Identify();
    bool RefreshIdent();

    bool SetBetriebsart(int choice);
    bool ShowBetrWerte(int choice);
    bool ReadMotRueck();
    bool GetRegelParams();
    bool GetSensorValues();
    bool StartBetrieb();
    bool StopBetrieb();
    // Starts a sampling run of the conductance measurement.
    void StartSampling();
    // The sampling run as it stands; the operation thread adds to it meanwhile.
    betrieb::Sampling SamplingNow() const;

    // The window values against the device copy, in a fixed order, stopping at the first
    // difference. Compare walks the same comparisons and lists the differing fields: all of
    // them, or (all false) only the first, which is what IsPcHwEqual decides by.
    bool IsPcHwEqual();
    FieldDifferences Compare(bool all);

    // The mode byte of a GetMode answer for the connected firmware.
    uint8_t ModeFromAnswer(uint8_t d1, uint8_t d2) const;

private:
    bool identify(bool withOverride);
    bool getRange(bool w1);
    bool setRange(bool w1);

    TDeviceContext& ctx_;
    TZBCmd& zb_;
    WindowModel& m_;
    mutable std::mutex serMutex_;
    mutable std::mutex messMutex_;
    QString serNr_;
};

} // namespace kadex
