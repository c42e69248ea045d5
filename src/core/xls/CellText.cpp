#include "core/xls/CellText.h"

#include <cmath>
#include <cstring>

namespace Xls::CellText {

QString fromNumber(double value) {
    if (!std::isfinite(value)) {
        return QStringLiteral("#NUM!");
    }
    if (value == 0) {
        return QStringLiteral("0"); // also for -0
    }
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
        return QString::number(value, 'f', 0);
    }
    // 15 significant digits is all a double holds reliably; Qt's "1E+20" matches the general format.
    return QString::number(value, 'G', 15);
}

double fromRk(quint32 rk) {
    double value = 0;
    if (rk & 0x02) {
        value = double(qint32(rk) >> 2);
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & 0x01) ? value / 100 : value;
}

QString fromBoolean(quint8 value) {
    return value ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
}

QString fromErrorCode(quint8 code) {
    switch (code) {
    case 0x00:
        return QStringLiteral("#NULL!");
    case 0x07:
        return QStringLiteral("#DIV/0!");
    case 0x0F:
        return QStringLiteral("#VALUE!");
    case 0x17:
        return QStringLiteral("#REF!");
    case 0x1D:
        return QStringLiteral("#NAME?");
    case 0x24:
        return QStringLiteral("#NUM!");
    case 0x2A:
        return QStringLiteral("#N/A");
    default:
        return QStringLiteral("#N/A");
    }
}

} // namespace Xls::CellText
