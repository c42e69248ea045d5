// bench_record_log_load FILE: loads FILE as the day's record log, the way the station does at
// start-up, and prints how many records it found (peak memory is measured from outside, see
// bench/log-show-memory).
#include "core/common/Clock.h"
#include "core/records/RecordLog.h"
#include "core/records/UploadTable.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("Usage: bench_record_log_load FILE\n", stderr);
        return 2;
    }
    const FixedClock clock(QDateTime(QDate(2024, 3, 5), QTime(8, 30)));
    QTemporaryDir dir;
    if (!QFile::link(QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath(),
                     dir.filePath(clock.dateText() + QStringLiteral(".xls")))) {
        std::fputs("cannot link the file into a record folder\n", stderr);
        return 1;
    }
    UploadTable table;
    RecordLog log(table, clock);
    Notice notice;
    const bool loaded = log.loadRecordLog(dir.path() + u'/', &notice);
    std::printf("%s: %d records\n", loaded ? "loaded" : "refused", table.rowCount());
    if (!loaded) {
        std::printf("%s\n", qPrintable(notice.text));
    }
    return loaded ? 0 : 1;
}
