#include "core/queue/AutoQueue.h"

#include "core/common/Paths.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <algorithm>
#include <optional>

AutoQueue::AutoQueue(QueueOperations &operations, const SettingsRecord &settings, QObject *parent)
    : QObject(parent), m_operations(operations), m_settings(settings),
      m_writers([](const QList<FileProbe::Stamp> &stamps) { return FileProbe::heldOpenForWriting(stamps); }) {
    m_elapsed.start();
    m_clock = [this] { return std::chrono::milliseconds(m_elapsed.elapsed()); };
    m_rescan.setInterval(kRescanMs);
    m_soon.setSingleShot(true);
    m_drain.setSingleShot(true);
    m_drain.setInterval(0);
    connect(&m_rescan, &QTimer::timeout, this, &AutoQueue::scan);
    connect(&m_soon, &QTimer::timeout, this, &AutoQueue::scan);
    connect(&m_drain, &QTimer::timeout, this, &AutoQueue::drain);
    // Restarting a running timer would put the look off for as long as a burst lasts.
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (!m_soon.isActive()) {
            m_soon.start(kNoticeDelayMs);
        }
    });
}

void AutoQueue::configure(const AutomaticSettings &automatic) {
    m_automatic = automatic;
    for (auto folder = m_tracked.begin(); folder != m_tracked.end();) {
        if (!m_automatic.folders.contains(folder.key())) {
            folder = m_tracked.erase(folder);
            continue;
        }
        for (auto file = folder->begin(); file != folder->end();) {
            file = file->state == State::Refused ? folder->erase(file) : std::next(file);
        }
        ++folder;
    }
    rewatch();
    if (m_automatic.folders.isEmpty()) {
        m_rescan.stop();
    } else if (!m_rescan.isActive()) {
        m_rescan.start();
    }
    emit waitingChanged();
}

QString AutoQueue::pathOf(const QString &folder) const {
    return Paths::join(m_settings.transitFolder, folder);
}

// The transit folder itself is watched too: an automatic subfolder created later is then seen soon.
void AutoQueue::rewatch() {
    if (!m_watcher.directories().isEmpty()) {
        m_watcher.removePaths(m_watcher.directories());
    }
    if (m_automatic.folders.isEmpty() || m_settings.transitFolder.isEmpty()) {
        return;
    }
    QStringList paths{m_settings.transitFolder};
    for (const QString &folder : std::as_const(m_automatic.folders)) {
        if (QFileInfo(pathOf(folder)).isDir()) {
            paths << pathOf(folder);
        }
    }
    m_watcher.addPaths(paths);
}

int AutoQueue::waitingCount(const QString &folder) const {
    const auto found = m_tracked.constFind(folder);
    if (found == m_tracked.cend()) {
        return 0;
    }
    return static_cast<int>(std::count_if(found->cbegin(), found->cend(),
                                          [](const Tracked &file) { return file.state != State::Refused; }));
}

void AutoQueue::scan() {
    if (m_settings.transitFolder.isEmpty()) {
        return;
    }
    if (m_watcher.directories().size() != m_automatic.folders.size() + 1) {
        rewatch(); // a subfolder appeared (or went)
    }
    QList<Pending> settled;
    for (const QString &folder : std::as_const(m_automatic.folders)) {
        scanFolder(folder, &settled);
    }
    if (!settled.isEmpty()) {
        QList<FileProbe::Stamp> stamps;
        stamps.reserve(settled.size());
        for (const Pending &file : std::as_const(settled)) {
            stamps << file.stamp;
        }
        // One look at every process's open files for the whole pass.
        const QList<bool> held = m_writers(stamps);
        for (qsizetype i = 0; i < settled.size(); ++i) {
            if (!held.value(i)) {
                m_tracked[settled[i].folder][settled[i].name].state = State::Ready;
                m_ready.push_back(settled[i]);
            }
        }
    }
    if (!m_ready.empty() && !m_drain.isActive()) {
        m_drain.start();
    }
    lookAgainWhenDue();
    emit waitingChanged();
}

// A file due to settle before the periodic look is looked at when it is due, not up to a period later.
// One held open by a writer is past due: the periodic look serves it, not a look every moment.
void AutoQueue::lookAgainWhenDue() {
    const std::chrono::milliseconds now = m_clock();
    std::optional<std::chrono::milliseconds> due;
    for (const QHash<QString, Tracked> &folder : std::as_const(m_tracked)) {
        for (const Tracked &file : folder) {
            const std::chrono::milliseconds left = file.since + m_automatic.settleTime() - now;
            if (file.state == State::Settling && left.count() > 0 && (!due || left < *due)) {
                due = left;
            }
        }
    }
    if (due && *due < std::chrono::milliseconds(kRescanMs) && !m_soon.isActive()) {
        m_soon.start(std::max(static_cast<int>(due->count()), kNoticeDelayMs));
    }
}

// Notes what changed in folder since the last look, forgets what went, and adds the files settled long
// enough (for the look at writers) to *settled.
void AutoQueue::scanFolder(const QString &folder, QList<Pending> *settled) {
    const QString path = pathOf(folder);
    const QStringList names = QDir(path).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    QHash<QString, Tracked> &tracked = m_tracked[folder];
    QHash<QString, Tracked> seen;
    seen.reserve(names.size());
    const std::chrono::milliseconds now = m_clock();
    for (const QString &name : names) {
        const FileProbe::Look look = FileProbe::look(Paths::join(path, name));
        if (look.kind != FileProbe::Kind::Regular) {
            continue; // a link or anything else is the operator's to queue, and to be refused
        }
        Tracked file = tracked.value(name);
        if (!tracked.contains(name) || file.stamp != look.stamp) {
            file = {look.stamp, now, State::Settling};
        } else if (file.state == State::Settling && now - file.since >= m_automatic.settleTime()) {
            settled->append({folder, name, look.stamp});
        }
        seen.insert(name, file);
    }
    tracked = std::move(seen);
}

void AutoQueue::drain() {
    int queuedNow = 0;
    for (int i = 0; i < kBatchSize && !m_ready.empty(); ++i) {
        const Pending file = m_ready.front();
        m_ready.pop_front();
        const auto folder = m_tracked.constFind(file.folder);
        if (folder == m_tracked.cend() || !folder->contains(file.name) ||
            folder->value(file.name).state != State::Ready || folder->value(file.name).stamp != file.stamp) {
            continue; // gone or changed since it was found ready
        }
        QueueOperations::Batch batch;
        batch.notWritten = {file.stamp};
        batch.logLater = true;
        queuedNow += run(file.folder, file.name, std::move(batch)) ? 1 : 0;
    }
    if (queuedNow > 0) {
        m_operations.writeRecordLog(); // once per batch: the log holds every row
    }
    if (!m_ready.empty()) {
        m_drain.start();
    }
    emit waitingChanged();
}

// One run of the queueing command on the file, again after its content check when it needs one.
bool AutoQueue::run(const QString &folder, const QString &name, QueueOperations::Batch batch) {
    const QueueOperations::Outcome outcome = m_operations.queueTransitFile(name, folder, &batch);
    const auto forget = [&] { m_tracked[folder].remove(name); };
    if (outcome.needsCheck) {
        m_tracked[folder][name].state = State::Checking;
        QPointer<AutoQueue> self(this);
        const Resume resume = [self, folder, name](QueueOperations::Batch checked) {
            if (self) {
                checked.notWritten.clear(); // a writer may have come meanwhile
                const bool logLater = checked.logLater;
                if (self->run(folder, name, std::move(checked)) && logLater) {
                    self->m_operations.writeRecordLog();
                }
                emit self->waitingChanged();
            }
        };
        if (m_checkRunner) {
            m_checkRunner(batch, name, resume);
        } else {
            QueueOperations::check(batch);
            resume(std::move(batch));
        }
        return false;
    }
    if (outcome.succeeded) {
        forget();
        emit queued(folder, name);
        return true;
    }
    if (!outcome.notice.text.isEmpty()) {
        Tracked &file = m_tracked[folder][name];
        file.state = State::Refused;
        emit refused(folder, name, outcome.notice.text);
        return false;
    }
    if (outcome.summary.isEmpty()) {
        forget(); // the file or its folder went
        return false;
    }
    // Still written, or its check was cancelled: it settles again.
    Tracked &file = m_tracked[folder][name];
    file.state = State::Settling;
    file.since = m_clock();
    return false;
}
