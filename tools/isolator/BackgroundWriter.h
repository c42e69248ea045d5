#pragma once

#include <QString>
#include <QtGlobal>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

class QIODevice;

// Writes buffers to a device on a thread of its own, so a connection keeps draining its socket while
// the previous chunk goes to disk. One chunk is written while the next is filled; no more are queued.
class BackgroundWriter {
public:
    explicit BackgroundWriter(QIODevice *device);
    // Waits for the chunk in hand, then ends the thread.
    ~BackgroundWriter();
    BackgroundWriter(const BackgroundWriter &) = delete;
    BackgroundWriter &operator=(const BackgroundWriter &) = delete;

    // Hands the first length bytes of chunk over and gives back, in chunk, the buffer of the previous
    // write (same capacity) to fill next. Waits while that write is still going. False once a write
    // has failed: the rest of the file need not be written.
    bool submit(std::vector<char> &chunk, qint64 length);

    // Waits until everything handed over is written. False when a write failed.
    bool finish();

    // Why a write failed.
    QString errorString() const;

private:
    void run();

    QIODevice *m_device;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<char> m_pending;
    qint64 m_pendingLength = 0;
    bool m_busy = false;
    bool m_failed = false;
    bool m_ending = false;
    QString m_error;
    std::thread m_thread;
};
