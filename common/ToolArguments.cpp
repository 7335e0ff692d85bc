#include "common/ToolArguments.h"

#include "common/CommandLine.h"

#include <QCommandLineParser>

namespace kadex {

QString ToolHelpText()
{
    return QStringLiteral(
        "Usage: kadex-tool [options]\n"
        "\n"
        "Service and calibration tool for the Kadex room-air controller.\n"
        "\n"
        "Options:\n"
        "  --port PATH          use this serial device for this run (e.g. /dev/ttyUSB0)\n"
        "  --simulate           start the built-in simulated controller and connect to it\n"
        "  --screenshot-dir DIR save a picture of every tab into DIR, print the file names\n"
        "                       and quit\n"
        "  -h, --help           show this help and exit\n"
        "  --version            show the version and exit\n"
        "Qt's own -platform NAME and -style NAME are passed on to Qt.\n"
        "\n"
        "Exit status: 0 normal end, 1 another instance is running (or a screenshot failed),\n"
        "2 usage error, 3 no display.\n"
        "\n"
        "Environment: KADEX_TRACE=1 writes the diagnostic trace to\n"
        "~/.local/share/Kadex_Logs/Log.sil.\n"
        "Without a display use the command line instead, e.g. kadex-cli --simulate identify.\n");
}

bool ParseToolArguments(const QStringList& args, ToolArguments& out, QString& error)
{
    // Qt's single-dash options with their values go to the application object, not here.
    QStringList mine;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (i > 0 && (a == QLatin1String("-platform") || a == QLatin1String("-style"))) {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("missing value after '%1'").arg(a);
                return false;
            }
            ++i;
            continue;
        }
        if (i > 0 && (a.startsWith(QLatin1String("-platform=")) || a.startsWith(QLatin1String("-style="))))
            continue;
        mine << a;
    }

    QCommandLineParser p;
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("PATH"));
    const QCommandLineOption simulate(QStringLiteral("simulate"));
    const QCommandLineOption shots(QStringLiteral("screenshot-dir"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    p.addOptions({port, simulate, shots, help, version});
    if (!cmdline::Parse(p, mine, error) || !cmdline::NoWords(p.positionalArguments(), error))
        return false;
    out = ToolArguments{};
    out.help = p.isSet(help);
    out.version = p.isSet(version);
    out.simulate = p.isSet(simulate);
    if (p.isSet(port)) {
        out.portPath = p.value(port).trimmed();
        if (out.portPath.isEmpty()) {
            error = QStringLiteral("--port needs a device path");
            return false;
        }
    }
    if (p.isSet(shots)) {
        out.screenshotDir = p.value(shots);
        if (out.screenshotDir.isEmpty()) {
            error = QStringLiteral("--screenshot-dir needs a directory");
            return false;
        }
    }
    return true;
}

} // namespace kadex
