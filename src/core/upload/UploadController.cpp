#include "core/upload/UploadController.h"

#include "core/records/DayJournal.h"
#include "core/records/RecordLog.h"
#include "core/transfer/TransferJob.h"
#include "core/transfer/TransferWorker.h"
#include "core/upload/TransferScheduler.h"

#include <chrono>

UploadController::UploadController(TransferScheduler &scheduler, TransferWorker &worker, RecordLog &log,
                                   DayJournal *journal, QObject *parent)
    : QObject(parent), m_scheduler(scheduler), m_worker(worker), m_log(log), m_journal(journal) {
    m_tick.setInterval(kTickMs);
    connect(&m_tick, &QTimer::timeout, this, &UploadController::OnTimer);
    m_grace.setSingleShot(true);
    m_grace.setInterval(kStopGraceMs);
    connect(&m_grace, &QTimer::timeout, this, &UploadController::finishStop);
    m_flush.setSingleShot(true);
    connect(&m_flush, &QTimer::timeout, this, [this] {
        m_log.flushRecordLog();
        checkRecording();
    });
    m_progressTick.setInterval(kProgressMs);
    connect(&m_progressTick, &QTimer::timeout, this, &UploadController::sampleProgress);
    m_scheduler.setObserver([this](TransferScheduler::Event event, int row, const TransferOutcome &outcome) {
        emit rowEvent(event, row, outcome);
    });
    // The outcome travels by value to the window thread; a post still queued when this object goes is
    // dropped with it.
    m_worker.setFinishedCallback([this](const TransferOutcome &outcome) {
        QMetaObject::invokeMethod(
            this, [this, outcome] { onTransferEnded(outcome); }, Qt::QueuedConnection);
    });
}

UploadController::~UploadController() {
    m_scheduler.setObserver({});
    m_worker.setFinishedCallback({});
    if (m_scan) {
        m_scan->setScannedCallback({});
    }
}

void UploadController::setSendScan(SendScan *scan) {
    if (m_scan) {
        m_scan->setScannedCallback({});
    }
    m_scan = scan;
    if (!m_scan) {
        return;
    }
    m_scan->setScannedCallback([this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_state == UploadState::Uploading) {
                    step();
                }
            },
            Qt::QueuedConnection);
    });
}

QString UploadController::sendingFileName() const {
    const TransferJob &job = m_worker.job();
    return job.running.load(std::memory_order_acquire) ? job.fileName : QString();
}

void UploadController::startTicking() {
    m_tick.start();
}

void UploadController::start() {
    if (m_state == UploadState::Stopping) {
        return;
    }
    if (m_state == UploadState::Stopped) {
        m_completedAtStart = m_scheduler.completedTransfers();
        m_progress.reset();
        m_sinceStart.start();
    }
    setState(UploadState::Uploading);
}

void UploadController::stop() {
    if (m_state == UploadState::Stopping) {
        return;
    }
    m_scheduler.requestStop();
    // The worker looks at the request after each block. Give it its grace period without freezing
    // the window.
    setState(UploadState::Stopping);
    m_log.flushRecordLog();
    m_grace.start();
}

void UploadController::finishStop() {
    if (m_state != UploadState::Stopping) {
        return;
    }
    // A transfer still hanging (on a connection or an acknowledgement that never comes) is cut now:
    // its row is marked stopped already, and nothing may run once the window says it stopped.
    if (m_worker.job().running.load(std::memory_order_acquire)) {
        m_worker.abandon();
        m_worker.wait(std::chrono::seconds(2));
    }
    setState(UploadState::Stopped);
}

void UploadController::OnTimer() {
    retryRecording();
    if (m_state == UploadState::Uploading) {
        step();
    }
    // Whatever the state: a change still held back is written by now.
    m_log.flushRecordLog();
    checkRecording();
}

// Whichever of the two failed is tried again: the log's pending write, a probe of the journal.
void UploadController::retryRecording() {
    if (m_log.writeFailure().failed()) {
        m_log.writeRecordLog();
    }
    if (m_journal && m_journal->writeFailure().failed()) {
        m_journal->probe();
    }
}

Failure UploadController::currentFailure() const {
    if (m_log.writeFailure().failed() || !m_journal) {
        return m_log.writeFailure();
    }
    return m_journal->writeFailure();
}

void UploadController::checkRecording() {
    const Failure failure = currentFailure();
    if (!failure.failed()) {
        if (m_recordingFailure.failed()) {
            m_recordingFailure = {};
            emit recordingResumed();
        }
        return;
    }
    const bool changed = !m_recordingFailure.failed() || failure.sentence() != m_recordingFailure.sentence();
    m_recordingFailure = failure;
    if (changed) {
        emit recordingFailed(failure);
    }
}

void UploadController::onTransferEnded(const TransferOutcome &outcome) {
    m_scheduler.finish(outcome);
    keepLogFlushed();
    // Only a success goes on at once; a fault waits for the heartbeat.
    if (m_state == UploadState::Uploading && outcome.succeeded()) {
        step();
    }
    checkRecording();
}

void UploadController::retryNow(const QList<int> &rows) {
    m_scheduler.retryNow(rows);
    if (m_state == UploadState::Uploading) {
        OnTimer();
    }
}

void UploadController::step() {
    // A write that failed since the last step (a queue command's, say) holds the next start.
    if (currentFailure().failed()) {
        return;
    }
    const TransferScheduler::TickResult result = m_scheduler.scheduleNext();
    const bool drainedNow = result == TransferScheduler::TickResult::NothingToSend;
    if (result == TransferScheduler::TickResult::Waiting) {
        emit waitingForRetry(); // the last file's figure would read as progress
    } else if (result != TransferScheduler::TickResult::NotRecorded) {
        emit progressChanged(m_scheduler.getUploadProgress());
    }
    if (result == TransferScheduler::TickResult::Scanning) {
        emit scanWaiting(m_scheduler.scanningFile());
    }
    checkScanner();
    keepLogFlushed();
    if (drainedNow) {
        setState(UploadState::Stopped);
        emit drained(m_scheduler.completedTransfers() - m_completedAtStart);
    }
}

void UploadController::checkScanner() {
    const QString &problem = m_scheduler.scannerProblem();
    if (problem == m_scannerProblem) {
        return;
    }
    m_scannerProblem = problem;
    if (problem.isEmpty()) {
        emit scannerBack();
    } else {
        emit scannerDown(problem);
    }
}

void UploadController::sampleProgress() {
    const TransferJob &job = m_worker.job();
    // What still waits in the socket has not reached the isolator: it is not counted yet.
    const quint64 unsent = job.unsentBytes();
    const quint64 total = job.totalBytesSent.load(std::memory_order_relaxed);
    m_progress.sample(m_sinceStart.elapsed(), total - qMin(unsent, total));
    TransferProgress::Snapshot snapshot;
    if (job.running.load(std::memory_order_acquire)) {
        snapshot.fileName = job.fileName;
        snapshot.fileSize = job.fileSize.load(std::memory_order_relaxed);
        const quint64 sent = job.bytesSent.load(std::memory_order_relaxed);
        snapshot.fileSent = qMin(sent - qMin(unsent, sent), snapshot.fileSize);
    }
    snapshot.bytesPerSecond = m_progress.bytesPerSecond();
    const TransferScheduler::Remaining left = m_scheduler.remaining();
    snapshot.filesLeft = left.files;
    snapshot.bytesLeft = left.bytes;
    emit progressUpdated(snapshot);
}

// A coalesced change reaches the log within the window, even if no further step comes.
void UploadController::keepLogFlushed() {
    if (m_log.hasPendingWrite() && !m_flush.isActive()) {
        m_flush.start(static_cast<int>(m_log.msUntilDue()));
    }
}

void UploadController::shutDown() {
    m_tick.stop();
    m_grace.stop();
    m_flush.stop();
    m_progressTick.stop();
    if (m_scan) {
        m_scan->cancel();
    }
    m_worker.abandon();
    m_worker.wait(std::chrono::seconds(5));
    m_log.flushRecordLog();
}

void UploadController::setState(UploadState state) {
    if (state == m_state) {
        return;
    }
    m_state = state;
    if (state == UploadState::Stopped) {
        m_progressTick.stop();
    } else if (!m_progressTick.isActive()) {
        m_progressTick.start();
    }
    emit stateChanged(state);
}
