#pragma once
#include <QStringList>

namespace kadex::cli {

enum ExitCode { ExitOk = 0, ExitFailure = 1, ExitDiffers = 1, ExitUsage = 2, ExitPort = 3, ExitDevice = 4,
                ExitRelease = 5 };

// Blocks the signals that end a command, so that one arriving during the start is taken by the
// command (and the release it owes) instead of killing the process. First thing in main.
void BlockStopSignals();

// Runs the command line (arguments including the program name) and returns the exit status.
int Run(const QStringList& args);

} // namespace kadex::cli
