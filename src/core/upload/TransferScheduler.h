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
    enum TickResult : int {
        kTransferRunning = 0, // a transfer runs; nothing was examined
        kTransferStarted = 1,
        kNothingToSend = 2, // empty table, or every row complete
        kTransferFailed = 3 // a finished transfer failed; its row is marked as a fault
    };

    // Starts the worker on a file (folder, file name, destination, isolator address, port text).
    // False when no worker could be started.
    using Starter = std::function<bool(const QString &, const QString &, const QString &, const QString &,
                                       const QString &)>;

    TransferScheduler(UploadTable &table, RecordLog &log, TransferJob &job, const SettingsRecord &settings,
                      const Clock &clock, Starter starter);

    // One tick over the table.
    int ScheduleNext();

    // Percentage of the current file sent, 0 to 100.
    int GetUploadProgress() const;

    // Asks the running transfer to stop and marks its row; true when a transfer was running.
    // The caller gives the worker its grace period before entering the stopped state.
    bool RequestStop();

private:
    int startRow(int row);
    void stamp(int row, int cell);

    UploadTable &m_table;
    RecordLog &m_log;
    TransferJob &m_job;
    const SettingsRecord &m_settings;
    const Clock &m_clock;
    Starter m_starter;
};
