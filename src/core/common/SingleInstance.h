#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

// Keeps a second window of the station from opening in the same user session (a second start ends
// quietly; which stations may send a working folder's queue is StationLock's rule). The lock lives in the
// user's runtime folder; a lock left by a copy that died (even killed outright) is recognised as
// stale and taken over, so a crash never blocks the next start.
class SingleInstance {
public:
    // name: "BrelvantisAPP"; folder: where the lock file lives (default: the user's runtime folder).
    explicit SingleInstance(const QString &name, const QString &folder = QString());

    // True when this process now holds the lock (for the rest of its life).
    bool acquire();

    QString lockPath() const { return m_path; }

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};
