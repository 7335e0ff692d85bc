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

bool TIdentStop::ReleaseIfOwed(TZBCmd& zb)
{
    std::lock_guard<std::recursive_mutex> bus(zb.BusMutex());
    if (!held_.load())
        return true;
    if (zb.SetOverride(0))
        held_ = false;
    return !held_.load();
}

bool TIdentStop::Run(TZBCmd& zb, bool withOverride, const std::vector<std::function<bool()>>& steps,
                     const std::function<bool()>& last)
{
    std::lock_guard<std::recursive_mutex> bus(zb.BusMutex());
    auto middle = [&] {
        for (const auto& step : steps)
            if (cancel_.load() || !step())
                return false;
        return !cancel_.load();
    };
    if (!withOverride)
        return middle() && last();
    // Held before the cancel is looked at, so that a canceller that finds it clear may cut the
    // bus short: this side then sees the cancel and sends nothing.
    const bool owedBefore = held_.exchange(true);
    if (cancel_.load()) {
        held_ = owedBefore;
        return false;
    }
    if (!zb.SetOverride(10)) {
        const TxResult why = zb.LastResult();
        if (why == TxResult::LinkLost || why == TxResult::Closing || why == TxResult::InvalidRequest) {
            held_ = owedBefore; // nothing went out; an older owed release stays owed
            return false;
        }
        // The stop went out and may have been taken (its answer lost, garbled or refused after
        // the fact): the release is owed all the same. A controller that answered something is
        // there and gets it at once; one that stayed silent gets it at the next contact.
        if (!owedBefore)
            confirmed_ = false;
        if (why != TxResult::Timeout)
            ReleaseIfOwed(zb);
        return false;
    }
    confirmed_ = true;
    const bool ok = middle();
    const bool released = ReleaseIfOwed(zb);
    return ok && released && !cancel_.load() && last();
}

bool IdentifyDevice(TZBCmd& zb, bool withOverride, IdentInfo& info, TIdentStop* stop)
{
    TIdentStop local;
    TIdentStop& guard = stop ? *stop : local;
    uint16_t oemAdr = 0, posAdr = 0, typeAdr = 0;
    auto text = [&](uint16_t& adr, bool& ok, QString& out) {
        return [&zb, &adr, &ok, &out] {
            QString t;
            ok = zb.ReadText16(adr, t);
            out = TrimRight(t);
            return ok;
        };
    };
    const std::vector<std::function<bool()>> steps{
        [&] { return info.serOk = zb.GetIdentityText(info.serNr, info.typeText, info.deviceKey, info.deviceType); },
        [&] {
            uint8_t b1 = 0;
            uint16_t w1 = 0, w2 = 0;
            return info.tableOk = zb.GetConfigInfo(b1, w1, w2, info.configTableId);
        },
        [&] { return info.addrOk = zb.GetBusAddressText(info.busAddress); },
        [&] { return info.textAddrOk = zb.GetTextAddresses(oemAdr, posAdr, typeAdr); },
        text(oemAdr, info.oemOk, info.oemText),
        text(posAdr, info.posOk, info.positionText),
        text(typeAdr, info.typeTextOk, info.fenwixText),
    };
    return guard.Run(zb, withOverride, steps, [&] {
        uint16_t fw2 = 0, fw3 = 0;
        return info.firmwareOk = zb.GetFirmware(info.firmware, fw2, fw3);
    });
}

} // namespace kadex
