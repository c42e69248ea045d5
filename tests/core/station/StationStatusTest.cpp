// What a running station publishes in its working folder, and the lock that keeps a second station out.

#include "core/station/StationLock.h"
#include "core/station/StatusPublisher.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSysInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

ino_t inodeOf(const QString &path) {
    struct stat seen {};
    EXPECT_EQ(::stat(path.toLocal8Bit().constData(), &seen), 0) << path.toStdString();
    return seen.st_ino;
}

StationStatus readStatus(const QString &path) {
    StationStatus status;
    QString error;
    EXPECT_TRUE(StationStatus::fromJson(TestFiles::read(path), &status, &error)) << error.toStdString();
    return status;
}

class StationStatusTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    FixedClock m_clock{QDateTime(QDate(2026, 3, 5), QTime(9, 0, 0))};
};

TEST_F(StationStatusTest, WrittenWholeByRenameAtMostOnceASecondAndAtOnceOnAStateChange) {
    StatusPublisher publisher(m_dir.path(), m_clock, QStringLiteral("headless"));
    publisher.setCounter([](StationStatus *status) { status->failedToday = 2; });
    publisher.start();
    ASSERT_EQ(publisher.writeCount(), 1);
    StationStatus written = readStatus(publisher.path());
    EXPECT_EQ(written.pid, QCoreApplication::applicationPid());
    EXPECT_EQ(written.kind, QStringLiteral("headless"));
    EXPECT_EQ(written.failedToday, 2);
    EXPECT_EQ(written.written, m_clock.now());
    const ino_t first = inodeOf(publisher.path());

    // Progress every 200 ms: one write a second.
    publisher.status().sendingFile = QStringLiteral("a.txt");
    for (int i = 0; i < 4; ++i) {
        m_clock.advanceMs(200);
        publisher.status().bytesDone = 1000 * (i + 1);
        publisher.changed();
        publisher.tick();
    }
    EXPECT_EQ(publisher.writeCount(), 1);
    m_clock.advanceMs(200);
    publisher.tick();
    EXPECT_EQ(publisher.writeCount(), 2);
    EXPECT_EQ(readStatus(publisher.path()).bytesDone, 4000u);
    EXPECT_NE(inodeOf(publisher.path()), first) << "replaced by a rename, never rewritten in place";
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{StationStatus::fileName()})
        << "no temporary file is left";

    publisher.status().state = StationStatus::State::Uploading;
    publisher.stateChanged();
    EXPECT_EQ(publisher.writeCount(), 3);
    EXPECT_EQ(readStatus(publisher.path()).state, StationStatus::State::Uploading);

    // Nothing changes: rewritten now and then, so a reader tells an idle station from a gone one.
    m_clock.advanceMs(StatusPublisher::kHeartbeatMs - 1);
    publisher.tick();
    EXPECT_EQ(publisher.writeCount(), 3);
    m_clock.advanceMs(1);
    publisher.tick();
    EXPECT_EQ(publisher.writeCount(), 4);
}

TEST_F(StationStatusTest, AFailedWriteIsSaidOnceUntilAWriteSucceeds) {
    const QString folder = QDir(m_dir.path()).filePath(QStringLiteral("work"));
    TestFiles::makeFolder(folder);
    StatusPublisher publisher(folder, m_clock, QStringLiteral("window"));
    QList<Failure> said;
    QObject::connect(&publisher, &StatusPublisher::writeFailed,
                     [&said](const Failure &why) { said.append(why); });
    publisher.start();
    ASSERT_TRUE(QDir(folder).removeRecursively()); // the working folder's share went away
    publisher.stateChanged();
    publisher.stateChanged();
    ASSERT_EQ(said.count(), 1);
    const Failure why = said.first();
    EXPECT_EQ(why.kind, Failure::Kind::Write);
    EXPECT_EQ(why.path, QDir::toNativeSeparators(publisher.path()));

    TestFiles::makeFolder(folder);
    publisher.stateChanged();
    EXPECT_TRUE(QFileInfo::exists(publisher.path()));
    ASSERT_TRUE(QDir(folder).removeRecursively());
    publisher.stateChanged();
    EXPECT_EQ(said.count(), 2) << "a new failure after a success is said again";
}

TEST_F(StationStatusTest, ASecondStationOnTheFolderIsRefusedNamingTheFirst) {
    StationLock first(m_dir.path());
    QString refusal;
    ASSERT_TRUE(first.acquire(&refusal)) << refusal.toStdString();
    StatusPublisher publisher(m_dir.path(), m_clock, QStringLiteral("headless"));
    publisher.start();

    StationLock second(m_dir.path());
    EXPECT_FALSE(second.acquire(&refusal));
    EXPECT_EQ(refusal, QStringLiteral("工作目录 %1 已有上传站在运行（进程 %2，无界面），不能再启动一个。")
                           .arg(QDir::toNativeSeparators(m_dir.path()))
                           .arg(QCoreApplication::applicationPid()));
    EXPECT_EQ(StationLock::holderOf(m_dir.path()).state, StationLock::Holder::State::Held);

    // A lock whose process is gone blocks nothing.
    TestFiles::write(QDir(m_dir.path()).filePath(QStringLiteral("other/station.lock")),
                     "2147483000\nbrelvantis\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    const QString other = QDir(m_dir.path()).filePath(QStringLiteral("other"));
    EXPECT_EQ(StationLock::holderOf(other).state, StationLock::Holder::State::Gone);
    StationLock third(other);
    EXPECT_TRUE(third.acquire(&refusal)) << refusal.toStdString();
}

} // namespace
