// "address --button NEW" and "address --serial SERIAL NEW": a controller's new bus address,
// checked by asking it there afterwards.
#include "cli/CliCommon.h"
#include "device/DeviceContext.h"
#include "device/OEMData.h"
#include "device/VAVBetrieb.h"
#include "device/model/WindowFields.h"
#include "device/model/WindowModel.h"
#include "core/BusAddressing.h"
#include "core/ActionLogger.h"
#include "settings/Texts.h"

#include <atomic>

namespace kadex::cli {

namespace {

// The addressing is a device action: one action log line naming the controller as an
// identification at its new address shows it.
int logAddressing(TZBCmd& zb, int newIndex)
{
    WindowModel model(mainWindowFields());
    model.setMisuse(WindowModel::Misuse::Warn);
    TDeviceContext ctx(zb, model);
    TVAVBetrieb record(ctx);
    int rc = ExitOk;
    {
        TBusSettingsScope keep(zb);
        zb.SetAdrIndex(static_cast<uint8_t>(newIndex));
        WatchBus(zb, record.IdentStop, true);
        record.Identify(); // a failed identification still leaves the line; the address did change
        rc = FinishBus(ExitOk);
    }
    TOEMData oem(ctx, record);
    std::atomic<bool> closing{false};
    TActionLogger log(model, ctx, oem, closing);
    log.OnMessage = [](const QString& text, bool) {
        err() << "kadex-cli: action log: " << QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')) << Qt::endl;
    };
    log.WriteLogEntry(CurrentTexts()->LogFile.ZBAdresse + QLatin1Char(' ') + BusAddressName(newIndex));
    return rc;
}

} // namespace

int runAddress(TZBCmd& zb, const Options& o)
{
    TBusAddressing addressing(zb);
    ZbIdentity target;
    const int newIndex = o.newAdrIndex;
    if (o.button) {
        err() << "Press the service button of the controller that is to get the address "
              << BusAddressName(newIndex) << " (waiting up to " << o.timeoutS << " s; Ctrl-C gives up) ..."
              << Qt::endl;
        if (!addressing.SearchButton(target, {}, static_cast<uint64_t>(o.timeoutS) * 1000)) {
            if (zb.LastResult() == TxResult::LinkLost)
                return portLostError(zb.Com());
            err() << "kadex-cli: no service button was pressed within " << o.timeoutS
                  << " s; nothing was changed. Press the button on the controller while the command waits"
                  << Qt::endl;
            return ExitDevice;
        }
        err() << "Service button of " << target.Text() << " pressed." << Qt::endl;
    } else {
        target = *ParseSerialNumber(o.serial); // checked with the options
    }
    const AddressingResult r = addressing.Address(target, newIndex, !o.button);
    if (r.outcome == AddressingResult::Outcome::LinkLost)
        return portLostError(zb.Com());
    if (r.occupantMoved)
        out() << r.occupant.Text() << " held " << BusAddressName(newIndex) << " and was moved to PP\n";
    // Success only when the controller answers at its new address now.
    bool there = false;
    if (r.ok()) {
        TBusSettingsScope keep(zb);
        zb.SetAdrIndex(static_cast<uint8_t>(newIndex));
        uint16_t w1 = 0, w2 = 0;
        uint8_t d5 = 0, type = 0, last = 0;
        there = zb.GetIdentity(w1, w2, d5, type, last) && ZbIdentity{w1, w2, type, last} == target;
    }
    if (!there) {
        AddressingResult shown = r;
        if (r.ok())
            shown.outcome = AddressingResult::Outcome::NotVerified;
        err() << "kadex-cli: addressing failed: " << AddressingOutcomeText(shown) << Qt::endl;
        return ExitDevice;
    }
    const int rc = logAddressing(zb, newIndex);
    out() << AddressingOutcomeText(r) << '\n';
    out().flush();
    return rc;
}

} // namespace kadex::cli
