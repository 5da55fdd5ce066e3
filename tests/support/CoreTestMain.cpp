#include <QCoreApplication>

#include "tests/support/TestDatabase.h"

#include <gtest/gtest.h>

// Test main for areas without widgets: Qt's SQL drivers and event loop need an application object.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    TestPostgres::stopOwnServer();
    return result;
}
