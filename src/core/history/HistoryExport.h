#pragma once

#include "core/history/HistoryIndex.h"

#include <QList>
#include <QString>
#include <QStringList>

// Search results written out for the operator: as a .csv (UTF-8 with a byte-order mark, so spreadsheet
// programs read the Chinese) or as an Excel 97-2003 .xls with the station's own workbook writer.
namespace HistoryExport {

// The column names of an export, in order; also the header of `brelvantis-log find`.
const QStringList &columnNames();
// The cells of one record, in the order of columnNames().
QStringList cells(const History::Entry &entry);

// Both replace the file at path atomically and return false with a reason in Chinese in *error.
bool writeCsv(const QString &path, const QList<History::Entry> &entries, QString *error);
bool writeXls(const QString &path, const QList<History::Entry> &entries, QString *error);

} // namespace HistoryExport
