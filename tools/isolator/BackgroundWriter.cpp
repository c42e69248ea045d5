#include "BackgroundWriter.h"

#include <QIODevice>

BackgroundWriter::BackgroundWriter(QIODevice *device) : m_device(device) {
    m_thread = std::thread(&BackgroundWriter::run, this);
}

BackgroundWriter::~BackgroundWriter() {
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_busy; });
        m_ending = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

bool BackgroundWriter::submit(std::vector<char> &chunk, qint64 length) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_busy; });
    if (m_failed) {
        return false;
    }
    if (m_pending.size() != chunk.size()) {
        m_pending.resize(chunk.size());
    }
    m_pending.swap(chunk);
    m_pendingLength = length;
    m_busy = true;
    lock.unlock();
    m_changed.notify_all();
    return true;
}

bool BackgroundWriter::finish() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_busy; });
    return !m_failed;
}

QString BackgroundWriter::errorString() const {
    std::lock_guard lock(m_mutex);
    return m_error;
}

void BackgroundWriter::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_busy || m_ending; });
        if (!m_busy) {
            return;
        }
        const qint64 length = m_pendingLength;
        lock.unlock();
        // The device is touched by this thread only while busy; the owner waits for !busy before
        // it uses the device again (commit), so the two never overlap.
        const bool written = m_device->write(m_pending.data(), length) == length;
        lock.lock();
        if (!written) {
            m_failed = true;
            m_error = m_device->errorString();
        }
        m_busy = false;
        m_changed.notify_all();
    }
}
