#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

class FileTypeFilter;

// Keeps the file-type filter in step with its file: reloads it whenever the file changes on disk. The
// folder is watched as well, because editors and atomic writes replace the file rather than change it,
// and a file that does not exist yet is watched for through its folder.
class FilterWatcher : public QObject {
    Q_OBJECT
public:
    explicit FilterWatcher(FileTypeFilter &filter, QObject *parent = nullptr);

    // Starts watching (once the application's event loop exists) and loads the filter.
    void startWatching();

    // Reads the file again now. Returns true when the allow-list changed.
    bool reload();

signals:
    // The allow-list read from the file differs from the one before.
    void changed();

private:
    void onSomethingChanged();

    FileTypeFilter &m_filter;
    QFileSystemWatcher *m_watcher = nullptr;
};
