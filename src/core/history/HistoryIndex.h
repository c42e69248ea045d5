#pragma once

#include "core/history/HistoryEntry.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class DayFiles;
class QSqlDatabase;

// The index of the history: an SQLite database (through Qt SQL) beside the day files, built from them
// and brought up to date whenever a day file's size or time differs from what was indexed. It is only
// a cache: the day files stay the record, and a damaged or outdated index is simply built again. When
// the record folder cannot hold it, the index is kept in memory for the run. It holds what a station
// can have sent, each name once, so it stays about as large as the day files.
//
// Several programs may use one index (the station, brelvantis-log find): each writes a day in a
// transaction of its own, and one that finds the index busy for longer than a few seconds, or the
// record folder's disk nearly full, stops adding to it and searches what is there (halted).
//
// One object per thread: it owns its own database connection.
class HistoryIndex {
public:
    static inline const QString kFileName = QStringLiteral("Brelvantis.history.sqlite");
    static constexpr int kSearchLimit = 5000;
    static constexpr int kBusyTimeoutMs = 5000;
    // The index stops growing when less than this is free on the record folder's disk, or less than
    // kMinFreePercent of it; free space is looked at again after every kSpaceCheckBytes of growth.
    static constexpr qint64 kMinFreeBytes = qint64(1) << 30;
    static constexpr int kMinFreePercent = 5;
    static constexpr qint64 kSpaceCheckBytes = 100 * 1000 * 1000;

    struct DiskSpace {
        qint64 available = -1; // bytes; negative when unknown
        qint64 total = -1;
    };
    // The free space of the disk holding a folder. Tests replace it.
    using SpaceProbe = std::function<DiskSpace(const QString &folder)>;

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
    // Why the index is kept in memory (a sentence with the database's reason on a line of its own), or
    // that the record folder's file system allows no write-ahead log; empty when neither.
    QString storageProblem() const { return m_storageProblem; }

    // Whether the last update stopped before its end for a reason that leaves the index as it was and
    // searchable: another program kept it busy, or the disk is nearly full. Its *error said why.
    bool halted() const { return m_halted; }

    void setSpaceProbe(SpaceProbe probe) { m_spaceProbe = std::move(probe); }
    // How long a statement waits for another program's write to the index; before open. Tests shorten it.
    void setBusyTimeout(int ms) { m_busyTimeoutMs = ms; }

    // Gives up the index file after it failed (a full disk, say) and builds the index in memory.
    bool fallBackToMemory(const QString &why, QString *error);

    // The days whose files changed since they were indexed, newest first. Days whose files are gone
    // are dropped from the index here. When the index cannot be read, *error says why.
    QStringList staleDays(QString *error = nullptr);
    // Reads one day's files again into the index (unless another program just did).
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
    bool prepareDatabase(bool inMemory, QString *error);
    bool tune(bool inMemory, QString *error);
    bool createSchema(QString *error);
    // Before the index grows by bytes: false, with *error, when the disk is too full for it.
    bool roomFor(qint64 bytes, QString *error);
    bool writeDay(DayFiles &files, QString *error);
    // After a failed statement: when it failed because another program holds the index, the index
    // halts and *error says so.
    bool haltWhenBusy(QString *error);
    QList<qint64> matchingIds(const QString &key, int limit, QString *error) const;
    QList<qint64> matchingNames(const QString &key, int limit, QString *error) const;
    QList<History::Entry> entriesOf(const QList<qint64> &ids, QString *error) const;

    QString m_connection;
    QString m_folder;
    QString m_indexPath;
    QString m_storageProblem;
    bool m_damaged = false; // the last file opened is no usable database
    bool m_halted = false;
    int m_busyTimeoutMs = kBusyTimeoutMs;
    SpaceProbe m_spaceProbe;
    qint64 m_grownSinceCheck = -1; // estimated growth since free space was last looked at; -1: never
};
