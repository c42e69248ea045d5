#include "core/upload/CompletionMover.h"

#include "core/common/Clock.h"
#include "core/common/FileMove.h"
#include "core/config/SettingsRecord.h"
#include "support/TestFiles.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

constexpr int kWaitMs = 10000;

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
    bool waitForMoves(int count) {
        while (m_moved.size() < count) {
            if (!m_moved.wait(kWaitMs)) {
                return false;
            }
        }
        return true;
    }

    // Real moves, each held until the test opens the gate once (or the mover gives it up).
    void holdMoves() {
        m_mover.setMover(
            [this](const QString &source, const QString &target, const std::atomic_bool &cancelled) {
                m_moveThread = std::this_thread::get_id();
                m_started.release();
                const QDeadlineTimer bound(kWaitMs);
                while (!m_gate.tryAcquire(1, 10)) {
                    if (cancelled.load() || bound.hasExpired()) {
                        return QStringLiteral("移动已中止");
                    }
                }
                return FileMove::move(source, target, false, &cancelled);
            });
    }

    QTemporaryDir m_dir;
    FixedClock m_clock{QDateTime(QDate(2024, 3, 5), QTime(16, 0))};
    SettingsRecord m_settings;
    QSemaphore m_gate;
    QSemaphore m_started;
    std::atomic<std::thread::id> m_moveThread;
    CompletionMover m_mover{m_settings, m_clock};
    QSignalSpy m_moved{&m_mover, &CompletionMover::moved};
    QSignalSpy m_failures{&m_mover, &CompletionMover::moveFailed};
};

TEST_F(CompletionMoverTest, AMoveRunsOffTheCallersThreadWhoseEventLoopGoesOnAndHearsOfIt) {
    holdMoves();
    const QString file = sent(QStringLiteral("a.txt"), "aaa");
    QThread *heardOn = nullptr;
    QObject::connect(&m_mover, &CompletionMover::moved, [&heardOn] { heardOn = QThread::currentThread(); });
    m_mover.moveSentFile(QStringLiteral("a.txt"));
    EXPECT_TRUE(QFileInfo::exists(file)) << "asking returns while the move waits";
    // Only the caller's event loop opens the gate: the move ends because that loop ran meanwhile.
    QTimer::singleShot(0, [this] { m_gate.release(); });
    ASSERT_TRUE(waitForMoves(1));
    EXPECT_NE(m_moveThread.load(), std::this_thread::get_id());
    EXPECT_EQ(heardOn, QThread::currentThread());
    EXPECT_EQ(m_moved[0], (QVariantList{QStringLiteral("a.txt"), today(QStringLiteral("a.txt"))}));
    EXPECT_EQ(TestFiles::read(today(QStringLiteral("a.txt"))), QByteArray("aaa"));
}

// Moves asked for before any has run are done in order, each choosing its free name right before it
// moves: two 报告.txt (from the upload folder before and after a settings change) and a README whose
// name is taken already.
TEST_F(CompletionMoverTest, QueuedMovesOfSameNamedFilesAreDoneInOrderAndNeverReplaceOneThere) {
    holdMoves();
    TestFiles::write(today(QStringLiteral("README")), "already there");
    sent(QStringLiteral("报告.txt"), "first");
    m_mover.moveSentFile(QStringLiteral("报告.txt"));
    m_settings.uploadFolder = at(QStringLiteral("upload2/"));
    sent(QStringLiteral("报告.txt"), "second");
    m_mover.moveSentFile(QStringLiteral("报告.txt"));
    sent(QStringLiteral("README"), "r");
    m_mover.moveSentFile(QStringLiteral("README"));
    m_gate.release(3);
    ASSERT_TRUE(waitForMoves(3));

    EXPECT_EQ(m_moved[0][1].toString(), today(QStringLiteral("报告.txt")));
    EXPECT_EQ(m_moved[1][1].toString(), today(QStringLiteral("报告 (2).txt")));
    EXPECT_EQ(m_moved[2][1].toString(), today(QStringLiteral("README (2)")));
    EXPECT_EQ(TestFiles::read(today(QStringLiteral("报告.txt"))), QByteArray("first"));
    EXPECT_EQ(TestFiles::read(today(QStringLiteral("报告 (2).txt"))), QByteArray("second"));
    EXPECT_EQ(TestFiles::read(today(QStringLiteral("README"))), QByteArray("already there"));
    for (const char *folder : {"upload", "upload2"}) {
        EXPECT_TRUE(QDir(at(QString::fromLatin1(folder))).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }
    EXPECT_EQ(m_failures.size(), 0);
}

TEST_F(CompletionMoverTest, AFailedMoveLeavesTheFileAndSaysWhereAndWhy) {
    const QString file = sent(QStringLiteral("a.txt"), "aaa");
    m_mover.setMover([](const QString &, const QString &, const std::atomic_bool &) {
        return QStringLiteral("No space left on device");
    });
    m_mover.moveSentFile(QStringLiteral("a.txt"));
    ASSERT_TRUE(m_failures.wait(kWaitMs));
    EXPECT_EQ(TestFiles::read(file), QByteArray("aaa"));
    EXPECT_EQ(m_failures[0][0].toString(),
              QStringLiteral("已上传的文件“%1”未能移入回收目录“%2”：No space left on "
                             "device。文件仍留在上传目录中。")
                  .arg(file, at(QStringLiteral("done/2024-03-05"))));

    // The folder of the day cannot be made when a file stands in its place.
    m_mover.setMover([](const QString &source, const QString &target, const std::atomic_bool &cancelled) {
        return FileMove::move(source, target, false, &cancelled);
    });
    QDir(today(QString())).removeRecursively();
    TestFiles::write(at(QStringLiteral("done/2024-03-05")), "in the way");
    m_mover.moveSentFile(QStringLiteral("a.txt"));
    ASSERT_TRUE(m_failures.wait(kWaitMs));
    EXPECT_EQ(TestFiles::read(file), QByteArray("aaa"));
    EXPECT_EQ(m_failures[1][0].toString(),
              QStringLiteral("已上传的文件“%1”未能移入回收目录“%2”：同名的文件已存在，"
                             "不是文件夹。文件仍留在上传目录中。")
                  .arg(file, at(QStringLiteral("done/2024-03-05"))));
    EXPECT_EQ(m_moved.size(), 0);
}

// At exit the move under way gets its while and is then given up; the moves not yet started are
// dropped. Every file stays in the upload folder and nothing more is reported.
TEST_F(CompletionMoverTest, ShutDownGivesUpTheMoveUnderWayAndDropsTheRest) {
    holdMoves();
    const QString a = sent(QStringLiteral("a.txt"), "a");
    const QString b = sent(QStringLiteral("b.txt"), "b");
    m_mover.moveSentFile(QStringLiteral("a.txt"));
    m_mover.moveSentFile(QStringLiteral("b.txt"));
    ASSERT_TRUE(m_started.tryAcquire(1, kWaitMs));
    m_mover.shutDown(std::chrono::milliseconds(20));
    m_mover.moveSentFile(QStringLiteral("a.txt"));
    QCoreApplication::processEvents();

    EXPECT_EQ(m_started.available(), 0) << "b's move never started";
    EXPECT_EQ(TestFiles::read(a), QByteArray("a"));
    EXPECT_EQ(TestFiles::read(b), QByteArray("b"));
    EXPECT_EQ(m_moved.size() + m_failures.size(), 0);
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
    const QString source = sent(QStringLiteral("big.bin"), bytes);
    TestFiles::write(other.filePath(QStringLiteral("2024-03-05/big.bin")), "already there");

    // A copy given up (at exit) leaves the source and no partial copy.
    const std::atomic_bool cancelled{true};
    EXPECT_EQ(
        FileMove::move(source, other.filePath(QStringLiteral("2024-03-05/big (2).bin")), false, &cancelled),
        QStringLiteral("移动已中止"));
    EXPECT_EQ(QDir(other.filePath(QStringLiteral("2024-03-05"))).entryList(QDir::Files | QDir::Hidden).size(),
              1);

    m_mover.moveSentFile(QStringLiteral("big.bin"));
    ASSERT_TRUE(m_moved.wait(kWaitMs));
    EXPECT_EQ(m_moved[0][1].toString(), other.filePath(QStringLiteral("2024-03-05/big (2).bin")));
    EXPECT_EQ(TestFiles::read(other.filePath(QStringLiteral("2024-03-05/big (2).bin"))), bytes);
    EXPECT_EQ(TestFiles::read(other.filePath(QStringLiteral("2024-03-05/big.bin"))),
              QByteArray("already there"));
    EXPECT_FALSE(QFileInfo::exists(source));
    EXPECT_EQ(QDir(other.filePath(QStringLiteral("2024-03-05"))).entryList(QDir::Files | QDir::Hidden).size(),
              2);
}

} // namespace
