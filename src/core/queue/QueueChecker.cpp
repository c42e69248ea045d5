#include "core/queue/QueueChecker.h"

QueueChecker::QueueChecker(QObject *parent) : QObject(parent), m_thread([this] { run(); }) {}

QueueChecker::~QueueChecker() {
    cancelAll();
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void QueueChecker::submit(const QueueOperations::Batch &batch, const QString &fileName, Resume resume) {
    Job job{m_nextId++, batch, std::make_shared<std::atomic<bool>>(false)};
    m_waiting.insert(job.id, {batch.folder, fileName, std::move(resume), job.cancel});
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

bool QueueChecker::covers(const QString &folder, const QString &fileName) const {
    for (const Waiting &waiting : m_waiting) {
        if (waiting.folder == folder &&
            (fileName.isEmpty() || waiting.fileName.isEmpty() || waiting.fileName == fileName)) {
            return true;
        }
    }
    return false;
}

void QueueChecker::cancelAll() {
    for (const Waiting &waiting : std::as_const(m_waiting)) {
        waiting.cancel->store(true, std::memory_order_relaxed);
    }
}

void QueueChecker::run() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> hold(m_lock);
            m_wake.wait(hold, [this] { return m_quit || !m_jobs.empty(); });
            if (m_quit) {
                return;
            }
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        QueueOperations::check(job.batch, job.cancel.get(),
                               [this](const QString &name) { emit checking(name); });
        // Handed back by value through the event loop; a post still queued when this object goes is
        // dropped with it.
        QMetaObject::invokeMethod(
            this, [this, id = job.id, batch = std::move(job.batch)] { finished(id, batch); },
            Qt::QueuedConnection);
    }
}

void QueueChecker::finished(quint64 id, QueueOperations::Batch batch) {
    const Waiting waiting = m_waiting.take(id);
    if (waiting.resume) {
        waiting.resume(std::move(batch));
    }
}
