#include "core/history/HistoryIndex.h"

#include "core/browse/FileList.h"
#include "core/common/Paths.h"
#include "core/records/DayJournal.h"
#include "core/records/RecordLog.h"
#include "core/records/UploadRecord.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <thread>

namespace {

// Raised whenever the tables change meaning; an index of another version is built again.
constexpr int kSchemaVersion = 2;

const char *const kSchema[] = {
    // One row per day with files: what was indexed (size and time of each file, empty when the day
    // has no such file) and why a file could not be read.
    "CREATE TABLE days(day TEXT PRIMARY KEY, log_stamp TEXT NOT NULL, journal_stamp TEXT NOT NULL,"
    " log_error TEXT NOT NULL, journal_error TEXT NOT NULL, entries INTEGER NOT NULL)",
    // The records; the id tells the day and the place in the day (see firstId). A SHA-256 is kept as
    // its 32 bytes, and NULL when none was journalled.
    "CREATE TABLE entries(id INTEGER PRIMARY KEY, status TEXT NOT NULL, name TEXT NOT NULL,"
    " size TEXT NOT NULL, destination INTEGER NOT NULL, start TEXT NOT NULL, finish TEXT NOT NULL,"
    " sha256 BLOB, journal_only INTEGER NOT NULL)",
    "CREATE INDEX entries_by_destination ON entries(destination, id)",
    "CREATE INDEX entries_by_sha256 ON entries(sha256) WHERE sha256 IS NOT NULL",
    // The file names, case-folded, in a table of their own: a search reads this narrow table through
    // rather than the records.
    "CREATE TABLE names(id INTEGER PRIMARY KEY, key TEXT NOT NULL)",
    // The destinations, which repeat from record to record, once each.
    "CREATE TABLE destinations(id INTEGER PRIMARY KEY, text TEXT NOT NULL UNIQUE, key TEXT NOT NULL)",
};

const char *const kEntryColumns = "e.id, e.status, e.name, e.size, d.text, e.start, e.finish, e.sha256,"
                                  " e.journal_only";

constexpr int kIdBitsPerDay = 24;

// Records of a day get ids from the day's number upwards, so ids sort by day and a day's records are
// one range of ids.
qint64 firstId(const QString &day) {
    return QDate::fromString(day, QStringLiteral("yyyy-MM-dd")).toJulianDay() << kIdBitsPerDay;
}

qint64 lastId(const QString &day) {
    return firstId(day) + (qint64(1) << kIdBitsPerDay) - 1;
}

// Size and modification time of a file, empty text when there is no file.
QString stampOf(const QFileInfo &file) {
    if (!file.isFile()) {
        return QString();
    }
    return QStringLiteral("%1:%2").arg(file.size()).arg(file.lastModified().toMSecsSinceEpoch());
}

// Qt binds a null text as NULL; the columns hold empty texts instead.
QVariant text(const QString &value) {
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

QString timeOf(const QString &timestamp) {
    const qsizetype space = timestamp.indexOf(QLatin1Char(' '));
    return space < 0 ? timestamp : timestamp.mid(space + 1);
}

bool isHex(const QString &text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
               (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
    });
}

// A SHA-256 search needs this many hexadecimal digits; fewer find too much to mean anything.
constexpr int kMinShaPrefix = 4;

QString sqlError(const QSqlQuery &query) {
    return query.lastError().text();
}

bool exec(QSqlDatabase &db, const QString &statement, QString *error) {
    QSqlQuery query(db);
    if (!query.exec(statement)) {
        if (error) {
            *error = sqlError(query);
        }
        return false;
    }
    return true;
}

// The journal's completions of one day, found for the rows of its log by file name and destination.
struct Completion {
    QString time; // "YYYY-MM-DD HH:MM:SS"
    QString sha256;
    quint64 bytes = 0;
    bool used = false;
};

// Seconds since the start of the Julian calendar of a time stamp "YYYY-MM-DD HH:MM:SS", -1 when it is
// none; read as it is written, without time zones (which cost a look at the system's zone each time).
qint64 secondsOf(const QString &timestamp) {
    const QDate date = QDate::fromString(QStringView(timestamp).left(10), u"yyyy-MM-dd");
    const QTime time = QTime::fromString(QStringView(timestamp).mid(11), u"HH:mm:ss");
    if (timestamp.size() != 19 || !date.isValid() || !time.isValid()) {
        return -1;
    }
    return date.toJulianDay() * 86400 + time.msecsSinceStartOfDay() / 1000;
}

qint64 secondsBetween(const QString &a, const QString &b) {
    if (a == b) {
        return 0;
    }
    const qint64 x = secondsOf(a);
    const qint64 y = secondsOf(b);
    return x < 0 || y < 0 ? std::numeric_limits<qint64>::max() : qAbs(x - y);
}

// The records of one day: the log's rows, each given the SHA-256 of the journalled completion closest
// to its finish time, then the completions no row claimed.
QList<History::Entry> combine(const QString &day, const QList<QStringList> &logRows,
                              const QList<QStringList> &journal) {
    enum JournalField { Time = 0, Event = 1, Name = 2, Destination = 3, Bytes = 6, Sha = 9 };
    QHash<QString, QList<Completion>> completions;
    QStringList order; // keys in journal order, for the completions no row claims
    for (const QStringList &line : journal) {
        if (line.at(Event) != QStringLiteral("完成")) {
            continue;
        }
        const QString key = line.at(Name) + QLatin1Char('\n') + line.at(Destination);
        if (!completions.contains(key)) {
            order.append(key);
        }
        completions[key].append({line.at(Time), line.at(Sha).toLower(), line.at(Bytes).toULongLong(), false});
    }

    QList<History::Entry> entries;
    entries.reserve(logRows.size());
    for (const QStringList &row : logRows) {
        // Cells 1 to 6 of the log: name, size, destination, status, start, finish.
        History::Entry entry;
        entry.day = day;
        entry.fileName = row.value(0);
        entry.fileSize = row.value(1);
        entry.destination = row.value(2);
        entry.status = row.value(3);
        entry.startTime = row.value(4);
        entry.finishTime = row.value(5);
        entry.time = timeOf(entry.finishTime.isEmpty() ? entry.startTime : entry.finishTime);
        if (entry.status == UploadRecord::kStatusComplete) {
            auto found = completions.find(entry.fileName + QLatin1Char('\n') + entry.destination);
            if (found != completions.end()) {
                Completion *best = nullptr;
                qint64 bestDistance = 0;
                for (Completion &candidate : *found) {
                    const qint64 distance = secondsBetween(candidate.time, entry.finishTime);
                    if (!candidate.used && (!best || distance < bestDistance)) {
                        best = &candidate;
                        bestDistance = distance;
                    }
                }
                if (best) {
                    best->used = true;
                    entry.sha256 = best->sha256;
                }
            }
        }
        entries.append(entry);
    }
    for (const QString &key : std::as_const(order)) {
        const qsizetype split = key.indexOf(QLatin1Char('\n'));
        for (const Completion &completion : std::as_const(completions[key])) {
            if (completion.used) {
                continue;
            }
            History::Entry entry;
            entry.day = day;
            entry.fileName = key.left(split);
            entry.destination = key.mid(split + 1);
            entry.status = UploadRecord::kStatusComplete;
            entry.fileSize = FileList::sizeText(qint64(completion.bytes));
            entry.finishTime = completion.time;
            entry.time = timeOf(completion.time);
            entry.sha256 = completion.sha256;
            entry.journalOnly = true;
            entries.append(entry);
        }
    }
    return entries;
}

History::Entry entryFrom(const QSqlQuery &query) {
    History::Entry entry;
    entry.day = QDate::fromJulianDay(query.value(0).toLongLong() >> kIdBitsPerDay).toString(u"yyyy-MM-dd");
    entry.status = query.value(1).toString();
    entry.fileName = query.value(2).toString();
    entry.fileSize = query.value(3).toString();
    entry.destination = query.value(4).toString();
    entry.startTime = query.value(5).toString();
    entry.finishTime = query.value(6).toString();
    entry.time = timeOf(entry.finishTime.isEmpty() ? entry.startTime : entry.finishTime);
    entry.sha256 = QString::fromLatin1(query.value(7).toByteArray().toHex());
    entry.journalOnly = query.value(8).toBool();
    return entry;
}

} // namespace

QString History::Day::problem() const {
    QStringList lines;
    if (!logError.isEmpty()) {
        lines.append(QStringLiteral("无法读取 %1：%2").arg(QFileInfo(logPath).fileName(), logError));
    }
    if (!journalError.isEmpty()) {
        lines.append(
            QStringLiteral("无法读取 %1：%2").arg(QDir::toNativeSeparators(journalPath), journalError));
    }
    return lines.join(QLatin1Char('\n'));
}

HistoryIndex::HistoryIndex() {
    static std::atomic<int> counter{0};
    m_connection = QStringLiteral("brelvantis-history-%1").arg(++counter);
}

HistoryIndex::~HistoryIndex() {
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

bool HistoryIndex::open(const QString &recordFolder, QString *error) {
    m_folder = recordFolder;
    m_indexPath.clear();
    m_storageProblem.clear();
    if (!QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    }
    if (!QSqlDatabase::database(m_connection, false).isValid()) {
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
        QSqlDatabase::database(m_connection, false).close();
        if (QFile::remove(path) && openDatabase(path, &problem)) {
            m_indexPath = path;
            return true;
        }
    }
    return fallBackToMemory(problem, error);
}

bool HistoryIndex::fallBackToMemory(const QString &why, QString *error) {
    m_indexPath.clear();
    m_storageProblem = QStringLiteral("历史索引无法保存在记录文件夹（%1），本次在内存中建立。").arg(why);
    return openDatabase(QStringLiteral(":memory:"), error);
}

namespace {

// A write-ahead log makes a day's commit one write instead of several synchronised ones, and lets a
// reader search while a day is written. Where the file system cannot share the log's memory (a network
// share) SQLite keeps its rollback journal, which is only slower.
// SQLITE_CORRUPT and SQLITE_NOTADB: the file is no index (any more).
bool isDamage(const QSqlError &error) {
    return error.nativeErrorCode() == QLatin1String("11") || error.nativeErrorCode() == QLatin1String("26");
}

bool tune(QSqlDatabase &db, QString *error) {
    QSqlQuery mode(db);
    mode.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    // A year of records makes indexes far larger than SQLite's default cache of 2 MiB; a day's
    // records go to places all over them.
    return exec(db, QStringLiteral("PRAGMA synchronous=NORMAL"), error) &&
           exec(db, QStringLiteral("PRAGMA cache_size=-65536"), error);
}

} // namespace

bool HistoryIndex::openDatabase(const QString &path, QString *error) {
    m_damaged = false;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    db.close();
    db.setDatabaseName(path);
    // Another program (brelvantis-log find) may be writing a day into the same index.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        *error = db.lastError().text();
        return false;
    }
    QSqlQuery version(db);
    if (!version.exec(QStringLiteral("PRAGMA user_version")) || !version.next()) {
        *error = sqlError(version);
        m_damaged = isDamage(version.lastError());
        db.close();
        return false;
    }
    if (version.value(0).toInt() == kSchemaVersion) {
        // Reading the days proves the file is a database this index can use.
        // Setting the version again proves it can be written as well (not so in a read-only folder).
        QSqlQuery check(db);
        if (check.exec(QStringLiteral("SELECT count(*) FROM days"))) {
            if (exec(db, QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion), error)) {
                return tune(db, error);
            }
            db.close();
            return false;
        }
        *error = sqlError(check);
        m_damaged = isDamage(check.lastError());
        db.close();
        return false;
    }
    if (!createSchema(error) || !tune(db, error)) {
        db.close();
        return false;
    }
    return true;
}

bool HistoryIndex::createSchema(QString *error) {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    bool done = true;
    for (const char *table : {"days", "entries", "names", "destinations"}) {
        done = done && exec(db, QStringLiteral("DROP TABLE IF EXISTS %1").arg(QLatin1String(table)), error);
    }
    for (const char *statement : kSchema) {
        done = done && exec(db, QLatin1String(statement), error);
    }
    done = done && exec(db, QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion), error);
    if (!done || !db.commit()) {
        if (done) {
            *error = db.lastError().text();
        }
        db.rollback();
        return false;
    }
    return true;
}

QStringList HistoryIndex::staleDays() {
    static const QRegularExpression dayFile(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})\\.(xls|journal\\.tsv)$"));
    struct Stamps {
        QString log;
        QString journal;
    };
    QHash<QString, Stamps> onDisk;
    const QDir folder(m_folder.isEmpty() ? QStringLiteral(".") : m_folder);
    const QFileInfoList files =
        folder.entryInfoList({QStringLiteral("*.xls"), QStringLiteral("*.journal.tsv")}, QDir::Files);
    for (const QFileInfo &file : files) {
        const QRegularExpressionMatch match = dayFile.match(file.fileName());
        if (!match.hasMatch() ||
            !QDate::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd")).isValid()) {
            continue;
        }
        Stamps &stamps = onDisk[match.captured(1)];
        (match.captured(2) == QStringLiteral("xls") ? stamps.log : stamps.journal) = stampOf(file);
    }

    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QStringList stale;
    QStringList gone;
    QSqlQuery indexed(db);
    indexed.setForwardOnly(true);
    QSet<QString> known;
    if (indexed.exec(QStringLiteral("SELECT day, log_stamp, journal_stamp FROM days"))) {
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
    }
    for (auto it = onDisk.constBegin(); it != onDisk.constEnd(); ++it) {
        if (!known.contains(it.key())) {
            stale.append(it.key());
        }
    }
    if (!gone.isEmpty() && db.transaction()) {
        QSqlQuery remove(db);
        for (const QString &day : std::as_const(gone)) {
            for (const char *table : {"entries", "names"}) {
                remove.prepare(
                    QStringLiteral("DELETE FROM %1 WHERE id BETWEEN ? AND ?").arg(QLatin1String(table)));
                remove.addBindValue(firstId(day));
                remove.addBindValue(lastId(day));
                remove.exec();
            }
            remove.prepare(QStringLiteral("DELETE FROM days WHERE day = ?"));
            remove.addBindValue(day);
            remove.exec();
        }
        db.commit();
    }
    std::sort(stale.begin(), stale.end(), std::greater<>());
    return stale;
}

bool HistoryIndex::indexDay(const QString &day, QString *error) {
    QString ignored;
    error = error ? error : &ignored;
    // The files' stamps are taken before they are read, so a change while reading is seen next time.
    const QFileInfo logFile(RecordLog::dayPath(m_folder, day));
    const QFileInfo journalFile(DayJournal::dayPath(m_folder, day));
    const QString logStamp = stampOf(logFile);
    const QString journalStamp = stampOf(journalFile);
    QList<QStringList> logRows;
    QList<QStringList> journal;
    QString logError;
    QString journalError;
    if (!logStamp.isEmpty() && !RecordLog::readRecords(logFile.filePath(), &logRows, &logError)) {
        logRows.clear();
        // The reader's own account (which names the file) follows in brackets.
        logError = QStringLiteral("不是可读的记录表（%1）").arg(logError);
    }
    if (!journalStamp.isEmpty() && !DayJournal::readFile(journalFile.filePath(), &journal, &journalError)) {
        journal.clear();
    }
    QList<History::Entry> entries = combine(day, logRows, journal);
    // A day's ids end where the next day's begin; no station sends that many files a day, but a
    // journal made up to look so must not spill into another day.
    constexpr qsizetype kMaxEntries = (qsizetype(1) << kIdBitsPerDay) - 1;
    if (entries.size() > kMaxEntries) {
        entries.resize(kMaxEntries);
        journalError = QStringLiteral("记录过多，只收录了前 %1 条").arg(kMaxEntries);
    }

    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    bool done = true;
    QSqlQuery query(db);
    for (const char *table : {"entries", "names"}) {
        query.prepare(QStringLiteral("DELETE FROM %1 WHERE id BETWEEN ? AND ?").arg(QLatin1String(table)));
        query.addBindValue(firstId(day));
        query.addBindValue(lastId(day));
        done = done && query.exec();
    }
    QHash<QString, qint64> destinations;
    QSqlQuery addDestination(db);
    addDestination.prepare(QStringLiteral("INSERT OR IGNORE INTO destinations(text, key) VALUES(?, ?)"));
    QSqlQuery findDestination(db);
    findDestination.prepare(QStringLiteral("SELECT id FROM destinations WHERE text = ?"));
    QSqlQuery addEntry(db);
    addEntry.prepare(QStringLiteral("INSERT INTO entries VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    QSqlQuery addName(db);
    addName.prepare(QStringLiteral("INSERT INTO names VALUES(?, ?)"));
    qint64 id = firstId(day);
    for (const History::Entry &entry : entries) {
        if (!done) {
            break;
        }
        auto destination = destinations.find(entry.destination);
        if (destination == destinations.end()) {
            addDestination.bindValue(0, text(entry.destination));
            addDestination.bindValue(1, text(entry.destination.toCaseFolded()));
            findDestination.bindValue(0, text(entry.destination));
            done = addDestination.exec() && findDestination.exec() && findDestination.next();
            if (!done) {
                break;
            }
            destination = destinations.insert(entry.destination, findDestination.value(0).toLongLong());
            findDestination.finish();
        }
        const QByteArray sha256 = QByteArray::fromHex(entry.sha256.toLatin1());
        const QVariantList values = {id,
                                     text(entry.status),
                                     text(entry.fileName),
                                     text(entry.fileSize),
                                     *destination,
                                     text(entry.startTime),
                                     text(entry.finishTime),
                                     sha256.size() == 32 ? QVariant(sha256)
                                                         : QVariant(QMetaType(QMetaType::QByteArray)),
                                     entry.journalOnly};
        for (int i = 0; i < values.size(); ++i) {
            addEntry.bindValue(i, values.at(i));
        }
        addName.bindValue(0, id);
        addName.bindValue(1, text(entry.fileName.toCaseFolded()));
        done = addEntry.exec() && addName.exec();
        ++id;
    }
    query.prepare(QStringLiteral("INSERT OR REPLACE INTO days VALUES(?, ?, ?, ?, ?, ?)"));
    for (const QVariant &value : QVariantList{day, text(logStamp), text(journalStamp), text(logError),
                                              text(journalError), entries.size()}) {
        query.addBindValue(value);
    }
    done = done && query.exec();
    if (!done || !db.commit()) {
        *error = db.lastError().text();
        for (const QSqlQuery *failed : {&query, &addDestination, &findDestination, &addEntry, &addName}) {
            if (failed->lastError().isValid()) {
                *error = sqlError(*failed);
            }
        }
        db.rollback();
        return false;
    }
    return true;
}

bool HistoryIndex::update(const std::function<bool(int, int, const QString &)> &onDay, QString *error) {
    const QStringList stale = staleDays();
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

QList<History::Day> HistoryIndex::days() const {
    QList<History::Day> days;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT day, log_stamp, journal_stamp, log_error, journal_error, entries"
                                   " FROM days ORDER BY day DESC"))) {
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
        day.logError = query.value(3).toString();
        day.journalError = query.value(4).toString();
        day.entryCount = query.value(5).toInt();
        days.append(day);
    }
    return days;
}

QList<History::Entry> HistoryIndex::dayEntries(const QString &day) const {
    QList<History::Entry> entries;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 FROM entries e JOIN destinations d ON d.id = e.destination"
                                 " WHERE e.id BETWEEN ? AND ? ORDER BY e.id")
                      .arg(QLatin1String(kEntryColumns)));
    query.addBindValue(firstId(day));
    query.addBindValue(lastId(day));
    if (query.exec()) {
        while (query.next()) {
            entries.append(entryFrom(query));
        }
    }
    return entries;
}

namespace {

// The ids of the names from first to last containing key, newest first, at most limit of them.
QList<qint64> scanNames(const QSqlDatabase &db, const QString &key, qint64 first, qint64 last, int limit,
                        QString *error) {
    QList<qint64> ids;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral(
        "SELECT id FROM names WHERE id BETWEEN ? AND ? AND instr(key, ?) > 0 ORDER BY id DESC LIMIT ?"));
    query.addBindValue(first);
    query.addBindValue(last);
    query.addBindValue(key);
    query.addBindValue(limit);
    if (!query.exec()) {
        *error = sqlError(query);
        return ids;
    }
    while (query.next()) {
        ids.append(query.value(0).toLongLong());
    }
    return ids;
}

} // namespace

QList<qint64> HistoryIndex::matchingNames(const QString &key, int limit, QString *error) const {
    // Reading every name is most of a search's time, so an index in a file is read in two halves at
    // once, the older half through a second connection on a thread of its own.
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    constexpr qint64 kAll = std::numeric_limits<qint64>::max();
    qint64 split = 0;
    if (!m_indexPath.isEmpty()) {
        QSqlQuery days(db);
        days.setForwardOnly(true);
        qint64 total = 0;
        QList<std::pair<QString, qint64>> counts;
        if (days.exec(QStringLiteral("SELECT day, entries FROM days ORDER BY day DESC"))) {
            while (days.next()) {
                counts.append({days.value(0).toString(), days.value(1).toLongLong()});
                total += counts.last().second;
            }
        }
        qint64 newer = 0;
        for (const auto &[day, count] : std::as_const(counts)) {
            newer += count;
            if (newer * 2 >= total) {
                split = firstId(day);
                break;
            }
        }
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

History::SearchResult HistoryIndex::search(const QString &text, int limit) const {
    History::SearchResult result;
    result.text = text;
    const QString key = text.trimmed().toCaseFolded();
    if (key.isEmpty() || limit <= 0) {
        return result;
    }
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    // Each kind of match gives at most limit + 1 ids, newest first; together they tell whether more
    // than limit records match.
    QList<qint64> ids;
    const auto failed = [&result](const QSqlQuery &query) {
        if (result.error.isEmpty()) {
            result.error = QStringLiteral("历史索引无法查找：") + sqlError(query);
        }
    };
    const auto collect = [&ids, &failed](QSqlQuery &query) {
        query.setForwardOnly(true);
        if (!query.exec()) {
            failed(query);
            return;
        }
        while (query.next()) {
            ids.append(query.value(0).toLongLong());
        }
    };
    QString namesError;
    ids = matchingNames(key, limit + 1, &namesError);
    if (!namesError.isEmpty()) {
        result.error = QStringLiteral("历史索引无法查找：") + namesError;
    }

    QSqlQuery destinations(db);
    destinations.setForwardOnly(true);
    destinations.prepare(QStringLiteral("SELECT id FROM destinations WHERE instr(key, ?) > 0"));
    destinations.addBindValue(key);
    QList<qint64> destinationIds;
    if (!destinations.exec()) {
        failed(destinations);
    }
    while (destinations.next()) {
        destinationIds.append(destinations.value(0).toLongLong());
    }
    for (const qint64 destination : std::as_const(destinationIds)) {
        QSqlQuery byDestination(db);
        byDestination.prepare(
            QStringLiteral("SELECT id FROM entries WHERE destination = ? ORDER BY id DESC LIMIT ?"));
        byDestination.addBindValue(destination);
        byDestination.addBindValue(limit + 1);
        collect(byDestination);
    }

    if (key.size() >= kMinShaPrefix && key.size() <= 64 && isHex(key)) {
        QSqlQuery bySha(db);
        // The SHA-256s from the prefix followed by zeros to the prefix followed by f's.
        bySha.prepare(
            QStringLiteral("SELECT id FROM entries WHERE sha256 BETWEEN ? AND ? ORDER BY id DESC LIMIT ?"));
        bySha.addBindValue(QByteArray::fromHex(key.leftJustified(64, QLatin1Char('0')).toLatin1()));
        bySha.addBindValue(QByteArray::fromHex(key.leftJustified(64, QLatin1Char('f')).toLatin1()));
        bySha.addBindValue(limit + 1);
        collect(bySha);
    }

    std::sort(ids.begin(), ids.end(), std::greater<>());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    result.truncated = ids.size() > limit;
    ids.resize(qMin<qsizetype>(ids.size(), limit));

    // The records themselves, a few hundred ids per statement (ids are numbers: safe to write out).
    constexpr qsizetype kChunk = 500;
    result.entries.reserve(ids.size());
    for (qsizetype start = 0; start < ids.size(); start += kChunk) {
        QStringList list;
        for (qsizetype i = start; i < qMin(start + kChunk, ids.size()); ++i) {
            list.append(QString::number(ids.at(i)));
        }
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT %1 FROM entries e JOIN destinations d ON d.id = e.destination"
                                       " WHERE e.id IN (%2) ORDER BY e.id DESC")
                            .arg(QLatin1String(kEntryColumns), list.join(QLatin1Char(','))))) {
            failed(query);
        }
        while (query.next()) {
            result.entries.append(entryFrom(query));
        }
    }
    return result;
}
