#include "core/upload/TransferScheduler.h"

#include "core/common/Clock.h"
#include "core/config/SettingsRecord.h"
#include "core/records/RecordLog.h"
#include "core/records/UploadRecord.h"
#include "core/records/UploadTable.h"
#include "core/transfer/TransferJob.h"

#include <limits>

using namespace UploadRecord;

TransferScheduler::TransferScheduler(UploadTable &table, RecordLog &log, TransferJob &job,
                                     const SettingsRecord &settings, const Clock &clock, Starter starter)
    : m_table(table), m_log(log), m_job(job), m_settings(settings), m_clock(clock),
      m_starter(std::move(starter)) {}

qint64 TransferScheduler::retryPauseMs(int failures) {
    return 1000 * qMin<qint64>(60, qint64(1) << qBound(1, failures, 6));
}

TransferScheduler::TickResult TransferScheduler::scheduleNext() {
    if (m_job.running.load(std::memory_order_acquire)) {
        return TickResult::Running;
    }
    bool failed = false;
    const int resumed = judgeEnded(&failed);
    if (resumed >= 0) {
        // Left uploading by an earlier run: send it again.
        m_log.writeRecordLogSoon();
        return startRow(resumed);
    }

    const int row = nextRow();
    if (row >= 0) {
        if (m_table.cell(row, CellStartTime).isEmpty()) {
            stamp(row, CellStartTime);
        }
        m_table.setCell(row, CellStatus, kStatusUploading);
        m_log.writeRecordLogSoon();
        return startRow(row);
    }
    if (failed) {
        return TickResult::Failed;
    }
    for (int other = 0; other < m_table.rowCount(); ++other) {
        if (m_table.cell(other, CellStatus) == kStatusFault) {
            return TickResult::Waiting;
        }
    }
    // The queue has drained: whatever the coalescing held back goes to the log now.
    m_log.flushRecordLog();
    return TickResult::NothingToSend;
}

// Judges the rows left uploading: the one that just ended is complete or a fault. Before the first
// transfer of this process, returns the first such row instead (an earlier run's, to send again).
int TransferScheduler::judgeEnded(bool *failed) {
    for (int row = 0; row < m_table.rowCount(); ++row) {
        if (m_table.cell(row, CellStatus) != kStatusUploading) {
            continue;
        }
        if (m_job.resumePending) {
            return row;
        }
        if (!m_job.succeeded.load(std::memory_order_acquire)) {
            markFault(row, m_job.failureReason);
            *failed = true;
            continue;
        }
        m_table.setCell(row, CellStatus, kStatusComplete);
        ++m_completed;
        stamp(row, CellFinishTime);
        m_table.setAttempts(row, {});
        m_log.writeRecordLogSoon();
        m_job.succeeded.store(false, std::memory_order_relaxed);
        if (m_completionHook) {
            m_completionHook(m_table.cell(row, CellFileName));
        }
        notify(Event::Completed, row);
    }
    return -1;
}

// The first row that wants its first (or a fresh) try; failing that, the first failed row due again.
int TransferScheduler::nextRow() const {
    int dueFault = -1;
    const qint64 now = m_clock.monotonicMs();
    for (int row = 0; row < m_table.rowCount(); ++row) {
        const QString status = m_table.cell(row, CellStatus);
        if (status == kStatusComplete || status == kStatusUploading) {
            continue;
        }
        if (status != kStatusFault) {
            return row; // ready, stopped, or a text this station never writes
        }
        if (dueFault < 0 && m_table.attempts(row).retryAtMs <= now) {
            dueFault = row;
        }
    }
    return dueFault;
}

void TransferScheduler::markFault(int row, const QString &reason) {
    UploadTable::Attempts attempts = m_table.attempts(row);
    ++attempts.failures;
    const qint64 pause = retryPauseMs(attempts.failures);
    attempts.retryAtMs = m_clock.monotonicMs() + pause;
    const QString why = reason.isEmpty() ? QStringLiteral("传输失败") : reason;
    attempts.note = QStringLiteral("%1\n已尝试 %2 次，下次重试：%3")
                        .arg(why)
                        .arg(attempts.failures)
                        .arg(m_clock.now().addMSecs(pause).toString(QStringLiteral("HH:mm:ss")));
    m_table.setCell(row, CellStatus, kStatusFault);
    m_table.setAttempts(row, attempts);
    m_log.writeRecordLogSoon();
    notify(Event::Failed, row);
}

void TransferScheduler::retryNow(const QList<int> &rows) {
    for (int row : rows) {
        if (m_table.cell(row, CellStatus) == kStatusFault) {
            UploadTable::Attempts attempts = m_table.attempts(row);
            attempts.retryAtMs = 0;
            m_table.setAttempts(row, attempts);
        }
    }
}

void TransferScheduler::notify(Event event, int row) {
    if (m_observer) {
        m_observer(event, row);
    }
}

TransferScheduler::TickResult TransferScheduler::startRow(int row) {
    m_job.resumePending = false;
    m_job.currentRow = row;
    // The settings are read afresh for every transfer, so a change takes effect with the next file.
    m_job.bandwidthLimit.store(m_settings.bandwidthLimit.trimmed().toULongLong() * 1000,
                               std::memory_order_relaxed);
    notify(Event::Started, row);
    if (!m_starter(m_settings.uploadFolder, m_table.cell(row, CellFileName),
                   m_table.cell(row, CellDestination), m_settings.isolatorAddress, m_settings.isolatorPort)) {
        // No worker: the next step finds the row uploading with no success and marks it a fault.
        m_job.succeeded.store(false, std::memory_order_relaxed);
        m_job.failureReason = QStringLiteral("无法启动传输线程");
    }
    return TickResult::Started;
}

void TransferScheduler::stamp(int row, int cell) {
    m_table.setCell(row, cell, m_clock.timestampText());
}

int TransferScheduler::getUploadProgress() const {
    const quint64 size = m_job.fileSize.load(std::memory_order_relaxed);
    const quint64 sent = m_job.bytesSent.load(std::memory_order_relaxed);
    if (size == 0 || sent == 0) {
        return 0;
    }
    if (sent >= size) {
        return 100;
    }
    if (sent > std::numeric_limits<quint64>::max() / 100) {
        return static_cast<int>(sent / (size / 100));
    }
    return static_cast<int>(sent * 100 / size);
}

TransferScheduler::Remaining TransferScheduler::remaining() const {
    Remaining left;
    for (int row = 0; row < m_table.rowCount(); ++row) {
        if (m_table.cell(row, CellStatus) == kStatusComplete) {
            continue;
        }
        ++left.files;
        // "123 KB": the leading number.
        const QString size = m_table.cell(row, CellFileSize);
        qsizetype digits = 0;
        while (digits < size.size() && size.at(digits).isDigit()) {
            ++digits;
        }
        left.bytes += size.left(digits).toULongLong() * 1024;
    }
    if (m_job.running.load(std::memory_order_acquire)) {
        left.bytes -= qMin(left.bytes, m_job.bytesSent.load(std::memory_order_relaxed));
    }
    return left;
}

bool TransferScheduler::requestStop() {
    m_job.stopRequested.store(true, std::memory_order_relaxed);
    const bool running = m_job.running.load(std::memory_order_acquire);
    const int row = m_job.currentRow;
    if (row < 0 || row >= m_table.rowCount() || m_job.resumePending ||
        m_table.cell(row, CellStatus) != kStatusUploading) {
        return running;
    }
    if (!running && m_job.succeeded.load(std::memory_order_acquire)) {
        // It ended well just before the stop: judged as the next step would have judged it.
        bool failed = false;
        judgeEnded(&failed);
        return false;
    }
    // Running, or ended without success and not yet judged: either way the operator stopped it.
    m_table.setCell(row, CellStatus, kStatusStopped);
    m_log.writeRecordLog();
    notify(Event::Stopped, row);
    return running;
}
