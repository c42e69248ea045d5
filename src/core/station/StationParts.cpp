#include "core/station/StationParts.h"

#include "core/common/FileProbe.h"
#include "core/common/Paths.h"

#include <QDateTime>
#include <QDir>

namespace {

QString settingsFileIn(const QString &folder) {
    // The settings file has always been opened under this literal relative name.
    return folder.isEmpty() ? QStringLiteral(".////Berlvantis.ini")
                            : QDir(folder).filePath(QStringLiteral("Berlvantis.ini"));
}

} // namespace

StationParts::StationParts(const QString &folder, std::unique_ptr<Clock> ownClock)
    : workFolder(folder), clock(ownClock ? std::move(ownClock) : std::make_unique<Clock>()),
      settingsStore(settingsFileIn(folder)), filter(configPath(QStringLiteral("Brelvantis.filter"))),
      mapping(configPath(QStringLiteral("Brelvantis.path"))), log(table, *clock), dayJournal(*clock),
      worker(job), completion(settings, *clock),
      scheduler(table, log, job, settings, *clock,
                [this](const QString &uploadFolder, const QString &name, const QString &destination,
                       const QString &address, const QString &port) {
                    return worker.start(uploadFolder, name, destination, address, port);
                }),
      queue(table, log, filter, mapping, settings), upload(scheduler, worker, log, &dayJournal) {
    scheduler.setFileCheck([this](const QString &fileName) { return lookBeforeSending(fileName); });
    scheduler.setCompletionHook([this](const QString &fileName) { completion.moveSentFile(fileName); });
    scheduler.setScan(&sendScan);
    scheduler.setRefusalHook([this](const QString &fileName) { completion.quarantineFile(fileName); });
    upload.setSendScan(&sendScan);
    queue.setObserver([this](JournalEvent event, int row) { journal(event, row); });
    scheduler.setRecorder([this](TransferScheduler::Event event, int row, const TransferOutcome &outcome) {
        return journalTransfer(event, row, outcome);
    });
    // A file still being written waits before it is queued as before it is sent: one span for both.
    queue.setSettleTime([this] { return job.settleTime; });
}

// A file is sent only when it is a regular file of the upload folder that has not changed for a moment
// (the worker then also makes sure no other program holds it open for writing).
TransferScheduler::FileState StationParts::lookBeforeSending(const QString &fileName) const {
    using State = TransferScheduler::FileState;
    const FileProbe::Look seen = FileProbe::look(Paths::join(settings.uploadFolder, fileName));
    switch (seen.kind) {
    case FileProbe::Kind::Regular:
        break;
    case FileProbe::Kind::Missing:
        return {State::Kind::Missing, QStringLiteral("文件不在上传目录中")};
    case FileProbe::Kind::Unreadable:
        return {}; // the worker says why it cannot read it
    default:
        return {
            State::Kind::Missing,
            QStringLiteral("上传目录中的“%1”%2").arg(fileName, FileProbe::kindText(seen.kind, seen.error))};
    }
    if (FileProbe::modifiedWithin(seen.stamp, job.settleTime)) {
        return {State::Kind::NotSettled, QStringLiteral("等待文件写完：文件刚被修改")};
    }
    return {};
}

bool StationParts::openDay(Notice *notice) {
    dayJournal.open(settings.recordFolder);
    if (!log.loadRecordLog(settings.recordFolder, notice)) {
        return false;
    }
    // A row an earlier run left uploading was cut off by its end: it is stopped, and its journal
    // attempt gets the end it never had.
    bool interrupted = false;
    for (int row = 0; row < table.rowCount(); ++row) {
        if (table.cell(row, UploadRecord::CellStatus) == UploadRecord::kStatusUploading) {
            table.setCell(row, UploadRecord::CellStatus, UploadRecord::kStatusStopped);
            journal(JournalEvent::Interrupted, row, QStringLiteral("上次运行在传输中结束"));
            interrupted = true;
        }
    }
    if (interrupted) {
        log.writeRecordLog();
    }
    return true;
}

DayJournal::Entry StationParts::journalEntry(JournalEvent event, int row) const {
    DayJournal::Entry entry;
    entry.event = event;
    entry.fileName = table.cell(row, UploadRecord::CellFileName);
    entry.destination = table.cell(row, UploadRecord::CellDestination);
    entry.isolator = settings.isolatorAddress + QLatin1Char(':') + settings.isolatorPort;
    return entry;
}

bool StationParts::journal(JournalEvent event, int row, const QString &reason) {
    DayJournal::Entry entry = journalEntry(event, row);
    entry.reason = reason;
    return dayJournal.append(entry);
}

bool StationParts::journalTransfer(TransferScheduler::Event event, int row, const TransferOutcome &outcome) {
    using Event = TransferScheduler::Event;
    if (event == Event::Started) {
        return journal(JournalEvent::Started, row);
    }
    if (event == Event::Refused) {
        DayJournal::Entry entry = journalEntry(JournalEvent::Rejected, row);
        entry.reason = outcome.reason; // with the scanner's name for what it found
        entry.sha256 = outcome.sha256;
        return dayJournal.append(entry);
    }
    const JournalEvent written = event == Event::Completed  ? JournalEvent::Completed
                                 : event == Event::Failed   ? JournalEvent::Failed
                                 : event == Event::Deferred ? JournalEvent::Deferred
                                                            : JournalEvent::Stopped;
    DayJournal::Entry entry = journalEntry(written, row);
    entry.reason = event == Event::Failed || event == Event::Deferred ? outcome.reason : QString();
    entry.bytes = outcome.bytes;
    entry.seconds = outcome.seconds;
    entry.sha256 = outcome.sha256;
    if (!outcome.isolator.isEmpty()) {
        entry.isolator = outcome.isolator; // where this attempt went, as its reason says
    }
    return dayJournal.append(entry);
}

void StationParts::followRecordFolder() {
    if (log.path().isEmpty() || log.path() == RecordLog::dayPath(settings.recordFolder, log.day())) {
        return;
    }
    log.moveTo(settings.recordFolder);
    dayJournal.open(settings.recordFolder, log.day());
    dayJournal.probe(); // the new folder takes the journal, or the upload holds its next start
    upload.checkRecording();
}

QString StationParts::configPath(const QString &name) const {
    return workFolder.isEmpty() ? name : QDir(workFolder).filePath(name);
}
