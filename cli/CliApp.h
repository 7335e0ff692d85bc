#pragma once
#include <QStringList>

namespace kadex::cli {

enum ExitCode { ExitOk = 0, ExitFailure = 1, ExitDiffers = 1, ExitUsage = 2, ExitPort = 3, ExitDevice = 4 };

// Runs the command line (arguments including the program name) and returns the exit status.
int Run(const QStringList& args);

} // namespace kadex::cli
