#pragma once

#include "core/common/Failure.h"
#include "core/records/JournalEvent.h"

#include <QString>
#include <QStringList>
#include <functional>

class Clock;

// The day's journal: one line per event of the queue (queued, started, completed, failed, stopped,
// deleted, moved), beside the day's log as <record folder>YYYY-MM-DD.journal.tsv. Tab-separated
// UTF-8 with a byte-order mark and a header row, so spreadsheet programs open it; appended and
// flushed line by line, never rewritten. A failed write is kept as writeFailure() until a write succeeds
// again; the station starts no transfer meanwhile.
class DayJournal {
public:
    static inline const QStringList kColumns = {
        QStringLiteral("时间"),       QStringLiteral("事件"),   QStringLiteral("文件名"),
        QStringLiteral("目的地"),     QStringLiteral("隔离器"), QStringLiteral("原因"),
        QStringLiteral("已发送字节"), QStringLiteral("秒"),     QStringLiteral("MB/s"),
        QStringLiteral("SHA-256"),
    };

    struct Entry {
        JournalEvent event = JournalEvent::Queued;
        QString fileName;
        QString destination;
        QString isolator;
        QString reason;
        quint64 bytes = 0;
        double seconds = -1; // negative: not a transfer, the columns stay empty
        QString sha256;
    };

    // Appends bytes to the file at path, creating it; false with *error on failure. Tests replace it.
    using Appender = std::function<bool(const QString &path, const QByteArray &bytes, QString *error)>;

    explicit DayJournal(const Clock &clock);

    // Fixes the journal's file for the run, beside the day's log: that of day, or of today when empty.
    void open(const QString &recordFolder, const QString &day = QString());
    QString path() const { return m_path; }

    // Appends one line (after the header, for a new file). False when it could not be written.
    bool append(const Entry &entry);

    // The journal of day ("YYYY-MM-DD"), beside that day's log.
    static QString dayPath(const QString &recordFolder, const QString &day);

    // Reads the journal at path: its lines after the header, each as kColumns.size() fields in the order
    // of kColumns, the text fields unguarded. Columns are found by the header's names: one this station does
    // not know (a newer station's) is ignored, one it knows that is missing reads as empty; a header without
    // 时间, 事件 and 文件名 is no journal's. False with *failure when the file cannot be read or is no
    // journal.
    static bool readFile(const QString &path, QList<QStringList> *lines, Failure *failure);
    // The same, one line at a time: take gets each line's fields (and may keep them) and returns false
    // to stop. Memory stays bounded by the longest line, whatever the file's size. A line longer than
    // kMaxLineBytes (this station never writes one) is passed over.
    static bool readEach(const QString &path, const std::function<bool(QStringList &fields)> &take,
                         Failure *failure);
    // A journal larger than this is not read (a day of the busiest station stays far below it).
    static constexpr qint64 kMaxReadBytes = qint64(256) << 20;
    static constexpr qsizetype kMaxLineBytes = 64 * 1024;

    // A text a spreadsheet program would take for a formula: its first character after any blanks
    // (spaces, tabs, line ends) is "=", "+", "-" or "@", or their full-width forms. The journal and
    // the history's .csv keep such a text as text with a leading apostrophe, as spreadsheet programs
    // do themselves; so that the apostrophe can be taken off again, a text that is such a text behind
    // apostrophes of its own ("'=a") gets one more. guarded() adds it, unguarded() takes it off:
    // unguarded(guarded(t)) == t for every t, and only the text fields (file name, destination,
    // isolator, reason) are guarded.
    static QString guarded(const QString &text);
    static QString unguarded(const QString &text);

    // Why the last write failed; nothing once a write has succeeded (or before the first).
    const Failure &writeFailure() const { return m_writeFailure; }
    // Tries whether the journal can be written again, adding nothing to it; true when it can.
    bool probe();

    void setAppender(Appender appender) { m_appender = std::move(appender); }

private:
    const Clock &m_clock;
    QString m_path;
    Appender m_appender;
    Failure m_writeFailure;

    bool write(const QByteArray &bytes);
};
