#pragma once

#include "core/xls/Workbook.h"

#include <QByteArrayView>

namespace Xls {

// Reads the worksheet sheetName from a BIFF8 workbook stream and hands its rows to onRow (see
// forEachRow). Returns false with a reason in *error for a stream that is not BIFF8, is damaged, or
// has no worksheet of that name; the whole sheet is checked before its first row is handed over.
bool readWorksheetFromStream(QByteArrayView stream, const QString &sheetName, const RowHandler &onRow,
                             QString *error);

// Reads the worksheet from the bytes of a whole workbook file, which are released as soon as the
// workbook stream has been taken out of them.
bool readWorksheetFromFileBytes(QByteArray &&file, const QString &sheetName, const RowHandler &onRow,
                                QString *error);

} // namespace Xls
