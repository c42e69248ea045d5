#include "core/upload/TransferScheduler.h"

#include "core/common/Clock.h"
#include "core/config/SettingsRecord.h"
#include "core/records/UploadRecord.h"
#include "core/records/UploadTable.h"
#include "core/records/RecordLog.h"
#include "core/transfer/TransferJob.h"

#include <limits>

using namespace UploadRecord;

TransferScheduler::TransferScheduler(UploadTable &table, RecordLog &log, TransferJob &job,
                                     const SettingsRecord &settings, const Clock &clock, Starter starter)
    : m_table(table), m_log(log), m_job(job), m_settings(settings), m_clock(clock),
      m_starter(std::move(starter)) {}

int TransferScheduler::ScheduleNext() {
    if (m_job.bRunning.load(std::memory_order_acquire)) {
        return kTransferRunning;
    }
    for (int row = 0; row < m_table.rowCount(); ++row) {
        const QString status = m_table.cell(row, CellStatus);
        if (status == kStatusFault || status == kStatusStopped) {
            stamp(row, CellStartTime);
            m_table.setCell(row, CellStatus, kStatusUploading);
            m_log.WriteRecordLog();
            return startRow(row);
        }
        if (status == kStatusUploading) {
            if (m_job.bResumePending) {
                // Left uploading by an earlier run: send it again.
                stamp(row, CellStartTime);
                m_log.WriteRecordLog();
                return startRow(row);
            }
            if (!m_job.bSucceeded.load(std::memory_order_acquire)) {
                m_table.setCell(row, CellStatus, kStatusFault);
                stamp(row, CellStartTime);
                m_log.WriteRecordLog();
                return kTransferFailed;
            }
            m_table.setCell(row, CellStatus, kStatusComplete);
            stamp(row, CellFinishTime);
            m_log.WriteRecordLog();
            m_job.bSucceeded.store(false, std::memory_order_relaxed);
            continue;
        }
        if (status == kStatusComplete) {
            continue;
        }
        m_table.setCell(row, CellStatus, kStatusUploading);
        stamp(row, CellStartTime);
        m_log.WriteRecordLog();
        return startRow(row);
    }
    return kNothingToSend;
}

int TransferScheduler::startRow(int row) {
    m_job.bResumePending = false;
    m_job.nCurrentRow = row;
    // The settings are read afresh for every transfer, so a change takes effect with the next file.
    if (!m_starter(m_settings.uploadFolder, m_table.cell(row, CellFileName),
                   m_table.cell(row, CellDestination), m_settings.isolatorAddress, m_settings.isolatorPort)) {
        // No worker: the next tick finds the row uploading with no success and marks it a fault.
        m_job.bSucceeded.store(false, std::memory_order_relaxed);
    }
    return kTransferStarted;
}

void TransferScheduler::stamp(int row, int cell) {
    m_table.setCell(row, cell, m_clock.timestampText());
}

int TransferScheduler::GetUploadProgress() const {
    const quint64 size = m_job.nFileSize.load(std::memory_order_relaxed);
    const quint64 sent = m_job.nBytesSent.load(std::memory_order_relaxed);
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

bool TransferScheduler::RequestStop() {
    m_job.bStopRequested.store(true, std::memory_order_relaxed);
    if (!m_job.bRunning.load(std::memory_order_acquire)) {
        return false;
    }
    if (m_job.nCurrentRow >= 0 && m_job.nCurrentRow < m_table.rowCount()) {
        m_table.setCell(m_job.nCurrentRow, CellStatus, kStatusStopped);
        m_log.WriteRecordLog();
    }
    return true;
}
