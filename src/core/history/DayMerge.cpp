#include "core/history/DayMerge.h"

#include "core/browse/FileList.h"
#include "core/records/DayJournal.h"

#include <QDate>
#include <QTime>
#include <limits>

namespace {

using namespace UploadRecord;

// Where the merge's fields stand in a journal line.
const qsizetype kTime = DayJournal::kColumns.indexOf(QStringLiteral("时间"));
const qsizetype kEvent = DayJournal::kColumns.indexOf(QStringLiteral("事件"));
const qsizetype kName = DayJournal::kColumns.indexOf(QStringLiteral("文件名"));
const qsizetype kDestination = DayJournal::kColumns.indexOf(QStringLiteral("目的地"));
const qsizetype kBytes = DayJournal::kColumns.indexOf(QStringLiteral("已发送字节"));
const qsizetype kSha = DayJournal::kColumns.indexOf(QStringLiteral("SHA-256"));

QString fileKey(const QString &fileName, const QString &destination) {
    return fileName + QLatin1Char('\n') + destination;
}

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

} // namespace

DayMerge::DayMerge(const QString &day, const QList<QStringList> &journal) : m_day(day) {
    for (const QStringList &line : journal) {
        if (line.value(kEvent) != QStringLiteral("完成")) {
            continue;
        }
        Completion completion{line.value(kName), line.value(kDestination), line.value(kTime),
                              line.value(kSha).toLower(), line.value(kBytes).toULongLong()};
        const QString key = fileKey(completion.fileName, completion.destination);
        auto found = m_byFile.find(key);
        if (found == m_byFile.end()) {
            m_files.append(key);
            found = m_byFile.insert(key, {});
        }
        found->append(m_completions.size());
        m_completions.append(std::move(completion));
    }
}

QList<History::Entry> DayMerge::entries(const QList<QStringList> &logRows) const {
    QList<bool> claimed(m_completions.size(), false);
    QList<History::Entry> entries;
    entries.reserve(logRows.size());
    for (const QStringList &row : logRows) {
        History::Entry entry = fromRow(row);
        if (entry.cell(CellStatus) == kStatusComplete) {
            const qsizetype closest = closestCompletion(entry, claimed);
            if (closest >= 0) {
                claimed[closest] = true;
                entry.sha256 = m_completions.at(closest).sha256;
            }
        }
        entries.append(std::move(entry));
    }
    for (const QString &key : m_files) {
        for (const qsizetype index : m_byFile.value(key)) {
            if (!claimed.at(index)) {
                entries.append(fromCompletion(m_completions.at(index)));
            }
        }
    }
    return entries;
}

History::Entry DayMerge::fromRow(const QStringList &row) const {
    History::Entry entry;
    entry.day = m_day;
    for (const Column &column : kColumns) {
        if (column.kept) {
            entry.cells[column.cell] = row.value(column.cell);
        }
    }
    return entry;
}

qsizetype DayMerge::closestCompletion(const History::Entry &entry, const QList<bool> &claimed) const {
    const auto found = m_byFile.constFind(fileKey(entry.cell(CellFileName), entry.cell(CellDestination)));
    if (found == m_byFile.constEnd()) {
        return -1;
    }
    qsizetype best = -1;
    qint64 bestDistance = 0;
    for (const qsizetype index : *found) {
        const qint64 distance = secondsBetween(m_completions.at(index).time, entry.cell(CellFinishTime));
        if (!claimed.at(index) && (best < 0 || distance < bestDistance)) {
            best = index;
            bestDistance = distance;
        }
    }
    return best;
}

History::Entry DayMerge::fromCompletion(const Completion &completion) const {
    History::Entry entry;
    entry.day = m_day;
    entry.cells[CellFileName] = completion.fileName;
    entry.cells[CellDestination] = completion.destination;
    entry.cells[CellStatus] = kStatusComplete;
    entry.cells[CellFileSize] = FileList::sizeText(qint64(completion.bytes));
    entry.cells[CellFinishTime] = completion.time;
    entry.sha256 = completion.sha256;
    entry.journalOnly = true;
    return entry;
}
