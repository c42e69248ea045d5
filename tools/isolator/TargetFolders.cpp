#include "TargetFolders.h"

#include <QDir>
#include <QFileInfo>

TargetFolders::TargetFolders(QString root) : m_root(QDir(root).absolutePath()) {
    m_canonicalRoot = QFileInfo(m_root).canonicalFilePath();
}

bool TargetFolders::acquire(const QStringList &folders, Lease *lease, QString *error) {
    std::lock_guard lock(m_mutex);
    Lease held;
    QString relative;
    for (const QString &folder : folders) {
        relative = relative.isEmpty() ? folder : relative + u'/' + folder;
        held.chain.append(relative);
        if (!QFileInfo::exists(m_root + u'/' + relative)) {
            held.created.append(relative);
        }
    }
    held.absolute = relative.isEmpty() ? m_root : m_root + u'/' + relative;

    auto undo = [this, &held] {
        for (auto it = held.created.crbegin(); it != held.created.crend(); ++it) {
            if (m_users.value(*it) == 0) {
                QDir(m_root).rmdir(*it);
            }
        }
    };
    if (!QDir().mkpath(held.absolute)) {
        undo();
        *error = QStringLiteral("cannot create the folder %1").arg(held.absolute);
        return false;
    }
    const QString canonical = QFileInfo(held.absolute).canonicalFilePath();
    if (m_canonicalRoot.isEmpty() ||
        (canonical != m_canonicalRoot && !canonical.startsWith(m_canonicalRoot + u'/'))) {
        undo();
        *error = QStringLiteral("the folder %1 leads outside the root").arg(held.absolute);
        return false;
    }
    for (const QString &folder : held.chain) {
        ++m_users[folder];
    }
    *lease = held;
    return true;
}

void TargetFolders::release(const Lease &lease, bool keep) {
    std::lock_guard lock(m_mutex);
    for (const QString &folder : lease.chain) {
        if (--m_users[folder] <= 0) {
            m_users.remove(folder);
        }
    }
    if (keep) {
        return;
    }
    for (auto it = lease.created.crbegin(); it != lease.created.crend(); ++it) {
        if (!m_users.contains(*it)) {
            // rmdir only removes an empty folder; one that has gained a file meanwhile stays.
            QDir(m_root).rmdir(*it);
        }
    }
}

QString TargetFolders::reserveName(const QString &folder, const QString &fileName) {
    std::lock_guard lock(m_mutex);
    QString name = fileName;
    if (m_receiving.contains(folder + u'/' + name)) {
        // The number goes before the last suffix: "report.txt" becomes "report (2).txt".
        const qsizetype dot = fileName.lastIndexOf(u'.');
        const bool hasSuffix = dot > 0;
        const QString stem = hasSuffix ? fileName.left(dot) : fileName;
        const QString suffix = hasSuffix ? fileName.mid(dot) : QString();
        for (int n = 2;; ++n) {
            name = QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(suffix);
            const QString path = folder + u'/' + name;
            if (!m_receiving.contains(path) && !QFileInfo::exists(path)) {
                break;
            }
        }
    }
    m_receiving.insert(folder + u'/' + name);
    return name;
}

void TargetFolders::releaseName(const QString &folder, const QString &fileName) {
    std::lock_guard lock(m_mutex);
    m_receiving.remove(folder + u'/' + fileName);
}
