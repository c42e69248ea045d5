// brelvantis-screenshots: pictures of the station's window and dialogs with sample data, for people to
// look at. Run on a screen with a window manager (scripts/screenshot and scripts/screenshot-dialogs make
// a virtual one); not installed with the station.

#include "Screenshots.h"
#include "core/common/Cp936.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    Cp936::requireAvailable();
    const QStringList args = app.arguments().mid(1);
    const QString what = args.value(0);
    if (args.size() != 2 || (what != u"dialogs" && what != u"station")) {
        std::fputs("Usage: brelvantis-screenshots dialogs|station OUTPUT_FOLDER\n", stderr);
        return 2;
    }
    try {
        if (what == u"dialogs") {
            Screenshots::dialogs(args[1]);
        } else {
            Screenshots::station(args[1]);
        }
    } catch (const Screenshots::ShotFailed &failed) {
        std::fprintf(stderr, "brelvantis-screenshots: %s\n", qPrintable(failed.what));
        return 1;
    }
    return 0;
}
