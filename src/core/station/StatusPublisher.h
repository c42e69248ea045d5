#pragma once

#include "core/common/Clock.h"
#include "core/common/Failure.h"
#include "core/station/StationStatus.h"

#include <QObject>
#include <QTimer>
#include <functional>

struct StationParts;

// Keeps station-status.json of the working folder current: rewritten whole (a temporary file renamed
// over it, so a reader never sees half of one) at most once a second while figures change, at once when
// the state changes, and every few seconds meanwhile, so a reader tells a station that has gone from one
// that is idle. The file is no record: a write that fails never holds anything up, and is said once
// (writeFailed) until a write succeeds again.
class StatusPublisher : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kMinIntervalMs = 1000;
    static constexpr qint64 kHeartbeatMs = 5000;

    // kind: "window" or "headless".
    StatusPublisher(const QString &workFolder, const Clock &clock, const QString &kind,
                    QObject *parent = nullptr);

    QString path() const { return m_path; }
    // The figures; say changed() or stateChanged() after changing them.
    StationStatus &status() { return m_status; }
    // Fills in the counts of the queue just before each write.
    void setCounter(std::function<void(StationStatus *)> counter) { m_counter = std::move(counter); }

    // Writes at once, then looks once a second whether to write again.
    void start();
    void changed() { m_dirty = true; }
    void stateChanged();
    // The once-a-second look: a change is written when the last write is a second old, an unchanged
    // status when it is kHeartbeatMs old.
    void tick();
    int writeCount() const { return m_writes; }

signals:
    void writeFailed(const Failure &why);

private:
    void write();

    QString m_path;
    const Clock &m_clock;
    StationStatus m_status;
    std::function<void(StationStatus *)> m_counter;
    QTimer m_timer;
    qint64 m_lastWriteMs = 0;
    int m_writes = 0;
    bool m_dirty = false;
    bool m_failing = false;
};

// Feeds publisher from the station's parts: the upload's state and figures, its faults, the recording
// and the scanner; the counts from the queue. The window and the headless station call it alike.
void publishStationStatus(StationParts &parts, StatusPublisher &publisher);
