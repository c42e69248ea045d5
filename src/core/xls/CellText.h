#pragma once

#include <QString>

// How the reader turns non-text cell values into the text a spreadsheet shows for them.
namespace Xls::CellText {

// A number as the general format shows it: integers without a decimal point, otherwise up to 15
// significant digits without trailing zeros, very large or small magnitudes in E notation.
QString fromNumber(double value);
// The number packed into an RK value (a 30-bit integer or the high bits of a double, maybe / 100).
double fromRk(quint32 rk);
// "TRUE" or "FALSE".
QString fromBoolean(quint8 value);
// The error value's text such as "#DIV/0!".
QString fromErrorCode(quint8 code);

} // namespace Xls::CellText
