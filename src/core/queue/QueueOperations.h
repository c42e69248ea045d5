#pragma once

#include "core/common/FileProbe.h"
#include "core/common/Notice.h"
#include "core/records/JournalEvent.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>

class FileTypeFilter;
class InnerPathMapping;
class RecordLog;
class UploadTable;
struct SettingsRecord;

// The commands that fill, prune and order the queue: queue one file of the current transit subfolder,
// add every file of it, delete records, and move a record up or down. Each makes all its checks before
// its first change, tells the observer (the day's journal), and ends by rewriting the record log once.
// They run only while no upload runs. Only regular files are queued, looked at without following a
// link, and only once no program writes them any more.
class QueueOperations {
public:
    struct Outcome {
        bool succeeded = false;
        Notice notice; // to show the operator; empty for the silent outcomes
        // One line for the status bar: what the command did and what it skipped, or the file that waits
        // until it is written whole (then with no notice: the operator may queue it again later).
        QString summary{};
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

    // Removes the records at rows that are not uploading or complete, returning each file from the upload
    // folder to its own subfolder: the one whose mapping gives the record's destination. A file with no
    // such subfolder, or more than one, or whose name is taken there, stays in the upload folder and the
    // notice says where.
    Outcome deleteRecord(const QList<int> &rows);

    // A file modified less than settleTime() ago, or that a program holds open for writing (writers()
    // says which of the files, by position), may still be written: it is not queued yet. By default 2 s
    // and a look at every process's open files; tests set them so they never wait on the clock.
    using WriterCheck = std::function<QList<bool>(const QList<FileProbe::Stamp> &)>;
    void setSettleTime(std::function<std::chrono::milliseconds()> settleTime) {
        m_settleTime = std::move(settleTime);
    }
    void setWriterCheck(WriterCheck writers) { m_writers = std::move(writers); }

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
    QHash<QString, QStringList> homesByDestination() const;
    QString returnHome(const QString &fileName, const QString &destination,
                       const QHash<QString, QStringList> &homes) const;
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
    std::function<std::chrono::milliseconds()> m_settleTime;
    WriterCheck m_writers;
};
