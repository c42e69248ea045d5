#include "core/common/Cp936.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv) {
    // CTest sets the offscreen platform on every test; listing the tests happens without it.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    Cp936::requireAvailable();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
