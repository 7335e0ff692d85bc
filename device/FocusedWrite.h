#pragma once
// The focused-value writes (Ctrl+S): only the memory cells behind the value being edited go to
// the controller, instead of a whole record. The calibration record's groups: nominal value,
// conductance, sensor, actuator, the OEM and position texts, the input ranges, the flow levels
// and the single value of the variable sensor dialog; the controller-parameter groups: serial
// number, flow sensor, K, T1, Tv, Tn and adaptive control. Each group updates its record's
// device copy for what the controller took; a transfer that failed after the unlock leaves the
// copy unknown, since it may have been taken all the same.
#include "device/model/Fields.h"

#include <QString>
#include <optional>
#include <vector>

namespace kadex {

struct TDeviceContext;
class TOEMData;
class TQVData;
class TVAVBetrieb;
class TZBCmd;
class WindowModel;

// Where the keyboard focus is when the write is asked for.
struct FocusedValue {
    std::optional<FieldId> field; // the field that has the focus, if it is a model field
    bool sensorDialog = false;    // the variable sensor dialog is the active window
};

// The groups, for the window (which status text) and the tests (which cells).
enum class FocusGroup {
    None,
    Vnom,
    Leitwert,
    Sensor,
    Antrieb,
    OEMTextOpt,
    OEMText,
    PositionText,
    InputRanges,
    FlowLevels,
    SensorDialog,
    QVSerial,
    QVSensor,
    QVK,
    QVT1,
    QVTv,
    QVTn,
    QVAdaptiv,
};

// The calibration record's group of a focus (None when the focus belongs to no group).
FocusGroup OEMFocusGroup(const FocusedValue& focus);
// The controller-parameter group of a focused field.
FocusGroup QVFocusGroup(std::optional<FieldId> field);

class TFocusedWrite {
public:
    TFocusedWrite(TDeviceContext& ctx, TVAVBetrieb& betrieb, TOEMData& oem, TQVData& qv);

    // The calibration record's focused-value write: the password handshake, the group of the
    // focus (and, after the nominal value or the conductance from firmware 0x0204 on, the
    // calibration constants), Lock. PanelProgStatus names the value being written meanwhile
    // and gets its old text back. True when every transfer made succeeded.
    bool WriteConfigPartOEM(const FocusedValue& focus);
    // The controller-parameter record's: serial number read, unlock with the device key, the
    // operating-hour cells from the settings, the group of the focus, Lock.
    bool WriteConfigPartQV(std::optional<FieldId> field);

private:
    QString caption(const char* name, const char* fallback) const;
    void show(const QString& caption, const QString& suffix);
    bool readBackText(bool position);

    TDeviceContext& ctx_;
    TVAVBetrieb& betrieb_;
    TOEMData& oem_;
    TQVData& qv_;
    TZBCmd& zb_;
    WindowModel& m_;
};

} // namespace kadex
