#include "app/CBrelvantisApp.h"

int main(int argc, char **argv) {
    CBrelvantisApp app(argc, argv);
    if (!app.initInstance()) {
        return 0; // another copy runs: end silently
    }
    return app.exec();
}
