#include "core/upload/UploadController.h"
#include "IsolatorServer.h"
#include "core/common/Clock.h"
#include "core/config/SettingsRecord.h"
#include "core/records/RecordLog.h"
#include "core/records/UploadRecord.h"
#include "core/records/UploadTable.h"
#include "core/transfer/TransferJob.h"
#include "core/transfer/TransferWorker.h"
#include "core/upload/TransferScheduler.h"
#include "core/xls/Workbook.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>

using namespace UploadRecord;

namespace {

// The controller over a real worker, scheduler and log, sending to an isolator peer on loopback.
// The heartbeat is set to an hour, so whatever moves between files moves without it.
class UploadControllerTest : public ::testing::Test {
protected:
    UploadControllerTest()
        : m_peer(peerOptions(m_peerRoot.path()),
                 [this](const ConnectionReport &report) {
                     const std::lock_guard lock(m_reportLock);
                     m_reports.push_back(report);
                 }),
          m_log(m_table, m_clock), m_worker(m_job),
          m_scheduler(m_table, m_log, m_job, m_settings, m_clock,
                      [this](const QString &folder, const QString &name, const QString &destination,
                             const QString &address, const QString &port) {
                          ++m_starts;
                          return m_worker.start(folder, name, destination, address, port);
                      }),
          m_upload(m_scheduler, m_worker, m_log) {
        QString error;
        EXPECT_TRUE(m_peer.start(&error)) << error.toStdString();
        m_settings.uploadFolder = m_dir.path() + QLatin1Char('/');
        m_settings.isolatorAddress = QStringLiteral("127.0.0.1");
        m_settings.isolatorPort = QString::number(m_peer.port());
        m_log.loadRecordLog(m_dir.path() + QLatin1Char('/'));
        m_job.settleTime = {};
        m_upload.setTickInterval(3600 * 1000);
        m_upload.startTicking();
    }

    static IsolatorOptions peerOptions(const QString &root) {
        IsolatorOptions options;
        options.listenPort = 0;
        options.root = root;
        options.timeout = std::chrono::seconds(10);
        return options;
    }

    // A ready row; its file is in the upload folder unless missing is set.
    void queue(const QString &name, bool missing = false) {
        if (!missing) {
            TestFiles::write(m_dir.filePath(name), QByteArray(4096, 'x'));
        }
        const int row = m_table.appendRow(QString::number(m_table.rowCount() + 1));
        m_table.setCell(row, CellFileName, name);
        m_table.setCell(row, CellDestination, QStringLiteral("10.0.0.2:80||d:/in"));
        m_table.setCell(row, CellStatus, kStatusReady);
    }

    QStringList statuses() const {
        QStringList all;
        for (int row = 0; row < m_table.rowCount(); ++row) {
            all << m_table.cell(row, CellStatus);
        }
        return all;
    }

    QStringList loggedStatuses() const {
        Xls::Rows rows;
        QString error;
        EXPECT_TRUE(Xls::readWorksheet(m_log.path(), QStringLiteral("Sheet1"), &rows, &error));
        QStringList all;
        for (qsizetype i = 1; i < rows.size(); ++i) {
            all << rows[i].value(CellStatus);
        }
        return all;
    }

    size_t reports() {
        const std::lock_guard lock(m_reportLock);
        return m_reports.size();
    }

    QTemporaryDir m_dir;
    QTemporaryDir m_peerRoot;
    std::mutex m_reportLock;
    std::vector<ConnectionReport> m_reports;
    IsolatorServer m_peer;
    Clock m_clock;
    UploadTable m_table;
    RecordLog m_log;
    SettingsRecord m_settings;
    TransferJob m_job;
    TransferWorker m_worker;
    int m_starts = 0;
    TransferScheduler m_scheduler;
    UploadController m_upload;
};

TEST_F(UploadControllerTest, FilesGoBackToBackAndTheDrainedLogHoldsEveryStatus) {
    QStringList completedShas;
    QObject::connect(&m_upload, &UploadController::rowEvent,
                     [&](TransferScheduler::Event event, int, const TransferOutcome &outcome) {
                         if (event == TransferScheduler::Event::Completed) {
                             completedShas << outcome.sha256;
                         }
                     });
    for (int i = 0; i < 20; ++i) {
        queue(QStringLiteral("f%1.txt").arg(i));
    }
    m_upload.OnTimer(); // the heartbeat's one tick: nothing happens while stopped
    EXPECT_EQ(m_starts, 0);
    m_upload.start();
    m_upload.OnTimer(); // the first file starts on a tick; the rest follow each other
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_upload.isStopped(); }, 30000))
        << statuses().join(u',').toStdString();
    EXPECT_EQ(statuses(), QStringList(20, kStatusComplete));
    EXPECT_EQ(loggedStatuses(), statuses());
    EXPECT_FALSE(m_log.hasPendingWrite());
    EXPECT_EQ(m_starts, 20);
    ASSERT_TRUE(QTest::qWaitFor([this] { return reports() == 20; }, 10000));
    // Both sides hashed the same bytes.
    const QString sha = QString::fromLatin1(
        QCryptographicHash::hash(QByteArray(4096, 'x'), QCryptographicHash::Sha256).toHex());
    for (const ConnectionReport &report : m_reports) {
        EXPECT_EQ(report.outcome, ConnectionReport::Outcome::Stored) << report.logLine().toStdString();
        EXPECT_EQ(report.sha256, sha);
    }
    EXPECT_EQ(completedShas, QStringList(20, sha)) << "each completion carries what was sent";
}

TEST_F(UploadControllerTest, AFaultWaitsForTheHeartbeatWithItsReasonAndStopFlushesTheLog) {
    queue(QStringLiteral("a.txt"));
    queue(QStringLiteral("gone.txt"), true);
    queue(QStringLiteral("c.txt"));
    m_upload.start();
    m_upload.OnTimer();
    // a.txt goes, then gone.txt fails to open: it is marked with its reason at once, and nothing more
    // starts until the next tick.
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_starts == 2 && !m_job.running.load(); }, 30000));
    ASSERT_TRUE(m_worker.wait(std::chrono::seconds(5))); // its report of the end is posted by now
    QCoreApplication::processEvents();
    EXPECT_EQ(m_starts, 2);
    EXPECT_EQ(statuses(), (QStringList{kStatusComplete, kStatusFault, kStatusReady}));

    // The tick lets the ready row go first; the fault waits its pause.
    m_upload.OnTimer();
    EXPECT_EQ(m_table.attempts(1).note,
              QStringLiteral("文件不在上传目录中\n已尝试 1 次，文件回到上传目录后再试"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_table.cell(2, CellStatus) == kStatusComplete; }, 30000));
    EXPECT_EQ(m_starts, 3);
    EXPECT_FALSE(m_upload.isStopped()) << "a failed row is still to send";

    m_upload.setStopGraceMs(10);
    m_upload.stop();
    EXPECT_FALSE(m_log.hasPendingWrite());
    EXPECT_EQ(loggedStatuses(), statuses());
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_upload.isStopped(); }, 5000));
}

TEST_F(UploadControllerTest, AControllerThatHasGoneHearsNothingMore) {
    auto other = std::make_unique<UploadController>(m_scheduler, m_worker, m_log);
    other.reset();
    // A hook left behind would reach the freed controller here (the sanitizer build reports it).
    queue(QStringLiteral("a.txt"));
    EXPECT_EQ(m_scheduler.scheduleNext(), TransferScheduler::TickResult::Started);
    ASSERT_TRUE(m_worker.wait(std::chrono::seconds(20)));
    m_scheduler.finish(m_worker.lastOutcome().value());
    EXPECT_EQ(m_table.cell(0, CellStatus), kStatusComplete);
}

} // namespace
