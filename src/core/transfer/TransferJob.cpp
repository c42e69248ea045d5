#include "core/transfer/TransferJob.h"

#include "core/transfer/Socket.h"

QString describe(TransferResult result) {
    switch (result) {
    case TransferResult::Success:
        return QStringLiteral("success: all data blocks sent");
    case TransferResult::SocketLibrary:
        return QStringLiteral("starting the socket library failed");
    case TransferResult::SocketCreation:
        return QStringLiteral("creating the socket failed");
    case TransferResult::Connect:
        return QStringLiteral("connecting to the isolator failed");
    case TransferResult::Header:
        return QStringLiteral("header refused or not sent, or acknowledgement not received");
    case TransferResult::Data:
        return QStringLiteral("file not read, data block not sent, or stop requested");
    }
    return QStringLiteral("unknown result");
}

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
