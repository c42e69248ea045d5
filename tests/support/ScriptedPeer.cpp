#include "support/ScriptedPeer.h"

using namespace std::chrono_literals;

namespace {

// Bounds every wait of the peer, so a broken test ends instead of hanging.
constexpr auto kPeerLimit = 10s;

// Long enough for the receiver to take each piece in a call of its own, even on a busy machine.
constexpr auto kPieceGap = 50ms;

} // namespace

ScriptedPeer::ScriptedPeer() : ScriptedPeer(Script{}) {}

ScriptedPeer::ScriptedPeer(Script script) : m_script(std::move(script)) {
    if (m_listener.listen("127.0.0.1", 0)) {
        m_port = m_listener.port();
        m_thread = std::thread([this] { run(); });
    }
}

ScriptedPeer::~ScriptedPeer() {
    finish();
}

void ScriptedPeer::finish() {
    {
        const std::lock_guard lock(m_lock);
        m_finishing = true;
    }
    m_released.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void ScriptedPeer::run() {
    const auto giveUp = std::chrono::steady_clock::now() + kPeerLimit;
    std::unique_ptr<TcpSocket> connection;
    // After finish() one more round, for a connection made just before it.
    while (!connection && std::chrono::steady_clock::now() < giveUp) {
        const bool last = m_finishing;
        connection = m_listener.accept(50ms);
        if (last) {
            break;
        }
    }
    if (connection) {
        ++m_connections;
        serve(*connection);
    }
}

void ScriptedPeer::hold() {
    std::unique_lock lock(m_lock);
    m_released.wait_for(lock, kPeerLimit, [this] { return m_finishing.load(); });
}

void ScriptedPeer::serve(TcpSocket &connection) {
    connection.setDeadline(kPeerLimit);
    char block[4096];
    qint64 got = 0;
    while (got < 4096) {
        const qint64 n = connection.receive(block + got, 4096 - got);
        if (n <= 0) {
            break;
        }
        got += n;
    }
    m_header = QByteArray(block, got);
    if (got < 4096 || m_script.closeBeforeAck) {
        return;
    }
    if (m_script.onHeader) {
        m_script.onHeader();
    }
    if (m_script.neverAnswer) {
        hold();
        return;
    }

    const QByteArray ack(4096, 'K');
    const int pieces = qMax(1, m_script.ackPieces);
    qint64 sent = 0;
    for (int i = 0; i < pieces; ++i) {
        if (i > 0) {
            std::this_thread::sleep_for(kPieceGap);
        }
        const qint64 end = i == pieces - 1 ? ack.size() : ack.size() * (i + 1) / pieces;
        while (sent < end) {
            const qint64 n = connection.send(ack.constData() + sent, end - sent);
            if (n <= 0) {
                return;
            }
            sent += n;
        }
    }
    if (m_script.stopReading) {
        hold();
        return;
    }

    char buffer[65536];
    for (;;) {
        qint64 wanted = sizeof buffer;
        if (m_script.closeAfterBlocks >= 0) {
            const qint64 limit = qint64(m_script.closeAfterBlocks) * 4096 - m_data.size();
            if (limit <= 0) {
                return;
            }
            wanted = qMin(wanted, limit);
        }
        const qint64 n = connection.receive(buffer, wanted);
        if (n <= 0) {
            return;
        }
        const qsizetype blocksBefore = dataBlocks();
        m_data.append(buffer, n);
        if (m_script.onBlock) {
            for (qsizetype b = blocksBefore + 1; b <= dataBlocks(); ++b) {
                m_script.onBlock(int(b));
            }
        }
    }
}
