#include "common/ToolArguments.h"

#include "common/CommandLine.h"

#include <QCommandLineParser>

namespace kadex {

namespace {

using help::Value;

// The tables stay one entry per block; clang-format would put every field on a line.
// clang-format off
help::Program make()
{
    help::Program p;
    p.name = QStringLiteral("kadex-tool");
    p.summary = QStringLiteral("service and calibration tool for Kadex VAV room-air controllers");
    p.usage = QStringLiteral("[options]");
    p.description = QStringLiteral(
        "Service and calibration tool for the Kadex room-air controller: identifies the controller on a serial port "
        "and a bus interface, reads and writes its settings, drives it in override modes and shows live values.\n\n"
        "Without a display use the command line instead, e.g. kadex-cli --simulate identify.");
    p.options = {
        {{}, QStringLiteral("port"), QStringLiteral("PATH"),
         QStringLiteral("use this serial device for this run (e.g. /dev/ttyUSB0)"), Value::Port,
         QStringLiteral("/dev/ttyUSB0")},
        {{}, QStringLiteral("simulate"), {}, QStringLiteral("start the built-in simulated controller and connect to it")},
        {QStringLiteral("h"), QStringLiteral("help"), {}, QStringLiteral("show this help and exit")},
        {{}, QStringLiteral("version"), {}, QStringLiteral("show the version and exit")},
    };
    p.optionNotes = QStringLiteral("Qt's own -platform NAME and -style NAME are passed on to Qt.");
    p.exitStatus = {
        {QStringLiteral("0"), QStringLiteral("normal end")},
        {QStringLiteral("1"), QStringLiteral("another instance is running")},
        {QStringLiteral("2"), QStringLiteral("usage error")},
        {QStringLiteral("3"), QStringLiteral("no display")},
    };
    p.exitNotes = QStringLiteral(
        "A serial port needs the user to be in the group that owns the device (dialout on Debian): adduser $USER "
        "dialout, then log in again.");
    p.files = {
        {QStringLiteral("$XDG_DATA_HOME/Fenwix/KadexTool.ini"),
         QStringLiteral("the settings (default ~/.local/share/Fenwix/), seeded from "
                        "/usr/share/kadex-tool/KadexTool.ini")},
        {QStringLiteral("~/.local/share/Kadex_Logs/"), QStringLiteral("action logs and the diagnostic trace")},
        {QStringLiteral("~/.local/share/Kadex_Defaults/"), QStringLiteral("settings data files")},
        {QStringLiteral("/usr/share/kadex-tool/ZBCommand.txt"),
         QStringLiteral("command names for the transfer trace")},
    };
    p.environment = {
        {QStringLiteral("KADEX_TRACE"),
         QStringLiteral("1 writes the diagnostic trace to ~/.local/share/Kadex_Logs/Log.sil")},
        {QStringLiteral("XDG_DATA_HOME"), QStringLiteral("where the settings and data folders are")},
        {QStringLiteral("DISPLAY, WAYLAND_DISPLAY"), QStringLiteral("the display; without one the program ends with status 3")},
    };
    p.examples = {
        {QStringLiteral("kadex-tool --simulate"), QStringLiteral("the window against the built-in simulated controller")},
        {QStringLiteral("kadex-tool --port /dev/ttyUSB0"),
         QStringLiteral("this port for this run, instead of the stored one")},
    };
    p.seeAlso = {QStringLiteral("kadex-cli"), QStringLiteral("kadex-sim")};
    return p;
}

// clang-format on
} // namespace

const help::Program& ToolProgram()
{
    static const help::Program program = make();
    return program;
}

QString ToolHelpText()
{
    return help::RenderHelp(ToolProgram());
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
    const help::ParserOptions options(ToolProgram(), p);
    const QCommandLineOption& port = options[QStringLiteral("port")];
    const QCommandLineOption& simulate = options[QStringLiteral("simulate")];
    const QCommandLineOption& help = options[QStringLiteral("help")];
    const QCommandLineOption& version = options[QStringLiteral("version")];
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
    return true;
}

} // namespace kadex
