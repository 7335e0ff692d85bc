#pragma once
// The enabling and display rules of the main window on the window-value model: which controls
// are enabled, what the identification, signal and operation panels show, the comparison
// indicator, the sensor views. Any thread may call them; they touch only the model.
#include "comm/ComForm.h"
#include "device/DeviceContext.h"
#include "device/VAVBetrieb.h"
#include "device/model/WindowModel.h"

#include <QString>
#include <atomic>
#include <set>

namespace kadex {

class TEnablingRules {
public:
    // unavailable: commands this build does not have, kept disabled; closing: the core's flag.
    TEnablingRules(WindowModel& model, TDeviceContext& ctx, TComForm& com, TVAVBetrieb& betrieb,
                   const std::set<FieldId>& unavailable, const std::atomic<bool>& closing);

    void ShowCOMData(const QString& message);
    void EnableMainControls(bool on);
    void EnableDeviceButtons(bool on);
    bool CheckDeviceType();
    void ClearDeviceInfo();
    void AnzConfPcHwEqual(bool equal);
    void UpdateSensorViews();
    void EnableBetriebPanel(bool modes, bool values);
    void EnableSignalPanel(bool on);
    void SetBetriebActive(bool on);
    void FirmwareRead();
    // Enabled only when on and the build has the command.
    void enableIf(FieldId field, bool on);
    static QString OnlineText(int seconds);

private:
    WindowModel& m_;
    TDeviceContext& ctx_;
    TComForm& com_;
    TVAVBetrieb& betrieb_;
    const std::set<FieldId>& unavailable_;
    const std::atomic<bool>& closing_;
};

} // namespace kadex
