#pragma once

#include "core/common/Failure.h"
#include "core/history/HistoryEntry.h"

#include <QList>
#include <QString>
#include <QStringList>

// The history's records as the operator sees them: the columns of the history window's lists and of
// `brelvantis-log find`, and search results written out as a .csv (UTF-8 with a byte-order mark, so
// spreadsheet programs read the Chinese) or as an Excel 97-2003 .xls with the station's own workbook
// writer. The record's own columns come from UploadRecord::kColumns.
namespace HistoryExport {

// The column names, in order: 日期, 时间, the record cells the history shows, SHA-256.
const QStringList &columnNames();
// Where a record cell stands among columnNames(); -1 when the history does not show it.
int columnOf(UploadRecord::Cell cell);
// One cell of a record, and all of them, in the order of columnNames().
QString cell(const History::Entry &entry, int column);
QStringList cells(const History::Entry &entry);
// A long text of the kind a column holds, which a view's column is made to fit.
QString sample(int column);

// The columns of an export: those of columnNames() with 字节数（约） after 文件大小, the size as a number of
// bytes a spreadsheet can sum and sort. The log keeps sizes in whole kilobytes of 1024 bytes, so it is
// the file's size rounded down to one of them; empty where the size is.
const QStringList &exportColumnNames();
QStringList exportCells(const History::Entry &entry);

// Both write exportColumnNames() and exportCells() and replace the file at path atomically. False with
// *failure (kind Write) when the file cannot be written: the system's reason, or the workbook writer's own
// words as its detail.
bool writeCsv(const QString &path, const QList<History::Entry> &entries, Failure *failure);
bool writeXls(const QString &path, const QList<History::Entry> &entries, Failure *failure);

} // namespace HistoryExport
