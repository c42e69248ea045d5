#pragma once

#include <QLockFile>
#include <QString>
#include <QtGlobal>
#include <memory>

// One station per working folder: station.lock there, held for the station's life. A lock left by a
// station that died (even killed outright) is recognised by its process being gone and taken over, so a
// crash never blocks the next start.
class StationLock {
public:
    static QString fileName() { return QStringLiteral("station.lock"); }

    // Who holds the lock of a folder.
    struct Holder {
        enum class State { Free, Held, Gone }; // no lock; held by a running process; its process is gone
        State state = State::Free;
        qint64 pid = 0;
        QString host; // the machine it runs on, when not this one
        QString kind; // "window" or "headless", when its status file says so
    };

    explicit StationLock(const QString &workFolder);

    // True when this process now holds the lock. Otherwise *refusal is the operator's sentence: who
    // holds it, or why it cannot be taken.
    bool acquire(QString *refusal);

    // Looks without taking anything.
    static Holder holderOf(const QString &workFolder);

    // Whether a process of that id runs on this machine.
    static bool processRuns(qint64 pid);

private:
    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
};
