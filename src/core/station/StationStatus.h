#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QtGlobal>

// What a running station says about itself in station-status.json of its working folder, for
// brelvantis-status and for whoever watches an unattended station. Plain data with its JSON form.
struct StationStatus {
    enum class State { Idle, Uploading, Stopping };

    static QString fileName() { return QStringLiteral("station-status.json"); }
    // "idle", "uploading", "stopping": the keys scripts compare.
    static QString stateKey(State state);
    // 空闲, 正在上传, 正在停止: what the operator reads.
    static QString stateText(State state);

    qint64 pid = 0;
    QDateTime started;
    QString kind; // "window" or "headless"
    State state = State::Idle;
    // The file being sent (empty when none), its bytes sent and in all, and the speed.
    QString sendingFile;
    quint64 bytesDone = 0;
    quint64 bytesTotal = 0;
    double bytesPerSecond = 0;
    int waiting = 0;     // rows still to send, the one being sent not counted
    int sentToday = 0;   // rows of the day's log that read 上传完成
    int failedToday = 0; // rows of the day's log that read 传输故障: they wait for a retry or the operator
    // The last transfer that failed in this run: its file, reason and time (no file: none yet).
    QString faultFile;
    QString faultReason;
    QDateTime faultTime;
    QString recordingFailure; // why the day's records cannot be written; empty while they can
    QString scannerDown;      // why the malware scanner gives no verdict; empty while it does
    QDateTime written;

    QByteArray toJson() const;
    // False, with *error saying why, when bytes is no status of a station.
    static bool fromJson(const QByteArray &bytes, StationStatus *status, QString *error);
};
