#pragma once

#include <QList>
#include <QString>
#include <functional>

class Clock;
class RecordLog;
class UploadTable;
struct SettingsRecord;
struct TransferJob;

// Turns the upload table into transfers, one step at a time: judges the transfer that has ended,
// writes the row's status and time, has the record log rewritten (coalesced while files stream;
// flushed when the queue drains), and starts the next transfer, always from the first row at the top
// that needs one.
class TransferScheduler {
public:
    enum class TickResult {
        Running,       // a transfer runs; nothing was examined
        Started,       // a transfer was started
        NothingToSend, // empty table, or every row complete
        Failed,        // a finished transfer failed; its row is marked as a fault, nothing started
        Waiting        // only failed rows are left, none of them due for another try yet
    };

    // What happened to a row, for whoever keeps the day's journal or tells the operator.
    enum class Event { Started, Completed, Failed, Stopped };
    using Observer = std::function<void(Event event, int row)>;

    // The pause before a failed row is tried again: 2 s after the first failure, doubling, at most 60 s.
    static qint64 retryPauseMs(int failures);

    // Starts the worker on a file (folder, file name, destination, isolator address, port text).
    // False when no worker could be started.
    using Starter = std::function<bool(const QString &, const QString &, const QString &, const QString &,
                                       const QString &)>;

    TransferScheduler(UploadTable &table, RecordLog &log, TransferJob &job, const SettingsRecord &settings,
                      const Clock &clock, Starter starter);

    // One step over the table: judges the transfer that ended (a fault gets its reason and its
    // pause), then starts the first ready (or stopped) row from the top; only when none is left, the
    // first failed row whose pause is over. The start time is stamped at a row's first attempt only.

    // Called with the file name of every row that has just become complete.
    using CompletionHook = std::function<void(const QString &fileName)>;
    void setCompletionHook(CompletionHook hook) { m_completionHook = std::move(hook); }
    TickResult scheduleNext();

    // Clears the pause of the failed rows given, so the next step tries them.
    void retryNow(const QList<int> &rows);

    void setObserver(Observer observer) { m_observer = std::move(observer); }

    // Percentage of the current file sent, 0 to 100.
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
    TickResult startRow(int row);
    void stamp(int row, int cell);
    void markFault(int row, const QString &reason);
    int nextRow() const;
    int judgeEnded(bool *failed);
    void notify(Event event, int row);

    UploadTable &m_table;
    RecordLog &m_log;
    TransferJob &m_job;
    const SettingsRecord &m_settings;
    const Clock &m_clock;
    Starter m_starter;
    Observer m_observer;
    int m_completed = 0;
    CompletionHook m_completionHook;
};
