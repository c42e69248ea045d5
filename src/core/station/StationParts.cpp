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
    queue.setObserver([this](const QString &event, int row) { journal(event, row); });
    QObject::connect(&upload, &UploadController::rowEvent, &upload,
                     [this](TransferScheduler::Event event, int row) { journalTransfer(event, row); });
}

DayJournal::Entry StationParts::journalEntry(const QString &event, int row) const {
    DayJournal::Entry entry;
    entry.event = event;
    entry.fileName = table.cell(row, UploadRecord::CellFileName);
    entry.destination = table.cell(row, UploadRecord::CellDestination);
    entry.isolator = settings.isolatorAddress + QLatin1Char(':') + settings.isolatorPort;
    return entry;
}

void StationParts::journal(const QString &event, int row, const QString &reason) {
    DayJournal::Entry entry = journalEntry(event, row);
    entry.reason = reason;
    dayJournal.append(entry);
}

void StationParts::journalTransfer(TransferScheduler::Event event, int row) {
    using Event = TransferScheduler::Event;
    if (event == Event::Started) {
        m_transferClock.start();
        journal(QStringLiteral("开始"), row);
        return;
    }
    DayJournal::Entry entry = journalEntry(event == Event::Completed ? QStringLiteral("完成")
                                           : event == Event::Failed  ? QStringLiteral("故障")
                                                                     : QStringLiteral("停止"),
                                           row);
    entry.reason = event == Event::Failed ? job.failureReason : QString();
    entry.bytes = qMin(job.bytesSent.load(), job.fileSize.load());
    // A transfer that ended is timed by the worker (a fault is judged later, at the heartbeat); one
    // stopped while running is timed until now.
    entry.seconds = job.running.load() && m_transferClock.isValid()
                        ? static_cast<double>(m_transferClock.nsecsElapsed()) / 1e9
                        : job.seconds;
    entry.sha256 = event == Event::Completed ? job.sha256 : QString();
    dayJournal.append(entry);
}

QString StationParts::configPath(const QString &name) const {
    return workFolder.isEmpty() ? name : QDir(workFolder).filePath(name);
}
