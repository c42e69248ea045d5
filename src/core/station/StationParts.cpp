#include "core/station/StationParts.h"

#include <QDir>
#include <QObject>

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
      queue(table, log, filter, mapping, settings), upload(scheduler, worker, log) {
    scheduler.setCompletionHook([this](const QString &fileName) { completion.moveSentFile(fileName); });
    queue.setObserver([this](JournalEvent event, int row) { journal(event, row); });
    QObject::connect(&upload, &UploadController::rowEvent, &upload,
                     [this](TransferScheduler::Event event, int row, const TransferOutcome &outcome) {
                         journalTransfer(event, row, outcome);
                     });
}

bool StationParts::openDay(Notice *notice) {
    dayJournal.open(settings.recordFolder);
    return log.loadRecordLog(settings.recordFolder, notice);
}

DayJournal::Entry StationParts::journalEntry(JournalEvent event, int row) const {
    DayJournal::Entry entry;
    entry.event = event;
    entry.fileName = table.cell(row, UploadRecord::CellFileName);
    entry.destination = table.cell(row, UploadRecord::CellDestination);
    entry.isolator = settings.isolatorAddress + QLatin1Char(':') + settings.isolatorPort;
    return entry;
}

void StationParts::journal(JournalEvent event, int row, const QString &reason) {
    DayJournal::Entry entry = journalEntry(event, row);
    entry.reason = reason;
    dayJournal.append(entry);
}

void StationParts::journalTransfer(TransferScheduler::Event event, int row, const TransferOutcome &outcome) {
    using Event = TransferScheduler::Event;
    if (event == Event::Started) {
        journal(JournalEvent::Started, row);
        return;
    }
    DayJournal::Entry entry = journalEntry(event == Event::Completed ? JournalEvent::Completed
                                           : event == Event::Failed  ? JournalEvent::Failed
                                                                     : JournalEvent::Stopped,
                                           row);
    entry.reason = event == Event::Failed ? outcome.reason : QString();
    entry.bytes = outcome.bytes;
    entry.seconds = outcome.seconds;
    entry.sha256 = outcome.sha256;
    dayJournal.append(entry);
}

QString StationParts::configPath(const QString &name) const {
    return workFolder.isEmpty() ? name : QDir(workFolder).filePath(name);
}
