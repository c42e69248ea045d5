#include "core/queue/AutoQueue.h"

#include "core/common/Paths.h"
#include "core/common/SystemErrors.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <algorithm>
#include <cerrno>
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
    // Restarting a running timer would put the look off for as long as a burst lasts; a look due later
    // (for a file that settles) is brought forward.
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (!m_soon.isActive() || m_soon.remainingTime() > kNoticeDelayMs) {
            m_soon.start(kNoticeDelayMs);
        }
    });
}

void AutoQueue::configure(const AutomaticSettings &automatic) {
    m_automatic = automatic;
    for (auto folder = m_tracked.begin(); folder != m_tracked.end();) {
        folder = m_automatic.folders.contains(folder.key()) ? std::next(folder) : m_tracked.erase(folder);
    }
    m_settingsRefusals.removeIf(
        [this](const auto &refusal) { return !m_automatic.folders.contains(refusal.key()); });
    for (auto folder = m_unavailable.begin(); folder != m_unavailable.end();) {
        folder = m_automatic.folders.contains(*folder) ? std::next(folder) : m_unavailable.erase(folder);
    }
    judgeAgain();
    rewatch();
    if (m_automatic.folders.isEmpty()) {
        m_rescan.stop();
    } else if (!m_rescan.isActive()) {
        m_rescan.start();
    }
    emit waitingChanged();
}

// A refused file stays refused as it is, but is due for the next look; its reason is kept, so the same
// refusal is not reported twice.
void AutoQueue::judgeAgain() {
    for (QHash<QString, Tracked> &folder : m_tracked) {
        for (Tracked &file : folder) {
            if (file.state == State::Refused || file.state == State::Blocked) {
                file.state = State::Blocked;
                file.since = m_clock() - std::chrono::milliseconds(kRetryMs);
            }
        }
    }
}

QString AutoQueue::pathOf(const QString &folder) const {
    return Paths::join(m_settings.transitFolder, folder);
}

// Why the automatic subfolder cannot be looked at now (nothing failed when it can). A link is no
// transit subfolder, whatever it leads to.
Failure AutoQueue::unavailability(const QString &folder) const {
    const QString path = pathOf(folder);
    const FileProbe::Look look = FileProbe::look(path);
    QString reason;
    switch (look.kind) {
    case FileProbe::Kind::Missing:
        reason = systemErrorText(ENOENT);
        break;
    case FileProbe::Kind::Unreadable:
        reason = systemErrorText(look.error);
        break;
    case FileProbe::Kind::Regular:
    case FileProbe::Kind::Link:
        reason = FileProbe::kindText(look.kind);
        break;
    case FileProbe::Kind::Special:
        if (const QFileInfo info(path); !info.isDir() || !info.isReadable()) {
            reason = info.isDir() ? systemErrorText(EACCES) : FileProbe::kindText(look.kind);
        }
        break;
    }
    return reason.isEmpty() ? Failure() : Failure::of(Failure::Kind::Folder, path, reason);
}

void AutoQueue::noteAvailability(const QString &folder, const Failure &failure) {
    if (failure.failed() && !m_unavailable.contains(folder)) {
        m_unavailable.insert(folder);
        emit folderUnavailable(folder, failure);
    } else if (!failure.failed() && m_unavailable.remove(folder)) {
        emit folderBack(folder);
    }
}

// The transit folder itself is watched too: an automatic subfolder created later is then seen soon.
QStringList AutoQueue::watchedPaths() const {
    if (m_automatic.folders.isEmpty() || m_settings.transitFolder.isEmpty()) {
        return {};
    }
    QStringList paths;
    if (QFileInfo(m_settings.transitFolder).isDir()) {
        paths << m_settings.transitFolder;
    }
    for (const QString &folder : std::as_const(m_automatic.folders)) {
        if (!m_unavailable.contains(folder) && QFileInfo(pathOf(folder)).isDir()) {
            paths << pathOf(folder);
        }
    }
    return paths;
}

// A folder removed drops its watch; made again, it must be watched again.
void AutoQueue::rewatch() {
    if (!m_watcher.directories().isEmpty()) {
        m_watcher.removePaths(m_watcher.directories());
    }
    if (const QStringList paths = watchedPaths(); !paths.isEmpty()) {
        m_watcher.addPaths(paths);
    }
}

int AutoQueue::waitingCount(const QString &folder) const {
    const auto found = m_tracked.constFind(folder);
    if (found == m_tracked.cend()) {
        return 0;
    }
    return static_cast<int>(std::count_if(found->cbegin(), found->cend(), [](const Tracked &file) {
        return file.state != State::Refused && file.state != State::Blocked;
    }));
}

void AutoQueue::scan() {
    if (m_settings.transitFolder.isEmpty()) {
        return;
    }
    QList<Pending> settled;
    for (const QString &folder : std::as_const(m_automatic.folders)) {
        const Failure failure = unavailability(folder);
        noteAvailability(folder, failure);
        if (!failure.failed()) {
            scanFolder(folder, &settled);
        }
    }
    QStringList watched = m_watcher.directories();
    QStringList wanted = watchedPaths();
    watched.sort();
    wanted.sort();
    if (watched != wanted) {
        rewatch(); // a subfolder appeared, went, or came back
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
// enough, and those refused for a condition a while ago, (for the look at writers) to *settled.
void AutoQueue::scanFolder(const QString &folder, QList<Pending> *settled) {
    const QString path = pathOf(folder);
    const QStringList names =
        QDir(path).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Unsorted);
    const qsizetype firstSettled = settled->size();
    QHash<QString, Tracked> &tracked = m_tracked[folder];
    QHash<QString, Tracked> seen;
    seen.reserve(names.size());
    const std::chrono::milliseconds now = m_clock();
    const QList<FileProbe::Look> looks = FileProbe::lookIn(path, names);
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString &name = names[i];
        const FileProbe::Look &look = looks[i];
        if (look.kind != FileProbe::Kind::Regular) {
            continue; // a link or anything else is the operator's to queue, and to be refused
        }
        Tracked file = tracked.value(name);
        if (!tracked.contains(name) || file.stamp != look.stamp) {
            file = {look.stamp, now, State::Settling};
        } else if ((file.state == State::Settling && now - file.since >= m_automatic.settleTime()) ||
                   (file.state == State::Blocked &&
                    now - file.since >= std::chrono::milliseconds(kRetryMs))) {
            settled->append({folder, name, look.stamp});
        }
        seen.insert(name, file);
    }
    tracked = std::move(seen);
    // Files that settle together queue in the order the file list shows them. Only they are sorted: a
    // sort of a whole folder of thousands at every look would cost more than the look itself.
    std::sort(settled->begin() + firstSettled, settled->end(), [](const Pending &a, const Pending &b) {
        const int folded = a.name.compare(b.name, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a.name < b.name;
    });
}

void AutoQueue::drain() {
    int queuedNow = 0;
    QElapsedTimer turn;
    turn.start();
    // A slow disk or a long queue (each file is looked up in it) makes a file dear: the turn ends in time.
    for (int i = 0; i < kBatchSize && !m_ready.empty() && !turn.hasExpired(kBatchBudgetMs); ++i) {
        const Pending file = m_ready.front();
        m_ready.pop_front();
        const auto folder = m_tracked.constFind(file.folder);
        if (folder == m_tracked.cend() || !folder->contains(file.name) ||
            folder->value(file.name).state != State::Ready || folder->value(file.name).stamp != file.stamp) {
            continue; // gone or changed since it was found ready
        }
        QueueOperations::Batch batch;
        batch.notWritten = {file.stamp};
        batch.settled = true;
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
        m_settingsRefusals.remove(folder); // should the settings go wrong again, that is said again
        m_tracked[folder].remove(name);
        emit queued(folder, name);
        return true;
    }
    if (!outcome.notice.text.isEmpty()) {
        refuse(folder, name, outcome);
        return false;
    }
    // Still written, its check cancelled, or gone with its folder (the next look forgets it, or keeps it
    // while the folder is away): it settles again.
    Tracked &file = m_tracked[folder][name];
    file.state = State::Settling;
    if (!outcome.summary.isEmpty()) {
        file.since = m_clock();
    }
    return false;
}

// A refusal is reported once for its reason while the file stays as it is, however often a condition
// makes the file be tried again.
void AutoQueue::refuse(const QString &folder, const QString &name, const QueueOperations::Outcome &outcome) {
    Tracked &file = m_tracked[folder][name];
    file.state =
        outcome.refusal == QueueOperations::Outcome::Refusal::OfFile ? State::Refused : State::Blocked;
    file.since = m_clock();
    if (file.reason == outcome.notice.text) {
        return;
    }
    file.reason = outcome.notice.text;
    if (outcome.refusal == QueueOperations::Outcome::Refusal::OfSettings) {
        if (m_settingsRefusals.value(folder) == outcome.notice.text) {
            return;
        }
        m_settingsRefusals.insert(folder, outcome.notice.text);
    }
    emit refused(folder, name, outcome.notice.text);
}
