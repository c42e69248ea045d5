#pragma once

#include "core/history/HistoryEntry.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <utility>
#include <vector>

// One day's records from its two files: each row of the log, given the SHA-256 of the journalled
// completion of the same file and destination closest to its finish time, then the completions no row
// claimed (a record deleted after it was sent, or a log that could not be read). A completion is
// claimed by one row at most. A refusal by the malware scanner (拒绝) is merged the same way: a fault
// row of its file and destination claims it, and one no row claimed is a record of its own, a fault.
//
// A journal may be far larger than its log, so it is never held: it is read twice, a line at a time.
// The first reading (note) keeps only when each completion a row may claim happened; the rows then
// claim theirs, and the second reading (take) gives each row its SHA-256 and passes the other
// completions on as they come.
class DayMerge {
public:
    // Where a record goes: its place in the day (the log's rows from 0 in file order, then each
    // completion in journal order after them; a claimed completion leaves its place empty) and the
    // record. False stops the merge.
    using Sink = std::function<bool(qsizetype place, const History::Entry &entry)>;

    // A name and a destination a transfer header can carry, in CP936 bytes. Longer ones cannot have
    // come from a station: such records are left out (see overlongRows).
    static constexpr qsizetype kMaxNameBytes = 1992;
    static constexpr qsizetype kMaxDestinationBytes = 48 + 2 + 2048; // address, "||", path
    static bool fitsHeader(const QString &fileName, const QString &destination);

    // logRows: the log's rows in file order, their cells in cell order (RecordLog::readRecords). Empty
    // rows are passed over.
    DayMerge(const QString &day, const QList<QStringList> &logRows);

    // Whether a row may claim a completion at all; only then is the first reading needed.
    bool claims() const { return !m_groupOf.isEmpty() || !m_refusalGroupOf.isEmpty(); }
    // First reading: one line of the journal, its fields in the order of DayJournal::kColumns.
    void note(const QStringList &line);
    // Second reading: the same lines again, in the same order. A completion no row claimed goes to sink.
    bool take(const QStringList &line, const Sink &sink);
    // After the second reading: the rows, to sink.
    bool finish(const Sink &sink);

    // The places used so far: every row, and every completion taken.
    qsizetype places() const { return qsizetype(m_rows.size()) + m_taken; }
    // Rows, and completions of the second reading, left out for a name or destination longer than a
    // header carries.
    qsizetype overlongRows() const { return m_overlongRows; }
    qsizetype overlongCompletions() const { return m_overlongCompletions; }

private:
    // When a completion a row may claim happened: seconds (kNoTime when its time cannot be read) and
    // which completion of the journal it is.
    struct Moment {
        qint64 seconds;
        qint32 completion;
    };
    // The completed rows of one file and destination, and the completions they may claim.
    struct Group {
        QList<qsizetype> rows;
        std::vector<Moment> moments;
    };

    void claim();
    void claimIn(Group &group);
    History::Entry fromRow(const QStringList &row) const;
    History::Entry fromCompletion(const QStringList &line) const;
    History::Entry fromRefusal(const QStringList &line) const;

    QString m_day;
    QList<History::Entry> m_rows;
    // File name and destination of completed rows: their group.
    QHash<std::pair<QString, QString>, qsizetype> m_groupOf;
    // File name and destination of fault rows: their group, whose rows may claim refusals.
    QHash<std::pair<QString, QString>, qsizetype> m_refusalGroupOf;
    QList<Group> m_groups;
    QHash<qint32, qsizetype> m_claimedBy; // completion: the row that claimed it
    qint32 m_noted = 0;                   // completions of the first reading
    qint32 m_taken = 0;                   // completions of the second reading
    qsizetype m_overlongRows = 0;
    qsizetype m_overlongCompletions = 0;
    bool m_claimed = false;
};
