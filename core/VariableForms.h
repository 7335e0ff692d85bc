#pragma once
// The variable sensor and actuator dialogs without widgets: their entry limits and leave
// rules, the range presets of the actuator dialog, the texts that follow the sensor type and
// unit set, and when the dialogs are shown.
//
// Both dialogs live in the window-value model: their values are the spin fields SpinEditVAVP*
// and SpinEditVAVY*, SpinEditLZAntrieb; the fields SensorForm and AntriebForm are visible while
// a dialog is shown (their captions are the window titles). The dialogs follow the choices on
// the OEM tab: checking "variabel" (sensor or actuator) shows its dialog while the OEM tab is
// active, any other choice or another tab closes it. Whoever closes a dialog (the user with
// Escape, another choice, the tab change, a rule that sets the field), a close while
// "variabel" stays chosen asks, 50 ms later, whether the values now equal a preset.
//
// Rules run on the changing thread like every model rule; the deferred preset check goes
// through Hooks.Defer, which the window runs on its own thread.
#include "device/DeviceContext.h"
#include "device/model/WindowModel.h"

#include <QString>
#include <functional>

namespace kadex {

struct TVariableFormsHooks {
    std::function<void()> UpdateVminLimit;     // after a change of P'Schleichm.
    std::function<void()> RefreshComparison;   // after every value change
    std::function<void()> DetectSensorPreset;  // after the sensor dialog closed on "variabel"
    std::function<void()> DetectActuatorPreset;
    // Runs fn after ms milliseconds; without it fn runs at once.
    std::function<void(int ms, std::function<void()> fn)> Defer;
};

// The caption of the free range choice: "1.5 .. 9 V".
QString RangeCaption(int minMv, int maxMv);

class TVariableForms {
public:
    // Installs the rules on the model. The instance must outlive the model's use.
    explicit TVariableForms(TDeviceContext& ctx);
    ~TVariableForms();
    TVariableForms(const TVariableForms&) = delete;
    TVariableForms& operator=(const TVariableForms&) = delete;

    TVariableFormsHooks Hooks;

    // Shows a dialog or closes it when open.
    void ShowSensorDialog(bool show);
    void ShowActuatorDialog(bool show);
    bool SensorShown() const;
    bool ActuatorShown() const;

    // The range choices from the values (also after a record was shown).
    void ShowYSignalPreset();
    void ShowYRSignalPreset();
    // Title, group and captions of the sensor dialog for the chosen sensor type; unit labels
    // of P'nom and P'Schleichm. for the unit set.
    void ShowSensorTexts();
    // "minimum .. maximum" as the hint of every spin field.
    void SetRangeHints();

private:
    void limitWhileTyping(FieldId f);
    void leaveMinMax(FieldId minField, FieldId maxField, FieldId left);
    void clampToRange(FieldId f);
    void afterChange(FieldId f);
    void showPreset(FieldId minField, FieldId maxField, FieldId zero, FieldId two, FieldId other);
    void clickPreset(FieldId minField, FieldId maxField, FieldId other, int minMv);
    void closed(FieldId variabel, const std::function<void()>& detect);

    TDeviceContext& ctx_;
    WindowModel& m_;
    int listener_ = 0;
};

} // namespace kadex
