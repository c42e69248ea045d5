#include "IsolatorServer.h"

#include "IsolatorSession.h"

#include <QDir>
#include <system_error>

namespace {

// How often the accept loop looks up from waiting to join finished connections, and how often while
// newcomers wait in line for a slot.
constexpr std::chrono::milliseconds kReapInterval{200};
constexpr std::chrono::milliseconds kWaitingInterval{20};

} // namespace

IsolatorServer::IsolatorServer(IsolatorOptions options, ReportHandler handler)
    : m_options(std::move(options)), m_handler(std::move(handler)) {}

IsolatorServer::~IsolatorServer() {
    stop();
}

bool IsolatorServer::start(QString *error) {
    if (!m_options.discard) {
        if (m_options.root.isEmpty()) {
            *error = QStringLiteral("no root folder given");
            return false;
        }
        m_root = QDir(m_options.root).absolutePath();
        if (!QDir().mkpath(m_root)) {
            *error = QStringLiteral("cannot create the root folder %1").arg(m_root);
            return false;
        }
        m_folders = std::make_unique<TargetFolders>(m_root);
    }
    m_listener = std::make_unique<TcpListener>();
    if (!m_listener->listen(m_options.listenAddress, m_options.listenPort, error)) {
        m_listener.reset();
        return false;
    }
    m_port = m_listener->port();
    m_acceptThread = std::thread(&IsolatorServer::acceptLoop, this);
    return true;
}

void IsolatorServer::stop() {
    if (m_stopping.exchange(true)) {
        return;
    }
    if (m_listener) {
        m_listener->close();
    }
    if (m_acceptThread.joinable()) {
        m_acceptThread.join();
    }
    // Refuses new connections at once instead of leaving them in the backlog unanswered.
    m_listener.reset();
    {
        std::lock_guard lock(m_connectionsMutex);
        for (Connection &connection : m_connections) {
            if (connection.socket) {
                connection.socket->abort();
            }
        }
    }
    reap(true);
    while (!m_waiting.empty()) {
        reportUnserved(*m_waiting.front(), ConnectionReport::Outcome::Stopped,
                       QStringLiteral("the peer was stopped while the connection waited for a slot"));
        m_waiting.pop_front();
    }
}

QString IsolatorServer::listenText() const {
    return QStringLiteral("%1:%2").arg(QString::fromLatin1(m_options.listenAddress)).arg(m_port);
}

void IsolatorServer::acceptLoop() {
    while (!m_stopping.load()) {
        reap(false);
        serveWaiting();
        std::unique_ptr<TcpSocket> socket =
            m_listener->accept(m_waiting.empty() ? kReapInterval : kWaitingInterval);
        if (!socket) {
            continue;
        }
        if (m_stopping.load()) {
            break;
        }
        if (static_cast<int>(m_waiting.size()) >= m_options.maxConnections) {
            reportUnserved(*socket, ConnectionReport::Outcome::Busy,
                           QStringLiteral("%1 connections are being served and %1 more are waiting")
                               .arg(m_options.maxConnections));
            continue;
        }
        m_waiting.push_back(std::move(socket));
        serveWaiting();
    }
}

void IsolatorServer::serveWaiting() {
    while (!m_waiting.empty() && activeCount() < m_options.maxConnections) {
        startServing(std::move(m_waiting.front()));
        m_waiting.pop_front();
    }
    if (!m_waiting.empty()) {
        makeRoom();
    }
}

void IsolatorServer::makeRoom() {
    std::lock_guard lock(m_connectionsMutex);
    const Clock::time_point now = Clock::now();
    size_t leaving = 0;
    for (const Connection &connection : m_connections) {
        leaving += !connection.finished && connection.watch.evicted.load() ? 1 : 0;
    }
    while (leaving < m_waiting.size()) {
        Connection *slowest = nullptr;
        double slowestRate = 0;
        for (Connection &connection : m_connections) {
            const auto served = std::chrono::duration<double>(now - connection.since);
            if (connection.finished || connection.watch.evicted.load() || served < m_options.evictionGrace) {
                continue;
            }
            const double rate = static_cast<double>(connection.watch.received.load()) / served.count();
            if (!slowest || rate < slowestRate) {
                slowest = &connection;
                slowestRate = rate;
            }
        }
        if (!slowest) {
            return;
        }
        slowest->watch.evicted.store(true);
        slowest->socket->abort();
        ++leaving;
    }
}

void IsolatorServer::startServing(std::unique_ptr<TcpSocket> socket) {
    std::lock_guard lock(m_connectionsMutex);
    Connection &connection = m_connections.emplace_back();
    connection.socket = std::move(socket);
    connection.since = Clock::now();
    try {
        connection.thread = std::thread(&IsolatorServer::serve, this, &connection);
    } catch (const std::system_error &error) {
        const std::unique_ptr<TcpSocket> failed = std::move(connection.socket);
        m_connections.pop_back();
        reportUnserved(*failed, ConnectionReport::Outcome::Failed,
                       QStringLiteral("cannot start a thread: %1").arg(QString::fromLocal8Bit(error.what())));
    }
}

void IsolatorServer::reportUnserved(TcpSocket &socket, ConnectionReport::Outcome outcome,
                                    const QString &detail) {
    ConnectionReport unserved;
    unserved.time = QDateTime::currentDateTime();
    unserved.peer = socket.peerText();
    unserved.outcome = outcome;
    unserved.detail = detail;
    socket.close();
    report(unserved);
}

void IsolatorServer::serve(Connection *connection) {
    IsolatorSession session(*connection->socket, m_options, m_folders.get(), m_stopping, connection->watch);
    const ConnectionReport result = session.run();
    {
        // Closed under the lock, so stop() never aborts a handle that has been closed and reused.
        std::lock_guard lock(m_connectionsMutex);
        connection->socket->close();
        connection->finished = true;
    }
    report(result);
}

void IsolatorServer::reap(bool all) {
    std::list<Connection> done;
    {
        std::lock_guard lock(m_connectionsMutex);
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            auto next = std::next(it);
            if (all || it->finished) {
                done.splice(done.end(), m_connections, it);
            }
            it = next;
        }
    }
    for (Connection &connection : done) {
        if (connection.thread.joinable()) {
            connection.thread.join();
        }
    }
}

int IsolatorServer::activeCount() {
    std::lock_guard lock(m_connectionsMutex);
    int active = 0;
    for (const Connection &connection : m_connections) {
        active += connection.finished ? 0 : 1;
    }
    return active;
}

void IsolatorServer::report(const ConnectionReport &report) {
    if (!m_handler) {
        return;
    }
    std::lock_guard lock(m_reportMutex);
    m_handler(report);
}
