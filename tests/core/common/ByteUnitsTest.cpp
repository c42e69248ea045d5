#include "core/common/ByteUnits.h"

#include <gtest/gtest.h>

namespace {

// Decimal units throughout, and a figure rounded up to 1000 takes the next unit.
TEST(ByteUnitsTest, SizesAndRatesUseDecimalUnits) {
    using ByteUnits::formatBytes;
    EXPECT_EQ(formatBytes(0), QStringLiteral("0 B"));
    EXPECT_EQ(formatBytes(999), QStringLiteral("999 B"));
    EXPECT_EQ(formatBytes(1000), QStringLiteral("1.0 KB"));
    EXPECT_EQ(formatBytes(1900), QStringLiteral("1.9 KB"));
    EXPECT_EQ(formatBytes(999'960), QStringLiteral("1.0 MB"));
    EXPECT_EQ(formatBytes(24'800'000), QStringLiteral("24.8 MB"));
    EXPECT_EQ(formatBytes(2'400'000'000ull), QStringLiteral("2.4 GB"));
    EXPECT_EQ(formatBytes(~0ull), QStringLiteral("18.4 EB"));

    EXPECT_EQ(ByteUnits::formatRate(11.2e6), QStringLiteral("11.2 MB/s"));
    EXPECT_EQ(ByteUnits::formatRate(512), QStringLiteral("512 B/s"));
    EXPECT_EQ(ByteUnits::formatRate(0), QStringLiteral("-- MB/s"));
}

} // namespace
