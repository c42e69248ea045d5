#include "core/upload/TransferProgress.h"

#include <gtest/gtest.h>

namespace {

TEST(TransferProgressTest, SpeedIsAveragedOverTheLastSecondsOnly) {
    TransferProgress progress;
    progress.sample(0, 0);
    EXPECT_EQ(progress.bytesPerSecond(), 0) << "one sample tells no speed";
    progress.sample(100, 1'000'000);
    EXPECT_EQ(progress.bytesPerSecond(), 0) << "less than 250 ms of samples";
    for (qint64 ms = 250; ms <= 3000; ms += 250) {
        progress.sample(ms, quint64(ms) * 10'000); // 10 MB/s
    }
    EXPECT_DOUBLE_EQ(progress.bytesPerSecond(), 10e6);
    // The link slows to 1 MB/s: after a whole window the old pace is forgotten.
    quint64 bytes = 30'000'000;
    for (qint64 ms = 3250; ms <= 6500; ms += 250) {
        bytes += 250'000;
        progress.sample(ms, bytes);
    }
    EXPECT_DOUBLE_EQ(progress.bytesPerSecond(), 1e6);
    progress.reset();
    EXPECT_EQ(progress.bytesPerSecond(), 0);
}

TEST(TransferProgressTest, TimesLeftAndTheStatusLine) {
    TransferProgress::Snapshot snapshot{
        QStringLiteral("报告.pdf"), 10'000'000, 4'000'000, 2e6, 3, 26'000'000};
    EXPECT_EQ(snapshot.percent(), 40);
    EXPECT_EQ(snapshot.fileSecondsLeft(), 3);
    EXPECT_EQ(snapshot.queueSecondsLeft(), 13);
    EXPECT_EQ(TransferProgress::describe(snapshot),
              QStringLiteral(
                  "正在上传 报告.pdf  40%  2.0 MB/s  本文件剩余 0:03  队列剩余 0:13  还剩 3 个文件 26.0 MB"));

    snapshot.fileSent = 12'000'000; // whole blocks can pass the file's end
    EXPECT_EQ(snapshot.percent(), 100);
    EXPECT_EQ(snapshot.fileSecondsLeft(), 0);
    snapshot.bytesPerSecond = 0;
    EXPECT_EQ(snapshot.queueSecondsLeft(), -1);
    EXPECT_EQ(TransferProgress::durationText(-1), QStringLiteral("--:--"));
    EXPECT_EQ(TransferProgress::durationText(3723), QStringLiteral("1:02:03"));
    EXPECT_EQ(TransferProgress::durationText(65), QStringLiteral("1:05"));
}

} // namespace
