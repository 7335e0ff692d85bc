// Entry of the desktop program.
#include "common/CommandLine.h"
#include "common/DateFormat.h"
#include "common/SingleInstance.h"
#include "common/ToolArguments.h"
#include "common/Version.h"
#include "mainwindow/MainWindowController.h"
#include "settings/Trace.h"

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

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
    // Refused before the single-instance lock and before any window: a typo must not block
    // the running instance's lock or open a window.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    kadex::ToolArguments parsed;
    QString error;
    if (!kadex::ParseToolArguments(args, parsed, error)) {
        std::fputs(kadex::cmdline::UsageText(QStringLiteral("kadex-tool"), error).toLocal8Bit().constData(), stderr);
        return kadex::cmdline::ExitUsage;
    }
    if (parsed.help) {
        std::fputs(kadex::ToolHelpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parsed.version) {
        std::printf("kadex-tool %s\n", kadex::VersionString());
        return 0;
    }
    kadex::TProgramOptions options;
    options.simulate = parsed.simulate;
    options.portPath = parsed.portPath;

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
    return app.exec();
}
