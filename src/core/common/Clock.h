#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

// Time stamps and "today" come from here, so tests can fix the time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const;
    // Milliseconds on a clock that never jumps (for intervals and rates, not for time stamps).
    virtual qint64 monotonicMs() const;

    // "%Y-%m-%d %H:%M:%S" of now(), local time.
    QString timestampText() const;
    // "%Y-%m-%d" of now(), local date.
    QString dateText() const;
};

// A clock that stands still until it is set or advanced.
class FixedClock : public Clock {
public:
    explicit FixedClock(QDateTime time) : m_time(std::move(time)) {}
    QDateTime now() const override { return m_time; }
    qint64 monotonicMs() const override { return m_monotonicMs; }
    // Moving the time forward moves the monotonic clock with it.
    void set(const QDateTime &time) {
        m_monotonicMs += qMax<qint64>(0, m_time.msecsTo(time));
        m_time = time;
    }
    void advanceSeconds(qint64 seconds) { advanceMs(seconds * 1000); }
    void advanceMs(qint64 ms) {
        m_time = m_time.addMSecs(ms);
        m_monotonicMs += ms;
    }

private:
    QDateTime m_time;
    qint64 m_monotonicMs = 0;
};
