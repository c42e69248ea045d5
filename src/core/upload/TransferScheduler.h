#pragma once

#include "core/transfer/TransferOutcome.h"
#include "core/upload/SendScan.h"

#include <QList>
#include <QString>
#include <functional>

class Clock;
class RecordLog;
class UploadTable;
struct SettingsRecord;
struct TransferJob;

// Turns the upload table into transfers, one step at a time: judges a transfer by the outcome the
// worker hands back, writes the row's status and time, has the record log rewritten (coalesced while
// files stream; flushed when the queue drains), and starts the next transfer, always from the first row
// at the top that needs one.
class TransferScheduler {
public:
    enum class TickResult {
        Running,       // a transfer runs, or its outcome has not been handed back yet; nothing examined
        Started,       // a transfer was started
        NothingToSend, // empty table, or every row complete
        Waiting,       // only failed rows are left, none of them due for another try yet
        NotRecorded,   // the next row's start could not be recorded: it was not started
        Scanning       // the next row waits for its malware scan (scanningFile())
    };

    // What happened to a row, for whoever keeps the day's journal or tells the operator, with how the
    // transfer ended (empty for Started; for Stopped, what had left by the stop).
    // Refused: the malware scanner found something in the file; it is never sent.
    enum class Event { Started, Completed, Failed, Stopped, Deferred, Refused };
    using Observer = std::function<void(Event event, int row, const TransferOutcome &outcome)>;
    // Writes a row's event to the day's journal before any observer hears of it; false when it could
    // not be written. A transfer whose start cannot be recorded does not start.
    using Recorder = std::function<bool(Event event, int row, const TransferOutcome &outcome)>;

    // The pause before a failed row is tried again: 2 s after the first failure, doubling, at most 60 s.
    static qint64 retryPauseMs(int failures);

    // Starts the worker on a file (folder, file name, destination, isolator address, port text).
    // False when no worker could be started.
    using Starter = std::function<bool(const QString &, const QString &, const QString &, const QString &,
                                       const QString &)>;

    TransferScheduler(UploadTable &table, RecordLog &log, TransferJob &job, const SettingsRecord &settings,
                      const Clock &clock, Starter starter);

    // How a row's file stands right before its transfer would start: only Ready files are sent.
    struct FileState {
        enum class Kind { Ready, Missing, NotSettled } kind = Kind::Ready;
        QString reason;
    };
    using FileCheck = std::function<FileState(const QString &fileName)>;
    // Without one every file counts as ready (the worker checks again in any case).
    void setFileCheck(FileCheck check) { m_fileCheck = std::move(check); }

    // The isolator's refusals of one file in a row, while it accepts others, after which that file is
    // no longer retried by itself.
    static constexpr int kRefusalsBeforeGivingUp = 5;
    // How long a file still being written waits before it is looked at again.
    static constexpr qint64 kSettleRetryMs = 2000;

    // Called with the file name of every row that has just become complete.
    using CompletionHook = std::function<void(const QString &fileName)>;
    void setCompletionHook(CompletionHook hook) { m_completionHook = std::move(hook); }

    // The malware scan every file passes right before it is sent (while a scanner is set): a file goes
    // only when the scanner said it is clean, as the bytes it scanned; one it refuses is a fault never
    // tried again by itself, one it could not judge a fault tried again after the usual pause.
    void setScan(SendScan *scan) { m_scan = scan; }
    // Called with the file name of every row whose file the scanner refused, after its event.
    void setRefusalHook(CompletionHook hook) { m_refusalHook = std::move(hook); }
    // The file whose scan the next transfer waits for; empty when none.
    const QString &scanningFile() const { return m_scanningFile; }
    // Why the last scan gave no verdict, in the operator's words; empty once a scan gives one again.
    const QString &scannerProblem() const { return m_scannerProblem; }

    // One step over the table: starts the first ready (or stopped) row from the top; only when none is
    // left, the first failed row whose pause is over. The start time is stamped at a row's first
    // attempt only. Nothing starts while the last transfer's outcome is still awaited, nor unless the
    // row's 正在上传 reached the log (or waits in its coalescing window after a write that succeeded) and
    // its start reached the journal: otherwise the row is left as it was (NotRecorded).
    TickResult scheduleNext();

    // Judges the transfer that ended by its outcome: the row becomes complete, or a fault with its
    // reason and its pause (a fault that no try can mend gets no automatic retry), or stopped when the
    // stop command came after the worker ended but before this. Ignored when the row was stopped.
    void finish(const TransferOutcome &outcome);
    // True from a transfer's start until its outcome has been judged.
    bool awaitsOutcome() const { return m_pending != Pending::None; }

    // Clears the pause of the failed rows given, so the next step tries them.
    void retryNow(const QList<int> &rows);

    void setObserver(Observer observer) { m_observer = std::move(observer); }
    void setRecorder(Recorder recorder) { m_recorder = std::move(recorder); }

    // Percentage of the current (or last) file sent, 0 to 100.
    int getUploadProgress() const;

    // Rows not yet complete, and their bytes not yet sent (sizes as the table holds them, in KB;
    // the running file's sent bytes taken off).
    struct Remaining {
        int files = 0;
        quint64 bytes = 0;
    };
    Remaining remaining() const;
    // Transfers marked complete by this scheduler so far.
    int completedTransfers() const { return m_completed; }

    // Asks the running transfer to stop and marks its row; true when a transfer was running.
    // The caller gives the worker its grace period before entering the stopped state.
    bool requestStop();

private:
    TickResult startRow(int row, const QString &status, const QString &startTime);
    void stamp(int row, int cell);
    void markComplete(int row, const TransferOutcome &outcome);
    void markFault(int row, const TransferOutcome &outcome, Event event = Event::Failed);
    enum class ScanCheck { Clear, Pending, Held };
    ScanCheck checkScan(int row);
    void prepareNextScan();
    void markStopped(int row, const TransferOutcome &outcome);
    void defer(int row, const TransferOutcome &outcome);
    bool checkFile(int row);
    void noticeReturnedFiles();
    int uploadingRow() const;
    int nextRow() const;
    void notify(Event event, int row, const TransferOutcome &outcome = {});

    UploadTable &m_table;
    RecordLog &m_log;
    TransferJob &m_job;
    const SettingsRecord &m_settings;
    const Clock &m_clock;
    Starter m_starter;
    Observer m_observer;
    Recorder m_recorder;
    int m_completed = 0;
    CompletionHook m_completionHook;
    FileCheck m_fileCheck;
    SendScan *m_scan = nullptr;
    CompletionHook m_refusalHook;
    SendScan::Result m_passed; // the verdict of the row about to start, when its scan said clean
    QString m_scanningFile;
    QString m_scannerProblem;
    // The transfer whose outcome is awaited: none, running, ended with the stop command come before its
    // outcome (judged as stopped unless it succeeded), or stopped while it ran (its row marked already).
    enum class Pending { None, Running, StopOnEnd, Stopped };
    Pending m_pending = Pending::None;
    qint64 m_startedMs = 0; // when the last transfer started, on the clock's monotonic scale
};
