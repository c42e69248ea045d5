#include "core/history/HistoryExport.h"

#include "core/common/SystemErrors.h"
#include "core/records/DayJournal.h"
#include "core/xls/Workbook.h"

#include <QDir>
#include <QRegularExpression>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>

namespace HistoryExport {
namespace {

using namespace UploadRecord;

// The record cells the history shows, in the order of their places.
const QList<Cell> &shownCells() {
    static const QList<Cell> cells = [] {
        QList<const Column *> shown;
        for (const Column &column : kColumns) {
            if (column.kept && column.historyPlace >= 0) {
                shown.append(&column);
            }
        }
        std::sort(shown.begin(), shown.end(),
                  [](const Column *a, const Column *b) { return a->historyPlace < b->historyPlace; });
        QList<Cell> list;
        for (const Column *column : std::as_const(shown)) {
            list.append(column->cell);
        }
        return list;
    }();
    return cells;
}

// Before the record cells: the day and the time; after them: the SHA-256.
constexpr int kFirstCellColumn = 2;

int shaColumn() {
    return kFirstCellColumn + int(shownCells().size());
}

QString csvField(const QString &cell) {
    // A cell a spreadsheet program would take for a formula (a file name from the outer network may
    // start with "=") stays text, by the journal's rule.
    QString text = DayJournal::guarded(cell);
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
        text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))) {
        text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        text = QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text;
}

// The sizes the station writes, "123 KB" in the log and "123" for a record found in the journal alone,
// in bytes; empty for any other text, whose unit is not known for sure.
QString sizeInBytes(const QString &size) {
    static const QRegularExpression kilobytes(QStringLiteral("^(\\d{1,15})(?:\\s*KB)?$"),
                                              QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = kilobytes.match(size.trimmed());
    return match.hasMatch() ? QString::number(match.captured(1).toLongLong() * 1024) : QString();
}

// Where the byte count stands in an export: right after the size it is read from.
qsizetype bytesColumn() {
    return columnOf(CellFileSize) + 1;
}

// The workbook writer puts the system's reason for a file it cannot write after its own English.
Failure xlsFailure(const QString &path, const QString &text) {
    const QString cannotWrite = QStringLiteral("Cannot write “%1”: ").arg(QDir::toNativeSeparators(path));
    if (text.startsWith(cannotWrite)) {
        return Failure::of(Failure::Kind::Write, path, text.mid(cannotWrite.size()));
    }
    return Failure::of(Failure::Kind::Write, path, QString(), text);
}

} // namespace

const QStringList &columnNames() {
    static const QStringList names = [] {
        QStringList list{QStringLiteral("日期"), QStringLiteral("时间")};
        for (const Cell cell : shownCells()) {
            list.append(QString::fromUtf16(kColumns[cell].header));
        }
        list.append(QStringLiteral("SHA-256"));
        return list;
    }();
    return names;
}

int columnOf(Cell cell) {
    const qsizetype place = shownCells().indexOf(cell);
    return place < 0 ? -1 : kFirstCellColumn + int(place);
}

QString cell(const History::Entry &entry, int column) {
    if (column == 0) {
        return entry.day;
    }
    if (column == 1) {
        return entry.time();
    }
    if (column == shaColumn()) {
        return entry.sha256;
    }
    const int place = column - kFirstCellColumn;
    return place >= 0 && place < shownCells().size() ? entry.cell(shownCells().at(place)) : QString();
}

QStringList cells(const History::Entry &entry) {
    QStringList list;
    list.reserve(shaColumn() + 1);
    for (int column = 0; column <= shaColumn(); ++column) {
        list.append(cell(entry, column));
    }
    return list;
}

const QStringList &exportColumnNames() {
    static const QStringList names = [] {
        QStringList list = columnNames();
        list.insert(bytesColumn(), QStringLiteral("字节数（约）"));
        return list;
    }();
    return names;
}

QStringList exportCells(const History::Entry &entry) {
    QStringList list = cells(entry);
    list.insert(bytesColumn(), sizeInBytes(entry.cell(CellFileSize)));
    return list;
}

QString sample(int column) {
    if (column == 0) {
        return QStringLiteral("2026-12-07");
    }
    if (column == 1) {
        return QStringLiteral("00:00:00");
    }
    if (column == shaColumn()) {
        return QStringLiteral("0123456789abcdef01234");
    }
    const int place = column - kFirstCellColumn;
    return place >= 0 && place < shownCells().size()
               ? QString::fromUtf16(kColumns[shownCells().at(place)].sample)
               : QString();
}

bool writeCsv(const QString &path, const QList<History::Entry> &entries, Failure *failure) {
    QByteArray bytes("\xEF\xBB\xBF");
    const auto appendLine = [&bytes](const QStringList &cells) {
        QStringList fields;
        for (const QString &cell : cells) {
            fields.append(csvField(cell));
        }
        bytes += fields.join(QLatin1Char(',')).toUtf8() + "\r\n";
    };
    appendLine(exportColumnNames());
    for (const History::Entry &entry : entries) {
        appendLine(exportCells(entry));
    }
    QSaveFile file(path);
    errno = 0;
    // Flushed before the commit: on a full disk the commit alone may report success.
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        !file.commit()) {
        *failure = Failure::of(Failure::Kind::Write, path, fileErrorText(file, errno));
        file.cancelWriting();
        return false;
    }
    return true;
}

bool writeXls(const QString &path, const QList<History::Entry> &entries, Failure *failure) {
    Xls::Rows rows;
    rows.reserve(entries.size() + 1);
    rows.append(exportColumnNames());
    for (const History::Entry &entry : entries) {
        rows.append(exportCells(entry));
    }
    QString reason;
    if (!Xls::writeWorkbook(path, QStringLiteral("查找结果"), rows, &reason, {int(bytesColumn())})) {
        *failure = xlsFailure(path, reason);
        return false;
    }
    return true;
}

} // namespace HistoryExport
