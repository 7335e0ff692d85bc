// Entry of the desktop program.
#include "common/DateFormat.h"
#include "common/SingleInstance.h"
#include "mainwindow/MainWindowController.h"
#include "mainwindow/Screenshots.h"
#include "settings/Trace.h"

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char* kHelp =
    "Usage: kadex-tool [options]\n"
    "\n"
    "Service and calibration tool for the Kadex room-air controller.\n"
    "\n"
    "Options:\n"
    "  --port PATH      use this serial device for this run (e.g. /dev/ttyUSB0)\n"
    "  --simulate       start the built-in simulated controller and connect to it\n"
    "  -h, --help       show this help\n"
    "\n"
    "Environment: KADEX_TRACE=1 writes the diagnostic trace to\n"
    "~/.local/share/Kadex_Logs/Log.sil.\n"
    "Without a display use the command line instead, e.g. kadex-cli --simulate identify.\n";

int signalPipe[2] = {-1, -1};

void onTerminate(int)
{
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &c, 1);
}

// SIGTERM and SIGINT close the window the orderly way, so a forced mode is released on the
// controller and the settings are saved, as when the user closes it.
void closeOnTerminate(QWidget& window)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window, notifier] {
        char c;
        [[maybe_unused]] ssize_t n = ::read(signalPipe[0], &c, 1);
        notifier->setEnabled(false);
        window.close();
    });
    struct sigaction sa {};
    sa.sa_handler = onTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

bool hasDisplay()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && platform != "xcb" && platform != "wayland")
        return true; // offscreen, vnc, ...: no display needed
    return !qgetenv("DISPLAY").isEmpty() || !qgetenv("WAYLAND_DISPLAY").isEmpty();
}

} // namespace

int main(int argc, char* argv[])
{
    kadex::TProgramOptions options;
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "-h" || a == "--help") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (a == "--simulate") {
            options.simulate = true;
        } else if (a == "--port" && i + 1 < argc) {
            options.portPath = QString::fromLocal8Bit(argv[++i]);
        } else if (a == "--screenshot-dir" && i + 1 < argc) {
            ++i; // taken by the screenshot helper
        } else if (!a.startsWith("--screenshot-dir=") && !a.startsWith("-platform") && !a.startsWith("-style")) {
            std::fprintf(stderr, "kadex-tool: unknown option '%s'\nTry 'kadex-tool --help'.\n", argv[i]);
            return 2;
        }
    }

    // One instance at a time; a second start ends at once and shows nothing.
    kadex::SingleInstanceLock instance;
    if (!instance.TryAcquire())
        return 1;

    if (!hasDisplay()) {
        std::fputs("kadex-tool: no display found (DISPLAY and WAYLAND_DISPLAY are empty).\n"
                   "Run it in a desktop session, under xvfb-run, or use the command line:\n"
                   "  kadex-cli --simulate identify\n",
                   stderr);
        return 3;
    }

    // The point is the decimal separator and dates read dd.MM.yyyy whatever the desktop's
    // regional settings say.
    kadex::SetProcessFormats();
    QApplication app(argc, argv);
    kadex::TTrace::Instance().Setup(); // off unless KADEX_TRACE=1
    QApplication::setApplicationName(QStringLiteral("Kadex Tool"));
    QApplication::setApplicationDisplayName(QStringLiteral("Kadex Tool"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kadex/kadex-tool.png")));

    kadex::TMainWindowController controller(options);
    controller.Show();
    closeOnTerminate(controller.Form());
    kadex::ScheduleScreenshots(QApplication::arguments(), controller.Form());
    return app.exec();
}
