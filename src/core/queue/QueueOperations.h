#pragma once

#include "core/common/Notice.h"
#include "core/records/JournalEvent.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class FileTypeFilter;
class InnerPathMapping;
class RecordLog;
class UploadTable;
struct SettingsRecord;

// The commands that fill, prune and order the queue: queue one file of the current transit subfolder,
// add every file of it, delete records, and move a record up or down. Each makes all its checks before
// its first change, tells the observer (the day's journal), and ends by rewriting the record log once.
// They run only while no upload runs.
class QueueOperations {
public:
    struct Outcome {
        bool succeeded = false;
        Notice notice;     // to show the operator; empty for the silent outcomes
        QString summary{}; // one line for the status bar: what the command did and what it skipped
        // A sent file of that name still stands in the upload folder (its move failed): the notice asks
        // whether to try that move again.
        QString retryMoveOf{};
    };

    QueueOperations(UploadTable &table, RecordLog &log, const FileTypeFilter &filter,
                    const InnerPathMapping &mapping, const SettingsRecord &settings);

    // Queues the file named fileName of the current subfolder currentDir.
    Outcome queueTransitFile(const QString &fileName, const QString &currentDir);

    // Queues every permitted file of the current subfolder.
    Outcome addRecord(const QString &currentDir);

    // Hears of every row queued (after it is filled), deleted (before it goes) and moved (at its new
    // place).
    using Observer = std::function<void(JournalEvent event, int row)>;
    void setObserver(Observer observer) { m_observer = std::move(observer); }

    // Removes the records at rows that are not uploading or complete, returning their files from the
    // upload folder to the current subfolder.
    Outcome deleteRecord(const QList<int> &rows, const QString &currentDir);

    // Moves the record at row one place up (down). Returns where it stands now, or -1 when it could not
    // move (no such row, or no neighbour on that side).
    int moveUp(int row);
    int moveDown(int row);

private:
    struct Destination {
        QString innerAddress;
        QString innerPath;
    };
    enum class Caller { QueueOne, AddAll };

    bool resolveDestination(const QString &currentDir, Caller caller, Destination *destination,
                            Notice *notice) const;
    QString unsendableReason(const QString &fileName) const;
    QString typeRefusal(const QString &fileName) const;
    enum class InUploadFolder { Nothing, Waiting, Sent };
    InUploadFolder inUploadFolder(const QString &fileName) const;
    static QString sameNameReason(const QString &fileName, InUploadFolder standing);
    void notify(JournalEvent event, int row) const;
    int move(int row, int to, JournalEvent event);
    QString queueFile(const QString &sourceFolder, const QString &fileName, qint64 size,
                      const Destination &destination);

    UploadTable &m_table;
    RecordLog &m_log;
    const FileTypeFilter &m_filter;
    const InnerPathMapping &m_mapping;
    const SettingsRecord &m_settings;
    Observer m_observer;
};
