#pragma once
// The named controls of the main window, one declaration each. A feature that needs more
// controls adds one line per control to mainWindowFields(); nothing else has to change.
#include "mainwindow/core/WindowModel.h"

#include <array>
#include <vector>

namespace kadex {

// Radio groups.
inline constexpr const char* kGroupBetrieb = "Betrieb"; // the ten operation choices
inline constexpr const char* kGroupSensTyp = "SensTyp"; // sensor type on the OEM tab

// The operation choices in the order of their operation numbers 1 ("Auto") to 10
// ("Schnell auf"): kOperationChoices[n - 1] is the field of operation number n.
inline constexpr std::array<const char*, 10> kOperationChoices = {
    "RadioBetrAuto", "RadioBetrZu",    "RadioBetrAuf",      "RadioBetrVMin",       "RadioBetrVMid",
    "RadioBetrVMax", "RadioBetrVNom", "RadioBetrVariabel", "RadioBetrSchnellZu", "RadioBetrSchnellAuf",
};

// The three fields of the status bar: port name, controller function, connection message.
inline constexpr const char* kStatusPort = "StatusBarCom";
inline constexpr const char* kStatusFunction = "StatusBarFunktion";
inline constexpr const char* kStatusMessage = "StatusBarMessage";

// Every field of the main window with its state as the window is created.
std::vector<FieldDecl> mainWindowFields();

} // namespace kadex
