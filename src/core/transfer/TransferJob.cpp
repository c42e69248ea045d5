#include "core/transfer/TransferJob.h"

#include "core/transfer/Socket.h"

TransferJob g_transferJob;

namespace TransferResult {

QString describe(int code) {
    switch (code) {
    case kSuccess:
        return QStringLiteral("success: all data blocks sent");
    case kSocketLibrary:
        return QStringLiteral("starting the socket library failed");
    case kSocketCreation:
        return QStringLiteral("creating the socket failed");
    case kConnect:
        return QStringLiteral("connecting to the isolator failed");
    case kHeader:
        return QStringLiteral("header refused or not sent, or acknowledgement not received");
    case kData:
        return QStringLiteral("file not read, data block not sent, or stop requested");
    default:
        return QStringLiteral("unknown result");
    }
}

} // namespace TransferResult

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
