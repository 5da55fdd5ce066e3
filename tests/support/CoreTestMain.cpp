#include <QCoreApplication>

#include <gtest/gtest.h>

// Test main for areas without widgets: Qt's SQL drivers and event loop need an application object.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
