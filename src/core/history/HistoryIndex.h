#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <functional>

// What the station sent on earlier days, gathered from the day files of the record folder (the day's
// log "YYYY-MM-DD.xls" and the day's journal "YYYY-MM-DD.journal.tsv").
namespace History {

// One record of a day: a row of that day's log, with the SHA-256 of what was sent taken from the
// journal's completion line; or a completion the journal holds but the log no longer does (a record
// deleted after it was sent, or a log that cannot be read).
struct Entry {
    QString day;    // YYYY-MM-DD
    QString time;   // HH:MM:SS of the end of the transfer, else of its start; may be empty
    QString status; // one of the five status texts
    QString fileName;
    QString fileSize;    // as the log shows it
    QString destination; // the log's 存放路径
    QString startTime;   // the log's cells, "YYYY-MM-DD HH:MM:SS" or empty
    QString finishTime;
    QString sha256; // lower-case hex, empty when no completion was journalled
    bool journalOnly = false;
};

// The files of one day and whether they could be read. A file that cannot be read is listed with the
// reason and does not hide the other days.
struct Day {
    QString day; // YYYY-MM-DD
    int entryCount = 0;
    QString logPath; // empty when the day has no log
    QString logError;
    QString journalPath; // empty when the day has no journal
    QString journalError;

    bool unreadable() const { return !logError.isEmpty() || !journalError.isEmpty(); }
    // The reasons, one line per unreadable file; empty when both read.
    QString problem() const;
};

struct SearchResult {
    QString text;           // what was searched for
    QList<Entry> entries;   // newest first
    bool truncated = false; // more matched than the limit
    QString error;          // why the index could not be searched; empty when it could
};

} // namespace History

Q_DECLARE_METATYPE(History::Entry)
Q_DECLARE_METATYPE(History::Day)
Q_DECLARE_METATYPE(History::SearchResult)

// The index of the history: an SQLite database (through Qt SQL) beside the day files, built from them
// and brought up to date whenever a day file's size or time differs from what was indexed. It is only
// a cache: the day files stay the record, and a damaged or outdated index is simply built again. When
// the record folder cannot hold it, the index is kept in memory for the run.
//
// One object per thread: it owns its own database connection.
class HistoryIndex {
public:
    static inline const QString kFileName = QStringLiteral("Brelvantis.history.sqlite");
    static constexpr int kSearchLimit = 5000;

    HistoryIndex();
    ~HistoryIndex();
    HistoryIndex(const HistoryIndex &) = delete;
    HistoryIndex &operator=(const HistoryIndex &) = delete;

    // Opens the index of recordFolder (as the settings hold it, with or without its trailing separator).
    // False, with *error, only when no index can be had at all (Qt's SQLite driver is missing).
    bool open(const QString &recordFolder, QString *error);
    QString recordFolder() const { return m_folder; }
    // The index file; empty while the index is kept in memory.
    QString indexPath() const { return m_indexPath; }
    // Why the index is kept in memory; empty when it is kept beside the day files.
    QString storageProblem() const { return m_storageProblem; }

    // Gives up the index file after it failed (a full disk, say) and builds the index in memory.
    bool fallBackToMemory(const QString &why, QString *error);

    // The days whose files changed since they were indexed, newest first. Days whose files are gone
    // are dropped from the index here.
    QStringList staleDays();
    // Reads one day's files again into the index.
    bool indexDay(const QString &day, QString *error = nullptr);
    // Both of the above for every day; onDay is told each day indexed (done of total) and may return
    // false to stop. False with *error when the index could not be written.
    bool update(const std::function<bool(int done, int total, const QString &day)> &onDay = {},
                QString *error = nullptr);

    // Every indexed day, newest first.
    QList<History::Day> days() const;
    // The records of one day, in the order of its log, then the journal-only ones.
    QList<History::Entry> dayEntries(const QString &day) const;
    // The records whose file name or destination contains text, or whose SHA-256 starts with it,
    // ignoring case; newest first, at most limit of them.
    History::SearchResult search(const QString &text, int limit = kSearchLimit) const;

private:
    bool openDatabase(const QString &path, QString *error);
    QList<qint64> matchingNames(const QString &key, int limit, QString *error) const;
    bool createSchema(QString *error);

    QString m_connection;
    QString m_folder;
    QString m_indexPath;
    QString m_storageProblem;
    bool m_damaged = false; // the last file opened is no usable database
};
