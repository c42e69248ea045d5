#include "core/history/DayFiles.h"

#include "core/history/DayMerge.h"
#include "core/records/DayJournal.h"
#include "core/records/RecordLog.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

QString stampOf(const QFileInfo &file) {
    if (!file.isFile()) {
        return QString();
    }
    return QStringLiteral("%1:%2").arg(file.size()).arg(file.lastModified().toMSecsSinceEpoch());
}

} // namespace

DayFiles DayFiles::read(const QString &folder, const QString &day, qsizetype maxEntries) {
    DayFiles files;
    files.day = day;
    const QString logPath = RecordLog::dayPath(folder, day);
    const QString journalPath = DayJournal::dayPath(folder, day);
    files.stamps = {stampOf(QFileInfo(logPath)), stampOf(QFileInfo(journalPath))};
    QList<QStringList> logRows;
    QList<QStringList> journal;
    if (!files.stamps.log.isEmpty()) {
        RecordLog::readRecords(logPath, &logRows, &files.logFailure);
    }
    if (!files.stamps.journal.isEmpty()) {
        DayJournal::readFile(journalPath, &journal, &files.journalFailure);
    }
    files.entries = DayMerge(day, journal).entries(logRows);
    if (files.entries.size() > maxEntries) {
        files.entries.resize(maxEntries);
        files.journalFailure = Failure::of(Failure::Kind::TooLarge, journalPath,
                                           QStringLiteral("记录过多，只收录了前 %1 条").arg(maxEntries));
    }
    return files;
}

QHash<QString, DayFiles::Stamps> DayFiles::stampsIn(const QString &folder) {
    static const QRegularExpression dayFile(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})\\.(xls|journal\\.tsv)$"));
    QHash<QString, Stamps> onDisk;
    const QDir dir(folder.isEmpty() ? QStringLiteral(".") : folder);
    const QFileInfoList files =
        dir.entryInfoList({QStringLiteral("*.xls"), QStringLiteral("*.journal.tsv")}, QDir::Files);
    for (const QFileInfo &file : files) {
        const QRegularExpressionMatch match = dayFile.match(file.fileName());
        if (!match.hasMatch() ||
            !QDate::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd")).isValid()) {
            continue;
        }
        Stamps &stamps = onDisk[match.captured(1)];
        (match.captured(2) == QStringLiteral("xls") ? stamps.log : stamps.journal) = stampOf(file);
    }
    return onDisk;
}
