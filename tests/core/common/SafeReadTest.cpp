#include "core/common/SafeRead.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// Names that lie: a pipe that never ends, a device of endless zeros, a procfs file that says it is
// empty, and a link. None may block or read past the cap.
TEST(SafeRead, RefusesWhatIsNotARegularFileAndNeverReadsPastTheCap) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString plain = dir.filePath(QStringLiteral("plain"));
    {
        QFile file(plain);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("12345");
    }
    const QString link = dir.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(plain, link));

    QByteArray bytes;
    Failure failure;
    EXPECT_FALSE(SafeRead::readAll(fifo, 100, &bytes, &failure));
    EXPECT_EQ(failure.sentence(),
              QStringLiteral("无法读取 %1：不是普通文件（文件夹、管道、套接字或设备）").arg(fifo));
    EXPECT_FALSE(SafeRead::readAll(QStringLiteral("/dev/zero"), 100, &bytes, &failure));
    EXPECT_EQ(failure.kind, Failure::Kind::Read);
    EXPECT_FALSE(SafeRead::readAll(QStringLiteral("/proc/self/pagemap"), 1 << 20, &bytes, &failure,
                                   SafeRead::Links::FollowToRegular));
    EXPECT_EQ(failure.kind, Failure::Kind::TooLarge);
    EXPECT_EQ(failure.reason, QStringLiteral("超过 1048576 字节"));
    EXPECT_FALSE(SafeRead::readAll(link, 100, &bytes, &failure));
    EXPECT_EQ(failure.reason, QStringLiteral("是符号链接，不会被跟随"));

    ASSERT_TRUE(SafeRead::readAll(link, 5, &bytes, &failure, SafeRead::Links::FollowToRegular));
    EXPECT_EQ(bytes, QByteArray("12345"));
    EXPECT_FALSE(SafeRead::readAll(plain, 4, &bytes, &failure));
    EXPECT_EQ(failure.kind, Failure::Kind::TooLarge);
}

} // namespace
