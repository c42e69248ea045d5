#include "core/browse/TransitWatch.h"

#include "core/common/Paths.h"

#include <QFileInfo>

TransitWatch::TransitWatch(QObject *parent) : QObject(parent) {
    m_gather.setSingleShot(true);
    m_gather.setInterval(kGatherMs);
    m_periodic.setInterval(kRescanMs);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &TransitWatch::onChange);
    connect(&m_gather, &QTimer::timeout, this, &TransitWatch::onDue);
    connect(&m_periodic, &QTimer::timeout, this, &TransitWatch::onDue);
}

void TransitWatch::watch(const QString &transitFolder, const QString &currentDir) {
    QStringList wanted;
    for (const QString &folder :
         {transitFolder, currentDir.isEmpty() ? QString() : Paths::join(transitFolder, currentDir)}) {
        if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
            wanted << QFileInfo(folder).absoluteFilePath();
        }
    }
    const QStringList watched = m_watcher.directories();
    if (watched != wanted) {
        if (!watched.isEmpty()) {
            m_watcher.removePaths(watched);
        }
        if (!wanted.isEmpty()) {
            m_watcher.addPaths(wanted);
        }
    }
    if (!m_periodic.isActive()) {
        m_periodic.start();
    }
}

void TransitWatch::onChange() {
    // Not restarted by later notices: a steady stream still gets its rescan every gathering time.
    if (!m_gather.isActive()) {
        m_gather.start();
    }
}

void TransitWatch::onDue() {
    m_gather.stop();
    m_periodic.start(); // a rescan just made: the next periodic one counts from here
    emit rescanDue();
}
