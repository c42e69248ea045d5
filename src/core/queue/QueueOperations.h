#pragma once

#include "core/common/FileProbe.h"
#include "core/common/Notice.h"
#include "core/records/JournalEvent.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
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
// They may run while a file is sent: the row in transfer is neither deleted nor moved. Only regular
// files are queued, looked at without following a link, and only once no program writes them any more.
//
// The checks of a file's content (its true type, an archive's members) may take long: a queueing
// command with a Batch runs in two halves on the window thread around them. Its first run makes every
// other check and says which files need their content checked (Outcome::needsCheck); check() checks them
// on any thread, from the batch alone; the command then runs again with the batch, looks at every file
// again, and queues those that passed and did not change since they were checked (a changed file is
// checked again).
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
        // Nothing was done yet: the batch's files want their content checked before the command runs again.
        bool needsCheck = false;
        // What a refusal of one file (a notice) is about: the file itself (its type, content, size or name),
        // which holds until the file changes; a condition around it (a file of the same name in the upload
        // folder, a move that failed), which may clear by itself; or the settings (the subfolder's mapping,
        // the upload folder), which refuse every file of the subfolder alike until they are mended.
        enum class Refusal { None, OfFile, OfCondition, OfSettings };
        Refusal refusal = Refusal::None;
    };

    // Why the file at path may not be queued by its content, in the operator's words, or empty text when
    // it may. Runs on any thread with what it holds; a raised cancel flag ends it soon.
    using Inspector = std::function<QString(const QString &path, const std::atomic<bool> *cancel)>;

    // The content checks of one command, carried between its runs.
    struct Batch {
        struct File {
            QString name;
            FileProbe::Stamp stamp; // as it was looked at before its check
            bool checked = false;
            QString refusal{}; // checked: why it may not go, empty when it passed
        };
        bool started = false;
        QString folder;      // the transit subfolder's path
        Inspector inspector; // of the settings as they were at the command's first run; empty: no check
        QList<File> files;
        bool cancelled = false; // a check was cancelled: nothing is queued
        // Files a look just before found held open by no writer: not looked at again (one look at every
        // process's open files serves a whole pass of the automatic queue).
        QList<FileProbe::Stamp> notWritten;
        // Many files are queued one after another: the caller writes the record log once after them all
        // (writeRecordLog), not after each.
        bool logLater = false;
        // The caller saw the file unchanged for a settle time of its own: the wait on the file's time is
        // not made again (the look at writers still is, unless notWritten holds the file).
        bool settled = false;

        QStringList unchecked() const;
    };

    QueueOperations(UploadTable &table, RecordLog &log, const FileTypeFilter &filter,
                    const InnerPathMapping &mapping, const SettingsRecord &settings);

    // Gives the inspector of one command from the settings of the moment (empty when no check is on);
    // asked once at each command's first run. Without it nothing is checked by content.
    void setInspection(std::function<Inspector()> inspection) { m_inspection = std::move(inspection); }

    // Checks the batch's files not checked yet, in order, telling starting() of each first. A raised
    // cancel flag marks the batch cancelled. Thread-safe: it reads and writes the batch alone.
    static void check(Batch &batch, const std::atomic<bool> *cancel = nullptr,
                      const std::function<void(const QString &name)> &starting = {});

    // Queues the file named fileName of the current subfolder currentDir (checking its content on this
    // thread; with a batch, in two runs around check()).
    Outcome queueTransitFile(const QString &fileName, const QString &currentDir);
    Outcome queueTransitFile(const QString &fileName, const QString &currentDir, Batch *batch);

    // Rewrites the record log, after files queued with Batch::logLater.
    void writeRecordLog();

    // Queues every permitted file of the current subfolder, the same way.
    Outcome addRecord(const QString &currentDir);
    Outcome addRecord(const QString &currentDir, Batch *batch);

    // Hears of every row queued (after it is filled), deleted (before it goes) and moved (at its new
    // place).
    using Observer = std::function<void(JournalEvent event, int row)>;
    void setObserver(Observer observer) { m_observer = std::move(observer); }

    // Removes the records at rows that are not uploading or complete, returning each file from the upload
    // folder to its own subfolder: the one whose mapping gives the record's destination. A file with no
    // such subfolder, or more than one, or whose name is taken there, stays in the upload folder and the
    // notice says where. A selected row in transfer stays and the notice says so.
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
    // move: no such row or no neighbour on that side, or (with *refusal saying why) the row is in
    // transfer, or a row still to send would come above a sent one.
    int moveUp(int row, QString *refusal = nullptr);
    int moveDown(int row, QString *refusal = nullptr);

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
    enum class Verdict { Passed, Refused, NeedsCheck, Cancelled };
    Verdict contentVerdict(Batch *batch, const QString &fileName, const FileProbe::Stamp &stamp,
                           QString *refusal) const;
    void startBatch(Batch *batch, const QString &source) const;
    enum class InUploadFolder { Nothing, Waiting, Sent };
    InUploadFolder inUploadFolder(const QString &fileName) const;
    static QString sameNameReason(const QString &fileName, InUploadFolder standing);
    void notify(JournalEvent event, int row) const;
    int move(int row, int to, JournalEvent event, QString *refusal);
    QString queueFile(const QString &sourceFolder, const QString &fileName, qint64 size,
                      const Destination &destination);

    UploadTable &m_table;
    RecordLog &m_log;
    const FileTypeFilter &m_filter;
    const InnerPathMapping &m_mapping;
    const SettingsRecord &m_settings;
    Observer m_observer;
    std::function<Inspector()> m_inspection;
    std::function<std::chrono::milliseconds()> m_settleTime;
    WriterCheck m_writers;
};
