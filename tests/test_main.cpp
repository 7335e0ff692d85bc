#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Some Qt parts (the serial port's I/O thread) want an application object.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
