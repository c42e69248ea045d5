#include "core/common/Cp936.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    Cp936::requireAvailable();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
