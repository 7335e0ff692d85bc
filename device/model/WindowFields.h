#pragma once
// The main window's field list as the model declares it. A feature that needs more controls
// adds one line per control to Fields.def; nothing else has to change.
#include "device/model/Fields.h"
#include "device/model/WindowModel.h"

#include <array>
#include <vector>

namespace kadex {

// Radio groups.
inline constexpr const char* kGroupBetrieb = "Betrieb"; // the ten operation choices
inline constexpr const char* kGroupSensTyp = "SensTyp"; // sensor type on the OEM tab
inline constexpr const char* kGroupSensor = "Sensor";   // sensor preset on the OEM tab
inline constexpr const char* kGroupAntrieb = "Antrieb"; // actuator preset on the OEM tab
inline constexpr const char* kGroupOEMInput = "OEMInput"; // which OEM text is written
inline constexpr const char* kGroupSensorIE = "SensorIE"; // internal or external flow sensor (QV)
inline constexpr const char* kGroupMode = "Mode";         // w/U5 range (Experte tab)
inline constexpr const char* kGroupModeOEM = "ModeOEM";   // its twin on the OEM tab
inline constexpr const char* kGroupYSignal = "YSignal";   // actuator signal type (actuator dialog)
inline constexpr const char* kGroupRegFkt = "RegFkt";     // controller function (function dialog)
inline constexpr const char* kGroupYRange = "YRange";     // control signal range preset (actuator dialog)
inline constexpr const char* kGroupYRRange = "YRRange";   // feedback range preset (actuator dialog)

// The operation choices in the order of their operation numbers 1 ("Auto") to 10
// ("Schnell auf"): kOperationChoices[n - 1] is the field of operation number n.
inline constexpr std::array<FieldId, 10> kOperationChoices = {
    fld::RadioBetrAuto, fld::RadioBetrZu,       fld::RadioBetrAuf,       fld::RadioBetrVMin,
    fld::RadioBetrVMid, fld::RadioBetrVMax,     fld::RadioBetrVNom,      fld::RadioBetrVariabel,
    fld::RadioBetrSchnellZu, fld::RadioBetrSchnellAuf,
};

// The three fields of the status bar: port name, controller function, connection message.
inline constexpr FieldId kStatusPort = fld::StatusBarCom;
inline constexpr FieldId kStatusFunction = fld::StatusBarFunktion;
inline constexpr FieldId kStatusMessage = fld::StatusBarMessage;

// Every field of the main window with its state as the window is created.
std::vector<FieldDecl> mainWindowFields();

} // namespace kadex
