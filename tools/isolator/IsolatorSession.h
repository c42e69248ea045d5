#pragma once

#include "ConnectionReport.h"
#include "IsolatorHeader.h"
#include "IsolatorOptions.h"
#include "TargetFolders.h"

#include <atomic>

class TcpSocket;
class QFile;
class IncomingFile;
class StoragePath;

// What the server sees of a session while it runs, to choose the connection that gives way when a
// newcomer waits for a slot.
struct SessionWatch {
    std::atomic<quint64> received{0}; // bytes received so far, the header's included
    std::atomic<bool> evicted{false}; // set by the server just before it aborts the connection
};

// One connection to the peer, from the header block to the file in place: reads the header, checks it,
// answers with the acknowledgement, reads the announced data blocks and stores the file's bytes under a
// nameless file that gets its name only when everything arrived. The caller closes the socket.
class IsolatorSession {
public:
    IsolatorSession(TcpSocket &socket, const IsolatorOptions &options, TargetFolders *folders,
                    const std::atomic<bool> &stopping, SessionWatch &watch);

    ConnectionReport run();

    // Bytes asked of one receive call and written to disk at a time: large, so that storing keeps pace.
    static constexpr qint64 kChunkSize = 1 << 20;

private:
    enum class Received { All, Closed, Failed };

    Received receiveExactly(char *data, qint64 length, qint64 *got);
    ConnectionReport &fail(ConnectionReport::Outcome outcome, const QString &detail);
    ConnectionReport &endOfStream(Received how, const QString &what);
    void holdWithoutAnswer();
    // Acknowledges and reads the data, keeping none of it.
    void drop();
    // Acknowledges and reads the data into target, which appears only once all of it has come.
    void store(const StoragePath &target);
    bool sendAcknowledgement();
    bool enoughSpace(QString *why) const;
    // When, counted from the acknowledgement, the data must have brought bytes at the latest.
    qint64 dueMilliseconds(quint64 bytes) const;
    // Reads the data blocks into file (null: read and drop); where names it in messages. Sets the report
    // on failure.
    bool receiveData(QFile *file, const QString &where);
    // Names the complete file fileName, or the next free name when that was taken meanwhile.
    bool publish(IncomingFile &incoming, const TargetFolders::Lease &lease, const StoragePath &target,
                 QString *fileName);

    TcpSocket &m_socket;
    const IsolatorOptions &m_options;
    TargetFolders *m_folders;
    const std::atomic<bool> &m_stopping;
    SessionWatch &m_watch;
    IsolatorHeader m_header;
    ConnectionReport m_report;
};
