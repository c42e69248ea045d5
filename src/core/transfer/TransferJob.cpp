#include "core/transfer/TransferJob.h"

#include "core/transfer/Socket.h"

void TransferJob::abandonConnection() {
    const std::lock_guard lock(m_connectionLock);
    m_abandoned = true;
    if (m_connection) {
        m_connection->abort();
    }
}

void TransferJob::resetAbandon() {
    const std::lock_guard lock(m_connectionLock);
    m_abandoned = false;
}

bool TransferJob::attachConnection(TcpSocket *socket) {
    const std::lock_guard lock(m_connectionLock);
    if (m_abandoned) {
        return false;
    }
    m_connection = socket;
    return true;
}

void TransferJob::detachConnection() {
    const std::lock_guard lock(m_connectionLock);
    m_connection = nullptr;
}

quint64 TransferJob::unsentBytes() const {
    const std::lock_guard lock(m_connectionLock);
    return m_connection ? static_cast<quint64>(qMax<qint64>(0, m_connection->unsentBytes())) : 0;
}
