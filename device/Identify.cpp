#include "device/Identify.h"

namespace kadex {

QString IdentInfo::Hex4(uint16_t v)
{
    return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')).toUpper();
}

QString TrimRight(const QString& s)
{
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1) == QLatin1Char(' '))
        --n;
    return s.left(n);
}

bool IdentifyDevice(TZBCmd& zb, bool withOverride, IdentInfo& info)
{
    std::lock_guard<std::recursive_mutex> bus(zb.BusMutex());
    if (withOverride && !zb.SetOverride(10))
        return false;

    info.serOk = zb.GetIdentityText(info.serNr, info.typeText, info.deviceKey, info.deviceType);
    if (!info.serOk)
        return false;

    uint8_t b1 = 0;
    uint16_t w1 = 0, w2 = 0;
    info.tableOk = zb.GetConfigInfo(b1, w1, w2, info.configTableId);
    if (!info.tableOk)
        return false;

    info.addrOk = zb.GetBusAddressText(info.busAddress);
    if (!info.addrOk)
        return false;

    uint16_t oemAdr = 0, posAdr = 0, typeAdr = 0;
    info.textAddrOk = zb.GetTextAddresses(oemAdr, posAdr, typeAdr);
    if (!info.textAddrOk)
        return false;
    QString t;
    info.oemOk = zb.ReadText16(oemAdr, t);
    info.oemText = TrimRight(t);
    if (!info.oemOk)
        return false;
    info.posOk = zb.ReadText16(posAdr, t);
    info.positionText = TrimRight(t);
    if (!info.posOk)
        return false;
    info.typeTextOk = zb.ReadText16(typeAdr, t);
    info.fenwixText = TrimRight(t);
    if (!info.typeTextOk)
        return false;

    if (withOverride && !zb.SetOverride(0))
        return false;

    uint16_t fw2 = 0, fw3 = 0;
    info.firmwareOk = zb.GetFirmware(info.firmware, fw2, fw3);
    return info.firmwareOk;
}

} // namespace kadex
