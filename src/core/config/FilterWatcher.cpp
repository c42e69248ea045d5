#include "core/config/FilterWatcher.h"

#include "core/config/FileTypeFilter.h"

#include <QFileInfo>

FilterWatcher::FilterWatcher(FileTypeFilter &filter, QObject *parent) : QObject(parent), m_filter(filter) {}

void FilterWatcher::startWatching() {
    if (!m_watcher) {
        m_watcher = new QFileSystemWatcher(this);
        connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &FilterWatcher::onSomethingChanged);
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &FilterWatcher::onSomethingChanged);
        m_watcher->addPath(QFileInfo(m_filter.filePath()).absolutePath());
    }
    reload();
}

bool FilterWatcher::reload() {
    const QString before = m_filter.text();
    m_filter.load();
    if (m_watcher) {
        // A replaced or re-created file is a new file: watch it again.
        const QString file = QFileInfo(m_filter.filePath()).absoluteFilePath();
        if (QFileInfo::exists(file) && !m_watcher->files().contains(file)) {
            m_watcher->addPath(file);
        }
    }
    return m_filter.text() != before;
}

void FilterWatcher::onSomethingChanged() {
    if (reload()) {
        emit changed();
    }
}
