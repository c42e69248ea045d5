#pragma once

#include <QString>
#include <functional>

class Clock;
class RecordLog;
class UploadTable;
struct SettingsRecord;
struct TransferJob;

// Turns the upload table into transfers, one tick at a time: judges the transfer that has ended,
// writes the row's status and time, rewrites the record log, and starts the next transfer, always
// from the first row at the top that needs one.
class TransferScheduler {
public:
    enum class TickResult {
        Running,       // a transfer runs; nothing was examined
        Started,       // a transfer was started
        NothingToSend, // empty table, or every row complete
        Failed         // a finished transfer failed; its row is marked as a fault
    };

    // Starts the worker on a file (folder, file name, destination, isolator address, port text).
    // False when no worker could be started.
    using Starter = std::function<bool(const QString &, const QString &, const QString &, const QString &,
                                       const QString &)>;

    TransferScheduler(UploadTable &table, RecordLog &log, TransferJob &job, const SettingsRecord &settings,
                      const Clock &clock, Starter starter);

    // Called with the file name of every row that has just become complete.
    using CompletionHook = std::function<void(const QString &fileName)>;
    void setCompletionHook(CompletionHook hook) { m_completionHook = std::move(hook); }

    // One tick over the table.
    TickResult scheduleNext();

    // Percentage of the current file sent, 0 to 100.
    int getUploadProgress() const;

    // Asks the running transfer to stop and marks its row; true when a transfer was running.
    // The caller gives the worker its grace period before entering the stopped state.
    bool requestStop();

private:
    TickResult startRow(int row);
    void stamp(int row, int cell);

    UploadTable &m_table;
    RecordLog &m_log;
    TransferJob &m_job;
    const SettingsRecord &m_settings;
    const Clock &m_clock;
    Starter m_starter;
    CompletionHook m_completionHook;
};
