#pragma once

#include "core/common/FileProbe.h"
#include "core/queue/AutomaticSettings.h"
#include "core/queue/QueueOperations.h"

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>

// Queues the files of the automatic transit subfolders by themselves, once each is complete: its size
// and time unchanged for the settle time, and no process holding it open for writing. A file queues
// through the very command a double-click runs (allow-list, content checks, mapping, same-name rules);
// a refused one is reported, never shown in a box, and left alone until it changes. The system's
// notices of a change start a look soon; a periodic look catches what they miss. Ready files are
// queued a batch per turn of the event loop, so a folder of thousands never freezes the window.
class AutoQueue : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<std::chrono::milliseconds()>; // a steady clock
    using Resume = std::function<void(QueueOperations::Batch batch)>;
    // Checks a batch's content (on another thread) and then calls resume with it on this one.
    using CheckRunner =
        std::function<void(const QueueOperations::Batch &batch, const QString &fileName, Resume resume)>;

    static constexpr int kBatchSize = 200;     // files queued per turn of the event loop
    static constexpr int kRescanMs = 5000;     // the periodic look
    static constexpr int kNoticeDelayMs = 300; // a burst of notices asks for one look

    AutoQueue(QueueOperations &operations, const SettingsRecord &settings, QObject *parent = nullptr);

    // Seams for tests: the clock, the look at open files, the content checks (by default run here).
    void setClock(Clock clock) { m_clock = std::move(clock); }
    void setWriterCheck(QueueOperations::WriterCheck writers) { m_writers = std::move(writers); }
    void setCheckRunner(CheckRunner runner) { m_checkRunner = std::move(runner); }

    // Takes the automatic subfolders and the settle time, watches the subfolders and starts the periodic
    // look (stopped while none is automatic). Refusals are forgotten: new settings may let those files go.
    void configure(const AutomaticSettings &automatic);

    // Looks at every automatic subfolder now; ready files are queued from the next turn of the event loop.
    void scan();

    bool isAutomatic(const QString &folder) const { return m_automatic.folders.contains(folder); }
    // True while ready files wait for their turn of the event loop.
    bool isBusy() const { return !m_ready.empty(); }

    // The files of folder that wait to settle, or for their check, and are not refused.
    int waitingCount(const QString &folder) const;

signals:
    void queued(const QString &folder, const QString &fileName);
    // reason: the operator's words of the queueing command that refused the file.
    void refused(const QString &folder, const QString &fileName, const QString &reason);
    // Some waiting count changed.
    void waitingChanged();

private:
    enum class State { Settling, Ready, Checking, Refused };
    struct Tracked {
        FileProbe::Stamp stamp;
        std::chrono::milliseconds since{}; // when the file was first seen as it is now
        State state = State::Settling;
    };
    struct Pending {
        QString folder;
        QString name;
        FileProbe::Stamp stamp;
    };

    QString pathOf(const QString &folder) const;
    void scanFolder(const QString &folder, QList<Pending> *settled);
    void drain();
    void lookAgainWhenDue();
    // True when the file was queued (with its record log still to write when the batch says so).
    bool run(const QString &folder, const QString &name, QueueOperations::Batch batch);
    void rewatch();

    QueueOperations &m_operations;
    const SettingsRecord &m_settings;
    AutomaticSettings m_automatic;
    QElapsedTimer m_elapsed;
    Clock m_clock;
    QueueOperations::WriterCheck m_writers;
    CheckRunner m_checkRunner;
    QHash<QString, QHash<QString, Tracked>> m_tracked; // by subfolder, then file name
    std::deque<Pending> m_ready;
    QFileSystemWatcher m_watcher;
    QTimer m_rescan;
    QTimer m_soon;
    QTimer m_drain;
};
