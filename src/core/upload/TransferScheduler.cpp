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

TransferScheduler::TickResult TransferScheduler::scheduleNext() {
    if (m_job.running.load(std::memory_order_acquire)) {
        return TickResult::Running;
    }
    for (int row = 0; row < m_table.rowCount(); ++row) {
        const QString status = m_table.cell(row, CellStatus);
        if (status == kStatusFault || status == kStatusStopped) {
            stamp(row, CellStartTime);
            m_table.setCell(row, CellStatus, kStatusUploading);
            m_log.writeRecordLog();
            return startRow(row);
        }
        if (status == kStatusUploading) {
            if (m_job.resumePending) {
                // Left uploading by an earlier run: send it again.
                stamp(row, CellStartTime);
                m_log.writeRecordLog();
                return startRow(row);
            }
            if (!m_job.succeeded.load(std::memory_order_acquire)) {
                m_table.setCell(row, CellStatus, kStatusFault);
                stamp(row, CellStartTime);
                m_log.writeRecordLog();
                return TickResult::Failed;
            }
            m_table.setCell(row, CellStatus, kStatusComplete);
            stamp(row, CellFinishTime);
            m_log.writeRecordLog();
            if (m_completionHook) {
                m_completionHook(m_table.cell(row, CellFileName));
            }
            m_job.succeeded.store(false, std::memory_order_relaxed);
            continue;
        }
        if (status == kStatusComplete) {
            continue;
        }
        m_table.setCell(row, CellStatus, kStatusUploading);
        stamp(row, CellStartTime);
        m_log.writeRecordLog();
        return startRow(row);
    }
    return TickResult::NothingToSend;
}

TransferScheduler::TickResult TransferScheduler::startRow(int row) {
    m_job.resumePending = false;
    m_job.currentRow = row;
    // The settings are read afresh for every transfer, so a change takes effect with the next file.
    if (!m_starter(m_settings.uploadFolder, m_table.cell(row, CellFileName),
                   m_table.cell(row, CellDestination), m_settings.isolatorAddress, m_settings.isolatorPort)) {
        // No worker: the next tick finds the row uploading with no success and marks it a fault.
        m_job.succeeded.store(false, std::memory_order_relaxed);
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

bool TransferScheduler::requestStop() {
    m_job.stopRequested.store(true, std::memory_order_relaxed);
    if (!m_job.running.load(std::memory_order_acquire)) {
        return false;
    }
    if (m_job.currentRow >= 0 && m_job.currentRow < m_table.rowCount()) {
        m_table.setCell(m_job.currentRow, CellStatus, kStatusStopped);
        m_log.writeRecordLog();
    }
    return true;
}
