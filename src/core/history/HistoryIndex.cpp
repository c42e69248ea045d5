#include "core/history/HistoryIndex.h"

#include "core/common/Paths.h"
#include "core/history/DayFiles.h"
#include "core/records/DayJournal.h"
#include "core/records/RecordLog.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <initializer_list>
#include <limits>
#include <thread>

namespace {

using namespace UploadRecord;

// Raised whenever the tables change meaning (a cell the history keeps is added to the record's
// columns, say); an index of another version is built again.
constexpr int kSchemaVersion = 3;

// The cells the index keeps, in the order of their columns in the table entries.
const QList<Cell> &keptCells() {
    static const QList<Cell> cells = [] {
        QList<Cell> kept;
        for (const Column &column : kColumns) {
            if (column.kept) {
                kept.append(column.cell);
            }
        }
        return kept;
    }();
    return cells;
}

QStringList schema() {
    QStringList cells;
    for (const Cell cell : keptCells()) {
        // A destination, which repeats from record to record, is kept once in destinations.
        cells.append(QLatin1String(kColumns[cell].id) +
                     QLatin1String(cell == CellDestination ? " INTEGER NOT NULL" : " TEXT NOT NULL"));
    }
    return {
        // One row per day with files: what was indexed (size and time of each file, empty when the day
        // has no such file) and why a file could not be read (a Failure: the number of its kind, its
        // reason and detail).
        QStringLiteral(
            "CREATE TABLE days(day TEXT PRIMARY KEY, log_stamp TEXT NOT NULL,"
            " journal_stamp TEXT NOT NULL, log_failure INTEGER NOT NULL, log_reason TEXT NOT NULL,"
            " log_detail TEXT NOT NULL, journal_failure INTEGER NOT NULL,"
            " journal_reason TEXT NOT NULL, journal_detail TEXT NOT NULL, entries INTEGER NOT NULL)"),
        // The records; the id tells the day and the place in the day (see firstId). A SHA-256 is kept as
        // its 32 bytes, and NULL when none was journalled.
        QStringLiteral(
            "CREATE TABLE entries(id INTEGER PRIMARY KEY, %1, sha256 BLOB, journal_only INTEGER NOT NULL)")
            .arg(cells.join(QStringLiteral(", "))),
        QStringLiteral("CREATE INDEX entries_by_destination ON entries(destination, id)"),
        QStringLiteral("CREATE INDEX entries_by_sha256 ON entries(sha256) WHERE sha256 IS NOT NULL"),
        // The file names, case-folded, in a table of their own: a search reads this narrow table through
        // rather than the records.
        QStringLiteral("CREATE TABLE names(id INTEGER PRIMARY KEY, key TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE destinations(id INTEGER PRIMARY KEY, text TEXT NOT NULL UNIQUE,"
                       " key TEXT NOT NULL)"),
    };
}

// What a query for records selects, from entries e joined with destinations d: see entryFrom.
QString entrySelection() {
    QStringList columns{QStringLiteral("e.id")};
    for (const Cell cell : keptCells()) {
        columns.append(cell == CellDestination ? QStringLiteral("d.text")
                                               : QStringLiteral("e.") + QLatin1String(kColumns[cell].id));
    }
    columns << QStringLiteral("e.sha256") << QStringLiteral("e.journal_only");
    return QStringLiteral("SELECT %1 FROM entries e JOIN destinations d ON d.id = e.destination")
        .arg(columns.join(QStringLiteral(", ")));
}

QString entryInsertion() {
    QStringList columns{QStringLiteral("id")};
    for (const Cell cell : keptCells()) {
        columns.append(QLatin1String(kColumns[cell].id));
    }
    columns << QStringLiteral("sha256") << QStringLiteral("journal_only");
    const QStringList places(columns.size(), QStringLiteral("?"));
    return QStringLiteral("INSERT INTO entries(%1) VALUES(%2)")
        .arg(columns.join(QStringLiteral(", ")), places.join(QStringLiteral(", ")));
}

constexpr int kIdBitsPerDay = 24;

// Records of a day get ids from the day's number upwards, so ids sort by day and a day's records are
// one range of ids.
qint64 firstId(const QString &day) {
    return QDate::fromString(day, QStringLiteral("yyyy-MM-dd")).toJulianDay() << kIdBitsPerDay;
}

qint64 lastId(const QString &day) {
    return firstId(day) + (qint64(1) << kIdBitsPerDay) - 1;
}

// Qt binds a null text as NULL; the columns hold empty texts instead.
QVariant text(const QString &value) {
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

bool isHex(const QString &text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
               (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
    });
}

// A SHA-256 search needs this many hexadecimal digits; fewer find too much to mean anything.
constexpr int kMinShaPrefix = 4;

// Every statement below reports the database's own reason in *error when it fails.

QString sqlError(const QSqlQuery &query) {
    return query.lastError().text();
}

bool exec(QSqlQuery &query, const QString &statement, QString *error) {
    if (!query.exec(statement)) {
        *error = sqlError(query);
        return false;
    }
    return true;
}

bool exec(const QSqlDatabase &db, const QString &statement, QString *error) {
    QSqlQuery query(db);
    return exec(query, statement, error);
}

bool prepare(QSqlQuery &query, const QString &statement, QString *error) {
    if (!query.prepare(statement)) {
        *error = sqlError(query);
        return false;
    }
    return true;
}

// Runs a prepared statement with values bound in order.
bool run(QSqlQuery &query, std::initializer_list<QVariant> values, QString *error) {
    int place = 0;
    for (const QVariant &value : values) {
        query.bindValue(place++, value);
    }
    if (!query.exec()) {
        *error = sqlError(query);
        return false;
    }
    return true;
}

// After the rows of a query: whether the last step failed rather than ended.
bool readToEnd(const QSqlQuery &query, QString *error) {
    if (query.lastError().isValid()) {
        *error = sqlError(query);
        return false;
    }
    return true;
}

// Runs work in one transaction: committed when work succeeds, rolled back when anything fails.
bool inTransaction(QSqlDatabase &db, const std::function<bool(QString *error)> &work, QString *error) {
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    if (!work(error)) {
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        *error = db.lastError().text();
        db.rollback();
        return false;
    }
    return true;
}

// Removes a day from the index: its records, their names and its row of days.
bool dropDay(const QSqlDatabase &db, const QString &day, QString *error) {
    QSqlQuery query(db);
    for (const char *table : {"entries", "names"}) {
        if (!prepare(query,
                     QStringLiteral("DELETE FROM %1 WHERE id BETWEEN ? AND ?").arg(QLatin1String(table)),
                     error) ||
            !run(query, {firstId(day), lastId(day)}, error)) {
            return false;
        }
    }
    return prepare(query, QStringLiteral("DELETE FROM days WHERE day = ?"), error) &&
           run(query, {day}, error);
}

History::Entry entryFrom(const QSqlQuery &query) {
    History::Entry entry;
    entry.day = QDate::fromJulianDay(query.value(0).toLongLong() >> kIdBitsPerDay).toString(u"yyyy-MM-dd");
    int place = 1;
    for (const Cell cell : keptCells()) {
        entry.cells[cell] = query.value(place++).toString();
    }
    entry.sha256 = QString::fromLatin1(query.value(place++).toByteArray().toHex());
    entry.journalOnly = query.value(place).toBool();
    return entry;
}

// A write-ahead log makes a day's commit one write instead of several synchronised ones, and lets a
// reader search while a day is written. Where the file system cannot share the log's memory (a network
// share) SQLite keeps its rollback journal, which is only slower.
bool tune(const QSqlDatabase &db, QString *error) {
    // A year of records makes indexes far larger than SQLite's default cache of 2 MiB; a day's
    // records go to places all over them.
    return exec(db, QStringLiteral("PRAGMA journal_mode=WAL"), error) &&
           exec(db, QStringLiteral("PRAGMA synchronous=NORMAL"), error) &&
           exec(db, QStringLiteral("PRAGMA cache_size=-65536"), error);
}

// SQLITE_CORRUPT and SQLITE_NOTADB: the file is no index (any more).
bool isDamage(const QSqlError &error) {
    return error.nativeErrorCode() == QLatin1String("11") || error.nativeErrorCode() == QLatin1String("26");
}

// The statements that write a day's records, prepared once for all of them.
struct EntryWriter {
    explicit EntryWriter(const QSqlDatabase &db)
        : addDestination(db), findDestination(db), addEntry(db), addName(db) {}

    bool prepareAll(QString *error) {
        return prepare(addDestination,
                       QStringLiteral("INSERT OR IGNORE INTO destinations(text, key) VALUES(?, ?)"), error) &&
               prepare(findDestination, QStringLiteral("SELECT id FROM destinations WHERE text = ?"),
                       error) &&
               prepare(addEntry, entryInsertion(), error) &&
               prepare(addName, QStringLiteral("INSERT INTO names VALUES(?, ?)"), error);
    }

    // The id of a destination in destinations, added when it is new.
    bool destinationId(const QString &destination, qint64 *id, QString *error) {
        const auto known = destinations.constFind(destination);
        if (known != destinations.constEnd()) {
            *id = *known;
            return true;
        }
        if (!run(addDestination, {text(destination), text(destination.toCaseFolded())}, error) ||
            !run(findDestination, {text(destination)}, error)) {
            return false;
        }
        if (!findDestination.next()) {
            *error = QStringLiteral("the destination just added is not in the index");
            return false;
        }
        *id = destinations.insert(destination, findDestination.value(0).toLongLong()).value();
        findDestination.finish();
        return true;
    }

    bool write(qint64 id, const History::Entry &entry, QString *error) {
        qint64 destination = 0;
        if (!destinationId(entry.cell(CellDestination), &destination, error)) {
            return false;
        }
        int place = 0;
        addEntry.bindValue(place++, id);
        for (const Cell cell : keptCells()) {
            addEntry.bindValue(place++,
                               cell == CellDestination ? QVariant(destination) : text(entry.cells[cell]));
        }
        const QByteArray sha256 = QByteArray::fromHex(entry.sha256.toLatin1());
        addEntry.bindValue(place++, sha256.size() == 32 ? QVariant(sha256)
                                                        : QVariant(QMetaType(QMetaType::QByteArray)));
        addEntry.bindValue(place, entry.journalOnly);
        if (!addEntry.exec()) {
            *error = sqlError(addEntry);
            return false;
        }
        return run(addName, {id, text(entry.cell(CellFileName).toCaseFolded())}, error);
    }

    QSqlQuery addDestination;
    QSqlQuery findDestination;
    QSqlQuery addEntry;
    QSqlQuery addName;
    QHash<QString, qint64> destinations;
};

// Replaces what the index holds of a day with files.
bool writeDay(const QSqlDatabase &db, const DayFiles &files, QString *error) {
    if (!dropDay(db, files.day, error)) {
        return false;
    }
    EntryWriter writer(db);
    if (!writer.prepareAll(error)) {
        return false;
    }
    qint64 id = firstId(files.day);
    for (const History::Entry &entry : files.entries) {
        if (!writer.write(id++, entry, error)) {
            return false;
        }
    }
    QSqlQuery day(db);
    return prepare(day, QStringLiteral("INSERT INTO days VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"), error) &&
           run(day,
               {files.day, text(files.stamps.log), text(files.stamps.journal), int(files.logFailure.kind),
                text(files.logFailure.reason), text(files.logFailure.detail), int(files.journalFailure.kind),
                text(files.journalFailure.reason), text(files.journalFailure.detail), files.entries.size()},
               error);
}

Failure failureFrom(const QSqlQuery &query, int place, const QString &path) {
    const auto kind = Failure::Kind(query.value(place).toInt());
    if (kind == Failure::Kind::None) {
        return {};
    }
    return Failure::of(kind, path, query.value(place + 1).toString(), query.value(place + 2).toString());
}

} // namespace

HistoryIndex::HistoryIndex() {
    static std::atomic<int> counter{0};
    m_connection = QStringLiteral("brelvantis-history-%1").arg(++counter);
}

HistoryIndex::~HistoryIndex() {
    if (QSqlDatabase::contains(m_connection)) {
        database().close();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

QSqlDatabase HistoryIndex::database() const {
    return QSqlDatabase::database(m_connection, false);
}

bool HistoryIndex::open(const QString &recordFolder, QString *error) {
    m_folder = recordFolder;
    m_indexPath.clear();
    m_storageProblem.clear();
    if (!QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    }
    if (!database().isValid()) {
        *error = QStringLiteral("无法建立历史索引：Qt 的 SQLite 驱动不可用（请安装 libqt6sql6-sqlite）。");
        return false;
    }
    const QString path = recordFolder.isEmpty() ? kFileName : Paths::join(recordFolder, kFileName);
    QString problem;
    if (!QFileInfo(recordFolder.isEmpty() ? QStringLiteral(".") : recordFolder).isDir()) {
        problem = QStringLiteral("记录文件夹不存在");
    } else if (openDatabase(path, &problem)) {
        m_indexPath = path;
        return true;
    } else if (m_damaged && QFileInfo::exists(path)) {
        // Only a cache: a damaged index is built again from the day files. (One that is merely busy or
        // cannot be written is left alone: another program may be using it.)
        database().close();
        if (QFile::remove(path) && openDatabase(path, &problem)) {
            m_indexPath = path;
            return true;
        }
    }
    return fallBackToMemory(problem, error);
}

bool HistoryIndex::fallBackToMemory(const QString &why, QString *error) {
    m_indexPath.clear();
    m_storageProblem = QStringLiteral("历史索引无法保存在记录文件夹，本次在内存中建立。\n") + why;
    return openDatabase(QStringLiteral(":memory:"), error);
}

bool HistoryIndex::openDatabase(const QString &path, QString *error) {
    m_damaged = false;
    QSqlDatabase db = database();
    db.close();
    db.setDatabaseName(path);
    // Another program (brelvantis-log find) may be writing a day into the same index.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        *error = db.lastError().text();
        return false;
    }
    // Each query is finished before the next statement: one still open keeps a read transaction, in
    // which SQLite refuses to change its journal mode.
    QSqlQuery version(db);
    if (!exec(version, QStringLiteral("PRAGMA user_version"), error) || !version.next()) {
        *error = sqlError(version);
        m_damaged = isDamage(version.lastError());
        db.close();
        return false;
    }
    const int found = version.value(0).toInt();
    version.finish();
    if (found != kSchemaVersion) {
        if (createSchema(error) && tune(db, error)) {
            return true;
        }
        db.close();
        return false;
    }
    // Reading the days proves the file is a database this index can use.
    QSqlQuery check(db);
    if (!exec(check, QStringLiteral("SELECT count(*) FROM days"), error)) {
        m_damaged = isDamage(check.lastError());
        db.close();
        return false;
    }
    check.finish();
    // Setting the version again proves it can be written as well (not so in a read-only folder).
    if (exec(db, QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion), error) && tune(db, error)) {
        return true;
    }
    db.close();
    return false;
}

bool HistoryIndex::createSchema(QString *error) {
    QSqlDatabase db = database();
    return inTransaction(
        db,
        [&db](QString *error) {
            for (const char *table : {"days", "entries", "names", "destinations"}) {
                if (!exec(db, QStringLiteral("DROP TABLE IF EXISTS %1").arg(QLatin1String(table)), error)) {
                    return false;
                }
            }
            for (const QString &statement : schema()) {
                if (!exec(db, statement, error)) {
                    return false;
                }
            }
            return exec(db, QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion), error);
        },
        error);
}

QStringList HistoryIndex::staleDays(QString *error) {
    QString ignored;
    error = error ? error : &ignored;
    const QHash<QString, DayFiles::Stamps> onDisk = DayFiles::stampsIn(m_folder);
    QSqlDatabase db = database();
    QSqlQuery indexed(db);
    indexed.setForwardOnly(true);
    if (!exec(indexed, QStringLiteral("SELECT day, log_stamp, journal_stamp FROM days"), error)) {
        return {};
    }
    QStringList stale;
    QStringList gone;
    QSet<QString> known;
    while (indexed.next()) {
        const QString day = indexed.value(0).toString();
        known.insert(day);
        const auto found = onDisk.constFind(day);
        if (found == onDisk.constEnd()) {
            gone.append(day);
        } else if (found->log != indexed.value(1).toString() ||
                   found->journal != indexed.value(2).toString()) {
            stale.append(day);
        }
    }
    if (!readToEnd(indexed, error)) {
        return {};
    }
    for (auto it = onDisk.constBegin(); it != onDisk.constEnd(); ++it) {
        if (!known.contains(it.key())) {
            stale.append(it.key());
        }
    }
    std::sort(stale.begin(), stale.end(), std::greater<>());
    if (!gone.isEmpty()) {
        // The changed days are worth indexing even when the gone ones stay listed for now.
        inTransaction(
            db,
            [&db, &gone](QString *error) {
                return std::all_of(gone.cbegin(), gone.cend(),
                                   [&](const QString &day) { return dropDay(db, day, error); });
            },
            error);
    }
    return stale;
}

bool HistoryIndex::indexDay(const QString &day, QString *error) {
    QString ignored;
    error = error ? error : &ignored;
    // A day's ids end where the next day's begin; no station sends that many files a day, but a
    // journal made up to look so must not spill into another day.
    const DayFiles files = DayFiles::read(m_folder, day, (qsizetype(1) << kIdBitsPerDay) - 1);
    QSqlDatabase db = database();
    return inTransaction(
        db, [&](QString *error) { return writeDay(db, files, error); }, error);
}

bool HistoryIndex::update(const std::function<bool(int, int, const QString &)> &onDay, QString *error) {
    QString ignored;
    error = error ? error : &ignored;
    error->clear();
    const QStringList stale = staleDays(error);
    if (!error->isEmpty()) {
        return false;
    }
    for (qsizetype i = 0; i < stale.size(); ++i) {
        if (!indexDay(stale.at(i), error)) {
            return false;
        }
        if (onDay && !onDay(int(i + 1), int(stale.size()), stale.at(i))) {
            break;
        }
    }
    return true;
}

QList<History::Day> HistoryIndex::days(QString *error) const {
    QString ignored;
    error = error ? error : &ignored;
    QList<History::Day> days;
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!exec(query,
              QStringLiteral("SELECT day, log_stamp, journal_stamp, log_failure, log_reason, log_detail,"
                             " journal_failure, journal_reason, journal_detail, entries FROM days"
                             " ORDER BY day DESC"),
              error)) {
        return days;
    }
    while (query.next()) {
        History::Day day;
        day.day = query.value(0).toString();
        if (!query.value(1).toString().isEmpty()) {
            day.logPath = RecordLog::dayPath(m_folder, day.day);
        }
        if (!query.value(2).toString().isEmpty()) {
            day.journalPath = DayJournal::dayPath(m_folder, day.day);
        }
        day.logFailure = failureFrom(query, 3, RecordLog::dayPath(m_folder, day.day));
        day.journalFailure = failureFrom(query, 6, DayJournal::dayPath(m_folder, day.day));
        day.entryCount = query.value(9).toInt();
        days.append(day);
    }
    readToEnd(query, error);
    return days;
}

QList<History::Entry> HistoryIndex::dayEntries(const QString &day, QString *error) const {
    QString ignored;
    error = error ? error : &ignored;
    QList<History::Entry> entries;
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!prepare(query, entrySelection() + QStringLiteral(" WHERE e.id BETWEEN ? AND ? ORDER BY e.id"),
                 error) ||
        !run(query, {firstId(day), lastId(day)}, error)) {
        return entries;
    }
    while (query.next()) {
        entries.append(entryFrom(query));
    }
    readToEnd(query, error);
    return entries;
}

namespace {

// The ids a prepared query selects, appended to ids.
bool collectIds(QSqlQuery &query, std::initializer_list<QVariant> values, QList<qint64> *ids,
                QString *error) {
    query.setForwardOnly(true);
    if (!run(query, values, error)) {
        return false;
    }
    while (query.next()) {
        ids->append(query.value(0).toLongLong());
    }
    return readToEnd(query, error);
}

// The ids of the names from first to last containing key, newest first, at most limit of them.
QList<qint64> scanNames(const QSqlDatabase &db, const QString &key, qint64 first, qint64 last, int limit,
                        QString *error) {
    QList<qint64> ids;
    QSqlQuery query(db);
    if (prepare(query,
                QStringLiteral("SELECT id FROM names WHERE id BETWEEN ? AND ? AND instr(key, ?) > 0"
                               " ORDER BY id DESC LIMIT ?"),
                error)) {
        collectIds(query, {first, last, key, limit}, &ids, error);
    }
    return ids;
}

// The first id of the day from which on the newer half of the records lies, 0 when there is none.
qint64 newerHalfStart(const QSqlDatabase &db, QString *error) {
    QSqlQuery days(db);
    days.setForwardOnly(true);
    if (!exec(days, QStringLiteral("SELECT day, entries FROM days ORDER BY day DESC"), error)) {
        return 0;
    }
    qint64 total = 0;
    QList<std::pair<QString, qint64>> counts;
    while (days.next()) {
        counts.append({days.value(0).toString(), days.value(1).toLongLong()});
        total += counts.last().second;
    }
    if (!readToEnd(days, error)) {
        return 0;
    }
    qint64 newer = 0;
    for (const auto &[day, count] : std::as_const(counts)) {
        newer += count;
        if (newer * 2 >= total) {
            return firstId(day);
        }
    }
    return 0;
}

} // namespace

QList<qint64> HistoryIndex::matchingNames(const QString &key, int limit, QString *error) const {
    // Reading every name is most of a search's time, so an index in a file is read in two halves at
    // once, the older half through a second connection on a thread of its own.
    const QSqlDatabase db = database();
    constexpr qint64 kAll = std::numeric_limits<qint64>::max();
    const qint64 split = m_indexPath.isEmpty() ? 0 : newerHalfStart(db, error);
    if (!error->isEmpty()) {
        return {};
    }
    if (split <= 0 || QThread::idealThreadCount() < 2) {
        return scanNames(db, key, 0, kAll, limit, error);
    }
    QList<qint64> older;
    QString olderError;
    const QString name = m_connection + QStringLiteral("-older");
    std::thread scan([&] {
        {
            QSqlDatabase second = QSqlDatabase::cloneDatabase(m_connection, name);
            if (second.open()) {
                older = scanNames(second, key, 0, split - 1, limit, &olderError);
            } else {
                olderError = second.lastError().text();
            }
        }
        QSqlDatabase::removeDatabase(name);
    });
    QList<qint64> ids = scanNames(db, key, split, kAll, limit, error);
    scan.join();
    if (error->isEmpty()) {
        *error = olderError;
    }
    ids.append(older);
    return ids;
}

// Each kind of match gives at most limit ids, newest first.
QList<qint64> HistoryIndex::matchingIds(const QString &key, int limit, QString *error) const {
    QList<qint64> ids = matchingNames(key, limit, error);
    const QSqlDatabase db = database();
    QList<qint64> destinations;
    QSqlQuery findDestinations(db);
    if (error->isEmpty() &&
        prepare(findDestinations, QStringLiteral("SELECT id FROM destinations WHERE instr(key, ?) > 0"),
                error)) {
        collectIds(findDestinations, {key}, &destinations, error);
    }
    QSqlQuery byDestination(db);
    if (error->isEmpty() &&
        prepare(byDestination,
                QStringLiteral("SELECT id FROM entries WHERE destination = ? ORDER BY id DESC LIMIT ?"),
                error)) {
        for (const qint64 destination : std::as_const(destinations)) {
            if (!collectIds(byDestination, {destination, limit}, &ids, error)) {
                break;
            }
        }
    }
    if (error->isEmpty() && key.size() >= kMinShaPrefix && key.size() <= 64 && isHex(key)) {
        QSqlQuery bySha(db);
        // The SHA-256s from the prefix followed by zeros to the prefix followed by f's.
        if (prepare(bySha,
                    QStringLiteral(
                        "SELECT id FROM entries WHERE sha256 BETWEEN ? AND ? ORDER BY id DESC LIMIT ?"),
                    error)) {
            collectIds(bySha,
                       {QByteArray::fromHex(key.leftJustified(64, QLatin1Char('0')).toLatin1()),
                        QByteArray::fromHex(key.leftJustified(64, QLatin1Char('f')).toLatin1()), limit},
                       &ids, error);
        }
    }
    std::sort(ids.begin(), ids.end(), std::greater<>());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

// The records of ids, in the order of ids (newest first), a few hundred per statement.
QList<History::Entry> HistoryIndex::entriesOf(const QList<qint64> &ids, QString *error) const {
    constexpr qsizetype kChunk = 500;
    QList<History::Entry> entries;
    entries.reserve(ids.size());
    for (qsizetype start = 0; start < ids.size(); start += kChunk) {
        // Ids are numbers: safe to write out.
        QStringList list;
        for (qsizetype i = start; i < qMin(start + kChunk, ids.size()); ++i) {
            list.append(QString::number(ids.at(i)));
        }
        QSqlQuery query(database());
        query.setForwardOnly(true);
        if (!exec(
                query,
                entrySelection() +
                    QStringLiteral(" WHERE e.id IN (%1) ORDER BY e.id DESC").arg(list.join(QLatin1Char(','))),
                error)) {
            break;
        }
        while (query.next()) {
            entries.append(entryFrom(query));
        }
        if (!readToEnd(query, error)) {
            break;
        }
    }
    return entries;
}

History::SearchResult HistoryIndex::search(const QString &text, int limit) const {
    History::SearchResult result;
    result.text = text;
    const QString key = text.trimmed().toCaseFolded();
    if (key.isEmpty() || limit <= 0) {
        return result;
    }
    // One id more than the limit tells whether more records match.
    QList<qint64> ids = matchingIds(key, limit + 1, &result.error);
    result.truncated = ids.size() > limit;
    ids.resize(qMin<qsizetype>(ids.size(), limit));
    if (result.error.isEmpty()) {
        result.entries = entriesOf(ids, &result.error);
    }
    return result;
}
