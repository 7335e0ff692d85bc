#pragma once
// The value-entry rules of the main window installed on the window-value model: the plain range
// checks while typing, the leave rules, the coupling of V'nom/V'max/V'min/V'mid, the sliders,
// the lowest reachable V'min, the w/U5 2 V rule, the range hints, the unit sets, the QV spin
// limits, "Setzen" below 30 % V'max, and the sensor and actuator choices with their presets.
//
// The arithmetic lives in ValueCoupling and SensorPresets; this unit reads the fields, calls
// them and writes the results back with the change rules of the fields it sets suspended, so a
// rule never starts itself again. Rules run on whatever thread changed a field; they touch only
// the model, the device context and (when attached) the calibration record's PC copy, so they
// must run where that record is not being read or written at the same time (the flow runner or
// the window thread while no flow runs).
//
// A value a rule changed shows the bound it was set to, and the field's hint names the range.
#include "device/DeviceContext.h"
#include "core/SensorPresets.h"
#include "core/ValueCoupling.h"

#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace kadex {

class TOEMData;
struct TOEM_Data;

class TValueEntry {
public:
    // Installs the rules on ctx.model; they stay for the model's lifetime, so the entry must
    // live as long as the model does.
    explicit TValueEntry(TDeviceContext& ctx, sensor::PresetTable presets = sensor::PresetTable::FromToolSettings());
    TValueEntry(const TValueEntry&) = delete;
    TValueEntry& operator=(const TValueEntry&) = delete;

    // Takes the calibration record's hooks: preset detection and re-anchoring after every read.
    void Attach(TOEMData& oem);

    // Unit texts, unit-dependent limits and hints for the current unit set and function.
    void ShowUnits();
    // A new unit set: converts V'nom, P'nom and P'schleichm. from their device values (not
    // re-read) and sets ctx.UnitIndex.
    void ConvertUnits(int newUnitIndex);
    // Hint texts and limits of the fields whose ranges do not depend on the units.
    void SetRangeHints();
    // Lowest reachable V'min: range label, colour of the V'min percentage.
    void UpdateVminLimit();
    // Applies the coupling limits of a figure typed into and not yet left (Enter, Tab, leaving
    // the field do it too); for actions that use the values while the focus stays put.
    void CommitTyping();

    // Sensor type as a click chooses it (also reached through the radio's change rule).
    void ChooseSensorType(sensor::SensorKind kind);
    void ApplySensorPreset(sensor::SensorChoice choice);
    void ApplyActuatorPreset(sensor::ActuatorChoice choice);
    void DetectSensorPreset();
    void DetectActuatorPreset();

    int32_t VminPrzMin() const;
    QString VminRangeLabel() const;
    sensor::SensorMemory Memory() const;
    coupling::AnchoredValue VnomAnchor() const;

    // The variable dialogs: shown (true) or closed; the dialog layer connects these.
    std::function<void(bool show)> OnShowSensorDialog;
    std::function<void(bool show)> OnShowActuatorDialog;
    // The variable setpoint typed while "Variabel" is the operation mode (0.01 %); the
    // operation panel sends it.
    std::function<void(int32_t setpoint)> OnVariableSetpoint;
    // A leave changed values on its own (limits applied, texts rewritten): compare again.
    std::function<void()> OnValuesCommitted;

private:
    struct Anchors {
        coupling::AnchoredValue vnom, pnom, ptot;
    };
    void install();
    void couple(coupling::FlowField changed, bool typing);
    void showVoltageMode(const coupling::VoltageTexts& texts);
    void committed();
    void leaveFigure(std::optional<coupling::FlowField> left);
    void voltageChanged(coupling::VoltageField f);
    void voltageLeft(coupling::VoltageField f);
    void followSetzen();
    void reanchor();
    void recordShown(const TOEM_Data& rec);
    sensor::SensorKind currentKind() const;
    sensor::SensorSet dialogSet() const;
    void showDialogSet(const sensor::SensorSet& s);
    sensor::ActuatorSet actuatorSet() const;
    coupling::UnitContext units() const;
    coupling::VminLimitInput limitInput() const;
    void setRangeHint(FieldId f, double min, double max);

    TDeviceContext& ctx_;
    WindowModel& m_;
    const sensor::PresetTable presets_;
    TOEMData* oem_ = nullptr;
    bool qvRulesInstalled_ = false;
    // Set while an OEM mirror passes the user's typing on to its Service field; only touched
    // inside a cascade, which runs one at a time.
    bool mirrorTyping_ = false;

    mutable std::mutex state_; // the members below
    int32_t vminPrzMin_ = 0;
    QString vminRangeLabel_ = QStringLiteral("Bereich 0..100%");
    sensor::SensorMemory memory_;
    sensor::SensorKind kind_ = sensor::SensorKind::DPK;
    Anchors anchors_;
    std::optional<coupling::FlowField> typed_; // typed into, limits not yet applied
};

// The operating record's values as the fields hold them, checked like a write would need them:
// V'max below 30 %, V'min beyond V'max, a w or U5 range that breaks the 2 V rule. Each
// violation names the field ("EditVmaxPrz", "EditW1Max", ...). functionFactor: the display
// factor V'nom is shown in.
std::vector<coupling::Violation> ValidateSnapshotFields(const WindowModel& model, uint16_t firmware,
                                                       double functionFactor = 1.0);

} // namespace kadex
