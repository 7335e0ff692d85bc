#pragma once
// What the device records share: the bus, the window values, the connected controller's
// firmware and the settings that change how values are shown.
#include "comm/ZBCmd.h"
#include "common/Units.h"
#include "device/model/WindowModel.h"
#include "settings/ToolIni.h"

#include <QString>
#include <atomic>
#include <mutex>

namespace kadex {

struct TDeviceContext {
    TDeviceContext(TZBCmd& bus, WindowModel& window) : zb(bus), model(window) {}

    TZBCmd& zb;
    WindowModel& model;

    // Firmware of the connected controller; 0x0220 until one reports its own.
    std::atomic<uint16_t> FirmwareVersion{0x0220};
    // Controller function: 1 volume flow, 2 pressure; the settings' value until start-up sets it.
    std::atomic<int> ReglerFkt{TIniConfig{}.ReglerFkt};
    // Unit set the fields are expressed in.
    std::atomic<int> UnitIndex{0};

    double DisplayFactor() const { return FunctionFactor(UnitIndex.load(), ReglerFkt.load()); }
    double PressureFactorNow() const { return PressureFactor(UnitIndex.load()); }

    // The identification text the device must carry for the current function.
    QString ExpectedTypeText() const
    {
        std::lock_guard<std::mutex> lk(m);
        return ReglerFkt.load() == 1 ? fenwixText : fenwixTextKPR;
    }
    // The identification text for a controller function (1 volume flow, else pressure).
    QString TypeTextFor(int reglerFkt) const
    {
        std::lock_guard<std::mutex> lk(m);
        return reglerFkt == 1 ? fenwixText : fenwixTextKPR;
    }
    void SetTypeTexts(const QString& volumeFlow, const QString& pressure)
    {
        std::lock_guard<std::mutex> lk(m);
        fenwixText = volumeFlow;
        fenwixTextKPR = pressure;
    }

private:
    mutable std::mutex m;
    QString fenwixText = TIniQV{}.FenwixText;
    QString fenwixTextKPR = TIniQV{}.FenwixTextKPR;
};

} // namespace kadex
