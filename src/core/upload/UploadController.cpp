#include "core/upload/UploadController.h"

#include "core/transfer/TransferWorker.h"
#include "core/upload/TransferScheduler.h"

#include <chrono>

UploadController::UploadController(TransferScheduler &scheduler, TransferWorker &worker, QObject *parent)
    : QObject(parent), m_scheduler(scheduler), m_worker(worker) {
    m_tick.setInterval(kTickMs);
    connect(&m_tick, &QTimer::timeout, this, &UploadController::OnTimer);
    m_grace.setSingleShot(true);
    m_grace.setInterval(kStopGraceMs);
    connect(&m_grace, &QTimer::timeout, this, &UploadController::finishStop);
}

void UploadController::startTicking() {
    m_tick.start();
}

void UploadController::start() {
    if (m_state == UploadState::Stopping) {
        return;
    }
    setState(UploadState::Uploading);
}

void UploadController::stop() {
    if (m_state == UploadState::Stopping) {
        return;
    }
    m_scheduler.requestStop();
    // The worker looks at the request after each block. Give it its grace period without freezing
    // the window.
    setState(UploadState::Stopping);
    m_grace.start();
}

void UploadController::finishStop() {
    if (m_state == UploadState::Stopping) {
        setState(UploadState::Stopped);
    }
}

void UploadController::OnTimer() {
    if (m_state != UploadState::Uploading) {
        return;
    }
    if (m_scheduler.scheduleNext() == TransferScheduler::TickResult::NothingToSend) {
        setState(UploadState::Stopped);
    }
    emit progressChanged(m_scheduler.getUploadProgress());
}

void UploadController::shutDown() {
    m_tick.stop();
    m_grace.stop();
    m_worker.abandon();
    m_worker.wait(std::chrono::seconds(5));
}

void UploadController::setState(UploadState state) {
    if (state == m_state) {
        return;
    }
    m_state = state;
    emit stateChanged(state);
}
