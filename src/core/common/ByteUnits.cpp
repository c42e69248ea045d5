#include "core/common/ByteUnits.h"

#include <cmath>

namespace {

const char *const kUnits[] = {"B", "KB", "MB", "GB", "TB", "PB", "EB"};
constexpr int kLastUnit = 6;

// The figure and its unit; below 1000 bytes, whole bytes.
QString scaled(double value) {
    int unit = 0;
    while (unit < kLastUnit && std::round(value * 10) / 10 >= 1000) {
        value /= 1000;
        ++unit;
    }
    if (unit == 0) {
        return QStringLiteral("%1 B").arg(std::llround(value));
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(kUnits[unit]));
}

} // namespace

QString ByteUnits::formatBytes(quint64 bytes) {
    return scaled(static_cast<double>(bytes));
}

QString ByteUnits::formatRate(double bytesPerSecond) {
    if (!(bytesPerSecond > 0) || !std::isfinite(bytesPerSecond)) {
        return QStringLiteral("-- MB/s");
    }
    return scaled(bytesPerSecond) + QStringLiteral("/s");
}
