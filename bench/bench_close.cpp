// Prints the longest stall of the window thread while the window closes with "Betrieb" down and
// the controller silent (removed from the simulated bus): a 5 ms heartbeat timer measures the
// gaps between its ticks from the close request until the window has closed. Runs offscreen.
#include "mainwindow/MainWindowController.h"
#include "tests/gui/Pump.h"
#include "tests/gui/RecordingDialogs.h"
#include "sim/SimBus.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {
bool pump(const std::function<bool()>& cond, int ms)
{
    return kadex::test::pump(cond, ms, 5);
}
} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    kadex::TProgramOptions options;
    options.simulate = true;
    kadex::test::RecordingDialogs dialogs;
    options.dialogs = &dialogs;
    options.pollPeriodMs = 300;
    kadex::TMainWindowController ctl(options);
    ctl.Show();
    if (!pump([&] { return ctl.Core().DataRead.load(); }, 30000)) {
        std::fprintf(stderr, "bench_close: no controller connected\n");
        return 1;
    }
    auto* betrieb = ctl.Form().ControlAs<QAbstractButton>(kadex::fld::SpeedButtonBetrieb);
    pump([&] { return betrieb->isEnabled(); }, 5000);
    betrieb->click();
    if (!pump([&] { return ctl.Core().VAVBetrieb.BetriebAktiv.load(); }, 10000)) {
        std::fprintf(stderr, "bench_close: the operation mode did not start\n");
        return 1;
    }
    ctl.SimulatedBus()->removeController(1);

    QElapsedTimer beat;
    qint64 last = 0, longest = 0;
    QTimer heartbeat;
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = beat.elapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    beat.start();
    heartbeat.start();
    ctl.Form().close();
    const qint64 closeCall = beat.elapsed();
    const bool closed = pump([&] { return !ctl.Form().isVisible(); }, 60000);
    const qint64 total = beat.elapsed();
    longest = std::max(longest, closeCall);
    std::printf("close with a silent controller and \"Betrieb\" down\n");
    std::printf("  window closed:            %s after %lld ms\n", closed ? "yes" : "NO", static_cast<long long>(total));
    std::printf("  close() call returned in: %lld ms\n", static_cast<long long>(closeCall));
    std::printf("  longest window stall:     %lld ms (heartbeat 5 ms)\n", static_cast<long long>(longest));
    return closed ? 0 : 1;
}
