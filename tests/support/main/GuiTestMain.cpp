#include "common/Cp936.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Cp936::requireAvailable();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
