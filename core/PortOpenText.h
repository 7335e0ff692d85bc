#pragma once
// The window's words for a port that did not open; the link itself only reports the reason's
// class (PortOpenError), the device's group and the system's own text.
#include "comm/ComForm.h"

#include <QString>

namespace kadex {

// The reason in the window's language (German by default).
QString PortOpenReasonText(PortOpenError kind, const QString& group);
// The error box's text for the last failed open of com: "Kann COM nicht öffnen! (port)" and
// the reason on a second line.
QString PortOpenErrorText(const TComForm& com);

} // namespace kadex
