#include "sim/SimHelp.h"

#include "sim/SimConsole.h"

namespace kadex::sim {

using help::Value;

namespace {

// The tables stay one entry per block; clang-format would put every field on a line.
// clang-format off
help::Program make()
{
    help::Program p;
    p.name = QStringLiteral("kadex-sim");
    p.summary = QStringLiteral("simulated Kadex controllers on a pseudo-terminal");
    p.usage = QStringLiteral("[options]");
    p.description = QStringLiteral(
        "Simulates up to eight Kadex controllers behind a bus interface that echoes every byte, served on a "
        "pseudo-terminal. The first line on standard output is \"PTY <path>\"; open that path as the serial port "
        "(e.g. kadex-cli --port <path> identify). Standard input takes line commands (below); each is answered with "
        "a line starting with OK or ERR.\n\n"
        "SLOT is 1..8, the controller's place on the bus; without SLOT= an option applies to every controller; "
        "options marked * may be given more than once.");
    p.options = {
        {QStringLiteral("n"), QStringLiteral("controllers"), QStringLiteral("N"),
         QStringLiteral("controllers on the bus, 1..8 (default 1)"), Value::Text, QStringLiteral("3")},
        {{}, QStringLiteral("address"), QStringLiteral("SLOT=ADDR"),
         QStringLiteral("bus address PP or ZB1..ZB8 (default: PP for a single controller, ZB1..ZBn for several)"),
         Value::SlotAddress, QStringLiteral("1=ZB3"), true},
        {{}, QStringLiteral("firmware"), QStringLiteral("[SLOT=]HEX"),
         QStringLiteral("firmware version, e.g. 0308 or 2=021F (default 0308)"), Value::Text, QStringLiteral("021F"),
         true},
        {{}, QStringLiteral("table-id"), QStringLiteral("[SLOT=]HEX"),
         QStringLiteral("configuration table ID (default 0310)"), Value::Text, QStringLiteral("0310"), true},
        {{}, QStringLiteral("identity"), QStringLiteral("SLOT=SERIAL[/D5]"),
         QStringLiteral("identity as serial number text, e.g. 1=00812-04711-003-001/0 (default 00812-04711-003-001, "
                        "00812-04712-003-001, ...)"),
         Value::Text, QStringLiteral("1=00812-04711-003-001/0"), true},
        {{}, QStringLiteral("password"), QStringLiteral("[SLOT=]N"),
         QStringLiteral("OEM password at 0x0018 (default 12345)"), Value::Text, QStringLiteral("4711"), true},
        {{}, QStringLiteral("wire-timing"), {},
         QStringLiteral("bytes take 10 bit times at the baud rate the tool set, and the controller pauses before it "
                        "answers")},
        {{}, QStringLiteral("baud"), QStringLiteral("RATE"),
         QStringLiteral("wire timing at this rate whatever the tool set; one of 300 600 1200 2400 4800 9600 14400 19200 "
                        "38400 57600 115200"),
         Value::Baud, QStringLiteral("9600")},
        {{}, QStringLiteral("turnaround"), QStringLiteral("MS"),
         QStringLiteral("controller pause before answering, 0..10000 (default 3)"), Value::Text, QStringLiteral("5")},
        {{}, QStringLiteral("fault"), QStringLiteral("\"SLOT KIND N|@P [PARAM...]\""),
         QStringLiteral("inject a fault from the start (as the fault command)"), Value::Text,
         QStringLiteral("1 noanswer 2"), true},
        {{}, QStringLiteral("seed"), QStringLiteral("N"), QStringLiteral("random seed for faults at a rate (default 1)"),
         Value::Text, QStringLiteral("7")},
        {{}, QStringLiteral("link"), QStringLiteral("PATH"),
         QStringLiteral("a symbolic link to the pseudo-terminal at PATH, replaced by \"plug\" and removed by \"unplug\"; "
                        "PTY then names PATH"),
         Value::File, QStringLiteral("/tmp/ttyKadex")},
        {{}, QStringLiteral("verbose"), {}, QStringLiteral("log every received telegram on standard error")},
        {QStringLiteral("h"), QStringLiteral("help"), {}, QStringLiteral("show this help and exit")},
        {{}, QStringLiteral("version"), {}, QStringLiteral("show the version and exit")},
    };
    p.exitStatus = {
        {QStringLiteral("0"), QStringLiteral("stopped with \"quit\", SIGINT or SIGTERM")},
        {QStringLiteral("1"), QStringLiteral("the pseudo-terminal cannot be created")},
        {QStringLiteral("2"), QStringLiteral("usage error")},
    };
    p.exitNotes = QStringLiteral("Stop it with \"quit\", SIGINT or SIGTERM.");
    p.files = {
        {QStringLiteral("/dev/pts/N"), QStringLiteral("the pseudo-terminal it serves (named on the first line)")},
    };
    p.environment = {
        {QStringLiteral("KADEX_TIME_RATE"),
         QStringLiteral("runs the simulated clock this many times faster than real time (for tests)")},
    };
    p.examples = {
        {QStringLiteral("kadex-sim"), QStringLiteral("one controller at PP; prints \"PTY /dev/pts/N\"")},
        {QStringLiteral("kadex-sim -n 3 --firmware 2=021F --wire-timing"),
         QStringLiteral("three controllers at ZB1..ZB3, the second with old firmware, with real byte times")},
        {QStringLiteral("kadex-sim --link /tmp/ttyKadex"),
         QStringLiteral("a stable path; the line commands unplug and plug pull and re-plug it")},
    };
    p.extraTitle = QStringLiteral("Line commands");
    p.extraText = QString::fromUtf8(SimConsole::Help());
    p.seeAlso = {QStringLiteral("kadex-cli"), QStringLiteral("kadex-tool")};
    return p;
}

// clang-format on
} // namespace

const help::Program& SimProgram()
{
    static const help::Program program = make();
    return program;
}

} // namespace kadex::sim
