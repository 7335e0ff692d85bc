#include "cli/CliHelp.h"

namespace kadex::cli {

using help::Value;

namespace {

// What every command that talks to a controller takes.
const QStringList kBus{QStringLiteral("port"),    QStringLiteral("com"),      QStringLiteral("baud"),
                       QStringLiteral("address"), QStringLiteral("simulate"), QStringLiteral("trace"),
                       QStringLiteral("history")};
const QStringList kJson{QStringLiteral("json")};

// The tables stay one entry per block; clang-format would put every field on a line.
// clang-format off
help::Program make()
{
    help::Program p;
    p.name = QStringLiteral("kadex-cli");
    p.summary = QStringLiteral("command-line front end for Kadex VAV room-air controllers");
    p.usage = QStringLiteral("[options] COMMAND [ARGS]");
    p.description = QStringLiteral(
        "Talks to a Kadex controller through a serial port and the bus interface.\n\n"
        "Options may come before or after the command; \"--\" ends the options.");
    p.options = {
        {{}, QStringLiteral("port"), QStringLiteral("PATH"),
         QStringLiteral("serial device to use (e.g. /dev/ttyUSB0 or a pseudo-terminal)"), Value::Port,
         QStringLiteral("/dev/ttyUSB0")},
        {{}, QStringLiteral("com"), QStringLiteral("N"),
         QStringLiteral("serial port N (/dev/ttyS(N-1)); default 1 (/dev/ttyS0)"), Value::ComNumber, QStringLiteral("2")},
        {{}, QStringLiteral("baud"), QStringLiteral("RATE"),
         QStringLiteral("line speed, one of 300 600 1200 2400 4800 9600 14400 19200 38400 57600 115200; default 38400"),
         Value::Baud, QStringLiteral("9600")},
        {{}, QStringLiteral("address"), QStringLiteral("ADDR"), QStringLiteral("bus address: PP (default) or ZB1..ZB8"),
         Value::Address, QStringLiteral("ZB2")},
        {{}, QStringLiteral("simulate"), {},
         QStringLiteral("talk to the built-in simulated controller instead of a port")},
        {{}, QStringLiteral("json"), {},
         QStringLiteral("print results as one JSON object (monitor, drive: one object per line)")},
        {{}, QStringLiteral("trace"), {},
         QStringLiteral("print every telegram (\"<- \" sent, \"-> \" received) to stderr")},
        {{}, QStringLiteral("count"), QStringLiteral("N"), QStringLiteral("monitor and drive only: stop after N samples"),
         Value::Text, QStringLiteral("3")},
        {{}, QStringLiteral("port-wait"), QStringLiteral("S"),
         QStringLiteral("drive only: how long to wait for a lost port to come back, to release the mode, in seconds; "
                        "default 60"),
         Value::Text, QStringLiteral("120")},
        {{}, QStringLiteral("with-password"), {},
         QStringLiteral("snapshots (read with all records, write, diff): include the OEM password (never printed on a "
                        "terminal)")},
        {{}, QStringLiteral("all"), {},
         QStringLiteral("read only: print all three records (operating data, calibration, controller parameters) as a "
                        "snapshot")},
        {{}, QStringLiteral("altitude"), QStringLiteral("M"),
         QStringLiteral("density only: altitude above sea level in m, 0 .. 8800; default 0"), Value::Text,
         QStringLiteral("1000")},
        {{}, QStringLiteral("temperature"), QStringLiteral("C"),
         QStringLiteral("density only: mean temperature of the medium in degrees Celsius, -148.6 .. 10000; default 20"),
         Value::Text, QStringLiteral("10")},
        {{}, QStringLiteral("humidity"), QStringLiteral("PCT"),
         QStringLiteral("density only: relative humidity in %, 0 .. 100; default 40"), Value::Text, QStringLiteral("80")},
        {{}, QStringLiteral("flow"), QStringLiteral("V"),
         QStringLiteral("conductance only: reference flow in m3/h, 0 .. 65535"), Value::Text, QStringLiteral("1000")},
        {{}, QStringLiteral("pressure"), QStringLiteral("P"),
         QStringLiteral("conductance only: differential pressure in Pa, 0 .. 65535"), Value::Text, QStringLiteral("100")},
        {{}, QStringLiteral("density"), QStringLiteral("RHO"),
         QStringLiteral("conductance only: air density in kg/m3, 0.5 .. 2; default 1.2"), Value::Text,
         QStringLiteral("1.2")},
        {{}, QStringLiteral("button"), {},
         QStringLiteral("address only: address the controller whose service button is pressed")},
        {{}, QStringLiteral("serial"), QStringLiteral("SERIAL"),
         QStringLiteral("address only: address the controller with this serial number (as the window shows it)"),
         Value::Text, QStringLiteral("00812-04711-003-001")},
        {{}, QStringLiteral("timeout"), QStringLiteral("S"),
         QStringLiteral("address --button only: give up after S seconds, 1 .. 3600; default 60"), Value::Text,
         QStringLiteral("120")},
        {{}, QStringLiteral("output"), QStringLiteral("FILE"),
         QStringLiteral("report only: write the printout to FILE (code page 1252, CR LF)"), Value::File,
         QStringLiteral("report.txt")},
        {{}, QStringLiteral("pdf"), QStringLiteral("FILE"), QStringLiteral("report only: write the printout as a PDF to FILE"),
         Value::File, QStringLiteral("report.pdf")},
        {{}, QStringLiteral("history"), QStringLiteral("DSN"),
         QStringLiteral("send the service history to this shared PostgreSQL database (libpq words or a postgresql:// "
                        "address, no password) instead of the one in the settings"),
         Value::Text, QStringLiteral("postgresql://svc@db/kadex")},
        {{}, QStringLiteral("since"), QStringLiteral("DATE"),
         QStringLiteral("history only: records from this date (YYYY-MM-DD, local time) on"), Value::Text,
         QStringLiteral("2026-01-01")},
        {QStringLiteral("h"), QStringLiteral("help"), {}, QStringLiteral("show this help and exit")},
        {{}, QStringLiteral("version"), {}, QStringLiteral("show the version and exit")},
    };
    p.everywhere = {QStringLiteral("help"), QStringLiteral("version")};
    p.optionNotes = QStringLiteral("--port, --com and --simulate exclude each other.");

    p.commands = {
        {QStringLiteral("identify"), {}, 0, 0, kBus + kJson,
         QStringLiteral("identify the controller: serial number, type, bus address, OEM/position/type texts, firmware, "
                        "configuration table ID"),
         {}, QStringLiteral("kadex-cli --port /dev/ttyUSB0 --address ZB2 identify")},
        {QStringLiteral("read"), QStringLiteral("[--all [--with-password]]"), 0, 0,
         kBus + kJson + QStringList{QStringLiteral("all"), QStringLiteral("with-password")},
         QStringLiteral("identify the controller, then print its operating data: V'nom, V'min/V'mid/V'max in %, "
                        "position text, W1 and U5 ranges in V"),
         QStringLiteral("With --all it reads all three records as the window's \"Lesen\" does and prints each field as "
                        "RECORD.FIELD: VALUE UNIT; with --json the snapshot document (see README: format, version, "
                        "device, operating, calibration, parameters) that write and diff take. The OEM password is left "
                        "out unless --with-password is given (and then never printed on a terminal)."),
         QStringLiteral("kadex-cli --port /dev/ttyUSB0 --json read --all > unit7.json")},
        {QStringLiteral("write"), QStringLiteral("SNAPSHOT.json | FILE.vav"), 1, 1,
         kBus + kJson + QStringList{QStringLiteral("with-password")},
         QStringLiteral("write a snapshot file (any subset of the fields of the snapshot that read makes) to the "
                        "controller"),
         QStringLiteral("Every value of the file is checked before any bus traffic: not a regular file of at most "
                        "1 MiB, not JSON, a duplicate or unknown key, a wrong type, a value out of range, a text the "
                        "device cannot hold or a broken value-entry rule ends with status 2, naming the key, and "
                        "nothing is written. Then the device is read (fields left out keep the device's values), the "
                        "records are written as \"Setzen\" does and read back; the report names the fields written, "
                        "unchanged and not held (--json: written, unchanged, refused, not_held; status 4 when one is "
                        "not held). A FILE.vav (a calibration-set file as the window saves it) is checked as a whole "
                        "first, then applied as \"Default laden\" does, written as \"Setzen\" does and read back; each "
                        "column the device does not hold is named."),
         QStringLiteral("kadex-cli --port /dev/ttyUSB0 write unit7.json"), Value::File},
        {QStringLiteral("save"), QStringLiteral("FILE.vav"), 1, 1, kBus,
         QStringLiteral("read the device and save its calibration set as the window's \"Speichern\" does"), {},
         QStringLiteral("kadex-cli --port /dev/ttyUSB0 --address ZB1 save unit7.vav"), Value::File},
        {QStringLiteral("report"), QStringLiteral("[--output FILE] [--pdf FILE]"), 0, 0,
         kBus + QStringList{QStringLiteral("output"), QStringLiteral("pdf")},
         QStringLiteral("read the device and print the settings printout (to FILE with --output, as a PDF with --pdf)"),
         {}, QStringLiteral("kadex-cli --port /dev/ttyUSB0 report --pdf unit7.pdf")},
        {QStringLiteral("diff"), QStringLiteral("SNAPSHOT.json"), 1, 1,
         kBus + kJson + QStringList{QStringLiteral("with-password")},
         QStringLiteral("read the device and print the fields that differ from the file: RECORD.FIELD: file VALUE, "
                        "device VALUE (--json: an array)"),
         QStringLiteral("Status 0 when none differ, 1 when some do."),
         QStringLiteral("kadex-cli --port /dev/ttyUSB0 diff unit7.json"), Value::File},
        {QStringLiteral("monitor"), QStringLiteral("[--count N]"), 0, 0, kBus + kJson + QStringList{QStringLiteral("count")},
         QStringLiteral("identify and read, then print the live values every 2000 ms: mode, setpoint and actual value "
                        "(% and flow), control signal Y, damper position, W1, U5, sensor signal and pressure, alarms; "
                        "one line per sample, until Ctrl-C or N samples were printed"),
         QStringLiteral("A poll without answer is reported and monitoring goes on. A port that goes away is reported "
                        "at once; monitor looks for it about every second and goes on when it is back. Status 0 after "
                        "N samples or on SIGINT/SIGTERM, 3 when it ends while the port is gone, 4 when the controller "
                        "never answered."),
         QStringLiteral("kadex-cli --simulate --json monitor --count 10 > samples.jsonl")},
        {QStringLiteral("drive"), QStringLiteral("MODE [PERCENT] [--count N] [--port-wait S]"), 1, 2,
         kBus + kJson + QStringList{QStringLiteral("count"), QStringLiteral("port-wait")},
         QStringLiteral("hold an operation mode and print the live values every 2000 ms until a signal (Ctrl-C, "
                        "SIGTERM, SIGHUP, SIGQUIT, SIGPIPE) or N samples; MODE is auto, close, open, fast-close, fast-open, vmin, vmid, vmax, vnom or variable "
                        "PERCENT (setpoint 0 .. 100 %); the mode is released (override 0, setpoint given back) on the "
                        "way out"),
         QStringLiteral("A lost port is waited for (--port-wait) and the release sent when it is back. Status 0 "
                        "released; 3 released after the lost port came back; 4 the controller stopped answering (the "
                        "release is still tried); 5 the release was not confirmed: release by hand with "
                        "'kadex-cli drive auto'. SIGKILL cannot be caught."),
         QStringLiteral("kadex-cli --simulate drive variable 40 --count 5"), Value::Choice,
         {QStringLiteral("auto"), QStringLiteral("close"), QStringLiteral("open"), QStringLiteral("fast-close"),
          QStringLiteral("fast-open"), QStringLiteral("vmin"), QStringLiteral("vmid"), QStringLiteral("vmax"),
          QStringLiteral("vnom"), QStringLiteral("variable")}},
        {QStringLiteral("raw"), QStringLiteral("BYTE..."), 1, 7, kBus + kJson,
         QStringLiteral("send one telegram: command code then payload, 1 to 7 bytes in hex (e.g. raw 4B, raw 01 00 18 "
                        "04); prints the answer's data bytes"),
         {}, QStringLiteral("kadex-cli --simulate raw 01 00 18 04")},
        {QStringLiteral("scan"), {}, 0, 0, kBus + kJson,
         QStringLiteral("ask PP and ZB1..ZB8 in turn and list, for every address, whether a controller answers and "
                        "with which serial number, type and firmware"),
         QStringLiteral("Garbled or colliding answers on one address are reported as a probable duplicate, with the "
                        "advice to re-address one by its serial number. An address without answer costs one short "
                        "attempt. On a terminal the address being asked is shown. --json: one object with addresses, "
                        "found, duplicates, seconds. Status 0 when some controller answered, 4 when none did."),
         QStringLiteral("kadex-cli --port /dev/ttyUSB0 scan")},
        {QStringLiteral("address"), QStringLiteral("--button NEW [--timeout S] | --serial SERIAL NEW"), 1, 1,
         kBus + kJson + QStringList{QStringLiteral("button"), QStringLiteral("serial"), QStringLiteral("timeout")},
         QStringLiteral("give a controller the bus address NEW (PP or ZB1..ZB8), found by its pressed service button "
                        "or by its serial number"),
         QStringLiteral("A different controller holding NEW is moved to PP first (by serial number: only once the "
                        "serial number was found). Status 0 only when the controller answers with its serial number at "
                        "NEW afterwards, 4 otherwise (with the reason)."),
         QStringLiteral("kadex-cli --port /dev/ttyUSB0 address ZB3 --serial 00812-04712-003-001"), Value::Address},
        {QStringLiteral("density"), QStringLiteral("[--altitude M] [--temperature C] [--humidity PCT]"), 0, 0,
         kJson + QStringList{QStringLiteral("altitude"), QStringLiteral("temperature"), QStringLiteral("humidity")},
         QStringLiteral("the air density in kg/m3 from the ambient conditions, as the ambient-conditions dialog computes "
                        "it; with --json also the pressure, the saturation and the partial vapour pressure"),
         QStringLiteral("A density outside 0.5 .. 2 kg/m3 is shown with the limited value that confirming the dialog "
                        "stores. No controller is needed."),
         QStringLiteral("kadex-cli density --altitude 1000 --temperature 10 --humidity 80")},
        {QStringLiteral("conductance"), QStringLiteral("--flow V --pressure P [--density RHO]"), 0, 0,
         kJson + QStringList{QStringLiteral("flow"), QStringLiteral("pressure"), QStringLiteral("density")},
         QStringLiteral("the damper conductance V / sqrt(p / rho) as the conductance dialog computes it from a typed "
                        "flow and pressure (both taken to whole numbers)"),
         QStringLiteral("A pressure that becomes 0 Pa has no conductance (status 1). No controller is needed."),
         QStringLiteral("kadex-cli conductance --flow 1000 --pressure 100 --density 1.2")},
        {QStringLiteral("history"), QStringLiteral("[SERIAL] [--since DATE]"), 0, 1,
         kJson + QStringList{QStringLiteral("since"), QStringLiteral("history")},
         QStringLiteral("list the service history, newest first: every read and write of a controller with who, "
                        "where and how it ended, and each field's value as found and as left"),
         QStringLiteral("Every device action of kadex-cli and of the window adds a record to the local history "
                        "file (KadexHistory.db beside the settings); with a shared server (--history or the "
                        "settings) records are sent there too and the list comes from the server. Status 1 when "
                        "the history cannot be read."),
         QStringLiteral("kadex-cli history 00812-04711-003-001 --since 2026-01-01")},
        {QStringLiteral("help"), QStringLiteral("[COMMAND]"), 0, 1, {},
         QStringLiteral("show this help, or a command's usage, options and an example"), {},
         QStringLiteral("kadex-cli help drive"), Value::Command},
    };
    p.commandNotes = QStringLiteral("density, conductance and history need no controller and take no port options.");

    p.exitStatus = {
        {QStringLiteral("0"), QStringLiteral("success")},
        {QStringLiteral("1"), QStringLiteral("no conductance (a pressure of 0 Pa), diff found differences, or the "
                                             "history cannot be read")},
        {QStringLiteral("2"),
         QStringLiteral("usage error or a snapshot file that cannot be written (nothing is written)")},
        {QStringLiteral("3"),
         QStringLiteral("the port cannot be opened or was lost (monitor: ended while the port was gone)")},
        {QStringLiteral("4"), QStringLiteral("the controller does not answer or answers badly, or write found a field "
                                             "not held as written (monitor: never answered; drive: stopped answering)")},
        {QStringLiteral("5"),
         QStringLiteral("a forced mode or the identification's motor stop could not be released: the controller may "
                        "still hold it (release it with 'kadex-cli drive auto')")},
        {QStringLiteral("128+N"),
         QStringLiteral("interrupted by signal N (commands other than monitor and drive, which end on a signal with "
                        "their own status); a stop during the identification ends it with the release")},
    };
    p.exitNotes = QStringLiteral(
        "A serial port needs the user to be in the group that owns the device (dialout on Debian): adduser $USER "
        "dialout, then log in again.");
    p.files = {
        {QStringLiteral("/usr/share/kadex-tool/ZBCommand.txt"),
         QStringLiteral("command names for the telegram trace (--trace); also looked for beside the program")},
        {QStringLiteral("/dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*"),
         QStringLiteral("serial ports; the user must be in their group (dialout)")},
    };
    p.environment = {
        {QStringLiteral("KADEX_TRACE"),
         QStringLiteral("1 writes the diagnostic trace to ~/.local/share/Kadex_Logs/Log.sil")},
        {QStringLiteral("XDG_DATA_HOME"), QStringLiteral("where the tool's data folders are (default ~/.local/share)")},
        {QStringLiteral("PGPASSWORD"),
         QStringLiteral("the password of the history server's user (else ~/.pgpass; never on the command line)")},
    };
    p.examples = {
        {QStringLiteral("kadex-cli --simulate identify"), QStringLiteral("identify the built-in simulated controller")},
        {QStringLiteral("kadex-cli --port /dev/ttyUSB0 --address ZB2 monitor"),
         QStringLiteral("live values of the controller at ZB2 until Ctrl-C")},
        {QStringLiteral("kadex-cli --port /dev/ttyUSB0 --json read --all > unit7.json"),
         QStringLiteral("save a snapshot of the three records")},
        {QStringLiteral("kadex-cli --port /dev/ttyUSB0 diff unit7.json"),
         QStringLiteral("what differs between the snapshot and the controller")},
        {QStringLiteral("kadex-cli --port /dev/ttyUSB0 drive vmax"), QStringLiteral("hold V'max until Ctrl-C")},
        {QStringLiteral("kadex-cli density --altitude 1000 --temperature 10 --humidity 80"),
         QStringLiteral("air density from the ambient conditions")},
    };
    p.seeAlso = {QStringLiteral("kadex-tool"), QStringLiteral("kadex-sim")};
    return p;
}

// clang-format on
} // namespace

const help::Program& CliProgram()
{
    static const help::Program program = make();
    return program;
}

} // namespace kadex::cli
