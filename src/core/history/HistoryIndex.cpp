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
#include <QStorageInfo>
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
constexpr int kSchemaVersion = 4;

// The cells the table entries keeps, in the order of its columns: all the history keeps but the file
// name, which is in names.
const QList<Cell> &entryCells() {
    static const QList<Cell> cells = [] {
        QList<Cell> kept;
        for (const Column &column : kColumns) {
            if (column.kept && column.cell != CellFileName) {
                kept.append(column.cell);
            }
        }
        return kept;
    }();
    return cells;
}

// A file name is kept as its case-folded key, which a search reads through, and what it takes to give
// the name back: where its ASCII letters were capitals (caps; NULL when none were), or, for a name
// whose case goes beyond ASCII letters (Ä, Ω, Ｆ), the name itself (original; NULL otherwise). So no
// name is kept twice, but for those rare ones.
//
// caps holds runs of places to give capitals, as pairs of numbers (places to pass over, places in the
// run), each in 7-bit groups: a few bytes for most names ("IMG_0001.JPG": two). A run may span places
// that are no ASCII letters, which it leaves as they are.
struct StoredName {
    QString key;
    QVariant caps;
    QVariant original;
};

bool isLowerAscii(QChar c) {
    return c >= u'a' && c <= u'z';
}

void appendNumber(QByteArray *bytes, qsizetype number) {
    for (; number >= 0x80; number >>= 7) {
        bytes->append(char(0x80 | (number & 0x7f)));
    }
    bytes->append(char(number));
}

qsizetype readNumber(const QByteArray &bytes, qsizetype *at) {
    qsizetype number = 0;
    for (int shift = 0; *at < bytes.size() && shift < 28; shift += 7) {
        const auto byte = quint8(bytes.at((*at)++));
        number |= qsizetype(byte & 0x7f) << shift;
        if ((byte & 0x80) == 0) {
            break;
        }
    }
    return number;
}

StoredName storedName(const QString &name) {
    StoredName stored{name.toCaseFolded(), QVariant(QMetaType(QMetaType::QByteArray)),
                      QVariant(QMetaType(QMetaType::QString))};
    if (stored.key == name) {
        return stored;
    }
    if (stored.key.size() != name.size()) {
        stored.original = name;
        return stored;
    }
    QByteArray caps;
    qsizetype runEnd = 0;    // where the last run ended
    qsizetype runStart = -1; // where the current run started, -1 outside one
    for (qsizetype i = 0; i <= name.size(); ++i) {
        const bool end = i == name.size();
        const QChar c = end ? QChar() : name.at(i);
        const QChar k = end ? QChar() : stored.key.at(i);
        if (!end && c != k && !(c >= u'A' && c <= u'Z')) {
            stored.original = name; // a difference in case beyond ASCII
            return stored;
        }
        const bool capital = !end && c != k;
        const bool breaks = end || (isLowerAscii(k) && !capital);
        if (capital && runStart < 0) {
            runStart = i;
        } else if (breaks && runStart >= 0) {
            appendNumber(&caps, runStart - runEnd);
            appendNumber(&caps, i - runStart);
            runEnd = i;
            runStart = -1;
        }
    }
    stored.caps = caps;
    return stored;
}

// The name a StoredName was made of, from its key, caps and original as the query holds them from place.
QString nameFrom(const QSqlQuery &query, int place) {
    const QVariant original = query.value(place + 2);
    if (!original.isNull()) {
        return original.toString();
    }
    QString name = query.value(place).toString();
    const QByteArray caps = query.value(place + 1).toByteArray();
    qsizetype at = 0;
    qsizetype position = 0;
    while (at < caps.size()) {
        position += readNumber(caps, &at);
        const qsizetype end = qMin(name.size(), position + readNumber(caps, &at));
        for (; position < end; ++position) {
            if (isLowerAscii(name.at(position))) {
                name[position] = QChar(name.at(position).unicode() - u'a' + u'A');
            }
        }
    }
    return name;
}

QStringList schema() {
    QStringList cells;
    for (const Cell cell : entryCells()) {
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
        // The records' file names (see StoredName), by the records' ids, in a narrow table of their own:
        // a search reads it through rather than the records.
        QStringLiteral(
            "CREATE TABLE names(id INTEGER PRIMARY KEY, key TEXT NOT NULL, caps BLOB, original TEXT)"),
        // One row per destination: the few there are are kept as they are and case-folded.
        QStringLiteral("CREATE TABLE destinations(id INTEGER PRIMARY KEY, text TEXT NOT NULL UNIQUE,"
                       " key TEXT NOT NULL)"),
    };
}

// What a query for records selects, from entries e joined with names n and destinations d: see
// entryFrom.
QString entrySelection() {
    QStringList columns{QStringLiteral("e.id"), QStringLiteral("n.key"), QStringLiteral("n.caps"),
                        QStringLiteral("n.original")};
    for (const Cell cell : entryCells()) {
        columns.append(cell == CellDestination ? QStringLiteral("d.text")
                                               : QStringLiteral("e.") + QLatin1String(kColumns[cell].id));
    }
    columns << QStringLiteral("e.sha256") << QStringLiteral("e.journal_only");
    return QStringLiteral("SELECT %1 FROM entries e JOIN names n ON n.id = e.id"
                          " JOIN destinations d ON d.id = e.destination")
        .arg(columns.join(QStringLiteral(", ")));
}

QString entryInsertion() {
    QStringList columns{QStringLiteral("id")};
    for (const Cell cell : entryCells()) {
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

constexpr qint64 kWalSizeLimit = qint64(64) << 20;
constexpr qint64 kCacheSize = -65536; // KiB

// A SHA-256 search needs this many hexadecimal digits; fewer find too much to mean anything.
constexpr int kMinShaPrefix = 4;

// SQLITE_BUSY and SQLITE_LOCKED, also as extended codes: another connection holds the index.
bool isBusy(const QSqlError &error) {
    const int code = error.nativeErrorCode().toInt() & 0xff;
    return code == 5 || code == 6;
}

// Whether the last statement that failed on this thread failed only because another program held the
// index (one index object per thread).
thread_local bool lastFailureBusy = false;

// Every statement below reports the database's own reason in *error when it fails.

QString sqlError(const QSqlError &error) {
    lastFailureBusy = isBusy(error);
    return error.text();
}

QString sqlError(const QSqlQuery &query) {
    return sqlError(query.lastError());
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

// Runs "PRAGMA statement" and reads the value it answers with.
bool pragma(const QSqlDatabase &db, const QString &statement, QVariant *value, QString *error) {
    QSqlQuery query(db);
    if (!exec(query, QStringLiteral("PRAGMA ") + statement, error)) {
        return false;
    }
    if (!query.next()) {
        *error = query.lastError().isValid() ? sqlError(query)
                                             : QStringLiteral("PRAGMA %1 gave no answer").arg(statement);
        return false;
    }
    *value = query.value(0);
    return true;
}

// Whether a setting of the index reads back as it was set.
bool taken(const QString &setting, const QVariant &value, qint64 expected, QString *error) {
    if (value.toLongLong() == expected) {
        return true;
    }
    *error = QStringLiteral("the index's %1 is %2, not %3").arg(setting, value.toString()).arg(expected);
    return false;
}

// Runs work in one transaction: committed when work succeeds, rolled back when anything fails. The
// transaction takes the index for writing from its start, so a program that has to wait for another
// waits there (up to the busy timeout) rather than failing in the middle.
bool inTransaction(const QSqlDatabase &db, const std::function<bool(QString *error)> &work, QString *error) {
    if (!exec(db, QStringLiteral("BEGIN IMMEDIATE"), error)) {
        return false;
    }
    if (work(error) && exec(db, QStringLiteral("COMMIT"), error)) {
        return true;
    }
    const bool busy = lastFailureBusy;
    QString ignored;
    exec(db, QStringLiteral("ROLLBACK"), &ignored);
    lastFailureBusy = busy;
    return false;
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
    entry.cells[CellFileName] = nameFrom(query, 1);
    int place = 4;
    for (const Cell cell : entryCells()) {
        entry.cells[cell] = query.value(place++).toString();
    }
    entry.sha256 = QString::fromLatin1(query.value(place++).toByteArray().toHex());
    entry.journalOnly = query.value(place).toBool();
    return entry;
}

// SQLITE_CORRUPT and SQLITE_NOTADB: the file is no index (any more).
bool isDamage(const QSqlError &error) {
    return error.nativeErrorCode() == QLatin1String("11") || error.nativeErrorCode() == QLatin1String("26");
}

// Roughly what a record adds to the index file, its texts and its places in the indexes.
qint64 sizeEstimate(const History::Entry &entry) {
    qint64 characters = 0;
    for (const QString &cell : entry.cells) {
        characters += cell.size();
    }
    return 100 + 2 * characters;
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
               prepare(addName, QStringLiteral("INSERT INTO names VALUES(?, ?, ?, ?)"), error);
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
        for (const Cell cell : entryCells()) {
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
        const StoredName name = storedName(entry.cell(CellFileName));
        return run(addName, {id, text(name.key), name.caps, name.original}, error);
    }

    QSqlQuery addDestination;
    QSqlQuery findDestination;
    QSqlQuery addEntry;
    QSqlQuery addName;
    QHash<QString, qint64> destinations;
};

Failure failureFrom(const QSqlQuery &query, int place, const QString &path) {
    const auto kind = Failure::Kind(query.value(place).toInt());
    if (kind == Failure::Kind::None) {
        return {};
    }
    return Failure::of(kind, path, query.value(place + 1).toString(), query.value(place + 2).toString());
}

HistoryIndex::DiskSpace diskSpaceOf(const QString &folder) {
    const QStorageInfo storage(folder.isEmpty() ? QStringLiteral(".") : folder);
    if (!storage.isValid()) {
        return {};
    }
    return {storage.bytesAvailable(), storage.bytesTotal()};
}

} // namespace

HistoryIndex::HistoryIndex() : m_spaceProbe(diskSpaceOf) {
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
        for (const QString &companion : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
            QFile::remove(path + companion);
        }
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
    // Another program (brelvantis-log find, the station) may be writing a day into the same index.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_busyTimeoutMs));
    if (!db.open()) {
        *error = sqlError(db.lastError());
        return false;
    }
    if (prepareDatabase(path == QLatin1String(":memory:"), error)) {
        return true;
    }
    db.close();
    return false;
}

// Every query here is gone before the next statement: one still open would keep a read transaction,
// in which SQLite refuses to change the journal mode or drop a table ("database table is locked").
bool HistoryIndex::prepareDatabase(bool inMemory, QString *error) {
    const QSqlDatabase db = database();
    int found = 0;
    {
        QSqlQuery version(db);
        if (!exec(version, QStringLiteral("PRAGMA user_version"), error) || !version.next()) {
            *error = sqlError(version);
            m_damaged = isDamage(version.lastError());
            return false;
        }
        found = version.value(0).toInt();
    }
    if (!tune(inMemory, error)) {
        return false;
    }
    if (found != kSchemaVersion) {
        return createSchema(error);
    }
    {
        // Reading the days proves the file is a database this index can use.
        QSqlQuery check(db);
        if (!exec(check, QStringLiteral("SELECT count(*) FROM days"), error)) {
            m_damaged = isDamage(check.lastError());
            return false;
        }
    }
    // Setting the version again proves it can be written as well (not so in a read-only folder). The
    // proof does not wait: an index another program is writing to proves nothing either way, and is
    // used as it is.
    QVariant value;
    if (!exec(db, QStringLiteral("PRAGMA busy_timeout=0"), error)) {
        return false;
    }
    const bool written = exec(db, QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion), error);
    const bool busy = lastFailureBusy;
    if (!pragma(db, QStringLiteral("busy_timeout=%1").arg(m_busyTimeoutMs), &value, error) ||
        !taken(QStringLiteral("busy_timeout"), value, m_busyTimeoutMs, error)) {
        return false;
    }
    if (written || busy) {
        error->clear();
        return true;
    }
    return false;
}

// A write-ahead log makes a day's commit one write instead of several synchronised ones, and lets a
// search read while another program writes a day. Where the file system cannot share the log's memory
// (a network share) SQLite keeps its rollback journal: slower, and a search then waits for the writer.
bool HistoryIndex::tune(bool inMemory, QString *error) {
    const QSqlDatabase db = database();
    QVariant value;
    if (!inMemory) {
        if (!pragma(db, QStringLiteral("journal_mode=WAL"), &value, error)) {
            return false;
        }
        if (value.toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
            m_storageProblem =
                QStringLiteral("记录文件夹所在的文件系统不支持预写日志（WAL），历史索引改用回滚日志："
                               "另一程序更新索引时，查找要等它写完。");
        } else if (!pragma(db, QStringLiteral("journal_size_limit=%1").arg(kWalSizeLimit), &value, error) ||
                   !taken(QStringLiteral("journal_size_limit"), value, kWalSizeLimit, error)) {
            // The log of a day's transaction (hundreds of MB for the largest journal read) is cut back
            // once it is folded in, rather than kept at its largest for as long as the station runs.
            return false;
        }
    }
    // A year of records makes indexes far larger than SQLite's default cache of 2 MiB; a day's
    // records go to places all over them. Neither pragma answers: each is read back.
    return exec(db, QStringLiteral("PRAGMA synchronous=NORMAL"), error) &&
           pragma(db, QStringLiteral("synchronous"), &value, error) &&
           taken(QStringLiteral("synchronous"), value, 1, error) &&
           exec(db, QStringLiteral("PRAGMA cache_size=%1").arg(kCacheSize), error) &&
           pragma(db, QStringLiteral("cache_size"), &value, error) &&
           taken(QStringLiteral("cache_size"), value, kCacheSize, error);
}

bool HistoryIndex::createSchema(QString *error) {
    const QSqlDatabase db = database();
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

bool HistoryIndex::haltWhenBusy(QString *error) {
    if (!lastFailureBusy) {
        return false;
    }
    m_halted = true;
    *error = QStringLiteral("历史索引正被另一程序更新，等了 %1 秒仍未轮到；本次只在已收录的记录中查找。")
                 .arg(m_busyTimeoutMs / 1000.0);
    return true;
}

bool HistoryIndex::roomFor(qint64 bytes, QString *error) {
    if (m_indexPath.isEmpty()) {
        return true;
    }
    if (m_grownSinceCheck >= 0 && m_grownSinceCheck + bytes < kSpaceCheckBytes) {
        m_grownSinceCheck += bytes;
        return true;
    }
    m_grownSinceCheck = bytes;
    const DiskSpace space = m_spaceProbe(m_folder);
    if (space.available < 0 || space.total <= 0 ||
        (space.available >= kMinFreeBytes && space.available * 100 >= space.total * kMinFreePercent)) {
        return true;
    }
    m_grownSinceCheck = -1; // looked at again before the next record
    m_halted = true;
    *error = QStringLiteral("记录文件夹所在的磁盘只剩 %1 MB 可用（不足 1 GB 或 %2%），历史索引暂停更新；"
                            "腾出空间后再打开历史记录即可继续。")
                 .arg(space.available / 1000000)
                 .arg(kMinFreePercent);
    return false;
}

QStringList HistoryIndex::staleDays(QString *error) {
    QString ignored;
    error = error ? error : &ignored;
    m_halted = false;
    const QHash<QString, DayFiles::Stamps> onDisk = DayFiles::stampsIn(m_folder);
    QSqlDatabase db = database();
    QSqlQuery indexed(db);
    indexed.setForwardOnly(true);
    if (!exec(indexed, QStringLiteral("SELECT day, log_stamp, journal_stamp FROM days"), error)) {
        haltWhenBusy(error);
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
    indexed.finish();
    std::sort(stale.begin(), stale.end(), std::greater<>());
    if (!gone.isEmpty()) {
        // The changed days are worth indexing even when the gone ones stay listed for now, also while
        // another program holds the index.
        QString dropError;
        if (!inTransaction(
                db,
                [&db, &gone](QString *error) {
                    return std::all_of(gone.cbegin(), gone.cend(),
                                       [&](const QString &day) { return dropDay(db, day, error); });
                },
                &dropError) &&
            !lastFailureBusy) {
            *error = dropError;
        }
    }
    return stale;
}

bool HistoryIndex::indexDay(const QString &day, QString *error) {
    QString ignored;
    error = error ? error : &ignored;
    m_halted = false;
    // The files are read before the index is taken for writing, so that another program waiting for
    // it gets its turn between two days.
    DayFiles files(m_folder, day);
    if (inTransaction(
            database(), [&](QString *error) { return writeDay(files, error); }, error)) {
        return true;
    }
    if (!m_halted) {
        haltWhenBusy(error);
    }
    return false;
}

// Replaces what the index holds of a day with its files.
bool HistoryIndex::writeDay(DayFiles &files, QString *error) {
    const QSqlDatabase db = database();
    {
        // Another program may have indexed the day while this one read its files.
        QSqlQuery indexed(db);
        if (!prepare(indexed, QStringLiteral("SELECT log_stamp, journal_stamp FROM days WHERE day = ?"),
                     error) ||
            !run(indexed, {files.day()}, error)) {
            return false;
        }
        if (indexed.next() &&
            DayFiles::Stamps{indexed.value(0).toString(), indexed.value(1).toString()} == files.stamps()) {
            return true;
        }
        if (!readToEnd(indexed, error)) {
            return false;
        }
    }
    if (!dropDay(db, files.day(), error)) {
        return false;
    }
    EntryWriter writer(db);
    if (!writer.prepareAll(error)) {
        return false;
    }
    const qint64 first = firstId(files.day());
    // A day's ids end where the next day's begin; no station sends that many files a day, but a
    // journal made up to look so must not spill into another day.
    const bool written =
        files.deliver(qsizetype(1) << kIdBitsPerDay, [&](qsizetype place, const History::Entry &entry) {
            return roomFor(sizeEstimate(entry), error) && writer.write(first + place, entry, error);
        });
    if (!written) {
        return false;
    }
    QSqlQuery day(db);
    const Failure &log = files.logFailure();
    const Failure &journal = files.journalFailure();
    return prepare(day, QStringLiteral("INSERT INTO days VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"), error) &&
           run(day,
               {files.day(), text(files.stamps().log), text(files.stamps().journal), int(log.kind),
                text(log.reason), text(log.detail), int(journal.kind), text(journal.reason),
                text(journal.detail), files.entryCount()},
               error);
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
