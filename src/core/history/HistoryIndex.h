#pragma once

#include "core/history/HistoryEntry.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QSqlDatabase;

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
    // False, with *error (a whole sentence), only when no index can be had at all (Qt's SQLite driver
    // is missing). Every other *error of the index is the database's own reason.
    bool open(const QString &recordFolder, QString *error);
    QString recordFolder() const { return m_folder; }
    // The index file; empty while the index is kept in memory.
    QString indexPath() const { return m_indexPath; }
    // Why the index is kept in memory, a sentence with the database's reason on a line of its own;
    // empty when it is kept beside the day files.
    QString storageProblem() const { return m_storageProblem; }

    // Gives up the index file after it failed (a full disk, say) and builds the index in memory.
    bool fallBackToMemory(const QString &why, QString *error);

    // The days whose files changed since they were indexed, newest first. Days whose files are gone
    // are dropped from the index here. When the index cannot be read, *error says why.
    QStringList staleDays(QString *error = nullptr);
    // Reads one day's files again into the index.
    bool indexDay(const QString &day, QString *error = nullptr);
    // Both of the above for every day; onDay is told each day indexed (done of total) and may return
    // false to stop. False with *error when the index could not be written.
    bool update(const std::function<bool(int done, int total, const QString &day)> &onDay = {},
                QString *error = nullptr);

    // Every indexed day, newest first.
    QList<History::Day> days(QString *error = nullptr) const;
    // The records of one day, in the order of its log, then the journal-only ones.
    QList<History::Entry> dayEntries(const QString &day, QString *error = nullptr) const;
    // The records whose file name or destination contains text, or whose SHA-256 starts with it,
    // ignoring case; newest first, at most limit of them.
    History::SearchResult search(const QString &text, int limit = kSearchLimit) const;

private:
    QSqlDatabase database() const;
    bool openDatabase(const QString &path, QString *error);
    bool createSchema(QString *error);
    QList<qint64> matchingIds(const QString &key, int limit, QString *error) const;
    QList<qint64> matchingNames(const QString &key, int limit, QString *error) const;
    QList<History::Entry> entriesOf(const QList<qint64> &ids, QString *error) const;

    QString m_connection;
    QString m_folder;
    QString m_indexPath;
    QString m_storageProblem;
    bool m_damaged = false; // the last file opened is no usable database
};
