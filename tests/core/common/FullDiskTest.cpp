#include "core/common/Clock.h"
#include "core/common/FileMove.h"
#include "core/config/ProfileFile.h"
#include "core/records/RecordLog.h"
#include "core/records/UploadRecord.h"
#include "core/records/UploadTable.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// A real full disk: a 64 KiB tmpfs mounted for the test (root only; skipped elsewhere).
class FullDiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0 ||
            QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                               QStringLiteral("size=64k"), QStringLiteral("tmpfs"), m_disk.path()}) != 0) {
            GTEST_SKIP() << "mounting a small tmpfs needs root";
        }
        m_mounted = true;
    }
    void TearDown() override {
        if (m_mounted) {
            QProcess::execute(QStringLiteral("umount"), {m_disk.path()});
        }
    }

    QTemporaryDir m_disk;
    QTemporaryDir m_home;
    bool m_mounted = false;
};

TEST_F(FullDiskTest, AMoveOrASaveThatDoesNotFitFailsInChineseAndLosesNothing) {
    const QByteArray big(200 * 1024, 'x');
    const QString source = m_home.filePath(QStringLiteral("扫描件.pdf"));
    TestFiles::write(source, big);
    const QString why = FileMove::move(source, m_disk.filePath(QStringLiteral("扫描件.pdf")), false);
    EXPECT_EQ(why, QStringLiteral("磁盘空间不足"));
    EXPECT_EQ(TestFiles::read(source), big) << "the file stays where it was";
    EXPECT_FALSE(QFile::exists(m_disk.filePath(QStringLiteral("扫描件.pdf"))));

    // A settings file that fits, then the disk filled: the next save fails and the old file stays.
    const QString settings = m_disk.filePath(QStringLiteral("Berlvantis.ini"));
    ProfileFile profile;
    profile.setValue(QStringLiteral("File Filters"), QStringLiteral("Port"), "4321");
    ASSERT_TRUE(profile.write(settings));
    QFile filler(m_disk.filePath(QStringLiteral("filler")));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    while (filler.write(QByteArray(4096, 'f')) == 4096) {
    }
    filler.close();
    profile.setValue(QStringLiteral("File Filters"), QStringLiteral("Types"), QByteArray(8192, 't'));
    QString error;
    EXPECT_FALSE(profile.write(settings, &error));
    EXPECT_EQ(error, QStringLiteral("磁盘空间不足"));
    EXPECT_EQ(ProfileFile::read(settings)->value(QStringLiteral("File Filters"), QStringLiteral("Port")),
              QByteArray("4321"));
}

TEST_F(FullDiskTest, AMoveAcrossFileSystemsKeepsThePermissions) {
    const QString source = m_home.filePath(QStringLiteral("a.txt"));
    TestFiles::write(source, "small");
    const auto permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(source, permissions));
    const QString target = m_disk.filePath(QStringLiteral("a.txt"));
    EXPECT_EQ(FileMove::move(source, target, false), QString());
    EXPECT_FALSE(QFile::exists(source));
    const int ownerGroupOther = 0x7077; // not the "user" bits, which describe whoever looks
    EXPECT_EQ(int(QFile::permissions(target)) & ownerGroupOther, int(permissions) & ownerGroupOther);
}

TEST_F(FullDiskTest, ALogRewriteThatDoesNotFitKeepsThePreviousLog) {
    FixedClock clock(QDateTime(QDate(2026, 12, 7), QTime(9, 0)));
    UploadTable table;
    RecordLog log(table, clock);
    ASSERT_TRUE(log.loadRecordLog(m_disk.path() + QLatin1Char('/')));
    table.setCell(table.appendRow(QStringLiteral("1")), UploadRecord::CellFileName, QStringLiteral("a.txt"));
    ASSERT_TRUE(log.writeRecordLog());
    const QByteArray before = TestFiles::read(log.path());

    QFile filler(m_disk.filePath(QStringLiteral("filler")));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    while (filler.write(QByteArray(4096, 'f')) == 4096) {
    }
    filler.close();
    for (int i = 0; i < 200; ++i) {
        table.setCell(table.appendRow(QString::number(i + 2)), UploadRecord::CellFileName,
                      QStringLiteral("扫描件-%1.pdf").arg(i));
    }
    EXPECT_FALSE(log.writeRecordLog());
    EXPECT_TRUE(log.hasPendingWrite()) << "the next write tries again";
    EXPECT_EQ(TestFiles::read(log.path()), before);
}

} // namespace
