#pragma once
// Which serial port a start uses when the stored one is missing (a first start with the
// default Com2, an adapter on another name). Pure: the caller lists the ports.
#include <QString>
#include <QStringList>

namespace kadex {

struct TPortChoice {
    enum class Action {
        UseStored, // the stored port is there
        Pick,      // the only USB serial adapter: taken without asking
        Ask,       // let the user choose from `ports`
        Keep,      // nothing to choose from: keep the stored port (its open error shows)
    };
    Action action = Action::UseStored;
    QString port;      // Pick: the port to use
    QStringList ports; // Ask: the choice, stored port not among them
};

// True for the names of USB serial adapters (ttyUSB*, ttyACM*).
bool IsUsbSerialPort(const QString& path);

// stored: the device path of the stored port; present: the serial ports of the machine;
// storedExists: the stored path exists outside that list (a pseudo-terminal, a link).
// On-board ttyS nodes exist without hardware, so for them only the list counts.
TPortChoice ChoosePort(const QString& stored, const QStringList& present, bool storedExists);

} // namespace kadex
