#pragma once

#include "core/common/Failure.h"
#include "core/history/HistoryEntry.h"

#include <QHash>
#include <QList>
#include <QString>

// The two files of one day in the record folder, the log and the journal, read for the history: what
// each was when it was read (its stamp), why one could not be read, and the day's records from both.
struct DayFiles {
    // A file's size and modification time, empty when there is no file: a file whose stamp differs
    // from the one indexed has changed since.
    struct Stamps {
        QString log;
        QString journal;
    };

    QString day; // YYYY-MM-DD
    Stamps stamps;
    Failure logFailure;
    Failure journalFailure;
    QList<History::Entry> entries; // the log's rows, then the journal's completions no row claimed

    // Reads day's files in folder, keeping at most maxEntries records (a journal holding more says so).
    // The stamps are taken before the files are read, so a change while reading is seen next time.
    static DayFiles read(const QString &folder, const QString &day, qsizetype maxEntries);
    // The stamps of every day's files in folder, by day.
    static QHash<QString, Stamps> stampsIn(const QString &folder);
};
