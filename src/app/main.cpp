#include "common/Cp936.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Cp936::requireAvailable();
    std::fprintf(stderr, "The station window is not built yet; see README.md for what runs today.\n");
    return 0;
}
