#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

// What became of one connection to the peer: the material of its log line.
struct ConnectionReport {
    enum class Outcome {
        Stored,          // the whole file arrived and is in place
        Discarded,       // the whole file arrived and was dropped (--discard)
        Refused,         // the header was unsound or unsafe; nothing written, no acknowledgement
        Cut,             // the sender closed the connection early; nothing kept
        TimedOut,        // a wait ran out; nothing kept
        Failed,          // the peer could not store the file; nothing kept
        Busy,            // every slot taken and the waiting line full; closed at once
        Evicted,         // closed to make room for a waiting newcomer; nothing kept
        Stopped,         // the peer was shutting down; nothing kept
        ClosedBeforeAck, // misbehaviour on purpose
        NeverAnswered,   // misbehaviour on purpose
        CutOnPurpose,    // misbehaviour on purpose
    };

    QDateTime time;
    QString peer;
    bool headerRead = false;
    QString name;
    quint64 size = 0;
    Outcome outcome = Outcome::Failed;
    // Why it failed or was refused; for a stored file, why it got a name of its own (else empty).
    QString detail;
    // Where a stored file is, relative to the root, with '/' between folders.
    QString storedPath;
    // SHA-256 of the stored file's bytes (64 hexadecimal digits); empty when nothing was stored.
    QString sha256;
    // Data bytes received after the acknowledgement, padding included.
    quint64 bytesReceived = 0;
    // From the acknowledgement to the file being in place.
    double seconds = 0;

    // Megabytes (10^6 bytes) of file per second over the data phase; 0 when nothing was stored.
    double megabytesPerSecond() const;

    // time, peer, "name", size, result, MB/s and the stored path or the reason, on one line.
    QString logLine() const;

    static QString outcomeText(Outcome outcome);
};
