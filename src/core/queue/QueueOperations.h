#pragma once

#include "core/common/Notice.h"

#include <QString>
#include <QStringList>
#include <functional>

class FileTypeFilter;
class InnerPathMapping;
class RecordLog;
class UploadTable;
struct SettingsRecord;

// The commands that fill and prune the queue: queue one file of the current transit subfolder, add
// every file of it, and delete the selected records. Each makes all its checks before its first
// change and ends by rewriting the record log once. They run only while no upload runs.
class QueueOperations {
public:
    struct Outcome {
        bool succeeded = false;
        Notice notice;     // to show the operator; empty for the silent outcomes
        QString summary{}; // one line for the status bar: what the command did and what it skipped
    };

    QueueOperations(UploadTable &table, RecordLog &log, const FileTypeFilter &filter,
                    const InnerPathMapping &mapping, const SettingsRecord &settings);

    // Queues the file named fileName of the current subfolder currentDir.
    Outcome queueTransitFile(const QString &fileName, const QString &currentDir);

    // Queues every permitted file of the current subfolder.
    Outcome addRecord(const QString &currentDir);

    // Hears of every row queued ("排队", after it is filled) and deleted ("删除", before it goes).
    using Observer = std::function<void(const QString &event, int row)>;
    void setObserver(Observer observer) { m_observer = std::move(observer); }

    // Removes the selected records that are not uploading or complete, returning their files from
    // the upload folder to the current subfolder.
    Outcome deleteRecord(const QString &currentDir);

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
    bool waitsInUploadFolder(const QString &fileName) const;
    void notify(const QString &event, int row) const;
    QString queueFile(const QString &sourceFolder, const QString &fileName, qint64 size,
                      const Destination &destination);

    UploadTable &m_table;
    RecordLog &m_log;
    const FileTypeFilter &m_filter;
    const InnerPathMapping &m_mapping;
    const SettingsRecord &m_settings;
    Observer m_observer;
};
