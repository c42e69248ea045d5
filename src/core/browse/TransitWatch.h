#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

// Tells when the transit pane should be listed again: the system's notice of a change in the transit
// folder or the current subfolder, and a periodic rescan besides, since notices are missed on network
// shares. Notices are gathered: a burst of them (a thousand files copied in) asks for one rescan, at most
// the gathering time after the first, so the pane follows a long burst at that pace and never falls
// behind it.
class TransitWatch : public QObject {
    Q_OBJECT
public:
    static constexpr int kGatherMs = 300;
    static constexpr int kRescanMs = 5000;

    explicit TransitWatch(QObject *parent = nullptr);

    // Watches transitFolder and, when currentDir is not empty, that subfolder of it (folders that do not
    // exist are looked at by the periodic rescan only). Starts the periodic rescan.
    void watch(const QString &transitFolder, const QString &currentDir);

    // Tests shorten the periodic rescan.
    void setRescanInterval(int milliseconds) { m_periodic.setInterval(milliseconds); }

signals:
    // Time to list the pane again.
    void rescanDue();

private:
    void onChange();
    void onDue();

    QFileSystemWatcher m_watcher;
    QTimer m_gather;
    QTimer m_periodic;
};
