// bench_history_search [DAYS [ROWS]]: a record folder with DAYS days (default 365) of ROWS records
// each (default 5,000), every day a log and a journal of its completions as the station writes them.
// Prints the time to build the history index, searches through it, and, as the baseline, the same
// search by reading the day files one by one without an index. Then the index of a log whose rows
// share one name longer than a transfer carries (and of one with the longest name it carries), and the
// peak memory of indexing a journal as large as the station reads (measured in a process of its own:
// bench_history_search --journal-memory).
#include "core/common/Clock.h"
#include "core/history/HistoryIndex.h"
#include "core/records/DayJournal.h"
#include "core/records/RecordLog.h"
#include "core/records/UploadRecord.h"
#include "core/xls/Workbook.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {

QString nameOf(int day, int row) {
    static const char16_t *const kinds[] = {u"合同", u"报表", u"会议纪要", u"Invoice", u"现场照片"};
    return QStringLiteral("%1%2-%3.pdf")
        .arg(QString::fromUtf16(kinds[row % 5]))
        .arg(day, 3, 10, QLatin1Char('0'))
        .arg(row, 4, 10, QLatin1Char('0'));
}

QString destinationOf(int row) {
    return QStringLiteral("192.168.1.%1:4321||d://部门%2/归档").arg(10 + row % 20).arg(row % 7);
}

QString shaOf(int day, int row) {
    return QString::fromLatin1(
        QCryptographicHash::hash(QByteArray::number(day * 100000 + row), QCryptographicHash::Sha256).toHex());
}

// Writes the day's log and journal the way the station does.
bool writeDay(const QString &folder, const QDate &date, int dayNumber, int rows) {
    const QString day = date.toString(QStringLiteral("yyyy-MM-dd"));
    Xls::Rows log{RecordLog::kColumnNames};
    FixedClock clock(QDateTime(date, QTime(8, 0)));
    DayJournal journal(clock);
    journal.open(folder);
    for (int row = 0; row < rows; ++row) {
        clock.advanceSeconds(5);
        const QString finish = clock.timestampText();
        log.append({QString::number(row + 1), nameOf(dayNumber, row), QStringLiteral("1.2MB"),
                    destinationOf(row), UploadRecord::kStatusComplete, finish, finish});
        DayJournal::Entry entry{JournalEvent::Completed,
                                nameOf(dayNumber, row),
                                destinationOf(row),
                                QStringLiteral("10.0.0.1:4321"),
                                QString(),
                                1258291,
                                0.02,
                                shaOf(dayNumber, row)};
        if (!journal.append(entry)) {
            return false;
        }
    }
    QString error;
    if (!Xls::writeWorkbook(folder + day + QStringLiteral(".xls"), RecordLog::kSheetName, log, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    return true;
}

// The search without an index: every day's log and journal read and looked through.
int searchFiles(const QString &folder, const QString &text) {
    const QString key = text.toCaseFolded();
    int found = 0;
    const QFileInfoList logs = QDir(folder).entryInfoList({QStringLiteral("*.xls")}, QDir::Files, QDir::Name);
    for (const QFileInfo &file : logs) {
        QList<QStringList> rows;
        QList<QStringList> journal;
        Failure failure;
        RecordLog::readRecords(file.filePath(), &rows, &failure);
        DayJournal::readFile(file.path() + u'/' + file.completeBaseName() + QStringLiteral(".journal.tsv"),
                             &journal, &failure);
        for (const QStringList &row : std::as_const(rows)) {
            found += row.at(UploadRecord::CellFileName).toCaseFolded().contains(key) ||
                     row.at(UploadRecord::CellDestination).toCaseFolded().contains(key);
        }
        for (const QStringList &line : std::as_const(journal)) {
            found += line.at(9).startsWith(key);
        }
    }
    return found;
}

double msSince(const QElapsedTimer &timer) {
    return double(timer.nsecsElapsed()) / 1e6;
}

// The index file with its write-ahead log, in MB.
double indexMegabytes(const QString &path) {
    return double(QFileInfo(path).size() + QFileInfo(path + QStringLiteral("-wal")).size()) / 1e6;
}

// A day's log of 10,000 rows sharing one name of nameLength characters, indexed in a folder of its own.
void amplifierLog(const char *what, int nameLength) {
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    const QString name = QString(nameLength, QChar(0x540D)) + QStringLiteral(".pdf");
    Xls::Rows log{RecordLog::kColumnNames};
    for (int row = 0; row < 10000; ++row) {
        log.append({QString::number(row + 1), name, QStringLiteral("1.2MB"), destinationOf(row),
                    UploadRecord::kStatusComplete});
    }
    const QString logPath = folder + QStringLiteral("2025-12-01.xls");
    if (!Xls::writeWorkbook(logPath, RecordLog::kSheetName, log)) {
        std::printf("%s: the log could not be written\n", what);
        return;
    }
    QElapsedTimer timer;
    timer.start();
    {
        HistoryIndex index;
        QString error;
        if (!index.open(folder, &error) || !index.update({}, &error)) {
            std::printf("%s: %s\n", what, qPrintable(error));
            return;
        }
    }
    // Measured once the index is closed and its write-ahead log folded in.
    std::printf("%s (%.2f MB): index %.2f MB, built in %.1f s\n", what,
                double(QFileInfo(logPath).size()) / 1e6, indexMegabytes(folder + HistoryIndex::kFileName),
                msSince(timer) / 1000);
}

// Writes a journal of completions as large as the station reads, indexes it, and prints the peak
// memory of this process.
int journalMemory() {
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    FixedClock clock(QDateTime(QDate(2025, 12, 1), QTime(8, 0)));
    DayJournal journal(clock);
    journal.open(folder);
    QFile file(journal.path());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        return 1;
    }
    constexpr qint64 kLineRoom = 1024;
    qint64 written = 0;
    journal.setAppender([&](const QString &, const QByteArray &bytes, QString *) {
        written += bytes.size();
        return file.write(bytes) == bytes.size();
    });
    int lines = 0;
    for (; written + kLineRoom < DayJournal::kMaxReadBytes; ++lines) {
        if (lines % 20 == 0) {
            clock.advanceSeconds(1);
        }
        DayJournal::Entry entry{JournalEvent::Completed,
                                nameOf(lines / 5000, lines % 5000),
                                destinationOf(lines),
                                QStringLiteral("10.0.0.1:4321"),
                                QString(),
                                1258291,
                                0.02,
                                shaOf(0, lines)};
        if (!journal.append(entry)) {
            return 1;
        }
    }
    file.close();
    QElapsedTimer timer;
    timer.start();
    HistoryIndex index;
    QString error;
    if (!index.open(folder, &error) || !index.update({}, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const double seconds = msSince(timer) / 1000;
    long peakKb = -1;
#ifdef Q_OS_UNIX
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    peakKb = usage.ru_maxrss;
#endif
    std::printf(
        "a %.0f MiB journal (%d completions): indexed in %.1f s, index %.0f MB, peak memory %.0f MB\n",
        double(QFileInfo(journal.path()).size()) / (1 << 20), lines, seconds,
        indexMegabytes(index.indexPath()), peakKb < 0 ? -1.0 : double(peakKb) / 1024);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc > 1 && QByteArray(argv[1]) == "--journal-memory") {
        return journalMemory();
    }
    const int days = argc > 1 ? QByteArray(argv[1]).toInt() : 365;
    const int rows = argc > 2 ? QByteArray(argv[2]).toInt() : 5000;
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    const QDate first(2025, 12, 1);

    QElapsedTimer timer;
    timer.start();
    for (int day = 0; day < days; ++day) {
        if (!writeDay(folder, first.addDays(day), day, rows)) {
            return 1;
        }
    }
    std::printf("record folder: %d days x %d records written in %.1f s\n", days, rows, msSince(timer) / 1000);

    HistoryIndex index;
    QString error;
    if (!index.open(folder, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    timer.start();
    if (!index.update({}, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::printf("index built in %.1f s, %.0f MB beside the logs\n", msSince(timer) / 1000,
                double(QFileInfo(index.indexPath()).size()) / 1e6);
    timer.start();
    index.update();
    std::printf("index checked again, nothing changed: %.1f ms\n", msSince(timer));

    const int lastDay = days - 1;
    const struct {
        const char *what;
        QString text;
    } searches[] = {
        {"one file by its whole name", nameOf(days / 2, rows / 2)},
        {"a name nowhere", QStringLiteral("没有这个文件")},
        {"two characters, everywhere", QStringLiteral("合同")},
        {"a destination", QStringLiteral("192.168.1.17:4321||d://部门0")},
        {"a SHA-256's first 16 digits", shaOf(lastDay - 3, 42).left(16).toUpper()},
    };
    std::printf("\n%-30s %9s %10s %12s\n", "search", "found", "index ms", "files ms");
    for (const auto &search : searches) {
        double best = 1e9;
        History::SearchResult result;
        for (int round = 0; round < 5; ++round) {
            timer.start();
            result = index.search(search.text);
            best = std::min(best, msSince(timer));
        }
        timer.start();
        const int inFiles = searchFiles(folder, search.text);
        const double files = msSince(timer);
        std::printf("%-30s %8lld%s %10.1f %12.0f   (%d in the files)\n", search.what,
                    static_cast<long long>(result.entries.size()), result.truncated ? "+" : " ", best, files,
                    inFiles);
    }

    // The station rewrites today's log all day: what a refresh then costs.
    writeDay(folder, first.addDays(lastDay), lastDay, rows);
    timer.start();
    index.update();
    std::printf("\none day's files changed, index brought up to date in %.0f ms\n", msSince(timer));

    std::printf("\n");
    amplifierLog("a log of 10,000 rows sharing one 32,767-character name", 32767 - 4);
    amplifierLog("the same with the longest name a transfer carries (996 characters)", 996 - 4);
    std::fflush(stdout);
    QProcess memory;
    memory.setProcessChannelMode(QProcess::ForwardedChannels);
    memory.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--journal-memory")});
    memory.waitForFinished(-1);
    return 0;
}
