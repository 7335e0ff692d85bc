// "drive": holds one operation mode through the main core's operation step and prints the
// live values every cycle; the forced mode is released on every way out.
#include "cli/CliCommon.h"
#include "comm/Clock.h"
#include "cli/CliLive.h"
#include "sim/SimLink.h"

#include "common/Paths.h"
#include "mainwindow/core/MainCore.h"

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

    StopSignals stop; // before the simulator's and the core's threads exist

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
    // A stop only ends the wait between cycles: the release must still reach the controller.
    core.Com.SetLinkLostHandler([&stop](const QString&) { stop.Poke(); });

    auto finish = [&](int rc) {
        SetErrorPort(nullptr);
        SetErrorBus(nullptr);
        core.ZB.SetClosing(true);
        core.Close();
        return rc;
    };

    core.COMVerbinden();
    if (core.VAVBetrieb.SerNr().isEmpty())
        return finish(deviceError(o));

    // "Betrieb" pressed as in the window, then the chosen mode.
    model.setChecked(fld::SpeedButtonBetrieb, true);
    core.SpeedButtonBetriebClick();
    model.setChecked(mode->radio, true);
    if (mode->takesPercent) {
        core.VAVBetrieb.SollwPrz = static_cast<uint16_t>(setpoint);
        model.setDeviceValue(fld::EditBetrSollwPrz, setpoint, 2);
    }
    // The release: "Betrieb" up, override 0 and the setpoint given back.
    auto release = [&] {
        if (!core.VAVBetrieb.BetriebAktiv.load())
            return;
        model.setChecked(fld::SpeedButtonBetrieb, false);
        core.SpeedButtonBetriebClick();
    };

    const QString address = addressName(o.adrIndex);
    int printed = 0;
    Clock::time_point next = Clock::now();
    int rc = ExitOk;
    while (!stop.Stopped() && (o.count == 0 || printed < o.count)) {
        if (printed > 0 && Clock::now() < next && stop.WaitUntil(next))
            break;
        if (core.Com.LinkLost()) {
            core.VAVBetrieb.BetriebAktiv = false; // nothing can be sent any more
            rc = portLostError(core.Com);
            break;
        }
        const Clock::time_point start = Clock::now();
        core.OperationStep();
        if (core.Com.LinkLost()) {
            core.VAVBetrieb.BetriebAktiv = false;
            rc = portLostError(core.Com);
            break;
        }
        if (core.VAVBetrieb.SerNr().isEmpty()) {
            // The step emptied the identification: the controller stopped answering. The
            // core's BetrOffTimer ends the operation mode; try the release here all the same.
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
        ++printed;
        next = std::max(start + SteadyClock::RealSpan(static_cast<uint64_t>(kDrivePeriodMs) * 1000), Clock::now());
    }
    release();
    return finish(rc);
}

} // namespace kadex::cli
