#pragma once

#include "core/transfer/Channel.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>

// The station's TCP seam. This header is the whole of what the program knows about sockets; one small
// source file per platform implements it (socket_posix.cpp here, a Winsock twin for Windows).
// Addresses are numeric IPv4 only: the station never resolves names.

// Starts and ends the platform's socket library around one use (Winsock needs it; elsewhere it is free).
class SocketLibrary {
public:
    SocketLibrary();
    ~SocketLibrary();
    SocketLibrary(const SocketLibrary &) = delete;
    SocketLibrary &operator=(const SocketLibrary &) = delete;
    bool started() const { return m_started; }

private:
    bool m_started = false;
};

// Parses dotted-decimal IPv4 text ("192.168.1.10"); false for anything else, host names included.
bool parseIpv4(const QByteArray &text, std::uint32_t *addressInNetworkOrder);

// A blocking TCP stream socket whose every wait is bounded.
class TcpSocket : public Channel {
public:
    TcpSocket() = default;
    ~TcpSocket() override;
    TcpSocket(const TcpSocket &) = delete;
    TcpSocket &operator=(const TcpSocket &) = delete;

    // Creates an IPv4 TCP stream socket.
    bool create();
    bool isOpen() const;

    // Connects to a numeric IPv4 address, giving up after timeout. False for unparsable text too.
    bool connectTo(const QByteArray &ipv4, quint16 port, std::chrono::milliseconds timeout);

    // Every send and receive call from now on returns -1 once this much time has passed, so one
    // block, however many calls it takes, is bounded as a whole.
    void setDeadline(std::chrono::milliseconds fromNow);

    qint64 send(const char *data, qint64 length) override;
    qint64 receive(char *data, qint64 length) override;

    // True when the last failed call (or connectTo) failed because its time ran out.
    bool timedOut() const { return m_timedOut; }
    // True once a receive call found the connection closed by the peer.
    bool closedByPeer() const { return m_closedByPeer; }
    // Why the last connectTo failed, when it did not time out.
    enum class ConnectFailure { None, Refused, Unreachable, Other };
    ConnectFailure connectFailure() const;

    // Bytes handed to send() that have not left yet: still in the send buffer or unacknowledged by
    // the peer (an upper bound where the system cannot tell). Safe from another thread.
    qint64 unsentBytes() const;

    // Makes blocked and future calls of another thread fail at once (used to abandon a transfer).
    void abort();
    void close();

    // "address:port" of the peer, for log lines.
    QString peerText() const;

private:
    friend class TcpListener;
    bool applyRemainingTime(int option);

    std::intptr_t m_handle = -1;
    std::chrono::steady_clock::time_point m_deadline = std::chrono::steady_clock::time_point::max();
    bool m_deadlineFresh = false;
    int m_connectError = 0; // the platform's error code
    long long m_optionMs[2] = {-1, -1};
    bool m_timedOut = false;
    bool m_closedByPeer = false;
};

// A listening IPv4 TCP socket (used by the isolator peer).
class TcpListener {
public:
    TcpListener() = default;
    ~TcpListener();
    TcpListener(const TcpListener &) = delete;
    TcpListener &operator=(const TcpListener &) = delete;

    // Listens on a numeric IPv4 address; port 0 picks a free port (see port()).
    bool listen(const QByteArray &ipv4, quint16 port, QString *error = nullptr);
    quint16 port() const;

    // Waits at most timeout for a connection; null on time-out, error or after close().
    std::unique_ptr<TcpSocket> accept(std::chrono::milliseconds timeout);

    // Stops listening (new connections are refused) and wakes a thread blocked in accept().
    void close();

private:
    std::intptr_t m_handle = -1;
    int m_wakePipe[2] = {-1, -1};
};
