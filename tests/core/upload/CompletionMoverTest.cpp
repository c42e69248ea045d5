#include "core/upload/CompletionMover.h"

#include "core/common/Clock.h"
#include "core/common/FileMove.h"
#include "core/config/SettingsRecord.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// An upload folder and a completion folder in a temporary directory, on 5 March 2024.
class CompletionMoverTest : public ::testing::Test {
protected:
    CompletionMoverTest() {
        m_settings.uploadFolder = at(QStringLiteral("upload/"));
        m_settings.completionFolder = at(QStringLiteral("done")); // typed without its separator
        TestFiles::makeFolder(m_settings.uploadFolder);
    }

    QString at(const QString &relative) const { return m_dir.path() + QLatin1Char('/') + relative; }
    QString sent(const QString &name, const QByteArray &bytes) {
        TestFiles::write(m_settings.uploadFolder + name, bytes);
        return m_settings.uploadFolder + name;
    }
    QString today(const QString &name) const { return at(QStringLiteral("done/2024-03-05/") + name); }

    QTemporaryDir m_dir;
    FixedClock m_clock{QDateTime(QDate(2024, 3, 5), QTime(16, 0))};
    SettingsRecord m_settings;
    CompletionMover m_mover{m_settings, m_clock};
    QSignalSpy m_failures{&m_mover, &CompletionMover::moveFailed};
};

TEST_F(CompletionMoverTest, SentFilesGoToTheFolderOfTheDayAndNeverReplaceOneThere) {
    for (const QByteArray bytes : {"first", "second", "third"}) {
        sent(QStringLiteral("报告.txt"), bytes);
        EXPECT_FALSE(m_mover.moveSentFile(QStringLiteral("报告.txt")).isEmpty());
    }
    sent(QStringLiteral("README"), "r1");
    m_mover.moveSentFile(QStringLiteral("README"));
    sent(QStringLiteral("README"), "r2");
    EXPECT_EQ(m_mover.moveSentFile(QStringLiteral("README")), today(QStringLiteral("README (2)")));

    EXPECT_EQ(TestFiles::read(today(QStringLiteral("报告.txt"))), QByteArray("first"));
    EXPECT_EQ(TestFiles::read(today(QStringLiteral("报告 (2).txt"))), QByteArray("second"));
    EXPECT_EQ(TestFiles::read(today(QStringLiteral("报告 (3).txt"))), QByteArray("third"));
    EXPECT_TRUE(QDir(m_settings.uploadFolder).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_EQ(m_failures.size(), 0);
}

TEST_F(CompletionMoverTest, AFailedMoveLeavesTheFileAndSaysWhereAndWhy) {
    const QString file = sent(QStringLiteral("a.txt"), "aaa");
    m_mover.setMover(
        [](const QString &, const QString &) { return QStringLiteral("No space left on device"); });
    EXPECT_TRUE(m_mover.moveSentFile(QStringLiteral("a.txt")).isEmpty());
    EXPECT_EQ(TestFiles::read(file), QByteArray("aaa"));
    ASSERT_EQ(m_failures.size(), 1);
    const QString message = m_failures[0][0].toString();
    EXPECT_TRUE(message.contains(file)) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("No space left on device")));
    EXPECT_TRUE(message.contains(QStringLiteral("回收目录")));

    // The folder of the day cannot be made when a file stands in its place.
    m_mover.setMover(
        [](const QString &source, const QString &target) { return FileMove::move(source, target, false); });
    QDir(today(QString())).removeRecursively();
    TestFiles::write(at(QStringLiteral("done/2024-03-05")), "in the way");
    EXPECT_TRUE(m_mover.moveSentFile(QStringLiteral("a.txt")).isEmpty());
    EXPECT_EQ(TestFiles::read(file), QByteArray("aaa"));
    ASSERT_EQ(m_failures.size(), 2);
    EXPECT_TRUE(m_failures[1][0].toString().contains(at(QStringLiteral("done/2024-03-05"))));
}

TEST_F(CompletionMoverTest, MovesAcrossFileSystems) {
    QTemporaryDir other(QStringLiteral("/dev/shm/brelvantis-XXXXXX"));
    struct stat here {};
    struct stat there {};
    if (!other.isValid() || ::stat(QFile::encodeName(m_dir.path()).constData(), &here) != 0 ||
        ::stat(QFile::encodeName(other.path()).constData(), &there) != 0 || here.st_dev == there.st_dev) {
        GTEST_SKIP() << "no second file system to move across";
    }
    m_settings.completionFolder = other.path() + QLatin1Char('/');
    const QByteArray bytes(3 << 20, 'z');
    sent(QStringLiteral("big.bin"), bytes);
    TestFiles::write(other.filePath(QStringLiteral("2024-03-05/big.bin")), "already there");
    EXPECT_EQ(m_mover.moveSentFile(QStringLiteral("big.bin")),
              other.filePath(QStringLiteral("2024-03-05/big (2).bin")));
    EXPECT_EQ(TestFiles::read(other.filePath(QStringLiteral("2024-03-05/big (2).bin"))), bytes);
    EXPECT_EQ(TestFiles::read(other.filePath(QStringLiteral("2024-03-05/big.bin"))),
              QByteArray("already there"));
    EXPECT_FALSE(QFileInfo::exists(m_settings.uploadFolder + QStringLiteral("big.bin")));
    EXPECT_EQ(QDir(other.filePath(QStringLiteral("2024-03-05"))).entryList(QDir::Files | QDir::Hidden).size(),
              2);
}

} // namespace
