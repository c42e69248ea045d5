#include "core/station/StationParts.h"

#include <QDir>

namespace {

QString settingsFileIn(const QString &folder) {
    // The settings file has always been opened under this literal relative name.
    return folder.isEmpty() ? QStringLiteral(".////Berlvantis.ini")
                            : QDir(folder).filePath(QStringLiteral("Berlvantis.ini"));
}

} // namespace

StationParts::StationParts(const QString &folder, std::unique_ptr<Clock> ownClock, TransferJob &sharedJob)
    : workFolder(folder), clock(ownClock ? std::move(ownClock) : std::make_unique<Clock>()),
      settingsStore(settingsFileIn(folder)), filter(configPath(QStringLiteral("Brelvantis.filter"))),
      mapping(configPath(QStringLiteral("Brelvantis.path"))), job(sharedJob), log(table, *clock),
      worker(sharedJob) {}

QString StationParts::configPath(const QString &name) const {
    return workFolder.isEmpty() ? name : QDir(workFolder).filePath(name);
}
