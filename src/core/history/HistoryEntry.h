#pragma once

#include "core/common/Failure.h"
#include "core/records/UploadRecord.h"

#include <QList>
#include <QMetaType>
#include <QString>

// What the station sent on earlier days, gathered from the day files of the record folder (the day's
// log "YYYY-MM-DD.xls" and the day's journal "YYYY-MM-DD.journal.tsv").
namespace History {

// One record of a day: a row of that day's log, with the SHA-256 of what was sent taken from the
// journal's completion line; or a completion the journal holds but the log no longer does (a record
// deleted after it was sent, or a log that cannot be read).
struct Entry {
    QString day; // YYYY-MM-DD
    UploadRecord::Cells
        cells;      // the cells the history keeps (UploadRecord::Column::kept), as the log holds them
    QString sha256; // lower-case hex, empty when no completion was journalled
    bool journalOnly = false;

    const QString &cell(UploadRecord::Cell cell) const { return cells[cell]; }
    // HH:MM:SS of the end of the transfer, else of its start; may be empty.
    QString time() const {
        const QString &stamp = cells[UploadRecord::CellFinishTime].isEmpty()
                                   ? cells[UploadRecord::CellStartTime]
                                   : cells[UploadRecord::CellFinishTime];
        const qsizetype space = stamp.indexOf(QLatin1Char(' '));
        return space < 0 ? stamp : stamp.mid(space + 1);
    }
};

// The files of one day and whether they could be read. A file that cannot be read is listed with why
// and does not hide the other days.
struct Day {
    QString day; // YYYY-MM-DD
    int entryCount = 0;
    QString logPath;        // empty when the day has no log
    Failure logFailure;     // why the log could not be read; kind None when it could
    QString journalPath;    // empty when the day has no journal
    Failure journalFailure; // why the journal could not be read (or not wholly)

    bool unreadable() const { return logFailure.failed() || journalFailure.failed(); }
};

struct SearchResult {
    QString text;           // what was searched for
    QList<Entry> entries;   // newest first
    bool truncated = false; // more matched than the limit
    QString error;          // the index's own reason why it could not be searched; empty when it could
};

} // namespace History

Q_DECLARE_METATYPE(History::Entry)
Q_DECLARE_METATYPE(History::Day)
Q_DECLARE_METATYPE(History::SearchResult)
