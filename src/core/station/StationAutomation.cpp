#include "core/station/StationAutomation.h"

#include "core/config/FilterWatcher.h"
#include "core/inspection/FileInspection.h"
#include "core/inspection/InspectionSettings.h"
#include "core/station/MalwareScanner.h"
#include "core/station/StationParts.h"

StationAutomation::StationAutomation(StationParts &parts, QObject *parent)
    : QObject(parent), m_parts(parts), m_checker(new QueueChecker(this)),
      m_autoQueue(new AutoQueue(parts.queue, parts.settings, this)) {
    // The settings are read afresh for every queueing command and for every file sent.
    m_parts.queue.setInspection([this] {
        return FileInspection::inspectorFor(InspectionSettings::from(m_parts.settings), m_parts.filter);
    });
    connectMalwareScanner(m_parts);
    m_autoQueue->setCheckRunner(
        [this](const QueueOperations::Batch &batch, const QString &fileName, AutoQueue::Resume resume) {
            m_checker->submit(batch, fileName, std::move(resume));
        });
    connect(m_autoQueue, &AutoQueue::refused, this, &StationAutomation::journalRefusal);
    // A file refused for its type may go under the new allow-list.
    connect(&m_parts.filterWatcher, &FilterWatcher::changed, m_autoQueue, [this] {
        m_autoQueue->judgeAgain();
        m_autoQueue->scan();
    });
}

StationAutomation::~StationAutomation() {
    // A check still running is cancelled and its thread joined before the queue it resumes into is left.
    delete m_autoQueue;
    delete m_checker;
    m_parts.queue.setInspection({});
}

void StationAutomation::configure(bool configured) {
    m_autoQueue->configure(configured ? AutomaticSettings::from(m_parts.settings) : AutomaticSettings());
    m_autoQueue->scan();
}

void StationAutomation::journalRefusal(const QString &folder, const QString &fileName,
                                       const QString &reason) {
    const QString oneLine = QString(reason).replace(u'\n', u' ');
    DayJournal::Entry entry;
    entry.event = JournalEvent::Rejected;
    entry.fileName = fileName;
    entry.isolator = m_parts.settings.isolatorAddress + QLatin1Char(':') + m_parts.settings.isolatorPort;
    entry.reason = oneLine;
    emit refused(folder, fileName, oneLine, m_parts.dayJournal.append(entry));
}
