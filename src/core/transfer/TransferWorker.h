#pragma once

#include "core/transfer/TransferJob.h"

#include <QString>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

// The settings' port text as atoi reads it (leading blanks skipped, an optional sign, digits up to
// the first other character, 0 when there are none), cut to its low 16 bits: "70000" gives 4464.
quint16 portFromText(const QString &text);

// Sends the job's file to the isolator on the calling thread and says how it ended. Its last act
// on the job clears running, with release ordering.
TransferOutcome transferThreadProc(TransferJob &job);

// Owns the thread of the one transfer that may run at a time, so it can be waited for and joined:
// no worker is left running against a job that has gone away.
class TransferWorker {
public:
    explicit TransferWorker(TransferJob &job);
    // Abandons a worker that still runs, then joins it.
    ~TransferWorker();
    TransferWorker(const TransferWorker &) = delete;
    TransferWorker &operator=(const TransferWorker &) = delete;

    // The hand-over: fills the job (the folder gets a trailing separator, the address is kept to
    // 127 bytes, the port text goes through portFromText), sets running true, stopRequested false
    // and bytesSent 0, and starts the worker thread. False, with the job untouched, while a transfer
    // runs; false with running cleared again when no thread could be started.
    bool start(const QString &folder, const QString &fileName, const QString &destination,
               const QString &isolatorAddress, const QString &portText);

    // Waits at most limit for the current worker to end and joins it. True when no worker runs.
    bool wait(std::chrono::milliseconds limit);

    // Ends the current worker as soon as possible: requests a stop and shuts its connection, so a
    // blocked socket call returns at once. Does not wait (see wait()).
    void abandon();

    // Outcome of the last worker joined by wait() or start(); empty before the first.
    std::optional<TransferOutcome> lastOutcome() const { return m_lastOutcome; }
    std::optional<TransferResult> lastResult() const {
        return m_lastOutcome ? std::optional(m_lastOutcome->result) : std::nullopt;
    }

    TransferJob &job() const { return m_job; }

    // Called on the worker's thread with each transfer's outcome, after its last act on the job (see
    // transferThreadProc); it must only post a message. An empty function removes it; once this
    // returns, no call of the previous one is running or will start.
    void setFinishedCallback(std::function<void(const TransferOutcome &)> callback);

private:
    void notifyFinished(const TransferOutcome &outcome);

    TransferJob &m_job;
    std::thread m_thread;
    std::future<TransferOutcome> m_result;
    std::optional<TransferOutcome> m_lastOutcome;
    std::mutex m_callbackLock;
    std::function<void(const TransferOutcome &)> m_finished;
};
