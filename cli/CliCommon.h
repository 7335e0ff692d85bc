#pragma once
// What the command implementations of kadex-cli share: the parsed options, the output
// streams and the helpers for errors and the trace.
#include "cli/CliApp.h"
#include "comm/ComForm.h"
#include "comm/Transport.h"
#include "comm/ZBCmd.h"

namespace kadex {
class THistoryRecorder;
class TMainCore;
class TIdentStop;
}

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <memory>
#include <optional>

namespace kadex::cli {

class StopSignals;

struct Options {
    QString portPath;
    int comNr = 1;
    int baud = 38400;
    int adrIndex = 0;
    bool simulate = false;
    bool json = false;
    bool trace = false;
    bool all = false; // read: all three records
    bool withPassword = false; // snapshots: the OEM password too
    int count = 0; // monitor and drive: samples to print, 0 until stopped
    int portWaitS = 60; // drive: how long a lost port is waited for to release the mode
    // address: by service button or by serial number, to this address, waiting this long
    bool button = false;
    QString serial;
    int newAdrIndex = 0;
    int timeoutS = 60;
    bool timeoutGiven = false;
    // density and conductance: the option texts as given, none when not given
    std::optional<QString> altitude, temperature, humidity, flow, pressure, density;
    QString output, pdf; // report: --output FILE, --pdf FILE
    std::optional<QString> history, since; // --history DSN, history --since DATE
    QString command;
    QStringList args;
    QString helpCommand; // --help or "help": the command whose help to show, empty for all
};

enum class Parsed { Run, Help, Version, Usage };
// Parses the command line (program name first) into o; Usage with the message in error.
// Prints nothing.
Parsed ParseCommandLine(const QStringList& args, Options& o, QString& error);

QTextStream& out();
QTextStream& err();

// Prints the message and the hint to --help; returns ExitUsage.
int usageError(const QString& msg);
// "PP" or "ZB1".."ZB8".
QString addressName(int adrIndex);
// The error line for a controller that does not answer; returns ExitDevice. When the port
// given to SetErrorPort was lost meanwhile, says that instead and returns ExitPort.
int deviceError(const Options& o);
void SetErrorPort(const TComForm* com);
// The bus whose last failure reason deviceError names ("no answer", ...).
void SetErrorBus(const TZBCmd* zb);
// "lost the port PATH"; returns ExitPort.
int portLostError(const TComForm& com);
void printJson(const QJsonObject& obj);
// "cannot open PATH: reason" in English, naming the device path (and --com N when the port was
// given by number); returns ExitPort.
int portError(const Options& o, const TComForm& com);

// Writes the transfer trace to standard error.
class StderrSink : public ITransferSink {
public:
    bool TransferOn() const override { return true; }
    void AddTransferLine(const QString& line) override;
};

// The stop signals of the run; Run creates them before any other thread.
StopSignals& Stops();
// From now on a stop cancels the bus's identification and, with cut, ends its running
// transaction at once - unless the identification's motor stop is held, whose release must
// still get through.
void WatchBus(TZBCmd& zb, TIdentStop& ident, bool cut);
// Sends the identification's release when one is owed (also after the bus was cut short) and
// forgets the bus. Returns rc, or ExitRelease with a message when the release did not get
// through.
int FinishBus(int rc);
// Text from device memory for a terminal: control characters as \xNN and the backslash
// doubled, so that no text can move the cursor or forge an output line.
QString Printable(const QString& text);

// Port, baud rate, bus address, command names and (with --trace) the transfer trace of a
// headless core as the options say; the port is not opened yet.
void ConfigureCore(TMainCore& core, const Options& o, StderrSink& sink);


// "read": identification, then the operating data.
int runRead(TZBCmd& zb, const Options& o);
// "monitor": checks its arguments, then polls until interrupted or the count is reached.
// It owns its port (the polling core does), hence the transport instead of a bus.
int runMonitor(const Options& o);
// "drive MODE [PERCENT]": holds the mode until interrupted or the count is reached, then
// releases it.
int runDrive(const Options& o);

// "read --all", "write SNAPSHOT.json", "diff SNAPSHOT.json": the three records as one
// snapshot, on a headless main-window core.
int runReadAll(const Options& o);
int runWrite(const Options& o);
int runDiff(const Options& o);

// "scan": PP and ZB1..ZB8 in turn, with serial number, type and firmware.
int runScan(TZBCmd& zb, const Options& o);
// "address --button NEW" and "address --serial SERIAL NEW".
int runAddress(TZBCmd& zb, const Options& o);
// "save FILE.vav", "write FILE.vav" (a calibration-set file, applied as "Default laden" does,
// written, read back and compared), "report" (the settings printout; --output, --pdf).
bool IsVavFile(const QString& path);
int runSaveVav(const Options& o);
int runWriteVav(const Options& o);
int runReport(const Options& o);

// The service history: the shared server (--history, else the settings), a recorder set up
// for this program, its records sent at the end, and "history [SERIAL]".
QString HistoryServer(const Options& o);
void ConfigureHistory(THistoryRecorder& h, const Options& o);
void FinishHistory(THistoryRecorder& h);
int runHistory(const Options& o);

// "density" and "conductance": calculations that need no controller.
int runDensity(const Options& o);
int runConductance(const Options& o);

} // namespace kadex::cli
