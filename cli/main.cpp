// kadex-cli: the command-line front end over the core.
#include "cli/CliApp.h"
#include "comm/Clock.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    kadex::cli::BlockStopSignals();
    kadex::SteadyClock::SetRateFromEnvironment();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kadex-cli"));
    return kadex::cli::Run(QCoreApplication::arguments());
}
