#include "core/common/ByteUnits.h"

#include <array>

QString formatBytes(qint64 bytes) {
    if (bytes < 1000) {
        return QStringLiteral("%1 B").arg(qMax<qint64>(bytes, 0));
    }
    static const std::array<const char *, 6> kUnits = {"KB", "MB", "GB", "TB", "PB", "EB"};
    // Unsigned arithmetic in tenths of a unit: rounding near the largest size must not overflow.
    const auto value = static_cast<quint64>(bytes);
    quint64 unit = 1000;
    for (std::size_t index = 0;; ++index, unit *= 1000) {
        const quint64 tenth = unit / 10;
        const quint64 tenths = (value + tenth / 2) / tenth;
        // 999,960 bytes round to 1000.0 KB: that is 1.0 MB.
        if (tenths < 10000 || index + 1 == kUnits.size()) {
            return QStringLiteral("%1.%2 %3")
                .arg(tenths / 10)
                .arg(tenths % 10)
                .arg(QLatin1String(kUnits[index]));
        }
    }
}

QString formatExactBytes(qint64 bytes) {
    QString digits = QString::number(qMax<qint64>(bytes, 0));
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3) {
        digits.insert(at, QLatin1Char(','));
    }
    return digits + QStringLiteral(" 字节");
}
