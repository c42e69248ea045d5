#include "core/history/HistoryService.h"

#include "core/records/DayJournal.h"

#include <QElapsedTimer>
#include <memory>

// Lives on the service's thread and owns the index there (a database connection belongs to the
// thread that opened it).
class HistoryWorker : public QObject {
    Q_OBJECT
public:
    explicit HistoryWorker(const std::atomic<int> &lastSearch) : m_lastSearch(lastSearch) {}

    void open(const QString &recordFolder) {
        m_index = std::make_unique<HistoryIndex>();
        QString error;
        if (!m_index->open(recordFolder, &error)) {
            m_index.reset();
            emit indexOpened(QString(), error);
            emit daysChanged({});
            return;
        }
        emit indexOpened(m_index->indexPath(), m_index->storageProblem());
        refresh();
    }

    void refresh() {
        if (!m_index) {
            return;
        }
        const bool running = !m_stale.isEmpty();
        QString error;
        m_stale = m_index->staleDays(&error);
        if (!error.isEmpty() && !recover(error)) {
            return;
        }
        m_total = int(m_stale.size());
        m_done = 0;
        emit daysChanged(days());
        emit indexProgress(0, m_total);
        m_sinceDays.start();
        if (!running) {
            QMetaObject::invokeMethod(this, &HistoryWorker::step, Qt::QueuedConnection);
        }
    }

    // Indexes one day, then lets whatever else is queued (a search, a day to show) run before the next.
    void step() {
        if (!m_index || m_stale.isEmpty()) {
            return;
        }
        const QString day = m_stale.takeFirst();
        QString error;
        if (m_index->indexDay(day, &error)) {
            ++m_done;
        } else if (!recover(error)) {
            return;
        }
        emit indexProgress(m_done, m_total);
        // The list of days grows as they are indexed, but is not sent for every one of them.
        if (m_stale.isEmpty() || m_sinceDays.elapsed() >= 500) {
            emit daysChanged(days());
            m_sinceDays.start();
        }
        if (!m_stale.isEmpty()) {
            QMetaObject::invokeMethod(this, &HistoryWorker::step, Qt::QueuedConnection);
        }
    }

    void search(int number, const QString &text) {
        if (number != m_lastSearch.load()) {
            return; // a newer search is on its way
        }
        History::SearchResult result;
        result.text = text;
        if (m_index) {
            result = m_index->search(text);
        } else {
            result.error = QStringLiteral("历史索引未能打开");
        }
        emit searchFinished(number, result);
    }

    void showDay(const QString &day) {
        QList<History::Entry> entries;
        QList<QStringList> journal;
        Failure journalFailure;
        if (m_index) {
            QString error;
            entries = m_index->dayEntries(day, &error);
            if (!error.isEmpty()) {
                reportProblem(error);
            }
            for (const History::Day &known : days()) {
                if (known.day == day && !known.journalPath.isEmpty() &&
                    !DayJournal::readFile(known.journalPath, &journal, &journalFailure)) {
                    journal.clear();
                }
            }
        }
        emit dayShown(day, entries, journal, journalFailure);
    }

signals:
    void indexOpened(const QString &indexPath, const QString &problem);
    void indexProgress(int done, int total);
    void daysChanged(const QList<History::Day> &days);
    void searchFinished(int number, const History::SearchResult &result);
    void dayShown(const QString &day, const QList<History::Entry> &entries, const QList<QStringList> &journal,
                  const Failure &journalFailure);

private:
    // After the index failed: an index file is given up for one in memory, which is then brought up to
    // date from the start; false, with the problem reported, when there is nothing left to fall back to
    // or the index only halted.
    bool recover(const QString &error) {
        if (m_index->halted()) {
            // Another program holds the index, or the disk is nearly full: what is indexed still
            // answers, and the next refresh tries again.
            m_stale.clear();
            emit indexOpened(m_index->indexPath(), error);
            emit indexProgress(m_total, m_total);
            return false;
        }
        QString why = error;
        if (!m_index->indexPath().isEmpty() && m_index->fallBackToMemory(error, &why)) {
            emit indexOpened(QString(), m_index->storageProblem());
            why.clear();
            m_stale = m_index->staleDays(&why);
            m_total = m_done + int(m_stale.size());
            if (why.isEmpty()) {
                return true;
            }
        }
        m_stale.clear();
        reportProblem(why);
        emit indexProgress(m_total, m_total);
        return false;
    }

    void reportProblem(const QString &why) {
        emit indexOpened(m_index->indexPath(), QStringLiteral("历史索引无法更新。\n") + why);
    }

    QList<History::Day> days() {
        QString error;
        const QList<History::Day> known = m_index->days(&error);
        if (!error.isEmpty()) {
            reportProblem(error);
        }
        return known;
    }

    const std::atomic<int> &m_lastSearch;
    std::unique_ptr<HistoryIndex> m_index;
    QStringList m_stale;
    int m_done = 0;
    int m_total = 0;
    QElapsedTimer m_sinceDays;
};

HistoryService::HistoryService(QObject *parent) : QObject(parent) {
    qRegisterMetaType<History::Entry>();
    qRegisterMetaType<History::Day>();
    qRegisterMetaType<History::SearchResult>();
    qRegisterMetaType<QList<History::Entry>>();
    qRegisterMetaType<QList<History::Day>>();
    qRegisterMetaType<QList<QStringList>>();
    qRegisterMetaType<Failure>();
    m_worker = new HistoryWorker(m_lastSearch);
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    connect(m_worker, &HistoryWorker::indexOpened, this, &HistoryService::indexOpened);
    connect(m_worker, &HistoryWorker::indexProgress, this, &HistoryService::indexProgress);
    connect(m_worker, &HistoryWorker::daysChanged, this, &HistoryService::daysChanged);
    connect(m_worker, &HistoryWorker::searchFinished, this, &HistoryService::searchFinished);
    connect(m_worker, &HistoryWorker::dayShown, this, &HistoryService::dayShown);
    m_thread.setObjectName(QStringLiteral("history"));
    m_thread.start(QThread::LowPriority);
}

HistoryService::~HistoryService() {
    m_thread.quit();
    m_thread.wait();
}

void HistoryService::setRecordFolder(const QString &recordFolder) {
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, recordFolder] { worker->open(recordFolder); });
}

void HistoryService::refresh() {
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] { worker->refresh(); });
}

int HistoryService::search(const QString &text) {
    const int number = ++m_lastSearch;
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, number, text] { worker->search(number, text); });
    return number;
}

void HistoryService::showDay(const QString &day) {
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, day] { worker->showDay(day); });
}

#include "HistoryService.moc"
