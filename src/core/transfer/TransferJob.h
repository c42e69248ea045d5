#pragma once

#include <QString>
#include <QtGlobal>
#include <atomic>
#include <chrono>
#include <mutex>

class TcpSocket;

// Outcome of one transfer, as the worker returns it. 5 is not used.
namespace TransferResult {
inline constexpr int kSuccess = 0;
inline constexpr int kSocketLibrary = 1;
inline constexpr int kSocketCreation = 2;
inline constexpr int kConnect = 3;
inline constexpr int kHeader = 4; // header not sent, acknowledgement not received, or header refused
inline constexpr int kData = 6;   // file not opened or read, a data block not sent, or a stop request

// A short English phrase for the code (for tools and log lines).
QString describe(int code);
} // namespace TransferResult

// The one transfer the scheduler hands to the worker, and what the worker reports back. The user
// interface thread fills the plain fields only while bRunning is false and before it starts the
// worker; from then until the worker clears bRunning they belong to the worker. The atomics are the
// only fields both threads touch while a transfer runs.
struct TransferJob {
    TransferJob() = default;
    TransferJob(const TransferJob &) = delete;
    TransferJob &operator=(const TransferJob &) = delete;

    char szIsolatorAddr[128] = {}; // numeric IPv4 text, zero-terminated
    quint16 nIsolatorPort = 0;
    QString strFolder; // ends with a separator
    QString strFileName;
    QString strDestination; // inner address, "||", inner path

    std::atomic<bool> bStopRequested{false};
    std::atomic<bool> bRunning{false};
    std::atomic<bool> bSucceeded{false};
    bool bResumePending = true; // the scheduler's own: no transfer started yet in this process

    std::atomic<quint64> nFileSize{0};
    std::atomic<quint64> nBytesSent{0}; // whole blocks of 4096, so it can pass nFileSize
    qint32 nCurrentRow = 0;

    // Every wait on the isolator is bounded; a wait that runs out fails with the code of its step.
    // Tests shorten them.
    std::chrono::milliseconds connectTimeout{10000};
    std::chrono::milliseconds acknowledgementTimeout{30000}; // the whole acknowledgement block
    std::chrono::milliseconds blockTimeout{30000};           // each header or data block, whole

    // Abandoning (at exit): makes the running worker's socket calls fail at once, and any it makes
    // later, until resetAbandon() at the next start. Safe from any thread.
    void abandonConnection();
    void resetAbandon();

    // The worker's side of abandoning: the socket to shut while the worker uses it. False when the
    // job was abandoned already (the worker then gives up without connecting).
    bool attachConnection(TcpSocket *socket);
    void detachConnection();

private:
    std::mutex m_connectionLock;
    TcpSocket *m_connection = nullptr;
    bool m_abandoned = false;
};

// The process-wide job shared by the scheduler, the stop operation and the worker.
extern TransferJob g_transferJob;
