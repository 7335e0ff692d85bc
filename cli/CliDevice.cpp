// The commands that go through the device records: "read" and "monitor".
#include "cli/CliCommon.h"
#include "core/ActionLogger.h"
#include "comm/Clock.h"
#include "cli/CliLive.h"
#include "sim/SimLink.h"

#include "comm/ComForm.h"
#include "common/Paths.h"
#include "device/DeviceContext.h"
#include "device/VAVBetrieb.h"
#include "core/MainCore.h"
#include "device/model/WindowFields.h"
#include "device/model/WindowModel.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace kadex::cli {

namespace {

constexpr int kPeriodMs = 2000;

// The operating data as the window shows it after Identify and ReadData.
struct OperatingData {
    QString serNr, firmware, vnom, vmin, vmid, vmax, posText, w1Min, w1Max, u5Min, u5Max;

    static OperatingData From(const WindowModel& m)
    {
        OperatingData d;
        d.serNr = m.text(fld::EditSerNr);
        d.firmware = m.text(fld::EditFirmware);
        d.vnom = m.text(fld::EditVnomM3);
        d.vmin = m.text(fld::EditVminPrz);
        d.vmid = m.text(fld::EditVmidPrz);
        d.vmax = m.text(fld::EditVmaxPrz);
        d.posText = m.text(fld::EditPositionInput);
        d.w1Min = m.text(fld::EditW1Min);
        d.w1Max = m.text(fld::EditW1Max);
        d.u5Min = m.text(fld::EditU5Min);
        d.u5Max = m.text(fld::EditU5Max);
        return d;
    }

    QJsonObject Json() const
    {
        QJsonObject o;
        o[L("serialNumber")] = serNr;
        o[L("firmware")] = firmware;
        o[L("vnomM3h")] = number(vnom);
        o[L("vminPercent")] = number(vmin);
        o[L("vmidPercent")] = number(vmid);
        o[L("vmaxPercent")] = number(vmax);
        o[L("positionText")] = posText;
        o[L("w1MinV")] = number(w1Min);
        o[L("w1MaxV")] = number(w1Max);
        o[L("u5MinV")] = number(u5Min);
        o[L("u5MaxV")] = number(u5Max);
        return o;
    }

    void PrintText() const
    {
        out() << "Serial number: " << serNr << '\n'
              << "Firmware: " << firmware << '\n'
              << "V'nom: " << vnom << ' ' << kFlowUnit << '\n'
              << "V'min: " << vmin << " %\n"
              << "V'mid: " << vmid << " %\n"
              << "V'max: " << vmax << " %\n"
              << "Position text: " << Printable(posText) << '\n'
              << "W1 range: " << w1Min << " .. " << w1Max << " V\n"
              << "U5 range: " << u5Min << " .. " << u5Max << " V\n";
        out().flush();
    }

    // One line for the monitor's header.
    QString Summary(const QString& address) const
    {
        return QStringLiteral("Controller %1 at %2, firmware %3: V'nom %4 %5, V'min %6 %, V'mid %7 %, V'max %8 %, "
                              "W1 %9 .. %10 V, U5 %11 .. %12 V, position text \"%13\"")
            .arg(serNr, address, firmware, vnom, kFlowUnit, vmin, vmid, vmax, w1Min)
            .arg(w1Max, u5Min, u5Max, Printable(posText));
    }
};

// The live values the connection step left in the window.
QString timestamp(bool json)
{
    QDateTime now = QDateTime::currentDateTime();
    if (!json)
        return now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    now.setOffsetFromUtc(now.offsetFromUtc()); // so the text carries the offset
    return now.toString(Qt::ISODate);
}

void printLine(const QString& line)
{
    out() << line << '\n';
    out().flush();
}

void printJsonLine(const QJsonObject& obj)
{
    out() << QJsonDocument(obj).toJson(QJsonDocument::Compact) << '\n';
    out().flush();
}

} // namespace

void ConfigureCore(TMainCore& core, const Options& o, StderrSink& sink)
{
    core.Com.SetPortNumber(o.comNr);
    core.Com.SetPortPath(o.portPath);
    core.Com.SetBaudRate(o.baud);
    core.ZB.LoadCommandNames(FindDataFile(QStringLiteral("ZBCommand.txt")));
    core.ZB.SetAdrIndex(static_cast<uint8_t>(o.adrIndex));
    if (o.trace)
        core.ZB.SetTransferSink(&sink);
}

int runRead(TZBCmd& zb, const Options& o)
{
    WindowModel model(mainWindowFields());
    model.setMisuse(WindowModel::Misuse::Warn);
    TDeviceContext ctx(zb, model);
    TVAVBetrieb record(ctx);
    WatchBus(zb, record.IdentStop, true);
    // Identification first: the firmware decides how V'min is read.
    const bool ok = record.Identify() && record.ReadData();
    if (const int rc = FinishBus(ExitOk); rc != ExitOk)
        return rc;
    if (!ok)
        return Stops().Stopped() ? ExitOk : deviceError(o); // Run reports the interruption
    {
        // The read is a device action: it goes to the action log like the window's reads.
        TOEMData oem(ctx, record);
        std::atomic<bool> closing{false};
        TActionLogger log(model, ctx, oem, closing);
        log.OnMessage = [](const QString& text, bool) {
            err() << "kadex-cli: action log: " << QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')) << Qt::endl;
        };
        log.WriteLogEntry(log.ReadAction());
    }
    const OperatingData d = OperatingData::From(model);
    if (o.json)
        printJson(d.Json());
    else
        d.PrintText();
    return ExitOk;
}

int runMonitor(const Options& o)
{
    const int count = o.count;
    StopSignals& stop = Stops();

    std::unique_ptr<ITransport> simulated;
    if (o.simulate)
        simulated = sim::MakeSimulatedLink().transport;
    WindowModel model(mainWindowFields());
    model.setMisuse(WindowModel::Misuse::Warn);
    // The core's polling threads are never started: the steps run here, one per period.
    TMainCore core(model, std::move(simulated));
    StderrSink sink;
    ConfigureCore(core, o, sink);
    if (!core.Com.OpenPort())
        return portError(o, core.Com);
    // The monitor handles a lost port itself (the core's port watch would reconnect on a
    // thread of its own): wake the loop at once, so the loss is reported when it happens.
    core.Com.SetLinkLostHandler([&stop](const QString&) { stop.Poke(); });
    WatchBus(core.ZB, core.VAVBetrieb.IdentStop, true);
    const QString portName = core.Com.DevicePath();

    const QString address = addressName(o.adrIndex);
    auto connected = [&] { return !core.VAVBetrieb.SerNr().isEmpty(); };
    QString shownSerNr;
    auto headerIfNew = [&] {
        const QString ser = core.VAVBetrieb.SerNr();
        if (ser.isEmpty() || ser == shownSerNr)
            return;
        shownSerNr = ser;
        if (!o.json)
            printLine(OperatingData::From(model).Summary(address));
    };

    core.COMVerbinden();
    bool everAnswered = connected();
    if (!stop.Stopped()) {
        if (everAnswered)
            headerIfNew();
        else
            err() << "kadex-cli: the controller at " << address << " does not answer; still trying" << Qt::endl;
    }

    // A lost port: say so once, look for the device about every second, reopen it and
    // connect as at the start. False when stopped first.
    auto waitForPort = [&] {
        if (o.json) {
            QJsonObject obj;
            obj[L("time")] = timestamp(true);
            obj[L("answering")] = false;
            obj[L("portLost")] = portName;
            printJsonLine(obj);
        } else {
            printLine(timestamp(false) + QStringLiteral(" the port %1 is gone").arg(portName));
        }
        err() << "kadex-cli: lost the port " << portName << "; waiting for it to come back" << Qt::endl;
        core.ClearDeviceInfo();
        core.VAVBetrieb.SetSerNr(QString());
        shownSerNr.clear();
        for (;;) {
            if (stop.WaitUntil(Clock::now() + SteadyClock::RealSpan(1000 * 1000)))
                return false;
            if (!core.Com.PortPresent())
                continue;
            core.Com.ClosePort();
            if (core.Com.OpenPort())
                break;
            // Back but not usable yet (permissions still being set): try again.
        }
        err() << "kadex-cli: the port " << portName << " is back" << Qt::endl;
        core.COMVerbinden();
        if (connected() && !stop.Stopped())
            headerIfNew();
        return true;
    };

    int printed = 0;
    Clock::time_point next = Clock::now();
    while (!stop.Stopped() && (count == 0 || printed < count)) {
        if (core.Com.LinkLost()) {
            if (!waitForPort())
                break;
            next = Clock::now();
        }
        if (printed > 0 && Clock::now() < next && stop.WaitUntil(next))
            break;
        if (core.Com.LinkLost())
            continue;
        const Clock::time_point start = Clock::now();
        const QString before = core.VAVBetrieb.SerNr();
        core.ConnectionStep();
        // A step that connected anew read its live values with the old record and the connect
        // blanked the mode text: take the sample from one more step.
        if (connected() && core.VAVBetrieb.SerNr() != before && !stop.Stopped())
            core.ConnectionStep();
        const bool answered = connected();
        LiveSample s;
        if (answered) {
            s = LiveSample::From(model);
            // The connection step does not ask for the alarms; the monitor does.
            s.alarmsRead = core.ZB.AddAlarmTexts(s.alarms);
        }
        if (stop.Stopped())
            break; // the step was cut short
        if (core.Com.LinkLost())
            continue; // the port went away during the step: that is reported, not a sample
        everAnswered = everAnswered || answered;
        if (answered)
            headerIfNew();
        if (o.json) {
            QJsonObject obj;
            obj[L("time")] = timestamp(true);
            obj[L("answering")] = answered;
            if (answered) {
                obj[L("serialNumber")] = core.VAVBetrieb.SerNr();
                s.AddTo(obj);
            }
            printJsonLine(obj);
        } else {
            printLine(timestamp(false) + QLatin1Char(' ')
                      + (answered ? s.Text() : QStringLiteral("the controller at %1 does not answer").arg(address)));
        }
        ++printed;
        next = std::max(start + SteadyClock::RealSpan(static_cast<uint64_t>(kPeriodMs) * 1000), Clock::now());
    }

    const bool portGone = core.Com.LinkLost();
    const int released = FinishBus(ExitOk);
    core.ZB.SetClosing(true);
    core.Close();
    if (released != ExitOk)
        return released;
    if (portGone)
        return ExitPort;
    if (!everAnswered && stop.Stopped())
        err() << "kadex-cli: stopped by " << StopSignals::Name(stop.Signal()) << " before the controller at " << address
              << " was identified" << Qt::endl;
    return everAnswered ? ExitOk : ExitDevice;
}

} // namespace kadex::cli
