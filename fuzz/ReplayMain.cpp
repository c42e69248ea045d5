// Replays inputs through a fuzz target without libFuzzer, so the normal build and its test suite run
// every file of the target's corpus: replay FILE_OR_FOLDER...
#include "FuzzSupport.h"

#include <QDirIterator>
#include <QFile>
#include <QStringList>
#include <algorithm>

int main(int argc, char **argv) {
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        QDirIterator it(path, QDir::Files, QDirIterator::Subdirectories);
        if (!it.hasNext()) {
            files.append(path);
        }
        while (it.hasNext()) {
            files.append(it.next());
        }
    }
    std::sort(files.begin(), files.end());
    if (files.isEmpty()) {
        std::fputs("replay: no inputs\n", stderr);
        return 2;
    }
    for (const QString &name : std::as_const(files)) {
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "replay: cannot read %s\n", qPrintable(name));
            return 2;
        }
        const QByteArray bytes = file.readAll();
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
    }
    std::printf("replayed %lld inputs\n", qint64(files.size()));
    return 0;
}
