#pragma once

#include <QString>
#include <QtGlobal>
#include <deque>

// The figures the window shows while the queue is sent: the file being sent, the speed averaged over
// the last seconds, the time left for this file and for the queue, and what is still to send. Fed
// with samples of the worker's byte counters; pure arithmetic, so tests drive it with chosen times.
class TransferProgress {
public:
    static constexpr qint64 kSpeedWindowMs = 3000;

    struct Snapshot {
        QString fileName;          // the file being sent; empty when none
        quint64 fileSize = 0;      // bytes
        quint64 fileSent = 0;      // bytes of it sent, at most fileSize
        double bytesPerSecond = 0; // 0 while not yet known
        int filesLeft = 0;         // rows still to send, the current one included
        quint64 bytesLeft = 0;     // bytes still to send, the current file's rest included

        int percent() const;
        // Seconds left for the current file and for the queue; -1 while the speed is not known.
        qint64 fileSecondsLeft() const;
        qint64 queueSecondsLeft() const;
    };

    // Forgets the samples (a new start: the speed is measured afresh).
    void reset();
    // Records the total bytes sent so far (a counter that only grows) at nowMs on a steady clock.
    void sample(qint64 nowMs, quint64 totalBytesSent);
    // Bytes per second over the samples of the last kSpeedWindowMs; 0 with less than 250 ms of them.
    double bytesPerSecond() const;

    // "正在上传 a.pdf  45%  12.3 MB/s  本文件剩余 0:07  队列剩余 3:40  还剩 25 个文件 1.2 GB" (decimal units)
    static QString describe(const Snapshot &snapshot);
    // "1:05", "1:02:03", "--:--" for an unknown time.
    static QString durationText(qint64 seconds);

private:
    struct Sample {
        qint64 ms;
        quint64 bytes;
    };
    std::deque<Sample> m_samples;
};
