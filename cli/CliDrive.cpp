// "drive": holds one operation mode through the main core's operation step and prints the
// live values every cycle; the forced mode is released on every way out.
#include "cli/CliCommon.h"
#include "comm/Clock.h"
#include "cli/CliLive.h"
#include "sim/SimLink.h"

#include "common/Paths.h"
#include "core/MainCore.h"
#include "device/VAVBetrieb.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace kadex::cli {

namespace {

constexpr int kDrivePeriodMs = 2000;

struct DriveMode {
    const char* word;
    FieldId radio;
    bool takesPercent;
};

const DriveMode kDriveModes[] = {
    {"auto", fld::RadioBetrAuto, false},          {"close", fld::RadioBetrZu, false},
    {"open", fld::RadioBetrAuf, false},           {"fast-close", fld::RadioBetrSchnellZu, false},
    {"fast-open", fld::RadioBetrSchnellAuf, false}, {"vmin", fld::RadioBetrVMin, false},
    {"vmid", fld::RadioBetrVMid, false},          {"vmax", fld::RadioBetrVMax, false},
    {"vnom", fld::RadioBetrVNom, false},          {"variable", fld::RadioBetrVariabel, true},
};

const QString kModeList = QStringLiteral("auto, close, open, fast-close, fast-open, vmin, vmid, vmax, vnom, variable");

void printDriveLine(const QString& line)
{
    out() << line << '\n';
    out().flush();
}

// The port went away while the mode was held: wait for it (up to --port-wait seconds, or until
// another stop), open it again and release. ExitPort when the release was confirmed, else
// ExitRelease.
int waitForPortAndRelease(const Options& o, TMainCore& core, StopSignals& stop, const QString& portName)
{
    TVAVBetrieb& betrieb = core.VAVBetrieb;
    betrieb.BetriebAktiv = false; // nothing can be sent until the port is back
    err() << "kadex-cli: lost the port " << portName << " while the mode was held; waiting up to " << o.portWaitS
          << " s for it to come back to release the mode" << Qt::endl;
    const unsigned seen = stop.Count();
    const Clock::time_point end = Clock::now() + SteadyClock::RealSpan(static_cast<uint64_t>(o.portWaitS) * 1000 * 1000);
    bool back = false;
    while (!back) {
        const Clock::time_point now = Clock::now();
        if (now >= end)
            break;
        const Clock::time_point slice = std::min(end, now + SteadyClock::RealSpan(1000 * 1000));
        if (stop.WaitForMore(slice, seen))
            break;
        if (!core.Com.PortPresent())
            continue;
        core.Com.ClosePort();
        back = core.Com.OpenPort(); // not usable yet (permissions still being set): try again
    }
    if (!back) {
        err() << "kadex-cli: the port " << portName << " did not come back; the controller may still hold the forced "
              << "mode: release it with 'kadex-cli drive auto' once the port is back" << Qt::endl;
        return ExitRelease;
    }
    core.Com.SetDtrRts();
    if (!betrieb.StopBetrieb() || betrieb.ReleaseOwed.load()) {
        err() << "kadex-cli: the port " << portName << " is back but the release was not answered ("
              << TxResultText(core.ZB.LastResult()) << "); release it with 'kadex-cli drive auto'" << Qt::endl;
        return ExitRelease;
    }
    err() << "kadex-cli: the port " << portName << " is back; the forced mode was released" << Qt::endl;
    return ExitPort;
}

} // namespace

int runDrive(const Options& o)
{
    const QString word = o.args.value(0).trimmed().toLower();
    const DriveMode* mode = nullptr;
    for (const DriveMode& m : kDriveModes)
        if (word == QLatin1String(m.word))
            mode = &m;
    if (!mode)
        return usageError(QStringLiteral("drive takes one of %1, not '%2'").arg(kModeList, o.args.value(0)));
    int setpoint = 0; // hundredths of a percent
    if (mode->takesPercent) {
        if (o.args.size() < 2)
            return usageError(QStringLiteral("drive variable needs a setpoint in %, 0 .. 100"));
        bool ok = false;
        const double pct = QLocale::c().toDouble(o.args[1].trimmed(), &ok);
        if (!ok || !std::isfinite(pct) || pct < 0.0 || pct > 100.0)
            return usageError(QStringLiteral("the setpoint must be a percentage of 0 .. 100, not '%1'").arg(o.args[1]));
        setpoint = static_cast<int>(std::nearbyint(pct * 100.0)); // halves to even
    } else if (o.args.size() > 1) {
        return usageError(QStringLiteral("drive %1 takes no setpoint; only drive variable does").arg(word));
    }

    StopSignals& stop = Stops();

    std::unique_ptr<ITransport> simulated;
    if (o.simulate)
        simulated = sim::MakeSimulatedLink().transport;
    WindowModel model(mainWindowFields());
    model.setMisuse(WindowModel::Misuse::Warn);
    // The polling threads are never started: the operation step runs here, once a period.
    TMainCore core(model, std::move(simulated));
    StderrSink sink;
    ConfigureCore(core, o, sink);
    if (!core.Com.OpenPort())
        return portError(o, core.Com);
    SetErrorPort(&core.Com);
    SetErrorBus(&core.ZB);
    // A stop only ends the wait between cycles: the release must still reach the controller, in
    // step with the line, so no transaction is ever cut short here.
    core.Com.SetLinkLostHandler([&stop](const QString&) { stop.Poke(); });
    WatchBus(core.ZB, core.VAVBetrieb.IdentStop, false);
    const QString portName = core.Com.DevicePath();
    TVAVBetrieb& betrieb = core.VAVBetrieb;

    auto finish = [&](int rc) {
        rc = FinishBus(rc);
        SetErrorPort(nullptr);
        SetErrorBus(nullptr);
        core.ZB.SetClosing(true);
        core.Close();
        return rc;
    };

    core.COMVerbinden();
    if (stop.Stopped()) {
        err() << "kadex-cli: interrupted by " << StopSignals::Name(stop.Signal()) << " before the mode was set"
              << Qt::endl;
        return finish(128 + stop.Signal());
    }
    if (betrieb.SerNr().isEmpty())
        return finish(deviceError(o));

    // "Betrieb" pressed as in the window, then the chosen mode.
    model.setChecked(fld::SpeedButtonBetrieb, true);
    core.SpeedButtonBetriebClick();
    model.setChecked(mode->radio, true);
    if (mode->takesPercent) {
        betrieb.SollwPrz = static_cast<uint16_t>(setpoint);
        model.setDeviceValue(fld::EditBetrSollwPrz, setpoint, 2);
    }

    const QString address = addressName(o.adrIndex);
    int printed = 0;
    Clock::time_point next = Clock::now();
    int rc = ExitOk;
    bool portLost = false;
    while (!stop.Stopped() && (o.count == 0 || printed < o.count)) {
        if (printed > 0 && Clock::now() < next && stop.WaitUntil(next))
            break;
        if (core.Com.LinkLost()) {
            portLost = true;
            break;
        }
        const Clock::time_point start = Clock::now();
        core.OperationStep();
        if (core.Com.LinkLost()) {
            portLost = true;
            break;
        }
        if (betrieb.SerNr().isEmpty()) {
            // The step emptied the identification: the controller stopped answering. The
            // release is tried all the same.
            err() << "kadex-cli: the controller at " << address << " stopped answering" << Qt::endl;
            rc = ExitDevice;
            break;
        }
        LiveSample s = LiveSample::From(model);
        s.alarms = model.items(fld::ListBoxAlarme); // the step reads them while operating
        s.alarmsRead = true;
        if (o.json) {
            QJsonObject obj;
            QDateTime now = QDateTime::currentDateTime();
            now.setOffsetFromUtc(now.offsetFromUtc());
            obj[L("time")] = now.toString(Qt::ISODate);
            obj[L("mode")] = QLatin1String(mode->word);
            if (mode->takesPercent)
                obj[L("setpointSentPercent")] = setpoint / 100.0;
            s.AddTo(obj);
            out() << QJsonDocument(obj).toJson(QJsonDocument::Compact) << '\n';
            out().flush();
        } else {
            const QString text = s.Text();
            printDriveLine(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QLatin1Char(' ')
                           + QLatin1String(mode->word) + QStringLiteral(" | ") + text);
        }
        if (out().status() != QTextStream::Ok) {
            stop.Raise(SIGPIPE); // whoever read the output went away
            break;
        }
        ++printed;
        next = std::max(start + SteadyClock::RealSpan(static_cast<uint64_t>(kDrivePeriodMs) * 1000), Clock::now());
    }

    // The release: "Betrieb" up as in the window (override 0, the setpoint given back).
    auto release = [&] {
        if (betrieb.BetriebAktiv.load() && model.checked(fld::SpeedButtonBetrieb)) {
            model.setChecked(fld::SpeedButtonBetrieb, false);
            core.SpeedButtonBetriebClick();
        }
        if (betrieb.ReleaseOwed.load() && !core.Com.LinkLost())
            betrieb.StopBetrieb();
    };
    if (portLost)
        rc = waitForPortAndRelease(o, core, stop, portName);
    else
        release();
    if (betrieb.ReleaseOwed.load()) {
        if (!portLost) // the port case has said why already
            err() << "kadex-cli: could not release the forced mode (" << TxResultText(core.ZB.LastResult())
                  << "); the controller may still hold it: release it with 'kadex-cli drive auto' once it answers"
                  << Qt::endl;
        rc = ExitRelease;
    }
    return finish(rc);
}

} // namespace kadex::cli
