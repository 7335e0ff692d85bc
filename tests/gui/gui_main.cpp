// Entry of the widget tests: one application object for all tests, on the offscreen platform
// unless the caller chose another.
#include <QApplication>
#include <QByteArray>

#include <gtest/gtest.h>

#include "comm/Clock.h"

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    QApplication app(argc, argv);
    // Bus timeouts, guard times and the simulator's delays pass ten times faster than real
    // time; their proportions, and so the behaviour under test, stay as they are. The
    // programs the tests start (kadex-cli, kadex-sim) inherit the rate.
    qputenv("KADEX_TIME_RATE", QByteArray("10"));
    kadex::SteadyClock::SetRate(10);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
