#pragma once

#include "core/common/Failure.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Excel 97-2003 workbooks (BIFF8 records inside an OLE2 compound file) holding text tables.
// This is the station's own spreadsheet support: the day's record log is such a workbook, and
// operators open it in their spreadsheet programs and may save it back.
namespace Xls {

// A worksheet as text, row by row; rows may have different lengths.
using Rows = QList<QStringList>;

// Writes a workbook with the one worksheet sheetName holding rows, every non-empty cell a text cell
// and every empty cell a blank cell. The file at path is replaced atomically: the workbook is written
// to a temporary file in the same folder, flushed to disk and renamed over path, so on any failure the
// previous file stays as it was and no temporary file is left. What the format cannot hold (more than
// 65536 rows or 256 columns, a cell over 32767 UTF-16 characters, a sheet name Excel would refuse) is
// refused, never cut. Returns false with a readable reason in *error on failure.
// In the columns numberColumns a cell that is a whole number (at most 15 digits, nothing else) is
// written as a number cell, which a spreadsheet sums and sorts; the other cells stay text.
bool writeWorkbook(const QString &path, const QString &sheetName, const Rows &rows, QString *error = nullptr,
                   const QList<int> &numberColumns = {});

// Receives one row of a worksheet being read; returning false stops the reading, which then fails
// with the reason the handler put into *error.
using RowHandler = std::function<bool(const QStringList &row, QString *error)>;

// The largest workbook file read: far larger than any day's log the station writes, small enough that
// a stray huge file (or one that never ends) is refused before it fills the memory.
constexpr qint64 kMaxFileBytes = qint64(256) << 20;

// Reads the whole workbook file at path: a regular file (a final link is followed, but only to a
// regular file) of at most kMaxFileBytes, opened without blocking, so a pipe, a device or a procfs
// file under a day's name is refused at once. False with *failure saying why in the operator's words.
bool readFile(const QString &path, QByteArray *bytes, Failure *failure);

// Reads the worksheet named sheetName (exact name) of the workbook at path as text: text cells as
// stored, numbers as a spreadsheet shows them in the general format (integers without a decimal
// point), booleans as TRUE/FALSE, formulas by their cached result, cells never written as empty text.
// Rows are handed to onRow one at a time, from the first row of the sheet to its last non-empty row,
// each padded with empty texts to the column of the rightmost non-empty cell; the sheet is never held
// as a whole, so the memory a read takes is bounded by the file's size, whatever the file claims.
// Nothing is handed over unless the whole sheet could be read. Returns false with *error saying why:
// for a file that cannot be read (readFile) the failure's sentence, otherwise the reader's own words
// for a file that is not a workbook or has no such sheet.
bool forEachRow(const QString &path, const QString &sheetName, const RowHandler &onRow, QString *error);

// The same, for the bytes of a workbook file read by readFile (released as soon as the workbook
// stream has been taken out of them); *error holds the reader's own words only.
bool forEachRowInBytes(QByteArray &&file, const QString &sheetName, const RowHandler &onRow, QString *error);

// The same, collecting every row in *rows (which holds nothing on failure). For workbooks known to be
// small; a sheet of 65536 rows by 256 columns takes hundreds of megabytes as Rows.
bool readWorksheet(const QString &path, const QString &sheetName, Rows *rows, QString *error);

} // namespace Xls
