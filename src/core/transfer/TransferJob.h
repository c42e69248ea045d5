#pragma once

#include "core/transfer/TransferOutcome.h"

#include <QString>
#include <QtGlobal>
#include <atomic>
#include <chrono>
#include <mutex>

class TcpSocket;

// The one transfer the scheduler hands to the worker. The user interface thread fills the plain fields
// only while running is false and before it starts the worker; from then until the worker clears
// running they belong to the worker. The atomics are the only fields both threads touch while a
// transfer runs. How a transfer ended is not kept here: it travels as a TransferOutcome value.
struct TransferJob {
    TransferJob() = default;
    TransferJob(const TransferJob &) = delete;
    TransferJob &operator=(const TransferJob &) = delete;

    char isolatorAddress[128] = {}; // numeric IPv4 text, zero-terminated
    quint16 isolatorPort = 0;
    QString folder; // ends with a separator
    QString fileName;
    QString destination; // inner address, "||", inner path
    // What the malware scanner passed, when one is set: the file's size and SHA-256 (64 lower-case hex
    // digits). A file that is not those bytes any more is not sent whole. Empty: nothing to compare.
    QString scannedSha256;
    qint64 scannedSize = -1;

    std::atomic<bool> stopRequested{false};
    std::atomic<bool> running{false};

    std::atomic<quint64> fileSize{0};
    std::atomic<quint64> bytesSent{0};      // whole blocks of 4096, so it can pass fileSize
    std::atomic<quint64> totalBytesSent{0}; // over every transfer of this job; never reset
    std::atomic<quint64> bandwidthLimit{0}; // bytes per second the data may use; 0: no limit
    bool hashing = true;                    // the owner's choice, set before a transfer starts

    // Every wait on the isolator is bounded; a wait that runs out fails with the code of its step.
    // Tests shorten them.
    std::chrono::milliseconds connectTimeout{10000};
    std::chrono::milliseconds acknowledgementTimeout{30000}; // the whole acknowledgement block
    std::chrono::milliseconds blockTimeout{30000}; // the header, and each run of data blocks sent at once
    // A file modified less than this ago may still be written: it waits.
    std::chrono::milliseconds settleTime{2000};

    // Abandoning (at exit): makes the running worker's socket calls fail at once, and any it makes
    // later, until resetAbandon() at the next start. Safe from any thread.
    void abandonConnection();
    void resetAbandon();

    // The worker's side of abandoning: the socket to shut while the worker uses it. False when the
    // job was abandoned already (the worker then gives up without connecting).
    bool attachConnection(TcpSocket *socket);
    void detachConnection();

    // Of what the worker counted as sent, what has not left the socket yet (0 without a connection),
    // so progress shows what the isolator can have. Safe from any thread.
    quint64 unsentBytes() const;

private:
    mutable std::mutex m_connectionLock;
    TcpSocket *m_connection = nullptr;
    bool m_abandoned = false;
};
