#pragma once

#include "core/history/HistoryIndex.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <atomic>

class HistoryWorker;

// A journal that cannot be read is reported across the service's thread.
Q_DECLARE_METATYPE(Failure)

// The history index, run on a thread of its own so the window never waits for it. Requests are
// queued to that thread; answers come back as signals, delivered to the thread that made the service.
// While the index is brought up to date, one day at a time, searches and day views are answered in
// between; a newer search makes an older one that has not started yet be skipped.
class HistoryService : public QObject {
    Q_OBJECT
public:
    explicit HistoryService(QObject *parent = nullptr);
    ~HistoryService() override;

    // Opens the index of recordFolder and brings it up to date.
    void setRecordFolder(const QString &recordFolder);
    // Looks at the day files again and indexes what changed.
    void refresh();
    // Searches all days; the answer comes as searchFinished with the same number.
    int search(const QString &text);
    // Reads one day's records and its journal; the answer comes as dayShown.
    void showDay(const QString &day);

signals:
    // Where the index is, or why it is kept in memory or cannot be kept up to date (a sentence, any
    // detail of the database's on lines of their own); also an index that cannot be opened at all.
    void indexOpened(const QString &indexPath, const QString &problem);
    // Progress of bringing the index up to date; done == total when it is up to date.
    void indexProgress(int done, int total);
    // The indexed days, newest first (after every change).
    void daysChanged(const QList<History::Day> &days);
    void searchFinished(int number, const History::SearchResult &result);
    // journal: the day's journal lines (DayJournal::kColumns); journalFailure: why it could not be read.
    void dayShown(const QString &day, const QList<History::Entry> &entries, const QList<QStringList> &journal,
                  const Failure &journalFailure);

private:
    QThread m_thread;
    HistoryWorker *m_worker = nullptr;
    std::atomic<int> m_lastSearch{0};
};
