#pragma once

#include <QString>
#include <QtGlobal>

// Sizes and speeds as the operator reads them, in one unit system everywhere: 1 KB = 1000 bytes,
// 1 MB = 10^6 bytes, 1 GB = 10^9 bytes (the bandwidth limit and the isolator's reports count so too).
namespace ByteUnits {

// "3 B", "1.9 KB", "12.0 MB", "2.4 GB": whole bytes below 1 KB, one decimal above, in the largest unit
// that keeps the figure under 1000 once rounded (999,960 bytes read "1.0 MB", not "1000.0 KB").
QString formatBytes(quint64 bytes);

// "512 B/s", "11.2 MB/s"; a rate that is not positive (not known yet) reads "-- MB/s".
QString formatRate(double bytesPerSecond);

} // namespace ByteUnits
