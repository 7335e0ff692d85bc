// Prints the longest stall of the window thread in two scenarios, measured by a 5 ms heartbeat
// timer (the gaps between its ticks), offscreen against the built-in simulated controller:
//  a. "Betrieb" is down and the controller stops answering (taken off the simulated bus): from
//     that moment until the operation mode has ended and the panel is idle, then 2 s more;
//  b. the conductance measurement "mit Luft" from the OEM tab's dialog, which switches
//     "Betrieb" on: the countdown (the first COUNTDOWN_S seconds of it, then "Start Messung";
//     "full" waits the whole countdown) and the ten samples, until the result is shown.
// Usage: bench_gui_stall [COUNTDOWN_S | full]   (default 5)
#include "dialogs/LeitwertForm.h"
#include "core/Conductance.h"
#include "mainwindow/MainWindowController.h"
#include "tests/gui/Pump.h"
#include "tests/gui/RecordingDialogs.h"
#include "sim/Controller.h"
#include "sim/SimBus.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace {

bool pump(const std::function<bool()>& cond, int ms)
{
    return kadex::test::pump(cond, ms, 5);
}

// Gaps between the ticks of a 5 ms timer on the window thread.
class Heartbeat {
public:
    Heartbeat()
    {
        timer_.setInterval(5);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.elapsed();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
            ++ticks_;
        });
    }
    void start()
    {
        longest_ = last_ = 0;
        ticks_ = 0;
        clock_.start();
        timer_.start();
    }
    void stop()
    {
        timer_.stop();
        // The time since the last tick counts as a gap too.
        longest_ = std::max(longest_, clock_.elapsed() - last_);
        total_ = clock_.elapsed();
    }
    qint64 elapsed() const { return clock_.elapsed(); }
    qint64 longest() const { return longest_; }
    qint64 total() const { return total_; }
    double meanGap() const { return ticks_ > 0 ? static_cast<double>(last_) / static_cast<double>(ticks_) : 0.0; }
    void print() const
    {
        std::printf("  longest window stall: %lld ms (heartbeat 5 ms)\n", static_cast<long long>(longest_));
        std::printf("  mean heartbeat gap:   %.2f ms over %lld ticks\n", meanGap(), static_cast<long long>(ticks_));
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0, longest_ = 0, total_ = 0, ticks_ = 0;
};

template <class T>
T* child(QWidget* w, const char* name)
{
    return w->findChild<T*>(QString::fromLatin1(name));
}

} // namespace

int main(int argc, char** argv)
{
    int countdownS = 5;
    bool fullCountdown = false;
    if (argc > 1) {
        if (std::strcmp(argv[1], "full") == 0) {
            fullCountdown = true;
        } else {
            countdownS = std::atoi(argv[1]);
            if (countdownS < 0) {
                std::fprintf(stderr, "usage: bench_gui_stall [COUNTDOWN_S | full]\n");
                return 2;
            }
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    kadex::TProgramOptions options;
    options.simulate = true;
    kadex::test::RecordingDialogs dialogs;
    options.dialogs = &dialogs;
    kadex::TMainWindowController ctl(options);
    ctl.Show();
    if (!pump([&] { return ctl.Core().DataRead.load(); }, 30000)) {
        std::fprintf(stderr, "bench_gui_stall: no controller connected\n");
        return 1;
    }
    kadex::TMainCore& core = ctl.Core();
    auto* betrieb = ctl.Form().ControlAs<QAbstractButton>(kadex::fld::SpeedButtonBetrieb);
    if (!betrieb) {
        std::fprintf(stderr, "bench_gui_stall: no \"Betrieb\" button\n");
        return 1;
    }
    Heartbeat beat;

    // --- a. the controller goes silent in operation ------------------------------------------
    ctl.Form().PageControl()->setCurrentIndex(2);
    pump([&] { return betrieb->isEnabled(); }, 5000);
    betrieb->click();
    if (!pump([&] { return core.VAVBetrieb.BetriebAktiv.load(); }, 10000)) {
        std::fprintf(stderr, "bench_gui_stall: the operation mode did not start\n");
        return 1;
    }
    pump([] { return false; }, 1000); // a few operation steps
    beat.start();
    ctl.SimulatedBus()->removeController(1);
    const bool ended = pump([&] {
        return !core.VAVBetrieb.BetriebAktiv.load() && !betrieb->isChecked() && !core.Flows.Busy();
    }, 60000);
    const qint64 endedAt = beat.elapsed();
    pump([] { return false; }, 2000);
    beat.stop();
    std::printf("a. \"Betrieb\" down, the controller stops answering\n");
    std::printf("  operation mode ended: %s after %lld ms\n", ended ? "yes" : "NO", static_cast<long long>(endedAt));
    std::printf("  measured for:         %lld ms\n", static_cast<long long>(beat.total()));
    beat.print();
    std::fflush(stdout);
    if (!ended)
        return 1;

    // --- b. conductance measurement with air ---------------------------------------------------
    ctl.SimulatedBus()->insertController(1);
    ctl.SimulatedBus()->withController(1, [](kadex::sim::Controller& c) {
        c.pinLive(kadex::sim::mem::SensorPressure, 100);
    });
    if (!pump([&] { return core.DataRead.load() && ctl.Model().visible(kadex::fld::ImageEqual); }, 30000)) {
        std::fprintf(stderr, "bench_gui_stall: the controller did not come back\n");
        return 1;
    }
    ctl.Form().PageControl()->setCurrentIndex(0);
    auto* calc = ctl.Form().ControlAs<QAbstractButton>(kadex::fld::ButtonCalculateLW);
    if (!calc || !pump([&] { return calc->isEnabled(); }, 10000)) {
        std::fprintf(stderr, "bench_gui_stall: \"Berechnen\" is not enabled\n");
        return 1;
    }
    calc->click();
    kadex::TLeitwertForm* dlg = nullptr;
    if (!pump([&] { return (dlg = ctl.Form().findChild<kadex::TLeitwertForm*>()) && dlg->isVisible(); }, 5000)) {
        std::fprintf(stderr, "bench_gui_stall: the conductance dialog did not open\n");
        return 1;
    }
    auto* mitLuft = child<QPushButton>(dlg, "ButtonDruckmessung");
    auto* start = child<QPushButton>(dlg, "ButtonStartMeas");
    auto* ok = child<QPushButton>(dlg, "ButtonOk");
    auto* result = child<QLineEdit>(dlg, "EditLwErmittelt");
    if (!mitLuft || !start || !ok || !result || !mitLuft->isEnabled()) {
        std::fprintf(stderr, "bench_gui_stall: \"mit Luft\" is not available\n");
        return 1;
    }
    const int countdownTotal = kadex::conductance::Countdown(
        static_cast<int>(ctl.Model().value(kadex::fld::SpinEditLZAntrieb)));
    beat.start();
    mitLuft->click();
    const bool counting = pump([&] { return start->isVisible(); }, 20000); // the damper opens fast
    const qint64 countingAt = beat.elapsed();
    bool sampled = false;
    qint64 samplingAt = 0;
    if (counting) {
        if (fullCountdown) {
            pump([&] { return dlg->Flow().phase() != kadex::LeitwertFlow::Phase::Countdown; },
                 (countdownTotal + 10) * 1000);
        } else {
            pump([&] { return !start->isVisible(); }, countdownS * 1000);
            if (start->isVisible())
                start->click();
        }
        samplingAt = beat.elapsed();
        sampled = pump([&] { return ok->isEnabled(); }, 60000);
    }
    const qint64 doneAt = beat.elapsed();
    beat.stop();
    const bool resultShown = sampled && !result->text().isEmpty() && result->text() != QStringLiteral("0");
    std::printf("b. conductance measurement \"mit Luft\" (\"Betrieb\" switched on by the dialog)\n");
    std::printf("  countdown shown:      %s after %lld ms (countdown %d s, %s)\n", counting ? "yes" : "NO",
                static_cast<long long>(countingAt), countdownTotal,
                fullCountdown ? "waited out" : "\"Start Messung\" after the first seconds");
    std::printf("  sampling started:     after %lld ms\n", static_cast<long long>(samplingAt));
    std::printf("  result shown:         %s after %lld ms (sampling %lld ms): %s\n", resultShown ? "yes" : "NO",
                static_cast<long long>(doneAt), static_cast<long long>(doneAt - samplingAt),
                qPrintable(result->text()));
    beat.print();
    std::fflush(stdout);

    // Closing the dialog ends the operation mode it started.
    dlg->reject();
    pump([&] { return !core.VAVBetrieb.BetriebAktiv.load() && !core.Flows.Busy(); }, 20000);
    return counting && resultShown ? 0 : 1;
}
