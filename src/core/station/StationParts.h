#pragma once

#include "core/common/Clock.h"
#include "core/config/FileTypeFilter.h"
#include "core/config/FilterWatcher.h"
#include "core/config/InnerPathMapping.h"
#include "core/config/SettingsRecord.h"
#include "core/config/SettingsStore.h"
#include "core/queue/QueueOperations.h"
#include "core/records/DayJournal.h"
#include "core/records/RecordLog.h"
#include "core/records/UploadTable.h"
#include "core/transfer/TransferJob.h"
#include "core/transfer/TransferWorker.h"
#include "core/upload/CompletionMover.h"
#include "core/upload/SendScan.h"
#include "core/upload/TransferScheduler.h"
#include "core/upload/UploadController.h"

#include <QString>
#include <memory>

// The station's long-lived logic objects, built once by the application and handed to the window
// by reference. Tests build their own with a fixed clock and a temporary working folder.
struct StationParts {
    // workFolder: where the settings, mapping and filter files live (the working directory by
    // default). clock: null for the system clock.
    explicit StationParts(const QString &workFolder = QString(), std::unique_ptr<Clock> clock = nullptr);
    StationParts(const StationParts &) = delete;
    StationParts &operator=(const StationParts &) = delete;

    // Path of one of the station's configuration files in the work folder.
    QString configPath(const QString &name) const;

    // Opens the day's records in the record folder of the settings: the journal, and the day's log read
    // back into the table (a row left uploading by an earlier run becomes stopped). False, with *notice
    // saying why, when the log could not be read.
    bool openDay(Notice *notice);

    // A journal line about row (its file, destination and this station's isolator); false when it could
    // not be written.
    bool journal(JournalEvent event, int row, const QString &reason = QString());

    // The day's records follow the record folder of the settings when it has changed since they were
    // opened: the table is written there at once, the journal goes on beside it, and the upload learns
    // at once whether they can be written there. Nothing happens before the day is open.
    void followRecordFolder();

    QString workFolder;
    std::unique_ptr<Clock> clock;
    SettingsRecord settings; // the one settings record every part reads and the settings dialog edits
    SettingsStore settingsStore;
    FileTypeFilter filter;
    FilterWatcher filterWatcher{filter}; // started by the window
    InnerPathMapping mapping;
    TransferJob job; // the one transfer the scheduler hands to the worker
    UploadTable table;
    RecordLog log;
    DayJournal dayJournal;
    TransferWorker worker;
    CompletionMover completion; // where sent files go, on its own thread; outlives the scheduler
    SendScan sendScan;          // the malware scan right before sending; scans nothing until given a scanner
    TransferScheduler scheduler;
    QueueOperations queue;
    UploadController upload;

private:
    DayJournal::Entry journalEntry(JournalEvent event, int row) const;
    TransferScheduler::FileState lookBeforeSending(const QString &fileName) const;
    bool journalTransfer(TransferScheduler::Event event, int row, const TransferOutcome &outcome);
};
