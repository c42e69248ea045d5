#include "IsolatorSession.h"

#include "BackgroundWriter.h"
#include "FolderHandle.h"
#include "StoragePath.h"
#include "core/transfer/BlockIo.h"
#include "core/transfer/Socket.h"

#include <QElapsedTimer>
#include <QStorageInfo>
#include <algorithm>
#include <cerrno>
#include <limits>
#include <memory>
#include <openssl/evp.h>
#include <optional>
#include <thread>
#include <vector>

using Outcome = ConnectionReport::Outcome;

namespace {

constexpr quint64 kBlock = static_cast<quint64>(kBlockSize);

} // namespace

IsolatorSession::IsolatorSession(TcpSocket &socket, const IsolatorOptions &options, TargetFolders *folders,
                                 const std::atomic<bool> &stopping, SessionWatch &watch)
    : m_socket(socket), m_options(options), m_folders(folders), m_stopping(stopping), m_watch(watch) {}

ConnectionReport IsolatorSession::run() {
    m_report.time = QDateTime::currentDateTime();
    m_report.peer = m_socket.peerText();

    QByteArray block(kBlockSize, '\0');
    qint64 got = 0;
    m_socket.setDeadline(m_options.timeout);
    const Received header = receiveExactly(block.data(), block.size(), &got);
    if (header != Received::All) {
        return endOfStream(header, QStringLiteral("after %1 of %2 header bytes").arg(got).arg(block.size()));
    }
    m_header = IsolatorHeader::parse(block);
    m_report.headerRead = true;
    m_report.name = m_header.name();
    m_report.size = m_header.size();

    if (m_options.closeBeforeAck) {
        return fail(Outcome::ClosedBeforeAck, QStringLiteral("closed before the acknowledgement, as asked"));
    }
    if (m_options.neverAnswer) {
        holdWithoutAnswer();
        return m_report;
    }

    if (!m_header.isValid()) {
        return fail(Outcome::Refused, m_header.refusal());
    }
    const StoragePath target = StoragePath::map(m_header.address(), m_header.path(), m_header.name());
    if (!target.isValid()) {
        return fail(Outcome::Refused, target.refusal());
    }
    if (m_header.blockCount() > std::numeric_limits<quint64>::max() / kBlock) {
        return fail(Outcome::Refused, QStringLiteral("the announced size is impossible"));
    }
    if (m_options.maxSize > 0 && m_header.size() > m_options.maxSize) {
        return fail(Outcome::Refused,
                    QStringLiteral("the file is larger than %1 bytes").arg(m_options.maxSize));
    }

    if (m_options.discard || !m_folders) {
        drop();
    } else {
        store(target);
    }
    return m_report;
}

void IsolatorSession::drop() {
    if (!sendAcknowledgement()) {
        return;
    }
    QElapsedTimer clock;
    clock.start();
    if (receiveData(nullptr, QString())) {
        m_report.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        m_report.outcome = Outcome::Discarded;
    }
}

void IsolatorSession::store(const StoragePath &target) {
    QString why;
    if (!enoughSpace(&why)) {
        fail(Outcome::Refused, why);
        return;
    }
    TargetFolders::Lease lease;
    if (!m_folders->acquire(target.folders(), &lease, &why)) {
        fail(Outcome::Failed, why);
        return;
    }
    // A file of that name may be there already or still arriving on another connection: this one then
    // gets a name of its own, so that no file is ever replaced while both are reported stored.
    QString fileName = m_folders->reserveName(lease, target.fileName());
    bool kept = false;
    {
        IncomingFile incoming(m_folders->folder(lease));
        const int error = incoming.create();
        if (error != 0) {
            fail(
                Outcome::Failed,
                QStringLiteral("cannot create a file in %1: %2").arg(lease.absolute, qt_error_string(error)));
        } else if (sendAcknowledgement()) {
            QElapsedTimer clock;
            clock.start();
            if (receiveData(&incoming.file(), lease.absolute + u'/' + fileName) &&
                publish(incoming, lease, target, &fileName)) {
                kept = true;
                m_report.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
                m_report.outcome = Outcome::Stored;
                m_report.storedPath = target.relativeFolder() + u'/' + fileName;
                if (fileName != target.fileName()) {
                    m_report.detail = QStringLiteral("stored as %1: the name %2 was taken")
                                          .arg(fileName, target.fileName());
                }
            }
        }
        // A file that was not published is dropped here.
    }
    m_folders->releaseName(lease, fileName);
    m_folders->release(lease, kept);
}

bool IsolatorSession::publish(IncomingFile &incoming, const TargetFolders::Lease &lease,
                              const StoragePath &target, QString *fileName) {
    // Reserved names are checked against the folder, but something beside the peer may take one before
    // the file is complete: then the next free name is claimed.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int error = incoming.publish(*fileName);
        if (error == 0) {
            return true;
        }
        if (error != EEXIST) {
            fail(Outcome::Failed, QStringLiteral("cannot store %1/%2: %3")
                                      .arg(lease.absolute, *fileName, qt_error_string(error)));
            return false;
        }
        m_folders->releaseName(lease, *fileName);
        *fileName = m_folders->reserveName(lease, target.fileName());
    }
    fail(Outcome::Failed,
         QStringLiteral("cannot find a free name for %1 in %2").arg(target.fileName(), lease.absolute));
    return false;
}

IsolatorSession::Received IsolatorSession::receiveExactly(char *data, qint64 length, qint64 *got) {
    *got = 0;
    while (*got < length) {
        const qint64 n = m_socket.receive(data + *got, length - *got);
        if (n == 0) {
            return Received::Closed;
        }
        if (n < 0) {
            return Received::Failed;
        }
        *got += n;
        m_watch.received.fetch_add(static_cast<quint64>(n), std::memory_order_relaxed);
    }
    return Received::All;
}

ConnectionReport &IsolatorSession::fail(Outcome outcome, const QString &detail) {
    m_report.outcome = outcome;
    m_report.detail = detail;
    m_report.storedPath.clear();
    return m_report;
}

// Names the reason a receive came up short.
ConnectionReport &IsolatorSession::endOfStream(Received how, const QString &what) {
    if (m_stopping.load()) {
        return fail(Outcome::Stopped, QStringLiteral("the peer was stopped %1").arg(what));
    }
    if (m_watch.evicted.load()) {
        return fail(
            Outcome::Evicted,
            QStringLiteral("closed %1 to make room for a waiting sender: it was the slowest connection")
                .arg(what));
    }
    if (how == Received::Closed) {
        return fail(Outcome::Cut, QStringLiteral("the sender closed the connection %1").arg(what));
    }
    if (m_socket.timedOut()) {
        return fail(Outcome::TimedOut,
                    QStringLiteral("nothing arrived for %1 ms %2").arg(m_options.timeout.count()).arg(what));
    }
    return fail(Outcome::Cut, QStringLiteral("the connection failed %1").arg(what));
}

// Reads and drops whatever comes until the sender closes, the time-out passes or the peer stops.
void IsolatorSession::holdWithoutAnswer() {
    fail(Outcome::NeverAnswered, QStringLiteral("held without an acknowledgement, as asked"));
    m_socket.setDeadline(m_options.timeout);
    char sink[4096];
    while (m_socket.receive(sink, sizeof sink) > 0) {
    }
}

bool IsolatorSession::sendAcknowledgement() {
    // The sender looks only at the acknowledgement's length; zeros will do.
    const QByteArray ack(kBlockSize, '\0');
    const int pieces = std::clamp(m_options.ackPieces, 1, static_cast<int>(kBlockSize));
    const qint64 pieceSize = ack.size() / pieces;
    qint64 sent = 0;
    for (int piece = 0; piece < pieces; ++piece) {
        if (piece > 0) {
            // The pause lets each piece arrive as a receive of its own.
            std::this_thread::sleep_for(m_options.ackPiecePause);
        }
        const qint64 end = piece + 1 == pieces ? ack.size() : sent + pieceSize;
        m_socket.setDeadline(m_options.timeout);
        while (sent < end) {
            const qint64 n = m_socket.send(ack.constData() + sent, end - sent);
            if (n <= 0) {
                endOfStream(Received::Failed, QStringLiteral("while sending the acknowledgement"));
                return false;
            }
            sent += n;
        }
    }
    return true;
}

bool IsolatorSession::enoughSpace(QString *why) const {
    const QStorageInfo disk(m_folders->root());
    if (disk.isValid() && disk.bytesAvailable() >= 0 &&
        m_header.size() > static_cast<quint64>(disk.bytesAvailable())) {
        *why = QStringLiteral("only %1 bytes are free for the file").arg(disk.bytesAvailable());
        return false;
    }
    return true;
}

qint64 IsolatorSession::dueMilliseconds(quint64 bytes) const {
    // allowance + bytes / rate, in milliseconds, without overflowing for any announced size.
    const double rateMs = static_cast<double>(bytes) * 1000.0 / static_cast<double>(m_options.minRate);
    const double limit = 1e15; // some thirty thousand years
    return m_options.dataAllowance.count() + static_cast<qint64>(std::min(rateMs, limit));
}

bool IsolatorSession::receiveData(QFile *file, const QString &where) {
    const quint64 blocks = m_header.blockCount();
    const bool cutting =
        m_options.cutAfterBlocks >= 0 && static_cast<quint64>(m_options.cutAfterBlocks) < blocks;
    const quint64 wireTotal = (cutting ? static_cast<quint64>(m_options.cutAfterBlocks) : blocks) * kBlock;
    quint64 toStore = m_header.size();
    std::vector<char> buffer(static_cast<size_t>(kChunkSize));
    // The socket is drained while the previous chunk goes to disk.
    std::optional<BackgroundWriter> writer;
    if (file) {
        writer.emplace(file);
    }
    // What is stored is hashed as it arrives, so the sender's SHA-256 can be compared with it.
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX *)> digest(file ? EVP_MD_CTX_new() : nullptr,
                                                               EVP_MD_CTX_free);
    if (digest && EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) != 1) {
        digest.reset();
    }
    auto writeFailed = [this, &where, &writer] {
        fail(Outcome::Failed, QStringLiteral("cannot write %1: %2").arg(where, writer->errorString()));
        return false;
    };

    QElapsedTimer clock;
    clock.start();
    while (m_report.bytesReceived < wireTotal) {
        // Fill the buffer (or take the rest) before writing, so the disk sees few large writes.
        const qint64 want =
            static_cast<qint64>(std::min<quint64>(buffer.size(), wireTotal - m_report.bytesReceived));
        qint64 filled = 0;
        while (filled < want) {
            // Each receive waits at most the time-out, and never past the moment the next byte is due
            // at the minimum rate: a sender that trickles a byte now and then is cut off all the same.
            const quint64 received = m_report.bytesReceived + static_cast<quint64>(filled);
            std::chrono::milliseconds wait = m_options.timeout;
            bool rateBound = false;
            if (m_options.minRate > 0) {
                const qint64 due = dueMilliseconds(received) - clock.elapsed();
                if (due < wait.count()) {
                    wait = std::chrono::milliseconds(std::max<qint64>(due, 0));
                    rateBound = true;
                }
            }
            qint64 n = -1;
            if (wait.count() > 0) {
                m_socket.setDeadline(wait);
                n = m_socket.receive(buffer.data() + filled, want - filled);
            }
            if (n <= 0) {
                m_report.bytesReceived = received;
                if (rateBound && n < 0 && !m_stopping.load() && !m_watch.evicted.load() &&
                    (wait.count() == 0 || m_socket.timedOut())) {
                    fail(Outcome::TimedOut,
                         QStringLiteral(
                             "the data came slower than %1 bytes/s: %2 of %3 data bytes after %4 ms")
                             .arg(m_options.minRate)
                             .arg(received)
                             .arg(blocks * kBlock)
                             .arg(clock.elapsed()));
                    return false;
                }
                endOfStream(n == 0 ? Received::Closed : Received::Failed,
                            QStringLiteral("after %1 of %2 data bytes").arg(received).arg(blocks * kBlock));
                return false;
            }
            filled += n;
            m_watch.received.fetch_add(static_cast<quint64>(n), std::memory_order_relaxed);
        }
        m_report.bytesReceived += static_cast<quint64>(filled);
        // Only the file's own bytes are kept; the rest of the last block is padding.
        const qint64 keep = static_cast<qint64>(std::min<quint64>(toStore, static_cast<quint64>(filled)));
        if (digest && keep > 0) {
            EVP_DigestUpdate(digest.get(), buffer.data(), static_cast<size_t>(keep));
        }
        if (writer && keep > 0 && !writer->submit(buffer, keep)) {
            return writeFailed();
        }
        toStore -= static_cast<quint64>(keep);
    }
    if (writer && !writer->finish()) {
        return writeFailed();
    }
    if (digest) {
        unsigned char value[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (EVP_DigestFinal_ex(digest.get(), value, &length) == 1) {
            m_report.sha256 =
                QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(value), int(length)).toHex());
        }
    }
    if (cutting) {
        fail(Outcome::CutOnPurpose,
             QStringLiteral("closed after %1 data blocks, as asked").arg(m_options.cutAfterBlocks));
        return false;
    }
    return true;
}
