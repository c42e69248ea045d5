#include "core/records/RecordLog.h"

#include "core/common/Clock.h"
#include "core/common/Paths.h"
#include "core/common/SystemErrors.h"
#include "core/records/UploadTable.h"
#include "core/xls/Workbook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <utility>

namespace {

using UploadRecord::kCellCount;

Failure missingColumn(const QString &path, int cell) {
    return Failure::of(
        Failure::Kind::Format, path,
        QStringLiteral("工作表 %1 中没有“%2”列").arg(RecordLog::kSheetName, RecordLog::kColumnNames[cell]));
}

} // namespace

bool RecordLog::readRecords(const QString &path, QList<QStringList> *records, Failure *failure) {
    *failure = {};
    QByteArray bytes;
    if (!Xls::readFile(path, &bytes, failure)) {
        return false;
    }
    // The sheet comes row by row and only the cells the table takes are kept, so loading a log costs
    // no more memory than the table it fills. sources[cell]: the cell's column in the sheet, or -1.
    std::array<qsizetype, kCellCount> sources;
    sources.fill(-1);
    bool header = true;
    const auto takeRow = [&](const QStringList &row, QString *) {
        if (header) {
            header = false;
            for (const UploadRecord::Column &column : UploadRecord::kColumns) {
                // The sequence number is not read back, as rows are renumbered in file order.
                if (column.cell != UploadRecord::CellSequence) {
                    sources[column.cell] = row.indexOf(kColumnNames[column.cell]);
                }
                if (column.required && sources[column.cell] < 0) {
                    *failure = missingColumn(path, column.cell);
                    return false;
                }
            }
            return true;
        }
        QStringList record;
        record.reserve(kCellCount);
        for (const qsizetype source : sources) {
            record.append(source < 0 ? QString() : row.value(source));
        }
        records->append(record);
        return true;
    };
    QString reason;
    if (!Xls::forEachRowInBytes(std::move(bytes), kSheetName, takeRow, &reason)) {
        if (!failure->failed()) {
            *failure = Failure::of(Failure::Kind::Format, path, QStringLiteral("不是可读的记录表"), reason);
        }
        records->clear();
        return false;
    }
    if (header) {
        // An empty sheet has no header row either.
        *failure = missingColumn(path, UploadRecord::CellFileName);
        return false;
    }
    return true;
}

namespace {

// A free name beside the day's file for keeping a copy of it that must not be overwritten: "2024-03-05-
// unreadable-083000.xls" (why, then the time), with a counter added should that name be taken as well.
QString keepAsideName(const QString &path, const QString &why, const QString &timeText) {
    const QString stem = path.chopped(4) + QLatin1Char('-') + why + QLatin1Char('-') + timeText;
    QString name = stem + QStringLiteral(".xls");
    for (int n = 2; QFileInfo::exists(name); ++n) {
        name = stem + QStringLiteral("-%1.xls").arg(n);
    }
    return name;
}

// The workbook writer names the file and gives the system's reason in the operator's words; anything
// else it says (a limit of the format) is its own account, for a line of its own.
Failure writeFailureOf(const QString &path, const QString &error) {
    const QString named = QStringLiteral("Cannot write “%1”: ").arg(QDir::toNativeSeparators(path));
    if (error.startsWith(named)) {
        return Failure::of(Failure::Kind::Write, path, error.mid(named.size()));
    }
    return Failure::of(Failure::Kind::Write, path, QString(), error);
}

bool writeWorkbook(const QString &path, const QList<QStringList> &rows, QString *error) {
    return Xls::writeWorkbook(path, RecordLog::kSheetName, rows, error);
}

} // namespace

RecordLog::RecordLog(UploadTable &table, const Clock &clock)
    : m_table(table), m_clock(clock), m_writer(writeWorkbook) {}

QString RecordLog::findExcelDriver() const {
    return QStringLiteral("Brelvantis BIFF8 workbook (built in)");
}

bool RecordLog::writeRecordLogSoon() {
    // A log that failed is never left waiting: whoever asks learns at once whether it can be written.
    if (m_written && !m_writeFailure.failed() && m_clock.monotonicMs() - m_lastWriteMs < m_windowMs) {
        m_pending = true;
        return true;
    }
    return writeRecordLog();
}

bool RecordLog::flushRecordLog() {
    return !m_pending || writeRecordLog();
}

qint64 RecordLog::msUntilDue() const {
    if (!m_pending) {
        return 0;
    }
    return qMax<qint64>(0, m_lastWriteMs + m_windowMs - m_clock.monotonicMs());
}

bool RecordLog::writeRecordLog() {
    // Before the start-up load there is no day's file to write to.
    if (m_path.isEmpty()) {
        m_writeFailure = Failure::of(Failure::Kind::Write, dayPath(QString(), m_clock.dateText()),
                                     QStringLiteral("记录目录尚未设置"));
        return false;
    }
    // The whole table is written: whatever was pending is in this write (or, if it fails, the next).
    m_written = true;
    m_lastWriteMs = m_clock.monotonicMs();
    m_pending = true;
    if (!m_keptAside.isEmpty()) {
        // Nothing is written while the file there cannot be moved out of the way.
        QFile there(m_path);
        errno = 0;
        if (QFileInfo(m_path).isFile() && !there.rename(m_keptAside)) {
            m_writeFailure = Failure::of(Failure::Kind::Move, m_path, fileErrorText(there, errno));
            return false;
        }
        m_keptAside.clear();
    }
    Xls::Rows rows;
    rows.reserve(m_table.rowCount() + 1);
    rows.append(kColumnNames);
    for (int row = 0; row < m_table.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < kCellCount; ++column) {
            cells.append(m_table.cell(row, column));
        }
        rows.append(cells);
    }
    QString error;
    if (!m_writer(m_path, rows, &error)) {
        m_writeFailure = writeFailureOf(m_path, error);
        return false;
    }
    m_writeFailure = {};
    m_pending = false;
    return true;
}

bool RecordLog::moveTo(const QString &recordFolder) {
    const QString path = dayPath(recordFolder, m_day);
    if (m_path.isEmpty() || path == m_path) {
        return true;
    }
    const QFileInfo there(path);
    const bool sameFile =
        there.exists() && there.canonicalFilePath() == QFileInfo(m_path).canonicalFilePath();
    // A file of the day already in the new folder (another station's, or one this station left there
    // earlier) is kept: the table replaces it only under its own name.
    m_path = path;
    m_keptAside = there.isFile() && !sameFile
                      ? keepAsideName(path, QStringLiteral("replaced"),
                                      m_clock.now().toString(QStringLiteral("HHmmss")))
                      : QString();
    return writeRecordLog();
}

QString RecordLog::dayPath(const QString &recordFolder, const QString &day) {
    const QString name = day + QStringLiteral(".xls");
    return recordFolder.isEmpty() ? name : Paths::join(recordFolder, name);
}

bool RecordLog::loadRecordLog(const QString &recordFolder, Notice *notice) {
    m_day = m_clock.dateText();
    m_path = dayPath(recordFolder, m_day);
    m_keptAside.clear();
    if (!QFileInfo::exists(m_path)) {
        return true;
    }

    if (findExcelDriver().isEmpty()) {
        if (notice) {
            *notice = Notice{QString(), kNoDriverText};
        }
        return false;
    }
    // The whole file is read and checked before the table is touched, so a bad file never leaves the
    // table half filled.
    QList<QStringList> records;
    Failure failure;
    if (!readRecords(m_path, &records, &failure)) {
        // The reader's own words, if any, go last, on a line of their own.
        const QString detail = std::exchange(failure.detail, QString());
        QString text = kDatabaseErrorPrefix + failure.sentence();
        // The file may still hold the day's queue (a spreadsheet program may have saved it in a form
        // this reader does not take); the table's next write must not destroy it.
        if (QFileInfo(m_path).isFile()) {
            m_keptAside = keepAsideName(m_path, QStringLiteral("unreadable"),
                                        m_clock.now().toString(QStringLiteral("HHmmss")));
            text += QStringLiteral("\n原记录文件将保留为“%1”。").arg(QDir::toNativeSeparators(m_keptAside));
        }
        if (!detail.isEmpty()) {
            text += QLatin1Char('\n') + detail;
        }
        if (notice) {
            *notice = Notice{QString(), text};
        }
        return false;
    }
    m_table.removeAll();
    for (const QStringList &record : records) {
        const int row = m_table.appendRow(QString::number(m_table.rowCount() + 1));
        for (int column = UploadRecord::CellFileName; column < kCellCount; ++column) {
            m_table.setCell(row, column, record[column]);
        }
    }
    return true;
}
