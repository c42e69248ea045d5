#include "core/station/StationLock.h"

#include "core/common/SafeRead.h"
#include "core/station/StationStatus.h"

#include <QDir>
#include <QFileInfo>
#include <QSysInfo>

namespace {

// The kind of the station pid, when the status file of folder is that station's.
QString kindOf(const QString &folder, qint64 pid) {
    QByteArray bytes;
    Failure unread;
    StationStatus status;
    QString error;
    if (SafeRead::readAll(QDir(folder).filePath(StationStatus::fileName()), 1 << 20, &bytes, &unread) &&
        StationStatus::fromJson(bytes, &status, &error) && status.pid == pid) {
        return status.kind;
    }
    return QString();
}

} // namespace

StationLock::StationLock(const QString &workFolder) : m_folder(workFolder) {}

bool StationLock::acquire(QString *refusal) {
    m_lock = std::make_unique<QLockFile>(QDir(m_folder).filePath(fileName()));
    // Staleness is judged by the holder's process only, never by the lock's age: a station runs for days.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        return true;
    }
    const QString folder = QDir::toNativeSeparators(m_folder);
    if (m_lock->error() != QLockFile::LockFailedError) {
        *refusal = QStringLiteral("无法锁定工作目录 %1：无法创建 %2").arg(folder, fileName());
        m_lock.reset();
        return false;
    }
    const Holder holder = holderOf(m_folder);
    QString who = QStringLiteral("进程 %1").arg(holder.pid);
    if (!holder.host.isEmpty()) {
        who += QStringLiteral("，计算机 %1").arg(holder.host);
    }
    if (holder.kind == QLatin1String("window")) {
        who += QStringLiteral("，窗口");
    } else if (holder.kind == QLatin1String("headless")) {
        who += QStringLiteral("，无界面");
    }
    *refusal = QStringLiteral("工作目录 %1 已有上传站在运行（%2），不能再启动一个。").arg(folder, who);
    m_lock.reset();
    return false;
}

StationLock::Holder StationLock::holderOf(const QString &workFolder) {
    Holder holder;
    const QString path = QDir(workFolder).filePath(fileName());
    if (!QFileInfo::exists(path)) {
        return holder;
    }
    QString host;
    QString application;
    if (!QLockFile(path).getLockInfo(&holder.pid, &host, &application)) {
        return holder; // being written or removed at this moment: nobody holds it yet
    }
    const bool here = host.isEmpty() || host == QSysInfo::machineHostName();
    holder.host = here ? QString() : host;
    // A station on another machine (a shared folder) cannot be looked at: it counts as running.
    holder.state = !here || processRuns(holder.pid) ? Holder::State::Held : Holder::State::Gone;
    holder.kind = kindOf(workFolder, holder.pid);
    return holder;
}
