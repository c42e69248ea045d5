#include "IsolatorServer.h"

#include "IsolatorSession.h"

#include <QDir>
#include <system_error>

namespace {

// How often the accept loop looks up from waiting to join finished connections.
constexpr std::chrono::milliseconds kReapInterval{200};

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
}

QString IsolatorServer::listenText() const {
    return QStringLiteral("%1:%2").arg(QString::fromLatin1(m_options.listenAddress)).arg(m_port);
}

void IsolatorServer::acceptLoop() {
    while (!m_stopping.load()) {
        reap(false);
        std::unique_ptr<TcpSocket> socket = m_listener->accept(kReapInterval);
        if (!socket) {
            continue;
        }
        if (m_stopping.load()) {
            break;
        }
        if (activeCount() >= m_options.maxConnections) {
            ConnectionReport busy;
            busy.time = QDateTime::currentDateTime();
            busy.peer = socket->peerText();
            busy.outcome = ConnectionReport::Outcome::Busy;
            busy.detail =
                QStringLiteral("%1 connections are already being served").arg(m_options.maxConnections);
            socket->close();
            report(busy);
            continue;
        }
        std::lock_guard lock(m_connectionsMutex);
        Connection &connection = m_connections.emplace_back();
        connection.socket = std::move(socket);
        try {
            connection.thread = std::thread(&IsolatorServer::serve, this, &connection);
        } catch (const std::system_error &error) {
            ConnectionReport failed;
            failed.time = QDateTime::currentDateTime();
            failed.peer = connection.socket->peerText();
            failed.outcome = ConnectionReport::Outcome::Failed;
            failed.detail =
                QStringLiteral("cannot start a thread: %1").arg(QString::fromLocal8Bit(error.what()));
            m_connections.pop_back();
            report(failed);
        }
    }
}

void IsolatorServer::serve(Connection *connection) {
    IsolatorSession session(*connection->socket, m_options, m_folders.get(), m_stopping);
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
