#include "support/TempHome.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    TempHome::isolateProcess();
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
