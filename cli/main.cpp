// kadex-cli: the command-line front end over the core.
#include "cli/CliApp.h"
#ifdef KADEX_TEST_HOOKS
#include "sim/TimeRate.h"
#endif

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstring>
#include <memory>

int main(int argc, char** argv)
{
    kadex::cli::BlockStopSignals();
#ifdef KADEX_TEST_HOOKS
    // A test build runs at the clock rate of the test program that started it.
    kadex::sim::SetClockRateFromEnvironment();
#endif
    // A PDF needs fonts, hence a GUI application; it never shows a window.
    bool pdf = false;
    for (int i = 1; i < argc; ++i)
        pdf = pdf || std::strncmp(argv[i], "--pdf", 5) == 0;
    if (pdf && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> owner =
        pdf ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication& app = *owner;
    Q_UNUSED(app)
    QCoreApplication::setApplicationName(QStringLiteral("kadex-cli"));
    return kadex::cli::Run(QCoreApplication::arguments());
}
