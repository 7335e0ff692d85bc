// Prints what the desktop program costs while it is connected (simulated controller on a
// pseudo-terminal) and idle: the CPU time of the whole process and of the window's thread over
// N seconds as percent of one core, then, over a second span of the same length, what the
// window did meanwhile (paints per widget, layout passes, window-value changes per field).
// The CPU time of the start-up is printed apart: an average since the start (as ps shows it)
// carries it for minutes.
//
// Usage: bench_gui_idle [SECONDS] [--tab N]   (default 60 s, the tab the settings name)
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise; for a real X server:
//   QT_QPA_PLATFORM=xcb xvfb-run -a bench_gui_idle 60
#include "mainwindow/MainWindowController.h"
#include "tests/gui/RecordingDialogs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

double cpuSeconds(int who)
{
    rusage ru{};
    getrusage(who, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

void runFor(int seconds)
{
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec(); // the program's own event loop, idle between polls
}

// Counts what the window does: paints by widget, layout requests.
class EventCounter : public QObject {
public:
    QHash<QString, int> paints;
    int layoutRequests = 0;

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Paint && o->isWidgetType()) {
            QString name = o->objectName();
            if (name.isEmpty() || name.startsWith(QLatin1String("qt_")))
                name = QString::fromLatin1(o->metaObject()->className()) + QStringLiteral(" in ")
                       + (o->parent() ? o->parent()->objectName() : QString());
            ++paints[name];
        } else if (e->type() == QEvent::LayoutRequest) {
            ++layoutRequests;
        }
        return false;
    }
};

void printTop(const char* what, const QHash<QString, int>& counts, int seconds)
{
    std::vector<std::pair<int, QString>> v;
    int total = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        v.emplace_back(it.value(), it.key());
        total += it.value();
    }
    std::sort(v.begin(), v.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::printf("%s: %d in %d s (%.2f/s)\n", what, total, seconds, double(total) / seconds);
    for (size_t i = 0; i < v.size() && i < 10; ++i)
        std::printf("  %6d  %s\n", v[i].first, qPrintable(v[i].second));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int seconds = 60;
    int tab = -1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--tab") == 0 && i + 1 < argc)
            tab = std::atoi(argv[++i]);
        else if (argv[i][0] != '-')
            seconds = std::max(1, std::atoi(argv[i]));
    }
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    if (tab >= 0) {
        QDir().mkpath(home.filePath(QStringLiteral("Fenwix")));
        QFile ini(home.filePath(QStringLiteral("Fenwix/KadexTool.ini")));
        if (ini.open(QIODevice::WriteOnly))
            ini.write(QByteArray("[CONFIG]\r\nTabsheet=") + QByteArray::number(tab) + "\r\n");
    }

    QElapsedTimer clock;
    clock.start();
    QApplication app(argc, argv);
    kadex::TProgramOptions options;
    options.simulate = true;
    kadex::test::RecordingDialogs dialogs;
    options.dialogs = &dialogs;
    kadex::TMainWindowController ctl(options);
    ctl.Show();
    while (!ctl.Core().DataRead.load() && clock.elapsed() < 30000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    if (!ctl.Core().DataRead.load()) {
        std::fputs("no controller connected\n", stderr);
        return 1;
    }
    const double startCpu = cpuSeconds(RUSAGE_SELF);
    std::printf("platform %s, tab %d, connected after %lld ms, %.3f s CPU so far\n",
                qPrintable(QApplication::platformName()), ctl.Model().itemIndex(QStringLiteral("PageControl1")),
                static_cast<long long>(clock.elapsed()), startCpu);
    runFor(3); // let the start-up settle: first polls, first repaints

    const int steps0 = ctl.Core().VerbindenThread().StepsRun();
    const double all0 = cpuSeconds(RUSAGE_SELF), gui0 = cpuSeconds(RUSAGE_THREAD);
    runFor(seconds);
    const double all = cpuSeconds(RUSAGE_SELF) - all0, gui = cpuSeconds(RUSAGE_THREAD) - gui0;
    std::printf("idle for %d s: process %.3f s CPU (%.3f %% of one core), window thread %.3f s (%.3f %%), "
                "%d polling steps\n",
                seconds, all, 100.0 * all / seconds, gui, 100.0 * gui / seconds,
                ctl.Core().VerbindenThread().StepsRun() - steps0);

    // What the window did: counted in a second span, so that counting does not cost the first.
    EventCounter counter;
    QHash<QString, int> changes;
    QObject::connect(&ctl.Model(), &kadex::WindowModel::fieldChanged, &counter,
                     [&changes](const QString& field, kadex::Prop) { ++changes[field]; }, Qt::QueuedConnection);
    app.installEventFilter(&counter);
    runFor(seconds);
    app.removeEventFilter(&counter);
    printTop("window-value changes", changes, seconds);
    printTop("paints", counter.paints, seconds);
    std::printf("layout requests: %d in %d s\n", counter.layoutRequests, seconds);
    return 0;
}
