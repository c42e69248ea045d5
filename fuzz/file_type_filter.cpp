// The file-type filter: the input is a filter file as stored (scrambled CP936), loaded and asked
// about a few names; scrambling is undone exactly.
#include "FuzzSupport.h"
#include "core/config/FileTypeFilter.h"

#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static QTemporaryDir dir;
    const QByteArray bytes = fuzzBytes(data, size);
    FUZZ_CHECK(FileTypeFilter::unscramble(FileTypeFilter::scramble(bytes)) == bytes);

    const QString path = dir.filePath(QStringLiteral("Brelvantis.filter"));
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes) == bytes.size());
    file.close();
    FileTypeFilter filter(path);
    FUZZ_CHECK(filter.load());
    for (const char *name : {"a.txt", "B.DOC", "noext", "trailing.", ".hidden", "x.tar.gz", "报告.pdf"}) {
        (void)filter.permits(QString::fromUtf8(name));
    }
    FUZZ_CHECK(!filter.permits(QStringLiteral("noext")));
    return 0;
}
