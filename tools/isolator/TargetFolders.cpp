#include "TargetFolders.h"

#include <QDir>
#include <cerrno>

namespace {

// The n-th name of the series "name", "name (2).ext", "name (3).ext" ... The number goes before the
// extension; a name whose only dot leads it has none. The same series as the station's completion
// folder (CompletionMover::freeName), so both ends name a second copy alike.
QString numberedName(const QString &fileName, int n) {
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const QString stem = dot > 0 ? fileName.left(dot) : fileName;
    const QString extension = dot > 0 ? fileName.mid(dot) : QString();
    return QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(extension);
}

} // namespace

TargetFolders::TargetFolders(QString root) : m_root(QDir(root).absolutePath()) {
    m_rootFolder = FolderHandle::open(m_root, &m_rootError);
}

bool TargetFolders::acquire(const QStringList &folders, Lease *lease, QString *error) {
    std::lock_guard lock(m_mutex);
    if (!m_rootFolder.isOpen()) {
        *error =
            QStringLiteral("cannot open the root folder %1: %2").arg(m_root, qt_error_string(m_rootError));
        return false;
    }
    Lease held;
    held.absolute = m_root;
    for (const QString &folder : folders) {
        const QString relative = held.chain.isEmpty() ? folder : held.chain.last() + u'/' + folder;
        held.absolute += u'/' + folder;
        const FolderHandle &parent = held.handles.empty() ? m_rootFolder : *held.handles.back();
        bool made = false;
        int code = 0;
        auto handle = std::make_shared<FolderHandle>(parent.openChild(folder, &made, &code));
        if (!handle->isOpen()) {
            if (made) {
                parent.removeChild(folder);
            }
            removeCreated(held);
            *error = code == ELOOP ? QStringLiteral("the folder %1 is a link; nothing is stored through one")
                                         .arg(held.absolute)
                                   : QStringLiteral("cannot create the folder %1: %2")
                                         .arg(held.absolute, qt_error_string(code));
            return false;
        }
        held.chain.append(relative);
        held.handles.push_back(std::move(handle));
        if (made) {
            held.created.append(relative);
        }
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
    if (!keep) {
        removeCreated(lease);
    }
}

void TargetFolders::removeCreated(const Lease &lease) {
    // Innermost first; removing only an empty folder, so one that has gained a file meanwhile stays.
    for (auto it = lease.created.crbegin(); it != lease.created.crend(); ++it) {
        if (m_users.contains(*it)) {
            continue;
        }
        const qsizetype index = lease.chain.indexOf(*it);
        const FolderHandle &parent = index == 0 ? m_rootFolder : *lease.handles[size_t(index - 1)];
        parent.removeChild(it->section(u'/', -1));
    }
}

const FolderHandle &TargetFolders::folder(const Lease &lease) const {
    return lease.handles.empty() ? m_rootFolder : *lease.handles.back();
}

QString TargetFolders::reserveName(const Lease &lease, const QString &fileName) {
    std::lock_guard lock(m_mutex);
    const FolderHandle &target = folder(lease);
    QString name = fileName;
    for (int n = 2; m_receiving.contains(lease.absolute + u'/' + name) || target.contains(name); ++n) {
        name = numberedName(fileName, n);
    }
    m_receiving.insert(lease.absolute + u'/' + name);
    return name;
}

void TargetFolders::releaseName(const Lease &lease, const QString &fileName) {
    std::lock_guard lock(m_mutex);
    m_receiving.remove(lease.absolute + u'/' + fileName);
}
