// The isolator peer's disk writer thread: order of chunks, and failures that must not pass unseen.

#include "BackgroundWriter.h"

#include <QBuffer>
#include <gtest/gtest.h>

namespace {

TEST(IsolatorBackgroundWriter, WritesChunksInOrderAndHandsBuffersBack) {
    QBuffer device;
    ASSERT_TRUE(device.open(QIODevice::WriteOnly));
    QByteArray expected;
    {
        BackgroundWriter writer(&device);
        std::vector<char> chunk(1000);
        for (int i = 0; i < 20; ++i) {
            std::fill(chunk.begin(), chunk.end(), static_cast<char>('a' + i));
            const qint64 length = 1000 - i; // only the first length bytes count
            expected.append(QByteArray(chunk.data(), length));
            ASSERT_TRUE(writer.submit(chunk, length));
            ASSERT_EQ(chunk.size(), 1000u) << "the buffer given back has the same capacity";
        }
        EXPECT_TRUE(writer.finish());
    }
    EXPECT_EQ(device.data(), expected);
}

TEST(IsolatorBackgroundWriter, AFailedWriteIsReportedAndStopsFurtherChunks) {
    QBuffer device;
    ASSERT_TRUE(device.open(QIODevice::ReadOnly)); // every write fails
    BackgroundWriter writer(&device);
    std::vector<char> chunk(100, 'x');
    writer.submit(chunk, 100);
    EXPECT_FALSE(writer.finish());
    EXPECT_FALSE(writer.errorString().isEmpty());
    EXPECT_FALSE(writer.submit(chunk, 100));
}

} // namespace
