#pragma once

#include "core/common/Failure.h"
#include "core/inspection/ClamdEndpoint.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <chrono>

// How long the client waits for clamd at each step.
struct ClamdTiming {
    std::chrono::milliseconds connect{5000};
    std::chrono::milliseconds send{5000}; // each chunk, and a command's reply
    // The scan's reply after the last byte: this, plus perMiB for each MiB sent, at most cap.
    std::chrono::milliseconds reply{10000};
    std::chrono::milliseconds perMiB{100};
    std::chrono::milliseconds cap{120000};
};

// A client of clamd, ClamAV's scanning daemon, over its Unix socket or TCP: the file is streamed to
// it (INSTREAM) and only its exact "OK" counts as clean. Everything else, an unreachable daemon, an
// error, a reply it cannot read, a time-out, is a failure: a file is never passed because the
// scanner did not answer. Every wait ends at a deadline.
class ClamdClient {
public:
    // Chunks stay well within clamd's StreamMaxLength and its read buffer.
    static constexpr qint64 kChunkBytes = 1 << 20;

    struct Answer {
        bool ok = false;
        QString text; // ok: the daemon's answer ("ClamAV 1.4.6/…")
        QString why;  // not ok: why the daemon could not be used

        // "病毒扫描服务不可用：<why>"
        QString sentence() const;
    };

    struct ScanResult {
        enum class Outcome {
            Clean,      // clamd said OK to every byte of the file
            Infected,   // signature names what it found
            Failed,     // why: the scan could not be done (sentence())
            Unreadable, // the file could not be read, or changed while read (failure)
        };
        Outcome outcome = Outcome::Failed;
        QString signature; // Infected
        QByteArray sha256; // Clean, Infected: lower-case hex of the bytes streamed
        qint64 bytes = 0;  // bytes streamed
        QString why;       // Failed
        Failure failure;   // Unreadable

        // Failed: "病毒扫描服务不可用：<why>"; Unreadable: the failure's sentence.
        QString sentence() const;
    };

    explicit ClamdClient(ClamdEndpoint endpoint, ClamdTiming timing = {});

    const ClamdEndpoint &endpoint() const { return m_endpoint; }

    // Asks the daemon its version (zVERSION).
    Answer version() const;

    // Streams the file at path (opened without following a final link and without blocking) to the
    // daemon and reads its verdict. A raised cancel flag ends the scan as Failed.
    ScanResult scan(const QString &path, const std::atomic<bool> *cancel = nullptr) const;

private:
    ClamdEndpoint m_endpoint;
    ClamdTiming m_timing;
};
