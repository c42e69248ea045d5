#include "core/transfer/TokenBucket.h"

#include <gtest/gtest.h>

namespace {

constexpr qint64 kSecond = 1'000'000'000;

TEST(TokenBucketTest, PacesToTheRateAfterTheBurstAndNeverSavesMoreThanIt) {
    TokenBucket bucket(1'000'000, 100'000); // 1 MB/s, 100 KB at once after an idle spell
    EXPECT_EQ(bucket.take(50'000, 0), kSecond / 20) << "paced from the first byte: 50 KB wait 50 ms";
    // Sending 10 MB in 100 KB pieces, each as soon as allowed, takes 10 s at 1 MB/s.
    qint64 now = kSecond / 20;
    for (int i = 0; i < 100; ++i) {
        now += bucket.take(100'000, now);
    }
    EXPECT_NEAR(static_cast<double>(now), 10.05 * kSecond, 1e3);

    // An idle minute earns no more than the burst.
    now += 60 * kSecond;
    EXPECT_EQ(bucket.take(100'000, now), 0);
    EXPECT_EQ(bucket.take(1'000, now), kSecond / 1000);
}

TEST(TokenBucketTest, ASmallFileUnderALimitTakesItsSizeOverTheRate) {
    // 600,000 bytes at 50 KB/s, in the sender's pieces of a tenth of a second's worth (whole blocks).
    TokenBucket bucket(50'000, 262'144);
    qint64 now = 0;
    for (qint64 left = 600'000; left > 0; left -= 4096) {
        now += bucket.take(4096, now);
    }
    EXPECT_NEAR(static_cast<double>(now) / kSecond, 12.0, 12.0 * 0.05);
}

} // namespace
