#pragma once

#include <QString>
#include <QtGlobal>

// Sizes for the operator's eyes, in one unit system everywhere: decimal units (1 KB = 1000 bytes).

// "3 B", "1.9 KB", "2.4 GB": bytes below 1000 as they are, larger sizes with one decimal, rounded.
// A negative size shows as 0 B.
QString formatBytes(qint64 bytes);

// The exact size with thousands separators: "3 字节", "1,934 字节".
QString formatExactBytes(qint64 bytes);
