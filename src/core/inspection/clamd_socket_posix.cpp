// POSIX implementation of the clamd connection (Linux and other Unix systems).

#include "core/inspection/ClamdSocket.h"

#include <QFile>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// What is left until deadline, for poll: at least 0, at most a day.
int millisecondsUntil(ClamdSocket::Deadline deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, 86'400'000));
}

// Waits until the socket can do events; false on time-out (*error 0) or failure (*error set).
bool await(int handle, short events, ClamdSocket::Deadline deadline, int *error) {
    for (;;) {
        pollfd entry{handle, events, 0};
        const int ready = ::poll(&entry, 1, millisecondsUntil(deadline));
        if (ready > 0) {
            return true;
        }
        if (ready == 0) {
            *error = 0;
            return false;
        }
        if (errno != EINTR) {
            *error = errno;
            return false;
        }
    }
}

bool isClosure(int code) {
    return code == EPIPE || code == ECONNRESET;
}

} // namespace

ClamdSocket::~ClamdSocket() {
    close();
}

void ClamdSocket::close() {
    if (m_handle >= 0) {
        ::close(m_handle);
        m_handle = -1;
    }
}

ClamdSocket::Status ClamdSocket::connect(const ClamdEndpoint &endpoint, Deadline deadline, int *error) {
    close();
    sockaddr_storage address{};
    socklen_t length = 0;
    int family = AF_UNIX;
    if (endpoint.kind == ClamdEndpoint::Kind::LocalSocket) {
        auto *local = reinterpret_cast<sockaddr_un *>(&address);
        const QByteArray path = QFile::encodeName(endpoint.socketPath);
        if (path.isEmpty() || static_cast<size_t>(path.size()) >= sizeof(local->sun_path)) {
            *error = ENAMETOOLONG;
            return Status::Failed;
        }
        local->sun_family = AF_UNIX;
        std::memcpy(local->sun_path, path.constData(), static_cast<size_t>(path.size()));
        length = sizeof(sockaddr_un);
    } else if (endpoint.kind == ClamdEndpoint::Kind::Tcp) {
        auto *inet = reinterpret_cast<sockaddr_in *>(&address);
        inet->sin_family = AF_INET;
        inet->sin_port = htons(endpoint.port);
        if (::inet_pton(AF_INET, endpoint.address.constData(), &inet->sin_addr) != 1) {
            *error = EINVAL;
            return Status::Failed;
        }
        family = AF_INET;
        length = sizeof(sockaddr_in);
    } else {
        *error = EINVAL;
        return Status::Failed;
    }
    m_handle = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_handle < 0) {
        *error = errno;
        return Status::Failed;
    }
    if (::connect(m_handle, reinterpret_cast<sockaddr *>(&address), length) == 0) {
        return Status::Done;
    }
    if (errno != EINPROGRESS && errno != EAGAIN) {
        *error = errno;
        close();
        return Status::Failed;
    }
    if (!await(m_handle, POLLOUT, deadline, error)) {
        close();
        return *error == 0 ? Status::TimedOut : Status::Failed;
    }
    int result = 0;
    socklen_t size = sizeof(result);
    if (::getsockopt(m_handle, SOL_SOCKET, SO_ERROR, &result, &size) != 0 || result != 0) {
        *error = result != 0 ? result : errno;
        close();
        return Status::Failed;
    }
    return Status::Done;
}

ClamdSocket::Status ClamdSocket::sendAll(const char *data, qint64 size, Deadline deadline, int *error) {
    qint64 sent = 0;
    while (sent < size) {
        const ssize_t put = ::send(m_handle, data + sent, static_cast<size_t>(size - sent), MSG_NOSIGNAL);
        if (put > 0) {
            sent += put;
            continue;
        }
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            *error = errno;
            return isClosure(errno) ? Status::Closed : Status::Failed;
        }
        if (!await(m_handle, POLLOUT, deadline, error)) {
            return *error == 0 ? Status::TimedOut : Status::Failed;
        }
    }
    return Status::Done;
}

ClamdSocket::Status ClamdSocket::receive(char *data, qint64 size, qint64 *got, Deadline deadline,
                                         int *error) {
    *got = 0;
    for (;;) {
        const ssize_t read = ::recv(m_handle, data, static_cast<size_t>(size), 0);
        if (read > 0) {
            *got = read;
            return Status::Done;
        }
        if (read == 0) {
            return Status::Closed;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            *error = errno;
            return isClosure(errno) ? Status::Closed : Status::Failed;
        }
        if (!await(m_handle, POLLIN, deadline, error)) {
            return *error == 0 ? Status::TimedOut : Status::Failed;
        }
    }
}

bool ClamdSocket::readable() const {
    pollfd entry{m_handle, POLLIN, 0};
    return ::poll(&entry, 1, 0) > 0 && (entry.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}
