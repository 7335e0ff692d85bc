#include "core/DialogLogic.h"

#include "device/OEMData.h"
#include "core/MainCore.h"

namespace kadex {

TDialogLogic::TDialogLogic(TMainCore& core, TOEMData& oem)
    : RegFkt(core.Ctx, oem), Forms(core.Ctx), core_(core), oem_(oem)
{
    TMainCore* c = &core;
    // All three records: a dialog's value belongs to the calibration record.
    const auto compare = [c] { c->RefreshComparison(); };
    RegFkt.Hooks.UpdateSensorViews = [c] { c->UpdateSensorViews(); };
    RegFkt.Hooks.CheckDeviceType = [c] { c->CheckDeviceType(); };
    RegFkt.Hooks.RefreshComparison = compare;
    // The sensor dialog's unit labels follow the unit set like the main window's.
    RegFkt.Hooks.ShowUnits = [this, c] {
        c->ValueEntry.ShowUnits();
        Forms.ShowSensorTexts();
    };
    RegFkt.Hooks.UpdateVminLimit = [c] { c->ValueEntry.UpdateVminLimit(); };
    Forms.Hooks.RefreshComparison = compare;
    Forms.Hooks.UpdateVminLimit = [c] { c->ValueEntry.UpdateVminLimit(); };
    Forms.Hooks.DetectSensorPreset = [c] { c->ValueEntry.DetectSensorPreset(); };
    Forms.Hooks.DetectActuatorPreset = [c] { c->ValueEntry.DetectActuatorPreset(); };
    oem.OnFunctionShown = [this] { RegFkt.ApplyShownRecord(); };
    oem.OnActuatorPresetRefresh = [this] {
        Forms.ShowYSignalPreset();
        Forms.ShowYRSignalPreset();
    };
}

void TDialogLogic::StartUp()
{
    // The record was made before the settings were applied; its function is the settings' one.
    oem_.OEM_Data.ReglerFkt = static_cast<uint16_t>(core_.Ctx.ReglerFkt.load() == 2 ? 2 : 1);
    oem_.ShowOEMData();
}

} // namespace kadex
