// Prints how quickly a lost serial port is noticed and reopened, and what waiting for it costs:
// the simulated controller on a pseudo-terminal behind a stable link path, opened through the
// machine's serial port code (QSerialPort in its I/O thread) by the window's core. The adapter
// is pulled and plugged in again several times.
//   hang-up -> "Schnittstelle getrennt" in the status field (the port's own error signal)
//   plug-in -> connected again (port watch about every second, then the connect step)
//   CPU time of the whole process while the port is gone for 10 s (no busy loop: ~0)
#include "core/MainCore.h"
#include "device/model/WindowFields.h"
#include "settings/Texts.h"
#include "sim/PtyServer.h"
#include "sim/SimBus.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>
#include <sys/resource.h>

using namespace kadex;
using Clock = std::chrono::steady_clock;

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

bool waitFor(const std::function<bool()>& cond, int ms)
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

double ms(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

void stats(const char* what, std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    double sum = 0;
    for (double x : v)
        sum += x;
    std::printf("%-34s min %8.1f  median %8.1f  max %8.1f  mean %8.1f ms  (n=%zu)\n", what, v.front(),
                v[v.size() / 2], v.back(), sum / v.size(), v.size());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    auto bus = std::make_shared<sim::SimBus>();
    sim::PtyServer pty;
    pty.setLinkPath(QDir(dir.path()).filePath(QStringLiteral("ttyKadex")).toStdString());
    std::string why;
    if (!pty.start(bus, &why)) {
        std::fprintf(stderr, "bench_lostport: %s\n", why.c_str());
        return 1;
    }

    WindowModel model(mainWindowFields());
    model.setMisuse(WindowModel::Misuse::Warn);
    TMainCore core(model); // the machine's serial port code
    core.Com.SetPortPath(QString::fromStdString(pty.portPath()));
    core.Com.SetBaudRate(38400);
    core.Start();
    std::atomic<int64_t> lostAt{0};
    model.onChange(kStatusMessage, [&](const Change&) {
        if (model.text(kStatusMessage) == IniStatusText.PortLost)
            lostAt = Clock::now().time_since_epoch().count();
    });
    core.Flows.Post("COMVerbinden", [&] { core.COMVerbinden(); });
    if (!waitFor([&] { return core.DataRead.load(); }, 20000)) {
        std::fprintf(stderr, "bench_lostport: no first connect\n");
        return 1;
    }

    constexpr int kRounds = 5;
    std::vector<double> notice, reconnect;
    for (int i = 0; i < kRounds; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300 + 370 * i)); // somewhere in the poll period
        lostAt = 0;
        const Clock::time_point pulled = Clock::now();
        pty.unplug();
        if (!waitFor([&] { return lostAt.load() != 0; }, 10000)) {
            std::fprintf(stderr, "bench_lostport: loss not noticed\n");
            return 1;
        }
        notice.push_back(ms(pulled, Clock::time_point(Clock::duration(lostAt.load()))));
        core.Flows.WaitIdle(5000);

        const bool idle = i == 0;
        double cpu = 0, wall = 0;
        if (idle) {
            const double c0 = cpuSeconds();
            const Clock::time_point w0 = Clock::now();
            std::this_thread::sleep_for(std::chrono::seconds(10));
            cpu = cpuSeconds() - c0;
            wall = ms(w0, Clock::now()) / 1000.0;
        }
        const int before = core.Reconnects();
        const Clock::time_point plugged = Clock::now();
        if (!pty.plug(&why)) {
            std::fprintf(stderr, "bench_lostport: plug: %s\n", why.c_str());
            return 1;
        }
        if (!waitFor([&] { return core.Reconnects() > before && core.DataRead.load(); }, 20000)) {
            std::fprintf(stderr, "bench_lostport: not reconnected\n");
            return 1;
        }
        reconnect.push_back(ms(plugged, Clock::now()));
        if (idle)
            std::printf("CPU while the port is gone: %.4f s in %.1f s wall (%.3f %%)\n", cpu, wall,
                        100.0 * cpu / wall);
    }
    stats("hang-up -> loss shown", notice);
    stats("plug-in -> connected and read", reconnect);
    std::printf("(the port watch looks about every 1000 ms; the connect step identifies and reads all data)\n");
    core.Close();
    pty.stop();
    return 0;
}
