#pragma once

#include "core/transfer/Socket.h"

#include <QByteArray>
#include <QString>
#include <chrono>

// A bare client of the isolator peer for tests: builds header blocks byte by byte (sound or not) and
// plays the sender's part step by step, so a test can stop, stall or cut anywhere.
class IsolatorRawClient {
public:
    // A header block with the given raw field bytes, zero-filled.
    static QByteArray rawHeader(quint64 size, const QByteArray &name, const QByteArray &address,
                                const QByteArray &path);
    // The same with texts encoded to CP936.
    static QByteArray header(quint64 size, const QString &name, const QString &address, const QString &path);
    // content followed by filler bytes up to a whole number of 4096-byte blocks.
    static QByteArray padded(const QByteArray &content, char filler = '\xAA');

    bool connectTo(quint16 port);
    bool sendAll(const QByteArray &bytes);

    // Receives up to 4096 bytes, stopping early when the peer closes or time-out passes.
    qint64 receiveAcknowledgement(std::chrono::milliseconds timeout);

    // True when the peer has closed the connection (or reset it) within timeout.
    bool peerClosed(std::chrono::milliseconds timeout);

    // Header, acknowledgement, data blocks and close: the whole exchange, as the station does it.
    bool sendFile(quint16 port, const QByteArray &content, const QString &name, const QString &address,
                  const QString &path);

    TcpSocket &socket() { return m_socket; }

private:
    TcpSocket m_socket;
};
