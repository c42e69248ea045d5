#pragma once

#include "core/history/HistoryEntry.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// One day's records from its two files: each row of the log, given the SHA-256 of the journalled
// completion of the same file and destination closest to its finish time, then the completions no row
// claimed (a record deleted after it was sent, or a log that could not be read). A completion is
// claimed by one row at most.
class DayMerge {
public:
    // journal: the day's journal lines, their fields in the order of DayJournal::kColumns.
    DayMerge(const QString &day, const QList<QStringList> &journal);

    // logRows: the log's rows in file order, their cells in cell order (RecordLog::readRecords). Their
    // entries in the same order, then the completions none of them claimed, in journal order.
    QList<History::Entry> entries(const QList<QStringList> &logRows) const;

private:
    struct Completion {
        QString fileName;
        QString destination;
        QString time; // "YYYY-MM-DD HH:MM:SS"
        QString sha256;
        quint64 bytes = 0;
    };

    History::Entry fromRow(const QStringList &row) const;
    // The unclaimed completion of entry's file and destination closest to its finish, or -1.
    qsizetype closestCompletion(const History::Entry &entry, const QList<bool> &claimed) const;
    History::Entry fromCompletion(const Completion &completion) const;

    QString m_day;
    QList<Completion> m_completions;           // in journal order
    QHash<QString, QList<qsizetype>> m_byFile; // file name and destination: their completions
    QStringList m_files;                       // the keys of m_byFile in the order they first came
};
