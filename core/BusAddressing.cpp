#include "core/BusAddressing.h"

namespace kadex {

namespace {

bool readIdentity(TZBCmd& zb, ZbIdentity& id)
{
    uint16_t w1 = 0, w2 = 0;
    uint8_t d5 = 0, type = 0, last = 0;
    if (!zb.GetIdentity(w1, w2, d5, type, last))
        return false;
    id = {w1, w2, type, last};
    return true;
}

bool lineGone(TZBCmd& zb)
{
    return zb.LastResult() == TxResult::LinkLost || zb.LastResult() == TxResult::Closing || zb.Closing();
}

} // namespace

QString AddressingOutcomeText(const AddressingResult& r)
{
    using O = AddressingResult::Outcome;
    const QString where = BusAddressName(r.newIndex);
    switch (r.outcome) {
    case O::Ok:
        return QStringLiteral("%1 now answers at %2").arg(r.target.Text(), where);
    case O::InvalidSerial:
        return QStringLiteral("invalid serial number (form 00812-04711-003-001: year 0..99 and week 1..52, "
                              "day 0..6 and number 1..5535, type 1..255, last group 1..255); nothing was sent");
    case O::Aborted:
        return QStringLiteral("no service button was pressed; nothing was changed");
    case O::SerialNotFound:
        return QStringLiteral("no controller answers with the serial number %1; nothing was changed")
            .arg(r.target.Text());
    case O::OccupantNotMoved:
        return QStringLiteral("the controller %1 at %2 could not be moved to PP; nothing else was changed")
            .arg(r.occupant.Text(), where);
    case O::NotVerified:
        return QStringLiteral("%1 does not answer at %2 after the address change").arg(r.target.Text(), where);
    case O::LinkLost:
        return QStringLiteral("the port went away");
    case O::Closing:
        return QStringLiteral("the program is closing");
    }
    return QString();
}

bool TBusAddressing::ButtonCall(ZbIdentity& id)
{
    TBusSettingsScope keep(zb_);
    zb_.Attempts = 1;
    zb_.HeaderMode = 2;
    zb_.TimeoutMs = ButtonTimeoutMs;
    return readIdentity(zb_, id);
}

bool TBusAddressing::SearchButton(ZbIdentity& id, const std::function<bool()>& cancelled, uint64_t timeoutMs)
{
    IClock& clock = zb_.Clock();
    const uint64_t start = clock.NowMs();
    for (;;) {
        if (cancelled && cancelled())
            return false;
        if (ButtonCall(id))
            return true;
        if (lineGone(zb_))
            return false;
        if (timeoutMs && clock.NowMs() - start >= timeoutMs)
            return false;
        clock.SleepMs(ButtonPauseMs);
    }
}

bool TBusAddressing::identityAt(int index, ZbIdentity& id)
{
    zb_.SetAdrIndex(static_cast<uint8_t>(index));
    return readIdentity(zb_, id);
}

bool TBusAddressing::ReAddress(const ZbIdentity& id, uint8_t pattern)
{
    TBusSettingsScope keep(zb_);
    zb_.Attempts = 1;
    bool ok = false;
    for (int i = 0; i < 3 && !ok; ++i) {
        zb_.HeaderMode = 1;
        zb_.SetAddressBySerial(id.w1, id.w2, id.last, pattern);
        zb_.HeaderMode = 0;
        ZbIdentity got;
        ok = readIdentity(zb_, got) && got == id;
        if (!ok && lineGone(zb_))
            break;
    }
    return ok;
}

bool TBusAddressing::targetAnswersSomewhere(const ZbIdentity& target, int except)
{
    for (int i = 0; i <= 8; ++i) {
        if (i == except)
            continue;
        const ScanEntry e = ProbeAddress(zb_, i);
        // It may be one of two controllers whose answers collide.
        if ((e.state == ScanEntry::State::Present && e.id == target) || e.state == ScanEntry::State::Duplicate)
            return true;
        if (e.why == TxResult::LinkLost || zb_.Closing())
            return false;
    }
    return false;
}

AddressingResult TBusAddressing::finish(AddressingResult r)
{
    if (!r.ok()) {
        if (zb_.Closing())
            r.outcome = AddressingResult::Outcome::Closing;
        else if (zb_.LastResult() == TxResult::LinkLost)
            r.outcome = AddressingResult::Outcome::LinkLost;
    }
    // The one place an addressing is reported: the action log hangs here.
    if (OnAddressed)
        OnAddressed(r);
    return r;
}

AddressingResult TBusAddressing::Address(const ZbIdentity& target, int newIndex, bool checkTargetFirst)
{
    using O = AddressingResult::Outcome;
    AddressingResult r;
    r.target = target;
    r.newIndex = newIndex < 0 || newIndex > 8 ? 0 : newIndex;
    const uint8_t pattern = TZBCmd::AddressPattern(r.newIndex);
    TBusSettingsScope keep(zb_);
    zb_.HeaderMode = 0;

    ZbIdentity there;
    if (identityAt(r.newIndex, there)) {
        const bool occupied = !(there == target);
        if (occupied) {
            r.occupantFound = true;
            r.occupant = there;
            if (checkTargetFirst && !targetAnswersSomewhere(target, r.newIndex)) {
                r.outcome = O::SerialNotFound;
                return finish(r);
            }
        }
        zb_.SetOverride(10); // its motor stops while the addresses change
        if (occupied) {
            zb_.SetAdrIndex(0);
            if (!ReAddress(there, zb::PatternPP)) {
                r.outcome = O::OccupantNotMoved;
                return finish(r);
            }
            r.occupantMoved = true;
            zb_.SetAdrIndex(static_cast<uint8_t>(r.newIndex));
        }
    } else if (lineGone(zb_)) {
        return finish(r);
    }
    if (ReAddress(target, pattern)) {
        r.outcome = O::Ok;
    } else if (checkTargetFirst && !r.occupantFound && !lineGone(zb_) && !targetAnswersSomewhere(target, -1)) {
        // Nobody took the broadcast: the serial number matches no controller.
        r.outcome = O::SerialNotFound;
    } else {
        r.outcome = O::NotVerified;
    }
    return finish(r);
}

AddressingResult TBusAddressing::AddressBySerial(const QString& serial, int newIndex)
{
    const std::optional<ZbIdentity> id = ParseSerialNumber(serial);
    if (!id) {
        AddressingResult r;
        r.outcome = AddressingResult::Outcome::InvalidSerial;
        r.newIndex = newIndex;
        return r;
    }
    return Address(*id, newIndex, true);
}

} // namespace kadex
