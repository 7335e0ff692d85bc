#include "comm/ComPortEnumerator.h"

#include <QSerialPortInfo>

namespace kadex {

QStringList TComPortEnumerator::PortNames()
{
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        names << info.systemLocation();
    names.sort(Qt::CaseSensitive);
    return names;
}

int TComPortEnumerator::PortNumberOf(const QString& name)
{
    bool ok = false;
    const int n = name.mid(3).trimmed().toInt(&ok);
    return ok ? n : 0;
}

} // namespace kadex
