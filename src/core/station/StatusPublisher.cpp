#include "core/station/StatusPublisher.h"

#include "core/common/SystemErrors.h"
#include "core/station/StationParts.h"

#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>
#include <cerrno>

StatusPublisher::StatusPublisher(const QString &workFolder, const Clock &clock, const QString &kind,
                                 QObject *parent)
    : QObject(parent), m_path(QDir(workFolder).filePath(StationStatus::fileName())), m_clock(clock) {
    m_status.pid = QCoreApplication::applicationPid();
    m_status.kind = kind;
    m_status.started = clock.now();
    m_timer.setInterval(int(kMinIntervalMs));
    connect(&m_timer, &QTimer::timeout, this, &StatusPublisher::tick);
}

void StatusPublisher::start() {
    write();
    m_timer.start();
}

void StatusPublisher::stateChanged() {
    write();
}

void StatusPublisher::tick() {
    const qint64 since = m_clock.monotonicMs() - m_lastWriteMs;
    if ((m_dirty && since >= kMinIntervalMs) || since >= kHeartbeatMs) {
        write();
    }
}

void StatusPublisher::write() {
    if (m_counter) {
        m_counter(&m_status);
    }
    m_status.written = m_clock.now();
    m_lastWriteMs = m_clock.monotonicMs();
    m_dirty = false;
    ++m_writes;
    QSaveFile file(m_path);
    const QByteArray bytes = m_status.toJson();
    errno = 0;
    const bool written =
        file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (written) {
        m_failing = false;
        return;
    }
    const int code = errno;
    if (!m_failing) {
        m_failing = true;
        emit writeFailed(
            Failure::of(Failure::Kind::Write, QDir::toNativeSeparators(m_path), fileErrorText(file, code)));
    }
}

void publishStationStatus(StationParts &parts, StatusPublisher &publisher) {
    UploadController &upload = parts.upload;
    publisher.setCounter([&parts](StationStatus *status) {
        const UploadTable &table = parts.table;
        status->sentToday = table.countWithStatus(UploadRecord::kStatusComplete);
        status->failedToday = table.countWithStatus(UploadRecord::kStatusFault);
        status->waiting = table.countWithStatus(UploadRecord::kStatusReady) +
                          table.countWithStatus(UploadRecord::kStatusStopped) + status->failedToday;
    });
    QObject::connect(&upload, &UploadController::stateChanged, &publisher, [&publisher](UploadState state) {
        StationStatus &status = publisher.status();
        status.state = static_cast<StationStatus::State>(static_cast<int>(state));
        if (state == UploadState::Stopped) {
            status.sendingFile.clear();
            status.bytesPerSecond = 0;
        }
        publisher.stateChanged();
    });
    QObject::connect(&upload, &UploadController::progressUpdated, &publisher,
                     [&publisher](const TransferProgress::Snapshot &snapshot) {
                         StationStatus &status = publisher.status();
                         status.sendingFile = snapshot.fileName;
                         status.bytesDone = snapshot.fileSent;
                         status.bytesTotal = snapshot.fileSize;
                         status.bytesPerSecond = snapshot.bytesPerSecond;
                         publisher.changed();
                     });
    QObject::connect(
        &upload, &UploadController::rowEvent, &publisher,
        [&parts, &publisher](TransferScheduler::Event event, int row, const TransferOutcome &outcome) {
            if (event == TransferScheduler::Event::Failed || event == TransferScheduler::Event::Refused) {
                StationStatus &status = publisher.status();
                status.faultFile = parts.table.cell(row, UploadRecord::CellFileName);
                status.faultReason = outcome.reason;
                status.faultTime = parts.clock->now();
            }
            publisher.changed();
        });
    QObject::connect(&upload, &UploadController::recordingFailed, &publisher,
                     [&publisher](const Failure &why) {
                         publisher.status().recordingFailure = why.sentence();
                         publisher.stateChanged();
                     });
    QObject::connect(&upload, &UploadController::recordingResumed, &publisher, [&publisher] {
        publisher.status().recordingFailure.clear();
        publisher.stateChanged();
    });
    QObject::connect(&upload, &UploadController::scannerDown, &publisher, [&publisher](const QString &why) {
        publisher.status().scannerDown = why;
        publisher.stateChanged();
    });
    QObject::connect(&upload, &UploadController::scannerBack, &publisher, [&publisher] {
        publisher.status().scannerDown.clear();
        publisher.stateChanged();
    });
    // Queue commands change the counts.
    for (auto signal : {&UploadTable::rowsInserted, &UploadTable::rowsRemoved}) {
        QObject::connect(&parts.table, signal, &publisher, [&publisher] { publisher.changed(); });
    }
    QObject::connect(&parts.table, &UploadTable::reset, &publisher, [&publisher] { publisher.changed(); });
    QObject::connect(&parts.table, &UploadTable::cellChanged, &publisher,
                     [&publisher] { publisher.changed(); });
}
