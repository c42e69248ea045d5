#pragma once

#include "core/common/Failure.h"
#include "core/common/FileProbe.h"
#include "core/queue/AutomaticSettings.h"
#include "core/queue/QueueOperations.h"

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>

// Queues the files of the automatic transit subfolders by themselves, once each is complete: its size
// and time unchanged for the settle time, and no process holding it open for writing. A file queues
// through the very command a double-click runs (allow-list, content checks, mapping, same-name rules);
// a refusal is reported once for its reason (one of the settings once for the subfolder), never shown in
// a box. A file refused for what it is (its
// type, content, size or name) is left alone until it changes or the rules change (judgeAgain); one
// refused for a condition around it (the mapping, the upload folder, a file of the same name waiting
// there) is tried again at every periodic look. The system's notices of a change start a look soon; a
// periodic look catches what they miss. A subfolder that cannot be looked at (a share that dropped) is
// reported once, keeps what it held, and is watched again once it is back. Ready files are queued a
// batch per turn of the event loop, so a folder of thousands never freezes the window.
class AutoQueue : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<std::chrono::milliseconds()>; // a steady clock
    using Resume = std::function<void(QueueOperations::Batch batch)>;
    // Checks a batch's content (on another thread) and then calls resume with it on this one.
    using CheckRunner =
        std::function<void(const QueueOperations::Batch &batch, const QString &fileName, Resume resume)>;

    static constexpr int kBatchSize = 200;     // files queued per turn of the event loop, at most
    static constexpr int kBatchBudgetMs = 40;  // and for no longer than this (the record log's write aside)
    static constexpr int kRescanMs = 5000;     // the periodic look
    static constexpr int kNoticeDelayMs = 100; // a burst of notices asks for one look
    static constexpr int kRetryMs = kRescanMs; // a file refused for a condition is tried again this late

    AutoQueue(QueueOperations &operations, const SettingsRecord &settings, QObject *parent = nullptr);

    // Seams for tests: the clock, the look at open files, the content checks (by default run here).
    void setClock(Clock clock) { m_clock = std::move(clock); }
    void setWriterCheck(QueueOperations::WriterCheck writers) { m_writers = std::move(writers); }
    void setCheckRunner(CheckRunner runner) { m_checkRunner = std::move(runner); }

    // Takes the automatic subfolders and the settle time, watches the subfolders and starts the periodic
    // look (stopped while none is automatic). Refused files are judged again: new settings may let them go.
    void configure(const AutomaticSettings &automatic);

    // Judges every refused file again at the next look (the allow-list or the mapping changed); a refusal
    // for the reason already reported is not reported again.
    void judgeAgain();

    // Looks at every automatic subfolder now; ready files are queued from the next turn of the event loop.
    void scan();

    bool isAutomatic(const QString &folder) const { return m_automatic.folders.contains(folder); }
    // True while ready files wait for their turn of the event loop.
    bool isBusy() const { return !m_ready.empty(); }

    // The files of folder that wait to settle, or for their check, and are not refused.
    int waitingCount(const QString &folder) const;

    // The automatic subfolders that cannot be looked at now.
    QStringList unavailableFolders() const { return m_unavailable.values(); }

signals:
    void queued(const QString &folder, const QString &fileName);
    // reason: the operator's words of the queueing command that refused the file.
    void refused(const QString &folder, const QString &fileName, const QString &reason);
    // Some waiting count changed.
    void waitingChanged();
    // The automatic subfolder cannot be looked at (gone, or its share dropped); said once, until folderBack.
    void folderUnavailable(const QString &folder, const Failure &failure);
    void folderBack(const QString &folder);

private:
    // Refused: for what the file is, until it changes. Blocked: for a condition, tried again kRetryMs later.
    enum class State { Settling, Ready, Checking, Refused, Blocked };
    struct Tracked {
        FileProbe::Stamp stamp;
        std::chrono::milliseconds since{}; // when the file was first seen as it is now, or was last refused
        State state = State::Settling;
        QString reason{}; // the refusal last reported for the file as it is
    };
    struct Pending {
        QString folder;
        QString name;
        FileProbe::Stamp stamp;
    };

    QString pathOf(const QString &folder) const;
    Failure unavailability(const QString &folder) const;
    void noteAvailability(const QString &folder, const Failure &failure);
    void scanFolder(const QString &folder, QList<Pending> *settled);
    void drain();
    void lookAgainWhenDue();
    // True when the file was queued (with its record log still to write when the batch says so).
    bool run(const QString &folder, const QString &name, QueueOperations::Batch batch);
    void refuse(const QString &folder, const QString &name, const QueueOperations::Outcome &outcome);
    QStringList watchedPaths() const;
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
    QSet<QString> m_unavailable; // automatic subfolders reported unavailable
    // By subfolder, the refusal of its settings last reported: said for one file, not for each.
    QHash<QString, QString> m_settingsRefusals;
    QFileSystemWatcher m_watcher;
    QTimer m_rescan;
    QTimer m_soon;
    QTimer m_drain;
};
