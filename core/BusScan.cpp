#include "core/BusScan.h"

#include "device/Identify.h"

#include <QRegularExpression>
#include <algorithm>

namespace kadex {

QString ZbIdentity::Text() const
{
    return QStringLiteral("%1-%2-%3-%4")
        .arg(w1, 5, 10, QLatin1Char('0'))
        .arg(w2, 5, 10, QLatin1Char('0'))
        .arg(type, 3, 10, QLatin1Char('0'))
        .arg(last, 3, 10, QLatin1Char('0'));
}

std::optional<ZbIdentity> ParseSerialNumber(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{5})-(\\d{5})-(\\d{3})-(\\d{3})$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const int w1 = m.captured(1).toInt();
    const int w2 = m.captured(2).toInt();
    const int type = m.captured(3).toInt();
    const int last = m.captured(4).toInt();
    const int year = w1 / 100, week = w1 % 100, day = w2 / 10000, number = w2 % 10000;
    if (year > 99 || week < 1 || week > 52 || day > 6 || number < 1 || number > 5535 || type < 1 || type > 255
        || last < 1 || last > 255)
        return std::nullopt;
    return ZbIdentity{static_cast<uint16_t>(w1), static_cast<uint16_t>(w2), static_cast<uint8_t>(type),
                      static_cast<uint8_t>(last)};
}

QString BusAddressName(int index)
{
    return index >= 1 && index <= 8 ? QStringLiteral("ZB%1").arg(index) : QStringLiteral("PP");
}

TBusSettingsScope::TBusSettingsScope(TZBCmd& zb)
    : zb_(zb),
      lock_(zb.BusMutex()),
      attempts_(zb.Attempts),
      headerMode_(zb.HeaderMode),
      timeoutMs_(zb.TimeoutMs),
      adrIndex_(zb.AdrIndex())
{
}

TBusSettingsScope::~TBusSettingsScope()
{
    zb_.Attempts = attempts_;
    zb_.HeaderMode = headerMode_;
    zb_.TimeoutMs = timeoutMs_;
    zb_.SetAdrIndex(adrIndex_);
}

uint32_t ScanTimeoutMs(int baud)
{
    // Identity request (4 bytes, echoed) and its answer (10 bytes), 10 bit times a byte.
    const int rate = baud > 0 ? baud : 9600;
    const uint32_t wireMs = static_cast<uint32_t>((14 * 10 * 1000 + rate - 1) / rate);
    return 150 + 2 * wireMs;
}

namespace {

bool garbled(TxResult r)
{
    return r == TxResult::BadCheck || r == TxResult::WrongLength || r == TxResult::EchoMismatch
        || r == TxResult::DeviceRefused;
}

bool readIdentity(TZBCmd& zb, ZbIdentity& id)
{
    uint16_t w1 = 0, w2 = 0;
    uint8_t d5 = 0, type = 0, last = 0;
    if (!zb.GetIdentity(w1, w2, d5, type, last))
        return false;
    id = {w1, w2, type, last};
    return true;
}

} // namespace

ScanEntry ProbeAddress(TZBCmd& zb, int index)
{
    TBusSettingsScope keep(zb);
    ScanEntry e;
    e.index = index;
    zb.HeaderMode = 0;
    zb.SetAdrIndex(static_cast<uint8_t>(index));
    zb.Attempts = 1;
    zb.TimeoutMs = std::min(keep.TimeoutMs(), ScanTimeoutMs(zb.Com().BaudRate()));
    bool ok = readIdentity(zb, e.id);
    e.why = zb.LastResult();
    if (!ok && garbled(e.why)) {
        // Noise once, or two controllers answering at once: ask again at full length.
        zb.TimeoutMs = keep.TimeoutMs();
        ok = readIdentity(zb, e.id);
        e.why = zb.LastResult();
        if (!ok) {
            e.state = garbled(e.why) ? ScanEntry::State::Duplicate : ScanEntry::State::Absent;
            return e;
        }
    }
    if (!ok)
        return e;
    e.state = ScanEntry::State::Present;
    e.serial = e.id.Text();
    e.typeText = TZBCmd::TypeText(e.id.type);
    // Somebody is there: the firmware gets the full attempts.
    zb.Attempts = keep.Attempts();
    zb.TimeoutMs = keep.TimeoutMs();
    uint16_t w2 = 0, w3 = 0;
    e.firmwareOk = zb.GetFirmware(e.firmware, w2, w3);
    if (!e.firmwareOk) {
        e.why = zb.LastResult();
        // Identical identity answers survive a collision; differing firmware answers do not.
        if (garbled(e.why))
            e.state = ScanEntry::State::Duplicate;
    } else {
        e.why = TxResult::Ok;
    }
    return e;
}

ScanResult ScanBus(TZBCmd& zb, const std::function<void(int)>& before, const std::function<void(const ScanEntry&)>& after,
                   const std::function<bool()>& cancelled)
{
    ScanResult r;
    for (int index = 0; index <= 8; ++index) {
        if ((cancelled && cancelled()) || zb.Closing())
            return r;
        if (before)
            before(index);
        ScanEntry e = ProbeAddress(zb, index);
        r.entries.push_back(e);
        if (after)
            after(e);
        if (e.why == TxResult::LinkLost) {
            r.linkLost = true;
            return r;
        }
    }
    r.complete = true;
    return r;
}

QString ScanEntryText(const ScanEntry& e)
{
    const QString name = BusAddressName(e.index);
    switch (e.state) {
    case ScanEntry::State::Absent:
        return name + QStringLiteral(": no answer");
    case ScanEntry::State::Duplicate:
        return name + QStringLiteral(": garbled answers, probably two or more controllers on this address; "
                                     "give one of them another address by its serial number");
    case ScanEntry::State::Present:
        break;
    }
    return name + QStringLiteral(": ") + e.serial + QStringLiteral(" ") + e.typeText + QStringLiteral(", firmware ")
         + (e.firmwareOk ? IdentInfo::Hex4(e.firmware) : QStringLiteral("unknown"));
}

} // namespace kadex
