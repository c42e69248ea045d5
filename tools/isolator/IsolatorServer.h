#pragma once

#include "ConnectionReport.h"
#include "IsolatorOptions.h"
#include "TargetFolders.h"
#include "core/transfer/Socket.h"

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

// The receiving isolator peer: listens, serves each connection on a thread of its own (up to a cap),
// and hands one report per connection to its report handler, one at a time.
class IsolatorServer {
public:
    using ReportHandler = std::function<void(const ConnectionReport &)>;

    explicit IsolatorServer(IsolatorOptions options, ReportHandler handler = {});
    ~IsolatorServer();
    IsolatorServer(const IsolatorServer &) = delete;
    IsolatorServer &operator=(const IsolatorServer &) = delete;

    // Creates the root when missing, listens and starts accepting. False with a reason otherwise.
    bool start(QString *error);

    // Stops accepting, ends the connections in progress (their partial files are dropped) and waits
    // for every thread. Safe to call more than once.
    void stop();

    // The port actually listened on (useful with port 0); 0 before start().
    quint16 port() const { return m_port; }
    // "address:port" actually listened on.
    QString listenText() const;
    const QString &root() const { return m_root; }

private:
    struct Connection {
        std::unique_ptr<TcpSocket> socket;
        std::thread thread;
        bool finished = false;
    };

    void acceptLoop();
    void serve(Connection *connection);
    // Joins finished connection threads (all of them when everything is stopping).
    void reap(bool all);
    int activeCount();
    void report(const ConnectionReport &report);

    IsolatorOptions m_options;
    ReportHandler m_handler;
    QString m_root;
    quint16 m_port = 0;
    // Destroyed once accepting has ended, so the port is free again as soon as the peer stops.
    std::unique_ptr<TcpListener> m_listener;
    std::unique_ptr<TargetFolders> m_folders;
    std::thread m_acceptThread;
    std::atomic<bool> m_stopping{false};
    std::mutex m_connectionsMutex;
    std::list<Connection> m_connections;
    std::mutex m_reportMutex;
};
