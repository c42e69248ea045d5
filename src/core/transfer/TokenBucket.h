#pragma once

#include <QtGlobal>

// Paces a sender to a rate in bytes per second. Tokens accrue at the rate up to a burst; sending
// takes them, and when too few are there the sender waits for the debt to be paid. The bucket starts
// empty, so a transfer is paced from its first byte. The caller passes
// the time (nanoseconds on a steady clock), so tests drive it with chosen times.
class TokenBucket {
public:
    // burstBytes: at most this much may go at once after an idle spell (never at the start).
    TokenBucket(quint64 bytesPerSecond, quint64 burstBytes);

    // Takes bytes at nowNs; returns how many nanoseconds the sender waits before sending them.
    qint64 take(quint64 bytes, qint64 nowNs);

    quint64 rate() const { return m_rate; }

private:
    quint64 m_rate;
    double m_burst;
    double m_tokens;
    qint64 m_lastNs = -1;
};
