#include "core/station/StationParts.h"

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
      mapping(configPath(QStringLiteral("Brelvantis.path"))), log(table, *clock), worker(job),
      completion(settings, *clock),
      scheduler(table, log, job, settings, *clock,
                [this](const QString &uploadFolder, const QString &name, const QString &destination,
                       const QString &address, const QString &port) {
                    return worker.start(uploadFolder, name, destination, address, port);
                }),
      queue(table, log, filter, mapping, settings), upload(scheduler, worker) {
    scheduler.setCompletionHook([this](const QString &fileName) { completion.moveSentFile(fileName); });
}

QString StationParts::configPath(const QString &name) const {
    return workFolder.isEmpty() ? name : QDir(workFolder).filePath(name);
}
