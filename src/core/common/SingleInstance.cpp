#include "core/common/SingleInstance.h"

#include <QDir>
#include <QStandardPaths>

SingleInstance::SingleInstance(const QString &name, const QString &folder) {
    QString where = folder;
    if (where.isEmpty()) {
        where = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    }
    if (where.isEmpty()) {
        where = QDir::tempPath();
    }
    QDir().mkpath(where);
    m_path = QDir(where).filePath(name + QStringLiteral(".lock"));
}

bool SingleInstance::acquire() {
    m_lock = std::make_unique<QLockFile>(m_path);
    // Staleness is judged by the owner's process only, never by the lock's age: a station runs for days.
    m_lock->setStaleLockTime(0);
    return m_lock->tryLock(0);
}
