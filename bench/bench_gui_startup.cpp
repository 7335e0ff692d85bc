// Prints the desktop program's start-up time to the first identified controller (simulated,
// on a pseudo-terminal), its resident memory after a minute connected, and the CPU time that
// minute cost. Usage: bench_gui_startup [SECONDS] (default 60); runs on the offscreen platform.
#include "mainwindow/MainWindowController.h"
#include "tests/gui/RecordingDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QEventLoop>

#include <sys/resource.h>

#include <cstdio>

namespace {

double cpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

long rssKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());

    QElapsedTimer clock;
    clock.start();
    QApplication app(argc, argv);
    kadex::TProgramOptions options;
    options.simulate = true;
    kadex::test::RecordingDialogs dialogs;
    options.dialogs = &dialogs;
    kadex::TMainWindowController ctl(options);
    ctl.Show();
    auto* ser = ctl.Form().ControlAs<QLineEdit>(kadex::fld::EditSerNr);
    while (ser->text().isEmpty() && clock.elapsed() < 30000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    const qint64 identifiedMs = clock.elapsed();
    while (!ctl.Core().DataRead.load() && clock.elapsed() < 30000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    const qint64 readMs = clock.elapsed();
    std::printf("start-up to identified controller: %lld ms (all data read: %lld ms)\n",
                static_cast<long long>(identifiedMs), static_cast<long long>(readMs));

    const double cpu0 = cpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec(); // the program's own event loop, idle between polls
    const double cpu = cpuSeconds() - cpu0;
    std::printf("connected for %d s: resident memory %ld KiB, CPU time %.3f s (%.2f %% of one core), "
                "%d polling steps\n",
                seconds, rssKiB(), cpu, 100.0 * cpu / seconds, ctl.Core().VerbindenThread().StepsRun());
    return ser->text().isEmpty() ? 1 : 0;
}
