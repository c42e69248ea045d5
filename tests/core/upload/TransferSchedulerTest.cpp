#include "core/upload/TransferScheduler.h"
#include "core/common/Clock.h"
#include "core/config/SettingsRecord.h"
#include "core/records/RecordLog.h"
#include "core/records/UploadRecord.h"
#include "core/records/UploadTable.h"
#include "core/transfer/TransferJob.h"
#include "core/xls/Workbook.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>
#include <utility>

using namespace UploadRecord;

namespace {

struct Start {
    QString folder, fileName, destination, address, port;
};

// The scheduler over a real table and a real record log, with a fixed clock and a scripted worker:
// starting only records the hand-over and marks the job running; the test ends each transfer.
class SchedulerTest : public ::testing::Test {
protected:
    SchedulerTest()
        : m_clock(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9))), m_log(m_table, m_clock),
          m_scheduler(m_table, m_log, m_job, m_settings, m_clock, [this](auto &...args) {
              m_starts.push_back(Start{args...});
              m_job.running = true;
              return true;
          }) {
        m_settings.uploadFolder = QStringLiteral("/srv/upload/");
        m_settings.isolatorAddress = QStringLiteral("127.0.0.1");
        m_settings.isolatorPort = QStringLiteral("4000");
        m_log.loadRecordLog(m_dir.path() + QLatin1Char('/'));
        m_log.setCoalesceWindow(0); // every change written at once, unless a test says otherwise
    }

    void addRow(const QString &name, const QString &status) {
        const int row = m_table.appendRow(QString::number(m_table.rowCount() + 1));
        m_table.setCell(row, CellFileName, name);
        m_table.setCell(row, CellDestination, QStringLiteral("1.2.3.4:5||d://x"));
        m_table.setCell(row, CellStatus, status);
    }

    // The worker ends; its outcome reaches the scheduler at the next step, as the controller hands it.
    void finishTransfer(bool succeeded, TransferResult failure = TransferResult::Connect) {
        m_job.running = false;
        m_ended = succeeded ? TransferOutcome{} : TransferOutcome::failure(failure, m_reason);
    }

    TransferScheduler::TickResult step() {
        if (m_ended) {
            m_scheduler.finish(*std::exchange(m_ended, std::nullopt));
        }
        return m_scheduler.scheduleNext();
    }

    TransferScheduler::TickResult tickAt(int hour, int minute, int second) {
        m_clock.set(QDateTime(QDate(2024, 3, 5), QTime(hour, minute, second)));
        return step();
    }

    QString status(int row) const { return m_table.cell(row, CellStatus); }
    QString startTime(int row) const { return m_table.cell(row, CellStartTime); }
    QString finishTime(int row) const { return m_table.cell(row, CellFinishTime); }

    // The statuses the day's log holds right now.
    QStringList loggedStatuses() const {
        Xls::Rows rows;
        QString error;
        EXPECT_TRUE(Xls::readWorksheet(m_log.path(), QStringLiteral("Sheet1"), &rows, &error))
            << error.toStdString();
        QStringList statuses;
        for (qsizetype i = 1; i < rows.size(); ++i) {
            statuses << rows[i].value(CellStatus);
        }
        return statuses;
    }

    QStringList statuses() const {
        QStringList all;
        for (int row = 0; row < m_table.rowCount(); ++row) {
            all << status(row);
        }
        return all;
    }

    QTemporaryDir m_dir;
    FixedClock m_clock;
    UploadTable m_table;
    RecordLog m_log;
    TransferJob m_job;
    SettingsRecord m_settings;
    std::vector<Start> m_starts;
    std::optional<TransferOutcome> m_ended;
    QString m_reason;
    TransferScheduler m_scheduler;
};

TEST_F(SchedulerTest, NothingToSendWhenEmptyOrAllComplete) {
    EXPECT_EQ(m_scheduler.scheduleNext(), TransferScheduler::TickResult::NothingToSend);
    addRow(QStringLiteral("a.txt"), kStatusComplete);
    addRow(QStringLiteral("b.txt"), kStatusComplete);
    EXPECT_EQ(m_scheduler.scheduleNext(), TransferScheduler::TickResult::NothingToSend);
    EXPECT_TRUE(m_starts.empty());
}

TEST_F(SchedulerTest, SuccessIsConsumedInTheTickThatStartsTheNextRow) {
    addRow(QStringLiteral("a.txt"), kStatusComplete);
    addRow(QStringLiteral("报告.txt"), kStatusReady);
    addRow(QStringLiteral("c.txt"), kStatusReady);

    EXPECT_EQ(tickAt(10, 0, 0), TransferScheduler::TickResult::Started);
    EXPECT_EQ(status(1), kStatusUploading);
    EXPECT_EQ(startTime(1), QStringLiteral("2024-03-05 10:00:00"));
    ASSERT_EQ(m_starts.size(), 1u);
    EXPECT_EQ(m_starts[0].fileName, QStringLiteral("报告.txt"));
    EXPECT_EQ(m_starts[0].folder, QStringLiteral("/srv/upload/"));
    EXPECT_EQ(m_starts[0].destination, QStringLiteral("1.2.3.4:5||d://x"));
    EXPECT_EQ(loggedStatuses(), statuses());

    EXPECT_EQ(tickAt(10, 0, 2), TransferScheduler::TickResult::Running);
    finishTransfer(true);
    EXPECT_EQ(tickAt(10, 0, 4), TransferScheduler::TickResult::Started);
    EXPECT_EQ(status(1), kStatusComplete);
    EXPECT_EQ(finishTime(1), QStringLiteral("2024-03-05 10:00:04"));
    EXPECT_EQ(status(2), kStatusUploading);
    EXPECT_EQ(startTime(2), QStringLiteral("2024-03-05 10:00:04"));
    EXPECT_EQ(loggedStatuses(), statuses());

    finishTransfer(true);
    EXPECT_EQ(tickAt(10, 0, 6), TransferScheduler::TickResult::NothingToSend);
    EXPECT_EQ(statuses(), QStringList(3, kStatusComplete));
    EXPECT_EQ(loggedStatuses(), statuses());
}

TEST_F(SchedulerTest, TheCompletionHookHearsEveryRowThatBecomesCompleteOnce) {
    QStringList completed;
    m_scheduler.setCompletionHook([&completed](const QString &name) { completed << name; });
    addRow(QStringLiteral("a.txt"), kStatusComplete);
    addRow(QStringLiteral("b.txt"), kStatusReady);
    addRow(QStringLiteral("c.txt"), kStatusReady);
    tickAt(10, 0, 0);
    finishTransfer(false);
    tickAt(10, 0, 2); // b fails: no completion
    tickAt(10, 0, 4);
    finishTransfer(true);
    tickAt(10, 0, 6);
    finishTransfer(true);
    EXPECT_EQ(tickAt(10, 0, 8), TransferScheduler::TickResult::NothingToSend);
    // b failed first, so c (ready) went before b's retry.
    EXPECT_EQ(completed, (QStringList{QStringLiteral("c.txt"), QStringLiteral("b.txt")}));
}

TEST_F(SchedulerTest, RewritesAreCoalescedWhileFilesStreamAndFlushedWhenTheQueueDrains) {
    m_log.setCoalesceWindow(RecordLog::kCoalesceWindowMs);
    addRow(QStringLiteral("a.txt"), kStatusReady);
    addRow(QStringLiteral("b.txt"), kStatusReady);
    ASSERT_EQ(tickAt(9, 0, 0), TransferScheduler::TickResult::Started);
    EXPECT_EQ(loggedStatuses(), statuses()) << "the first change is written at once";

    finishTransfer(true);
    ASSERT_EQ(step(), TransferScheduler::TickResult::Started);
    EXPECT_TRUE(m_log.hasPendingWrite());
    EXPECT_EQ(loggedStatuses(), (QStringList{kStatusUploading, kStatusReady}));
    EXPECT_EQ(m_log.msUntilDue(), RecordLog::kCoalesceWindowMs);

    m_clock.advanceMs(RecordLog::kCoalesceWindowMs);
    EXPECT_EQ(m_log.msUntilDue(), 0);
    finishTransfer(true);
    ASSERT_EQ(step(), TransferScheduler::TickResult::NothingToSend);
    EXPECT_FALSE(m_log.hasPendingWrite());
    EXPECT_EQ(loggedStatuses(), QStringList(2, kStatusComplete));
}

TEST_F(SchedulerTest, AFaultLetsTheReadyRowsGoFirstAndIsRetriedAfterGrowingPauses) {
    addRow(QStringLiteral("a.txt"), kStatusReady);
    addRow(QStringLiteral("b.txt"), kStatusReady);
    ASSERT_EQ(tickAt(9, 0, 0), TransferScheduler::TickResult::Started);
    m_reason = QStringLiteral("隔离器 127.0.0.1:4000 拒绝连接（该端口无人监听）");
    finishTransfer(false);

    // The fault is marked with its reason and pause, and the ready row below goes in the same step.
    EXPECT_EQ(tickAt(9, 0, 2), TransferScheduler::TickResult::Started);
    EXPECT_EQ(statuses(), (QStringList{kStatusFault, kStatusUploading}));
    EXPECT_EQ(startTime(0), QStringLiteral("2024-03-05 09:00:00")) << "the first attempt's start stays";
    EXPECT_EQ(
        m_table.attempts(0).note,
        QStringLiteral("隔离器 127.0.0.1:4000 拒绝连接（该端口无人监听）\n已尝试 1 次，下次重试：09:00:04"));
    EXPECT_EQ(loggedStatuses(), statuses());

    finishTransfer(true);
    EXPECT_EQ(tickAt(9, 0, 3), TransferScheduler::TickResult::Waiting) << "a.txt's pause is not over";
    EXPECT_EQ(status(1), kStatusComplete);
    addRow(QStringLiteral("c.txt"), kStatusReady);
    EXPECT_EQ(tickAt(9, 0, 4), TransferScheduler::TickResult::Started);
    EXPECT_EQ(m_starts.back().fileName, QStringLiteral("c.txt")) << "a ready row goes before a due fault";
    finishTransfer(true);
    EXPECT_EQ(tickAt(9, 0, 4), TransferScheduler::TickResult::Started);
    EXPECT_EQ(m_starts.back().fileName, QStringLiteral("a.txt"));
    EXPECT_EQ(startTime(0), QStringLiteral("2024-03-05 09:00:00"));

    finishTransfer(false);
    EXPECT_EQ(tickAt(9, 0, 5), TransferScheduler::TickResult::Waiting);
    EXPECT_TRUE(m_table.attempts(0).note.endsWith(QStringLiteral("已尝试 2 次，下次重试：09:00:09")));
    EXPECT_EQ(tickAt(9, 0, 8), TransferScheduler::TickResult::Waiting);
    m_scheduler.retryNow({0});
    EXPECT_EQ(m_scheduler.scheduleNext(), TransferScheduler::TickResult::Started);

    QList<qint64> pauses;
    for (int failures : {1, 2, 3, 4, 5, 6, 7, 63, 64, 100000}) {
        pauses << TransferScheduler::retryPauseMs(failures) / 1000;
    }
    EXPECT_EQ(pauses, (QList<qint64>{2, 4, 8, 16, 32, 60, 60, 60, 60, 60})) << "capped however many failures";
}

TEST_F(SchedulerTest, AFileThatCanNeverTravelIsNotRetriedUntilTheOperatorSaysSo) {
    addRow(QStringLiteral("a.txt"), kStatusReady);
    ASSERT_EQ(tickAt(9, 0, 0), TransferScheduler::TickResult::Started);
    m_reason = QStringLiteral("文件名无法传输");
    finishTransfer(false, TransferResult::Unsendable);
    EXPECT_EQ(tickAt(9, 0, 2), TransferScheduler::TickResult::Waiting);
    EXPECT_EQ(m_table.attempts(0).note, QStringLiteral("文件名无法传输\n已尝试 1 次，不再自动重试"));
    EXPECT_EQ(tickAt(23, 59, 59), TransferScheduler::TickResult::Waiting);
    m_scheduler.retryNow({0});
    EXPECT_EQ(m_scheduler.scheduleNext(), TransferScheduler::TickResult::Started);
}

TEST_F(SchedulerTest, StoppedRowIsSentAgainFromTheBeginning) {
    addRow(QStringLiteral("a.txt"), kStatusReady);
    ASSERT_EQ(tickAt(9, 0, 0), TransferScheduler::TickResult::Started);

    EXPECT_TRUE(m_scheduler.requestStop());
    EXPECT_TRUE(m_job.stopRequested);
    EXPECT_EQ(status(0), kStatusStopped);
    EXPECT_EQ(startTime(0), QStringLiteral("2024-03-05 09:00:00"));
    EXPECT_EQ(loggedStatuses(), statuses());

    finishTransfer(false, TransferResult::Stopped);
    EXPECT_EQ(tickAt(9, 1, 0), TransferScheduler::TickResult::Started);
    EXPECT_EQ(status(0), kStatusUploading);
    EXPECT_EQ(startTime(0), QStringLiteral("2024-03-05 09:00:00"));
}

TEST_F(SchedulerTest, AStopBetweenTheWorkersEndAndItsOutcomeKeepsASuccessAndStopsAFailure) {
    QList<TransferScheduler::Event> events;
    m_scheduler.setObserver(
        [&](TransferScheduler::Event event, int, const TransferOutcome &) { events << event; });
    addRow(QStringLiteral("a.txt"), kStatusReady);
    addRow(QStringLiteral("b.txt"), kStatusReady);
    ASSERT_EQ(tickAt(9, 0, 0), TransferScheduler::TickResult::Started);
    finishTransfer(true);
    EXPECT_FALSE(m_scheduler.requestStop()) << "nothing runs any more";
    EXPECT_EQ(tickAt(9, 0, 1), TransferScheduler::TickResult::Started);
    EXPECT_EQ(status(0), kStatusComplete) << "it was sent whole before the stop";

    finishTransfer(false);
    EXPECT_FALSE(m_scheduler.requestStop());
    m_scheduler.finish(*m_ended);
    EXPECT_EQ(status(1), kStatusStopped);
    using Event = TransferScheduler::Event;
    EXPECT_EQ(events, (QList<Event>{Event::Started, Event::Completed, Event::Started, Event::Stopped}));
}

TEST_F(SchedulerTest, StopWhileIdleChangesNoRow) {
    addRow(QStringLiteral("a.txt"), kStatusReady);
    EXPECT_FALSE(m_scheduler.requestStop());
    EXPECT_TRUE(m_job.stopRequested);
    EXPECT_EQ(status(0), kStatusReady);
}

TEST_F(SchedulerTest, RowsLeftUploadingByAnEarlierRunAreResumedThenJudged) {
    addRow(QStringLiteral("a.txt"), kStatusUploading);
    addRow(QStringLiteral("b.txt"), kStatusUploading);
    m_table.setCell(0, CellStartTime, QStringLiteral("2024-03-05 08:00:00"));

    EXPECT_EQ(tickAt(9, 0, 0), TransferScheduler::TickResult::Started);
    EXPECT_EQ(status(0), kStatusUploading);
    EXPECT_EQ(startTime(0), QStringLiteral("2024-03-05 08:00:00"));
    EXPECT_EQ(m_starts.back().fileName, QStringLiteral("a.txt"));

    // The outcome judges the row it belongs to; the second was cut off too and is sent again next.
    finishTransfer(true);
    EXPECT_EQ(tickAt(9, 0, 2), TransferScheduler::TickResult::Started);
    EXPECT_EQ(status(0), kStatusComplete);
    EXPECT_EQ(status(1), kStatusUploading);
    EXPECT_EQ(m_starts.back().fileName, QStringLiteral("b.txt"));
}

TEST_F(SchedulerTest, UnknownStatusCountsAsReadyAndSettingsAreReadAtEveryStart) {
    addRow(QStringLiteral("a.txt"), QString());
    addRow(QStringLiteral("b.txt"), QStringLiteral("whatever"));
    ASSERT_EQ(tickAt(9, 0, 0), TransferScheduler::TickResult::Started);
    EXPECT_EQ(m_starts.back().port, QStringLiteral("4000"));

    m_settings.uploadFolder = QStringLiteral("/srv/other");
    m_settings.isolatorAddress = QStringLiteral("10.0.0.9");
    m_settings.isolatorPort = QStringLiteral("5000");
    finishTransfer(true);
    ASSERT_EQ(tickAt(9, 0, 2), TransferScheduler::TickResult::Started);
    EXPECT_EQ(m_starts.back().fileName, QStringLiteral("b.txt"));
    EXPECT_EQ(m_starts.back().folder, QStringLiteral("/srv/other"));
    EXPECT_EQ(m_starts.back().address, QStringLiteral("10.0.0.9"));
    EXPECT_EQ(m_starts.back().port, QStringLiteral("5000"));
}

TEST_F(SchedulerTest, ProgressCountsWholeBlocksAndNeverPassesAHundred) {
    EXPECT_EQ(m_scheduler.getUploadProgress(), 0);
    m_job.fileSize = 10000;
    EXPECT_EQ(m_scheduler.getUploadProgress(), 0);
    m_job.bytesSent = 4096;
    EXPECT_EQ(m_scheduler.getUploadProgress(), 40);
    m_job.bytesSent = 8192;
    EXPECT_EQ(m_scheduler.getUploadProgress(), 81);
    m_job.bytesSent = 12288;
    EXPECT_EQ(m_scheduler.getUploadProgress(), 100);
    m_job.fileSize = 0;
    EXPECT_EQ(m_scheduler.getUploadProgress(), 0);
}

TEST_F(SchedulerTest, AWorkerThatCannotStartEndsAsAFault) {
    TransferScheduler failing(m_table, m_log, m_job, m_settings, m_clock, [](auto &...) { return false; });
    addRow(QStringLiteral("a.txt"), kStatusReady);
    ASSERT_EQ(failing.scheduleNext(), TransferScheduler::TickResult::Started);
    EXPECT_EQ(status(0), kStatusFault);
    EXPECT_EQ(failing.scheduleNext(), TransferScheduler::TickResult::Waiting);
}

} // namespace
