#pragma once

#include "core/xls/Workbook.h"

#include <QByteArray>

namespace Xls {

// Builds the BIFF8 "Workbook" stream of a workbook with one worksheet holding rows as text cells
// (empty texts as blank cells). Fails with a reason in *error, before building anything, when the
// sheet name or the rows do not fit the format: a cell is never cut to make it fit. Whole numbers in
// numberColumns become number cells (see writeWorkbook).
bool buildWorkbookStream(const QString &sheetName, const Rows &rows, QByteArray *stream, QString *error,
                         const QList<int> &numberColumns = {});

} // namespace Xls
