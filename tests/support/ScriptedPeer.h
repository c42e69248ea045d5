#pragma once

#include "core/transfer/Socket.h"

#include <QByteArray>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// A stand-in isolator on loopback for the worker's tests: a real TCP server thread that takes one
// connection and plays a script (how to answer the header, how much data to read).
class ScriptedPeer {
public:
    struct Script {
        int ackPieces = 1;           // the acknowledgement in this many pieces, each arriving on its own
        bool closeBeforeAck = false; // read the header, then close
        bool neverAnswer = false;    // read the header, then hold the connection silently until finish()
        bool stopReading = false;    // acknowledge, then read nothing more until finish()
        int closeAfterBlocks = -1;   // close after this many data blocks (-1: read to the end)
        std::function<void()> onHeader = {};   // after the header, before the acknowledgement
        std::function<void(int)> onBlock = {}; // after each whole data block, with the count so far
    };

    ScriptedPeer();
    explicit ScriptedPeer(Script script);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer &) = delete;
    ScriptedPeer &operator=(const ScriptedPeer &) = delete;

    quint16 port() const { return m_port; }

    // Lets a held connection go, takes a connection still waiting to be accepted, and waits for the
    // peer thread. Call it after the sender is done and before reading the results below.
    void finish();

    int connections() const { return m_connections; }
    // What arrived first (at most 4096 bytes) and everything after it.
    const QByteArray &header() const { return m_header; }
    const QByteArray &data() const { return m_data; }
    qsizetype dataBlocks() const { return m_data.size() / 4096; }

private:
    void run();
    void serve(TcpSocket &connection);
    void hold();

    Script m_script;
    TcpListener m_listener;
    quint16 m_port = 0;
    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_released;
    std::atomic<bool> m_finishing{false};
    int m_connections = 0;
    QByteArray m_header;
    QByteArray m_data;
};
