#pragma once

#include "core/common/Failure.h"
#include "core/common/Notice.h"

#include "core/records/UploadRecord.h"

#include <QString>
#include <QStringList>
#include <functional>

class Clock;
class UploadTable;

// The day's record log: the whole upload table as the worksheet "Sheet1" of an .xls workbook in the
// record folder. The table is the master copy; the file is its image, rewritten after every change
// and read back once at start-up so a restarted station finds its queue again.
class RecordLog {
public:
    static inline const QString kSheetName = QStringLiteral("Sheet1");
    // The log's column names, in cell order (UploadRecord::kColumns); cell 6 is "完成时间" here,
    // "结束时间" in the table.
    static inline const QStringList kColumnNames = [] {
        QStringList names;
        for (const UploadRecord::Column &column : UploadRecord::kColumns) {
            names.append(QString::fromUtf16(column.logName));
        }
        return names;
    }();
    static inline const QString kNoDriverText = QStringLiteral("没有安装Excel驱动!");
    static inline const QString kDatabaseErrorPrefix = QStringLiteral("数据库错误: ");

    RecordLog(UploadTable &table, const Clock &clock);
    virtual ~RecordLog() = default;

    // Empty until loadRecordLog has run; then the same file for the whole run, also after midnight.
    QString path() const { return m_path; }

    // Fixes the log's path (today's date and ".xls" inside the record folder, which may be given with or
    // without its trailing separator) and refills the
    // table from that file. No file there: the table is left as it is and true returned. On failure
    // the table is left as it was, *notice says why (application-name caption) and false is returned;
    // an unreadable file is then kept under keptAsidePath() before the first rewrite replaces it.
    bool loadRecordLog(const QString &recordFolder, Notice *notice = nullptr);

    // Rewrites the log from the whole table. The file is replaced atomically, so a failed write keeps
    // the previous log, leaves the change pending for the next write and is kept as writeFailure().
    bool writeRecordLog();
    // Why the last write failed; nothing once a write has succeeded (or before the first). The station
    // starts no transfer while it holds something.
    const Failure &writeFailure() const { return m_writeFailure; }

    // Moves the day's log to recordFolder (the same day's file name) and writes the table there at once.
    // A file already there under that name is first kept aside (keptAsidePath()), never overwritten.
    // True when nothing had to move or the write succeeded.
    bool moveTo(const QString &recordFolder);
    // The day ("YYYY-MM-DD") whose log this is; empty until loadRecordLog has run.
    QString day() const { return m_day; }

    // While files stream, rewrites are coalesced: this rewrites at once when the last rewrite is at
    // least coalesceWindow() old or failed, and otherwise only marks the log pending. Whoever calls it makes
    // sure flushRecordLog() runs within the window (and when the queue drains, on stop and at exit).
    bool writeRecordLogSoon();
    // Rewrites the log when a change is pending; true when nothing is left pending.
    bool flushRecordLog();
    bool hasPendingWrite() const { return m_pending; }
    // How long until a pending change is due, 0 when it is due now (or nothing is pending).
    qint64 msUntilDue() const;

    static constexpr qint64 kCoalesceWindowMs = 200;
    qint64 coalesceWindow() const { return m_windowMs; }
    void setCoalesceWindow(qint64 ms) { m_windowMs = ms; }

    // Where a day's file that could not be read at start-up, or that stood in the folder the log moved
    // to, goes before it is first rewritten, so the records it holds stay on disk for the operator;
    // empty when no such file waits to be moved.
    QString keptAsidePath() const { return m_keptAside; }

    // The log of day ("YYYY-MM-DD") in recordFolder (given with or without its trailing separator; empty:
    // the working directory).
    static QString dayPath(const QString &recordFolder, const QString &day);

    // Reads the data rows of the log at path, in file order, each as kCellCount cells in cell order
    // (the sequence number left empty: rows are numbered by their place). Columns are found by name: one
    // this station does not know is ignored, an optional one that is missing reads as empty. Nothing is
    // handed back unless the whole sheet could be read; otherwise *failure says why, with the workbook
    // reader's own words as its detail.
    static bool readRecords(const QString &path, QList<QStringList> *records, Failure *failure);

    // The name of the workbook support that reads and writes the log, or empty text when there is none.
    virtual QString findExcelDriver() const;

    // Writes rows as the workbook at path, replacing it atomically; false with the writer's own words
    // in *error. Tests replace it to make writes fail.
    using Writer = std::function<bool(const QString &path, const QList<QStringList> &rows, QString *error)>;
    void setWriter(Writer writer) { m_writer = std::move(writer); }

private:
    UploadTable &m_table;
    const Clock &m_clock;
    QString m_path;
    QString m_day;
    QString m_keptAside;
    Writer m_writer;
    Failure m_writeFailure;
    qint64 m_windowMs = kCoalesceWindowMs;
    qint64 m_lastWriteMs = 0;
    bool m_written = false;
    bool m_pending = false;
};
