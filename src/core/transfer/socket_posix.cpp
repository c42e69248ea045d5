// POSIX implementation of the socket seam (Linux and other Unix systems).

#include "core/transfer/Socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/sockios.h>
#endif

using std::chrono::milliseconds;
using std::chrono::steady_clock;

namespace {

int fd(std::intptr_t handle) {
    return static_cast<int>(handle);
}

bool setBlocking(int socket, bool blocking) {
    const int flags = ::fcntl(socket, F_GETFL, 0);
    if (flags < 0) {
        return false;
    }
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return ::fcntl(socket, F_SETFL, wanted) == 0;
}

long long millisecondsUntil(steady_clock::time_point deadline) {
    const auto left = std::chrono::ceil<milliseconds>(deadline - steady_clock::now()).count();
    return left;
}

} // namespace

SocketLibrary::SocketLibrary() : m_started(true) {}

SocketLibrary::~SocketLibrary() = default;

bool parseIpv4(const QByteArray &text, std::uint32_t *addressInNetworkOrder) {
    in_addr address{};
    if (::inet_pton(AF_INET, text.constData(), &address) != 1) {
        return false;
    }
    *addressInNetworkOrder = address.s_addr;
    return true;
}

TcpSocket::~TcpSocket() {
    close();
}

bool TcpSocket::create() {
    close();
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (socket < 0) {
        return false;
    }
    m_handle = socket;
    return true;
}

bool TcpSocket::isOpen() const {
    return m_handle >= 0;
}

bool TcpSocket::connectTo(const QByteArray &ipv4, quint16 port, milliseconds timeout) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    std::uint32_t ip = 0;
    if (!isOpen() || !parseIpv4(ipv4, &ip)) {
        return false;
    }
    address.sin_addr.s_addr = ip;

    const int socket = fd(m_handle);
    if (!setBlocking(socket, false)) {
        return false;
    }
    m_timedOut = false;
    m_connectError = 0;
    int result = ::connect(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    if (result != 0 && errno != EINPROGRESS) {
        m_connectError = errno;
    } else if (result != 0) {
        const auto deadline = steady_clock::now() + timeout;
        pollfd waiting{socket, POLLOUT, 0};
        int ready = 0;
        do {
            const long long left = millisecondsUntil(deadline);
            if (left <= 0) {
                break;
            }
            ready = ::poll(&waiting, 1, static_cast<int>(left));
        } while (ready < 0 && errno == EINTR);
        int error = ETIMEDOUT;
        socklen_t length = sizeof error;
        if (ready == 1 && ::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) {
            result = 0;
        } else if (ready == 0) {
            m_timedOut = true;
        } else {
            m_connectError = error;
        }
    }
    // Nagle stays on: data goes out in whole blocks, many at a time, and every exchange that waits
    // for an answer (the header) is a whole block that fills its segments.
    return result == 0 && setBlocking(socket, true);
}

TcpSocket::ConnectFailure TcpSocket::connectFailure() const {
    switch (m_connectError) {
    case 0:
        return ConnectFailure::None;
    case ECONNREFUSED:
        return ConnectFailure::Refused;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
        return ConnectFailure::Unreachable;
    default:
        return ConnectFailure::Other;
    }
}

void TcpSocket::setDeadline(milliseconds fromNow) {
    m_deadline = steady_clock::now() + fromNow;
    m_deadlineFresh = true;
    m_timedOut = false;
}

// Sets SO_SNDTIMEO / SO_RCVTIMEO to the time left before the deadline. The first call after
// setDeadline usually finds the option already right (the same budget every block), so the common
// one-call block costs no extra system call.
bool TcpSocket::applyRemainingTime(int option) {
    if (m_deadline == steady_clock::time_point::max()) {
        return true;
    }
    const int slot = option == SO_SNDTIMEO ? 0 : 1;
    const long long left = millisecondsUntil(m_deadline);
    if (left <= 0) {
        m_timedOut = true;
        return false;
    }
    if (m_deadlineFresh && m_optionMs[slot] >= left && m_optionMs[slot] - left < 50) {
        return true;
    }
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(left / 1000);
    limit.tv_usec = static_cast<suseconds_t>((left % 1000) * 1000);
    if (::setsockopt(fd(m_handle), SOL_SOCKET, option, &limit, sizeof limit) != 0) {
        return false;
    }
    m_optionMs[slot] = left;
    return true;
}

qint64 TcpSocket::send(const char *data, qint64 length) {
    if (!isOpen() || !applyRemainingTime(SO_SNDTIMEO)) {
        return -1;
    }
    m_deadlineFresh = false;
    ssize_t sent;
    do {
        sent = ::send(fd(m_handle), data, static_cast<size_t>(length), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        m_timedOut = true;
    }
    return sent < 0 ? -1 : static_cast<qint64>(sent);
}

qint64 TcpSocket::receive(char *data, qint64 length) {
    if (!isOpen() || !applyRemainingTime(SO_RCVTIMEO)) {
        return -1;
    }
    m_deadlineFresh = false;
    ssize_t received;
    do {
        received = ::recv(fd(m_handle), data, static_cast<size_t>(length), 0);
    } while (received < 0 && errno == EINTR);
    if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        m_timedOut = true;
    }
    if (received == 0 && length > 0) {
        m_closedByPeer = true;
    }
    return received < 0 ? -1 : static_cast<qint64>(received);
}

qint64 TcpSocket::unsentBytes() const {
    if (!isOpen()) {
        return 0;
    }
#ifdef SIOCOUTQ
    int queued = 0;
    if (::ioctl(fd(m_handle), SIOCOUTQ, &queued) == 0) {
        return queued;
    }
#endif
    // Where the queue cannot be asked, the whole send buffer may still hold data.
    int buffer = 0;
    socklen_t length = sizeof buffer;
    return ::getsockopt(fd(m_handle), SOL_SOCKET, SO_SNDBUF, &buffer, &length) == 0 ? buffer : 0;
}

void TcpSocket::abort() {
    if (isOpen()) {
        ::shutdown(fd(m_handle), SHUT_RDWR);
    }
}

void TcpSocket::close() {
    if (isOpen()) {
        ::close(fd(m_handle));
        m_handle = -1;
    }
    m_deadline = steady_clock::time_point::max();
    m_optionMs[0] = m_optionMs[1] = -1;
}

QString TcpSocket::peerText() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (!isOpen() || ::getpeername(fd(m_handle), reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        return QStringLiteral("?");
    }
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return QStringLiteral("%1:%2").arg(QString::fromLatin1(text)).arg(ntohs(address.sin_port));
}

TcpListener::~TcpListener() {
    close();
    if (m_handle >= 0) {
        ::close(fd(m_handle));
    }
    for (int &end : m_wakePipe) {
        if (end >= 0) {
            ::close(end);
            end = -1;
        }
    }
}

bool TcpListener::listen(const QByteArray &ipv4, quint16 port, QString *error) {
    auto fail = [error](const QString &why) {
        if (error) {
            *error = why;
        }
        return false;
    };
    std::uint32_t ip = 0;
    if (!parseIpv4(ipv4, &ip)) {
        return fail(QStringLiteral("not a numeric IPv4 address: %1").arg(QString::fromLatin1(ipv4)));
    }
    if (::pipe2(m_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return fail(QStringLiteral("cannot create a pipe: %1").arg(QString::fromLocal8Bit(strerror(errno))));
    }
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (socket < 0) {
        return fail(
            QStringLiteral("cannot create a socket: %1").arg(QString::fromLocal8Bit(strerror(errno))));
    }
    m_handle = socket;
    const int on = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = ip;
    if (::bind(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(socket, 128) != 0) {
        return fail(QStringLiteral("cannot listen on %1:%2: %3")
                        .arg(QString::fromLatin1(ipv4))
                        .arg(port)
                        .arg(QString::fromLocal8Bit(strerror(errno))));
    }
    return true;
}

quint16 TcpListener::port() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (m_handle < 0 || ::getsockname(fd(m_handle), reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

std::unique_ptr<TcpSocket> TcpListener::accept(milliseconds timeout) {
    if (m_handle < 0) {
        return nullptr;
    }
    pollfd waiting[2] = {{fd(m_handle), POLLIN, 0}, {m_wakePipe[0], POLLIN, 0}};
    const auto deadline = steady_clock::now() + timeout;
    for (;;) {
        const long long left = millisecondsUntil(deadline);
        if (left <= 0) {
            return nullptr;
        }
        const int ready = ::poll(waiting, 2, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0 || (waiting[1].revents & POLLIN)) {
            return nullptr;
        }
        const int socket = ::accept4(fd(m_handle), nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN) {
                continue;
            }
            return nullptr;
        }
        auto connection = std::make_unique<TcpSocket>();
        connection->m_handle = socket;
        const int on = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        return connection;
    }
}

void TcpListener::close() {
    if (m_wakePipe[1] >= 0) {
        const char wake = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wakePipe[1], &wake, 1);
    }
    // Stop listening at once: later connection attempts are refused instead of waiting in the
    // backlog for an accept that will never come. The descriptor itself is closed by the destructor,
    // after the accepting thread has let go of it.
    if (m_handle >= 0) {
        ::shutdown(fd(m_handle), SHUT_RDWR);
    }
}
