#include "device/model/WindowModel.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Some Qt parts (the serial port's I/O thread) want an application object.
    QCoreApplication app(argc, argv);
    // A field name that is not declared is a test failure, not a silent no-op.
    kadex::WindowModel::setDefaultMisuse(kadex::WindowModel::Misuse::Throw);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
