#pragma once

#include "core/xls/Workbook.h"

#include <QByteArrayView>

namespace Xls {

// Reads the worksheet sheetName from a BIFF8 workbook stream as text rows (see readWorksheet).
// Returns false with a reason in *error for a stream that is not BIFF8, is damaged, or has no
// worksheet of that name.
bool readWorksheetFromStream(QByteArrayView stream, const QString &sheetName, Rows *rows, QString *error);

} // namespace Xls
