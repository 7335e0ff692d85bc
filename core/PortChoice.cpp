#include "core/PortChoice.h"

#include <QFileInfo>

namespace kadex {

bool IsUsbSerialPort(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    return name.startsWith(QLatin1String("ttyUSB")) || name.startsWith(QLatin1String("ttyACM"));
}

TPortChoice ChoosePort(const QString& stored, const QStringList& present, bool storedExists)
{
    TPortChoice c;
    const bool onBoard = QFileInfo(stored).fileName().startsWith(QLatin1String("ttyS"));
    if (present.contains(stored) || (storedExists && !onBoard)) {
        c.action = TPortChoice::Action::UseStored;
        return c;
    }
    QStringList usb;
    for (const QString& p : present)
        if (IsUsbSerialPort(p))
            usb << p;
    if (usb.size() == 1) {
        c.action = TPortChoice::Action::Pick;
        c.port = usb.front();
        return c;
    }
    if (present.isEmpty()) {
        c.action = TPortChoice::Action::Keep;
        return c;
    }
    c.action = TPortChoice::Action::Ask;
    c.ports = present;
    return c;
}

} // namespace kadex
