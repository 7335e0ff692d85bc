#include "device/model/WindowModel.h"

#include <QByteArray>
#include <QCoreApplication>
#include <gtest/gtest.h>

#include "comm/Clock.h"

int main(int argc, char** argv)
{
    // Some Qt parts (the serial port's I/O thread) want an application object.
    QCoreApplication app(argc, argv);
    // A field name that is not declared is a test failure, not a silent no-op.
    kadex::WindowModel::setDefaultMisuse(kadex::WindowModel::Misuse::Throw);
    // Bus timeouts, guard times and the simulator's delays pass ten times faster than real
    // time; their proportions, and so the behaviour under test, stay as they are. The
    // programs the tests start (kadex-cli, kadex-sim) inherit the rate.
    qputenv("KADEX_TIME_RATE", QByteArray("10"));
    kadex::SteadyClock::SetRate(10);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
