#pragma once

#include "core/common/Failure.h"
#include "core/upload/TransferProgress.h"
#include "core/upload/TransferScheduler.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class DayJournal;
class RecordLog;
class TransferWorker;

// Whether the queue is being sent. Stopping is the grace a running transfer gets after the stop
// command: nothing is scheduled and the queue stays locked until it ends.
enum class UploadState { Stopped, Uploading, Stopping };

// Switches uploading on and off and drives the scheduler: at once when a transfer ends with success,
// so files go back to back, and with the 2-second heartbeat (which also paces the retry of a failed
// transfer: a fault never starts a retry at once). Keeps the coalesced record log flushed within its
// window. Sends nothing while the day's log or journal cannot be written: that state lasts until both
// can be written again, which every heartbeat tries, and sending then goes on by itself. Lives on the
// window thread; the menu, the toolbar and the views follow stateChanged() and recordingFailed().
class UploadController : public QObject {
    Q_OBJECT
public:
    static constexpr int kTickMs = 2000;
    // The time the stop command gives a running transfer before the stopped state returns.
    static constexpr int kStopGraceMs = 5000;
    // How often the progress figures are refreshed while a queue is sent: more than four times a second,
    // with room for a late timer.
    static constexpr int kProgressMs = 200;

    // journal: the day's journal whose writes count as well (none: the log alone).
    UploadController(TransferScheduler &scheduler, TransferWorker &worker, RecordLog &log,
                     DayJournal *journal = nullptr, QObject *parent = nullptr);
    ~UploadController() override;

    UploadState state() const { return m_state; }
    bool isStopped() const { return m_state == UploadState::Stopped; }

    // Why the day's records cannot be written, while they cannot; nothing otherwise.
    const Failure &recordingFailure() const { return m_recordingFailure; }
    // Looks whether the log and the journal could be written at their last writes, and says so when that
    // has changed. Every step does; whoever moves the records elsewhere may too.
    void checkRecording();

    // The file being sent, or empty text when no transfer runs.
    QString sendingFileName() const;

    // The heartbeat begins; the frame starts it once the day's log is loaded.
    void startTicking();
    bool isTicking() const { return m_tick.isActive(); }

    // The start command: uploading from the next tick on. Ignored during a stop's grace.
    void start();
    // The stop command: asks the running transfer to stop, then returns to the stopped state after
    // the grace. Ignored while a grace runs.
    void stop();
    // One heartbeat: writes the records again if they failed, then schedules the queue; back to the
    // stopped state when nothing is left to send.
    void OnTimer();
    // The worker's report that a transfer ended, with its outcome (posted from its thread).
    void onTransferEnded(const TransferOutcome &outcome);
    // 立即重试: the failed rows given are tried again without waiting for their pause to end.
    void retryNow(const QList<int> &rows);
    // At exit: no more ticks; a transfer still running is abandoned and its thread joined.
    void shutDown();

    // The malware scan the scheduler waits for: a verdict that comes in goes on at once.
    void setSendScan(SendScan *scan);

    // Tests shorten the heartbeat and the grace.
    void setTickInterval(int ms) { m_tick.setInterval(ms); }
    void setStopGraceMs(int ms) { m_grace.setInterval(ms); }

signals:
    void stateChanged(UploadState state);
    // Percentage of the current file sent, after every tick while uploading.
    void progressChanged(int percent);
    // The figures of the transfer under way, every kProgressMs while uploading or stopping.
    void progressUpdated(const TransferProgress::Snapshot &snapshot);
    // Only failed rows (or files still being written) are left, none due yet: a pause before a retry.
    void waitingForRetry();
    // Nothing was left to send; filesSent transfers completed since the start command.
    void drained(int filesSent);
    // A row's transfer started, completed, failed or was stopped, and how it ended.
    void rowEvent(TransferScheduler::Event event, int row, const TransferOutcome &outcome);
    // The day's log or journal cannot be written (why: the first failure of the two): no transfer starts
    // until recordingResumed(). Said again when the reason changes.
    void recordingFailed(const Failure &why);
    void recordingResumed();
    // The next file waits for its malware scan (said again at every step while it waits).
    void scanWaiting(const QString &fileName);
    // The malware scanner gives no verdict (why: the operator's sentence): no file is sent until
    // scannerBack(). Said again when the reason changes.
    void scannerDown(const QString &why);
    void scannerBack();

private:
    void setState(UploadState state);
    void finishStop();
    void step();
    void keepLogFlushed();
    void sampleProgress();
    void retryRecording();
    void checkScanner();
    Failure currentFailure() const;

    TransferScheduler &m_scheduler;
    TransferWorker &m_worker;
    RecordLog &m_log;
    DayJournal *m_journal;
    SendScan *m_scan = nullptr;
    QString m_scannerProblem;
    Failure m_recordingFailure;
    QTimer m_tick;
    QTimer m_grace;
    QTimer m_flush;
    QTimer m_progressTick;
    QElapsedTimer m_sinceStart;
    TransferProgress m_progress;
    int m_completedAtStart = 0;
    UploadState m_state = UploadState::Stopped;
};
