#include "core/records/RecordLog.h"

#include "core/common/Clock.h"
#include "core/common/Paths.h"
#include "core/records/UploadTable.h"
#include "core/xls/Workbook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr int kFirstReadCell = UploadRecord::CellFileName;

} // namespace

// The sequence number is not read back, as rows are renumbered in file order.
bool RecordLog::readRecords(const QString &path, QList<QStringList> *records, QString *error) {
    // The sheet comes row by row and only the cells the table takes are kept, so loading a log costs
    // no more memory than the table it fills.
    QList<qsizetype> sources;
    bool header = true;
    const auto takeRow = [path, records, &sources, &header](const QStringList &row, QString *reason) {
        if (header) {
            header = false;
            for (int column = kFirstReadCell; column < UploadRecord::kCellCount; ++column) {
                const QString &name = RecordLog::kColumnNames[column];
                const qsizetype source = row.indexOf(name);
                if (source < 0) {
                    *reason = QStringLiteral("“%1”: the sheet %2 has no column “%3”.")
                                  .arg(QDir::toNativeSeparators(path), RecordLog::kSheetName, name);
                    return false;
                }
                sources.append(source);
            }
            return true;
        }
        QStringList record;
        record.reserve(sources.size());
        for (const qsizetype source : std::as_const(sources)) {
            record.append(row.value(source));
        }
        records->append(record);
        return true;
    };
    if (!Xls::forEachRow(path, RecordLog::kSheetName, takeRow, error)) {
        return false;
    }
    if (header) {
        // An empty sheet has no header row either.
        *error = QStringLiteral("“%1”: the sheet %2 has no column “%3”.")
                     .arg(QDir::toNativeSeparators(path), RecordLog::kSheetName,
                          RecordLog::kColumnNames[kFirstReadCell]);
        return false;
    }
    return true;
}

namespace {

// A free name beside the day's file for keeping an unreadable copy of it: "2024-03-05-unreadable-
// 083000.xls", with a counter added should that name be taken as well.
QString keepAsideName(const QString &path, const QString &timeText) {
    const QString stem = path.chopped(4) + QStringLiteral("-unreadable-") + timeText;
    QString name = stem + QStringLiteral(".xls");
    for (int n = 2; QFileInfo::exists(name); ++n) {
        name = stem + QStringLiteral("-%1.xls").arg(n);
    }
    return name;
}

} // namespace

RecordLog::RecordLog(UploadTable &table, const Clock &clock) : m_table(table), m_clock(clock) {}

QString RecordLog::findExcelDriver() const {
    return QStringLiteral("Brelvantis BIFF8 workbook (built in)");
}

bool RecordLog::writeRecordLogSoon() {
    if (m_written && m_clock.monotonicMs() - m_lastWriteMs < m_windowMs) {
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
        return false;
    }
    // The whole table is written: whatever was pending is in this write (or, if it fails, the next).
    m_written = true;
    m_lastWriteMs = m_clock.monotonicMs();
    m_pending = false;
    if (!m_keptAside.isEmpty()) {
        // Nothing is written while the unreadable file cannot be moved out of the way.
        if (QFileInfo(m_path).isFile() && !QFile::rename(m_path, m_keptAside)) {
            return false;
        }
        m_keptAside.clear();
    }
    Xls::Rows rows;
    rows.reserve(m_table.rowCount() + 1);
    rows.append(kColumnNames);
    for (int row = 0; row < m_table.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < UploadRecord::kCellCount; ++column) {
            cells.append(m_table.cell(row, column));
        }
        rows.append(cells);
    }
    const bool written = Xls::writeWorkbook(m_path, kSheetName, rows);
    m_pending = !written;
    return written;
}

QString RecordLog::dayPath(const QString &recordFolder, const QString &day) {
    const QString name = day + QStringLiteral(".xls");
    return recordFolder.isEmpty() ? name : Paths::join(recordFolder, name);
}

bool RecordLog::loadRecordLog(const QString &recordFolder, Notice *notice) {
    m_path = dayPath(recordFolder, m_clock.dateText());
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
    Xls::Rows records;
    QString error;
    if (!readRecords(m_path, &records, &error)) {
        // The file may still hold the day's queue (a spreadsheet program may have saved it in a form
        // this reader does not take); the table's next write must not destroy it.
        if (QFileInfo(m_path).isFile()) {
            m_keptAside = keepAsideName(m_path, m_clock.now().toString(QStringLiteral("HHmmss")));
            error += QStringLiteral("\n原记录文件将保留为“%1”。").arg(QDir::toNativeSeparators(m_keptAside));
        }
        if (notice) {
            *notice = Notice{QString(), kDatabaseErrorPrefix + error};
        }
        return false;
    }
    m_table.removeAll();
    for (const QStringList &record : records) {
        const int row = m_table.appendRow(QString::number(m_table.rowCount() + 1));
        for (int column = kFirstReadCell; column < UploadRecord::kCellCount; ++column) {
            m_table.setCell(row, column, record[column - kFirstReadCell]);
        }
    }
    return true;
}
