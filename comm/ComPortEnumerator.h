#pragma once
// The machine's serial ports for the port choice.
#include <QStringList>

namespace kadex {

class TComPortEnumerator {
public:
    // Device paths of the system's serial ports (ttyS, ttyUSB, ttyACM, ...), sorted as strings.
    static QStringList PortNames();
    // The port number of a listed name: the text from its fourth character on as an integer,
    // 0 when that is not a number (COM12 gives 12).
    static int PortNumberOf(const QString& name);
};

} // namespace kadex
