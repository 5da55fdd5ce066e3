#include <QApplication>

#include "tests/support/TestDatabase.h"

#include <gtest/gtest.h>

// Test main for widget tests; CTest runs them on the offscreen platform.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    TestPostgres::stopOwnServer();
    return result;
}
