#pragma once

#include <QJsonObject>
#include <QString>

// Workbooks as an independent reader sees them: xlrd (Debian's python3-xlrd) has its own
// compound-file and BIFF code, so agreement with it is evidence beyond our own reader.
namespace Xlrd {

// The first Python that has xlrd (the one on PATH may be a private installation without it); empty
// when there is none.
QString python();

// The sheet of the workbook at path as {"sheets": [names], "rows": [[[type, value], ...], ...]}.
// With formats, xlrd also reads the fonts and cell formats and reports blank cells as such.
QJsonObject read(const QString &path, const QString &sheet, bool formats = true);

} // namespace Xlrd
