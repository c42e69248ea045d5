#include "core/upload/TransferScheduler.h"

#include "core/common/Clock.h"
#include "core/common/Paths.h"
#include "core/config/SettingsRecord.h"
#include "core/records/RecordLog.h"
#include "core/records/UploadRecord.h"
#include "core/records/UploadTable.h"
#include "core/transfer/TransferJob.h"

#include <limits>
#include <utility>

using namespace UploadRecord;

TransferScheduler::TransferScheduler(UploadTable &table, RecordLog &log, TransferJob &job,
                                     const SettingsRecord &settings, const Clock &clock, Starter starter)
    : m_table(table), m_log(log), m_job(job), m_settings(settings), m_clock(clock),
      m_starter(std::move(starter)) {}

qint64 TransferScheduler::retryPauseMs(int failures) {
    return 1000 * qMin<qint64>(60, qint64(1) << qBound(1, failures, 6));
}

TransferScheduler::TickResult TransferScheduler::scheduleNext() {
    if (m_pending != Pending::None || m_job.running.load(std::memory_order_acquire)) {
        return TickResult::Running;
    }
    // A row still uploading while no transfer is awaited was left so by an earlier run: send it again.
    const int resumed = uploadingRow();
    if (resumed >= 0) {
        const ScanCheck scan = checkScan(resumed);
        if (scan == ScanCheck::Pending) {
            return TickResult::Scanning;
        }
        if (scan == ScanCheck::Clear) {
            return startRow(resumed, kStatusUploading, m_table.cell(resumed, CellStartTime));
        }
    }

    noticeReturnedFiles();
    // A row whose file is not there, or still being written, or refused by the scanner, is passed over
    // at once: it never holds the rows below it. One whose scan runs holds them: it is next.
    int row = nextRow();
    for (; row >= 0; row = nextRow()) {
        if (!checkFile(row)) {
            continue;
        }
        const ScanCheck scan = checkScan(row);
        if (scan == ScanCheck::Pending) {
            return TickResult::Scanning;
        }
        if (scan == ScanCheck::Clear) {
            break;
        }
    }
    if (row >= 0) {
        const QString status = m_table.cell(row, CellStatus);
        const QString startTime = m_table.cell(row, CellStartTime);
        if (startTime.isEmpty()) {
            stamp(row, CellStartTime);
        }
        m_table.setCell(row, CellStatus, kStatusUploading);
        return startRow(row, status, startTime);
    }
    for (int other = 0; other < m_table.rowCount(); ++other) {
        const QString status = m_table.cell(other, CellStatus);
        if (status == kStatusFault || (status != kStatusComplete && m_table.attempts(other).retryAtMs > 0)) {
            return TickResult::Waiting;
        }
    }
    // The queue has drained: whatever the coalescing held back goes to the log now.
    m_log.flushRecordLog();
    return TickResult::NothingToSend;
}

void TransferScheduler::finish(const TransferOutcome &outcome) {
    const Pending pending = std::exchange(m_pending, Pending::None);
    const int row = uploadingRow();
    if (pending == Pending::None || pending == Pending::Stopped || row < 0) {
        return; // nothing awaited, or stopped while it ran and marked already
    }
    if (outcome.succeeded()) {
        markComplete(row, outcome);
    } else if (pending == Pending::StopOnEnd) {
        markStopped(row, outcome);
    } else if (outcome.result == TransferResult::NotSettled) {
        defer(row, outcome);
    } else {
        markFault(row, outcome);
    }
}

int TransferScheduler::uploadingRow() const {
    for (int row = 0; row < m_table.rowCount(); ++row) {
        if (m_table.cell(row, CellStatus) == kStatusUploading) {
            return row;
        }
    }
    return -1;
}

void TransferScheduler::markComplete(int row, const TransferOutcome &outcome) {
    m_table.setCell(row, CellStatus, kStatusComplete);
    ++m_completed;
    stamp(row, CellFinishTime);
    m_table.setAttempts(row, {});
    m_log.writeRecordLogSoon();
    if (m_completionHook) {
        m_completionHook(m_table.cell(row, CellFileName));
    }
    notify(Event::Completed, row, outcome);
}

void TransferScheduler::markStopped(int row, const TransferOutcome &outcome) {
    m_table.setCell(row, CellStatus, kStatusStopped);
    m_log.writeRecordLog();
    notify(Event::Stopped, row, outcome);
}

// The first row that wants its first (or a fresh) try; failing that, the first failed row due again.
// The first row that wants its first (or a fresh) try and whose wait, if any, is over: a ready row,
// or one stopped in this run; failing that, a row stopped by an earlier run (or of a status this station
// never writes); failing that, the first failed row due again.
int TransferScheduler::nextRow() const {
    int untried = -1;
    int dueFault = -1;
    const qint64 now = m_clock.monotonicMs();
    for (int row = 0; row < m_table.rowCount(); ++row) {
        const QString status = m_table.cell(row, CellStatus);
        const UploadTable::Attempts attempts = m_table.attempts(row);
        if (status == kStatusComplete || status == kStatusUploading || attempts.retryAtMs > now) {
            continue;
        }
        if (status == kStatusFault) {
            dueFault = dueFault < 0 ? row : dueFault;
        } else if (status == kStatusReady || attempts.tried) {
            return row;
        } else if (untried < 0) {
            untried = row;
        }
    }
    return untried >= 0 ? untried : dueFault;
}

// False when the row's file cannot go now: a missing one makes the row a fault at once (without any
// connection), one still being written waits a moment.
bool TransferScheduler::checkFile(int row) {
    if (!m_fileCheck) {
        return true;
    }
    const FileState state = m_fileCheck(m_table.cell(row, CellFileName));
    switch (state.kind) {
    case FileState::Kind::Ready:
        return true;
    case FileState::Kind::Missing:
        markFault(row, TransferOutcome::failure(TransferResult::FileMissing, state.reason));
        return false;
    case FileState::Kind::NotSettled: {
        UploadTable::Attempts attempts = m_table.attempts(row);
        attempts.retryAtMs = m_clock.monotonicMs() + kSettleRetryMs;
        attempts.note = state.reason;
        m_table.setAttempts(row, attempts);
        return false;
    }
    }
    return true;
}

// A row that failed because its file was gone may go again once the file is back.
void TransferScheduler::noticeReturnedFiles() {
    if (!m_fileCheck) {
        return;
    }
    for (int row = 0; row < m_table.rowCount(); ++row) {
        UploadTable::Attempts attempts = m_table.attempts(row);
        if (!attempts.fileMissing || m_table.cell(row, CellStatus) != kStatusFault ||
            m_fileCheck(m_table.cell(row, CellFileName)).kind == FileState::Kind::Missing) {
            continue;
        }
        attempts.fileMissing = false;
        attempts.retryAtMs = 0;
        m_table.setAttempts(row, attempts);
    }
}

// Another program still writes the file: the row keeps its place and status and waits a moment.
void TransferScheduler::defer(int row, const TransferOutcome &outcome) {
    m_table.setCell(row, CellStatus, kStatusReady);
    UploadTable::Attempts attempts = m_table.attempts(row);
    attempts.retryAtMs = m_clock.monotonicMs() + kSettleRetryMs;
    attempts.note = outcome.reason;
    m_table.setAttempts(row, attempts);
    m_log.writeRecordLogSoon();
    notify(Event::Deferred, row, outcome);
}

// The scan's verdict on the row's file as it is now: clear to go (m_passed holds what was scanned),
// still to come, or held back with the row marked.
TransferScheduler::ScanCheck TransferScheduler::checkScan(int row) {
    m_passed = {};
    if (!m_scan) {
        return ScanCheck::Clear;
    }
    const QString fileName = m_table.cell(row, CellFileName);
    const SendScan::Verdict verdict = m_scan->take(Paths::join(m_settings.uploadFolder, fileName));
    if (verdict.kind == SendScan::Verdict::Kind::Pending) {
        m_scanningFile = fileName;
        return ScanCheck::Pending;
    }
    m_scanningFile.clear();
    if (verdict.kind == SendScan::Verdict::Kind::Off) {
        m_scannerProblem.clear(); // no scanner is set any more: none is down
        return ScanCheck::Clear;
    }
    const SendScan::Result &result = verdict.result;
    switch (result.outcome) {
    case SendScan::Result::Outcome::Clean:
        m_scannerProblem.clear();
        m_passed = result;
        return ScanCheck::Clear;
    case SendScan::Result::Outcome::Infected:
    case SendScan::Result::Outcome::Refused: {
        if (result.outcome == SendScan::Result::Outcome::Infected) {
            m_scannerProblem.clear();
        }
        // A file changed after it was queued into one the checks refuse is refused as a find is.
        const QString why = result.outcome == SendScan::Result::Outcome::Infected
                                ? QStringLiteral("检测到恶意代码 %1").arg(result.signature)
                                : result.reason;
        TransferOutcome refused =
            TransferOutcome::failure(TransferResult::Infected, QStringLiteral("拒绝：") + why);
        refused.sha256 = result.sha256;
        markFault(row, refused, Event::Refused);
        if (m_refusalHook) {
            m_refusalHook(fileName);
        }
        return ScanCheck::Held;
    }
    case SendScan::Result::Outcome::Failed:
        m_scannerProblem = result.reason;
        markFault(row, TransferOutcome::failure(TransferResult::ScanFailed, result.reason));
        return ScanCheck::Held;
    case SendScan::Result::Outcome::Unreadable:
        markFault(row, TransferOutcome::failure(TransferResult::Data, result.reason));
        return ScanCheck::Held;
    }
    return ScanCheck::Held;
}

// While a file is sent, the one that comes next is scanned.
void TransferScheduler::prepareNextScan() {
    if (!m_scan) {
        return;
    }
    const int next = nextRow();
    if (next >= 0) {
        m_scan->prepare(Paths::join(m_settings.uploadFolder, m_table.cell(next, CellFileName)));
    }
}

void TransferScheduler::markFault(int row, const TransferOutcome &outcome, Event event) {
    UploadTable::Attempts attempts = m_table.attempts(row);
    ++attempts.failures;
    QString why = outcome.reason.isEmpty() ? QStringLiteral("传输失败") : outcome.reason;
    attempts.fileMissing = outcome.result == TransferResult::FileMissing;
    if (outcome.result == TransferResult::Refused) {
        if (attempts.refusals++ == 0) {
            attempts.completedAtFirstRefusal = m_completed;
        }
    } else {
        attempts.refusals = 0;
    }
    // Refused again and again while other files get through: the isolator will not take this one.
    const bool refusedForGood =
        attempts.refusals >= kRefusalsBeforeGivingUp && m_completed > attempts.completedAtFirstRefusal;
    if (refusedForGood) {
        why = QStringLiteral("隔离器多次拒绝此文件（可能超过其大小限制或类型限制）");
    }
    if (outcome.retryable() && !refusedForGood) {
        const qint64 pause = retryPauseMs(attempts.failures);
        attempts.retryAtMs = m_clock.monotonicMs() + pause;
        attempts.note = QStringLiteral("%1\n已尝试 %2 次，下次重试：%3")
                            .arg(why)
                            .arg(attempts.failures)
                            .arg(m_clock.now().addMSecs(pause).toString(QStringLiteral("HH:mm:ss")));
    } else {
        // Only the operator, or the file's return, can mend it (立即重试 still tries it at once).
        attempts.retryAtMs = std::numeric_limits<qint64>::max();
        attempts.note = QStringLiteral("%1\n已尝试 %2 次，%3")
                            .arg(why)
                            .arg(attempts.failures)
                            .arg(attempts.fileMissing ? QStringLiteral("文件回到上传目录后再试")
                                                      : QStringLiteral("不再自动重试"));
    }
    m_table.setCell(row, CellStatus, kStatusFault);
    m_table.setAttempts(row, attempts);
    m_log.writeRecordLogSoon();
    notify(event, row, outcome);
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

void TransferScheduler::notify(Event event, int row, const TransferOutcome &outcome) {
    // A line the journal could not take is its writeFailure(), which holds the next start.
    if (m_recorder) {
        m_recorder(event, row, outcome);
    }
    if (m_observer) {
        m_observer(event, row, outcome);
    }
}

// status and startTime: the row's cells before it became 正在上传, for when its start cannot be recorded.
TransferScheduler::TickResult TransferScheduler::startRow(int row, const QString &status,
                                                          const QString &startTime) {
    // A file is never sent without its record: the row's status in the log, its start in the journal.
    const bool logged = m_log.writeRecordLogSoon();
    if (!logged || (m_recorder && !m_recorder(Event::Started, row, {}))) {
        m_table.setCell(row, CellStatus, status);
        m_table.setCell(row, CellStartTime, startTime);
        if (logged) {
            m_log.writeRecordLogSoon(); // the log holds 正在上传 for a transfer that never started
        }
        return TickResult::NotRecorded;
    }
    // The settings are read afresh for every transfer, so a change takes effect with the next file.
    m_job.bandwidthLimit.store(m_settings.bandwidthLimit.trimmed().toULongLong() * 1000,
                               std::memory_order_relaxed);
    const SendScan::Result passed = std::exchange(m_passed, {});
    m_job.scannedSha256 = passed.sha256;
    m_job.scannedSize = passed.sha256.isEmpty() ? -1 : passed.bytes;
    m_pending = Pending::Running;
    UploadTable::Attempts attempts = m_table.attempts(row);
    attempts.tried = true;
    attempts.retryAtMs = 0;
    m_table.setAttempts(row, attempts);
    m_startedMs = m_clock.monotonicMs();
    if (m_observer) {
        m_observer(Event::Started, row, {});
    }
    if (!m_starter(m_settings.uploadFolder, m_table.cell(row, CellFileName),
                   m_table.cell(row, CellDestination), m_settings.isolatorAddress, m_settings.isolatorPort)) {
        finish(TransferOutcome::failure(TransferResult::SocketLibrary, QStringLiteral("无法启动传输线程")));
    } else {
        prepareNextScan();
    }
    return TickResult::Started;
}

void TransferScheduler::stamp(int row, int cell) {
    m_table.setCell(row, cell, m_clock.timestampText());
}

int TransferScheduler::getUploadProgress() const {
    const quint64 size = m_job.fileSize.load(std::memory_order_relaxed);
    const quint64 counted = m_job.bytesSent.load(std::memory_order_relaxed);
    const quint64 sent = counted - qMin(m_job.unsentBytes(), counted);
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
    if (m_scan) {
        m_scan->cancel();
    }
    m_scanningFile.clear();
    const bool running = m_job.running.load(std::memory_order_acquire);
    const int row = uploadingRow();
    if (m_pending != Pending::Running || row < 0) {
        return running;
    }
    if (!running) {
        // It has ended and its outcome is on its way: a success still counts, anything else is stopped.
        m_pending = Pending::StopOnEnd;
        return false;
    }
    m_pending = Pending::Stopped;
    TransferOutcome stopped = TransferOutcome::failure(TransferResult::Stopped, QStringLiteral("已停止上传"));
    stopped.bytes = qMin(m_job.bytesSent.load(), m_job.fileSize.load());
    stopped.seconds = static_cast<double>(m_clock.monotonicMs() - m_startedMs) / 1000.0;
    markStopped(row, stopped);
    return true;
}
