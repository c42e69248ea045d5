#include "IsolatorRawClient.h"

#include "core/common/Cp936.h"

#include <QtEndian>

QByteArray IsolatorRawClient::rawHeader(quint64 size, const QByteArray &name, const QByteArray &address,
                                        const QByteArray &path) {
    QByteArray block(4096, '\0');
    qToLittleEndian<quint64>(size, block.data());
    block.replace(8, name.size(), name);
    block.replace(2000, address.size(), address);
    block.replace(2048, path.size(), path);
    block.resize(4096);
    return block;
}

QByteArray IsolatorRawClient::header(quint64 size, const QString &name, const QString &address,
                                     const QString &path) {
    return rawHeader(size, Cp936::encode(name).value(), Cp936::encode(address).value(),
                     Cp936::encode(path).value());
}

QByteArray IsolatorRawClient::padded(const QByteArray &content, char filler) {
    const qsizetype blocks = (content.size() + 4095) / 4096;
    QByteArray data = content;
    data.append(blocks * 4096 - content.size(), filler);
    return data;
}

bool IsolatorRawClient::connectTo(quint16 port) {
    return m_socket.create() && m_socket.connectTo("127.0.0.1", port, std::chrono::seconds(5));
}

bool IsolatorRawClient::sendAll(const QByteArray &bytes) {
    qint64 sent = 0;
    m_socket.setDeadline(std::chrono::seconds(10));
    while (sent < bytes.size()) {
        const qint64 n = m_socket.send(bytes.constData() + sent, bytes.size() - sent);
        if (n <= 0) {
            return false;
        }
        sent += n;
    }
    return true;
}

qint64 IsolatorRawClient::receiveAcknowledgement(std::chrono::milliseconds timeout) {
    char ack[4096];
    qint64 got = 0;
    m_socket.setDeadline(timeout);
    while (got < 4096) {
        const qint64 n = m_socket.receive(ack + got, 4096 - got);
        if (n <= 0) {
            break;
        }
        got += n;
    }
    return got;
}

bool IsolatorRawClient::peerClosed(std::chrono::milliseconds timeout) {
    char sink[4096];
    m_socket.setDeadline(timeout);
    for (;;) {
        const qint64 n = m_socket.receive(sink, sizeof sink);
        if (n == 0) {
            return true;
        }
        if (n < 0) {
            return !m_socket.timedOut();
        }
    }
}

bool IsolatorRawClient::sendFile(quint16 port, const QByteArray &content, const QString &name,
                                 const QString &address, const QString &path) {
    if (!connectTo(port) || !sendAll(header(quint64(content.size()), name, address, path)) ||
        receiveAcknowledgement(std::chrono::seconds(10)) != 4096 || !sendAll(padded(content))) {
        return false;
    }
    m_socket.close();
    return true;
}
