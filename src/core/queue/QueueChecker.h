#pragma once

#include "core/queue/QueueOperations.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// Runs the content checks of queueing commands on a thread of its own, one batch after another, so the
// window never waits on a large archive. Lives on the window thread: each checked batch is handed back
// there, to the command that sent it, which then moves its files (or sends the batch again). Knows which
// files wait for their check, so none is queued twice meanwhile.
class QueueChecker : public QObject {
    Q_OBJECT
public:
    using Resume = std::function<void(QueueOperations::Batch batch)>;

    explicit QueueChecker(QObject *parent = nullptr);
    // Cancels what waits or runs and joins the thread: within an archive's cancel time.
    ~QueueChecker() override;
    QueueChecker(const QueueChecker &) = delete;
    QueueChecker &operator=(const QueueChecker &) = delete;

    // Checks batch on the thread, then calls resume with it here. fileName names the one file the
    // command queues, empty when it queues the whole folder (the batch's folder).
    void submit(const QueueOperations::Batch &batch, const QString &fileName, Resume resume);

    // True while a command that would queue fileName of folder (or, for an empty name, any file of it)
    // waits for its check.
    bool covers(const QString &folder, const QString &fileName) const;
    bool isBusy() const { return !m_waiting.isEmpty(); }

    // Every check waiting or running ends soon as cancelled (its command then queues nothing).
    void cancelAll();

signals:
    // The check of a file begins.
    void checking(const QString &fileName);

private:
    struct Job {
        quint64 id = 0;
        QueueOperations::Batch batch;
        std::shared_ptr<std::atomic<bool>> cancel;
    };
    struct Waiting {
        QString folder;
        QString fileName;
        Resume resume;
        std::shared_ptr<std::atomic<bool>> cancel;
    };

    void run();
    void finished(quint64 id, QueueOperations::Batch batch);

    QHash<quint64, Waiting> m_waiting; // window thread only
    quint64 m_nextId = 1;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs; // under m_lock
    bool m_quit = false;    // under m_lock
    std::thread m_thread;
};
