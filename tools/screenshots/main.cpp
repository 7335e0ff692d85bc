// kadex-screenshots: starts the desktop program's window as kadex-tool does, takes the pictures
// for the documentation, prints their file names and quits. A development tool; not installed.
#include "common/CommandLine.h"
#include "common/DateFormat.h"
#include "mainwindow/MainWindowController.h"
#include "tools/screenshots/Screenshots.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <cstdio>

namespace {

constexpr const char* kUsage =
    "Usage: kadex-screenshots [--simulate] [--port PATH] --screenshot-dir DIR\n"
    "Pictures of every tab of kadex-tool's window and of its dialogs into DIR (with --simulate\n"
    "also the bus dialogs, the sensor types, the difference list and the Service tab in\n"
    "operation); prints the file names. Needs a display (xvfb-run will do).\n"
    "Exit status: 0 all pictures taken, 1 a picture failed, 2 usage error.\n";

} // namespace

int main(int argc, char* argv[])
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser p;
    const QCommandLineOption simulate(QStringLiteral("simulate"));
    const QCommandLineOption port(QStringLiteral("port"), {}, QStringLiteral("PATH"));
    const QCommandLineOption dir(QStringLiteral("screenshot-dir"), {}, QStringLiteral("DIR"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    p.addOptions({simulate, port, dir, help});
    QString error;
    if (!kadex::cmdline::Parse(p, args, error) || !kadex::cmdline::NoWords(p.positionalArguments(), error)) {
        std::fputs(kadex::cmdline::UsageText(QStringLiteral("kadex-screenshots"), error).toLocal8Bit().constData(),
                   stderr);
        return kadex::cmdline::ExitUsage;
    }
    if (p.isSet(help)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (p.value(dir).isEmpty()) {
        std::fputs(kadex::cmdline::UsageText(QStringLiteral("kadex-screenshots"),
                                             QStringLiteral("--screenshot-dir DIR is needed"))
                       .toLocal8Bit()
                       .constData(),
                   stderr);
        return kadex::cmdline::ExitUsage;
    }
    kadex::TProgramOptions options;
    options.simulate = p.isSet(simulate);
    options.portPath = p.value(port).trimmed();

    kadex::SetProcessFormats();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kadex Tool"));
    QApplication::setApplicationDisplayName(QStringLiteral("Kadex Tool"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kadex/kadex-tool.png")));
    kadex::TMainWindowController controller(options);
    controller.Show();
    kadex::ScheduleScreenshots(args, controller.Form(), &controller.Core());
    return app.exec();
}
