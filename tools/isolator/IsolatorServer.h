#pragma once

#include "ConnectionReport.h"
#include "IsolatorOptions.h"
#include "IsolatorSession.h"
#include "TargetFolders.h"
#include "core/transfer/Socket.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

// The receiving isolator peer: listens, serves each connection on a thread of its own (up to a cap,
// with a waiting line beyond it: see IsolatorOptions::maxConnections), and hands one report per
// connection to its report handler, one at a time.
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

    // Connections being served now (those waiting in line not counted).
    int activeCount();

private:
    using Clock = std::chrono::steady_clock;
    struct Connection {
        std::unique_ptr<TcpSocket> socket;
        std::thread thread;
        bool finished = false;
        Clock::time_point since;
        SessionWatch watch;
    };

    void acceptLoop();
    void startServing(std::unique_ptr<TcpSocket> socket);
    // Lets the first in line take free slots and, for those still waiting, makes the slowest give way.
    void serveWaiting();
    void makeRoom();
    void serve(Connection *connection);
    // Joins finished connection threads (all of them when everything is stopping).
    void reap(bool all);
    void reportUnserved(TcpSocket &socket, ConnectionReport::Outcome outcome, const QString &detail);
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
    // Accepted while every slot was taken; only the accepting thread uses it.
    std::deque<std::unique_ptr<TcpSocket>> m_waiting;
    std::mutex m_reportMutex;
};
