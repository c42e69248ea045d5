#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <atomic>
#include <functional>

class QThread;

// Files and folders dropped from a file manager, copied into a transit subfolder. Nothing there is ever
// replaced: a name already taken is refused and named. No link is followed: a dropped link, and a link
// inside a dropped folder, is refused and named, and so are pipes, devices and names that are not
// UTF-8. A folder is copied whole into a folder of its name. Everything is first written into a hidden
// staging folder inside the target and renamed into place once complete, so a half-copied file never
// shows in the file list and no queue takes it; a cancelled or failed copy leaves nothing behind.
// Nothing is queued.
namespace TransitDrop {

// A drop of more entries than this (files and folders, all levels) is refused whole: its cost is bounded
// before anything is copied.
constexpr int kMaxEntries = 10000;

struct Result {
    int filesCopied = 0; // files that arrived, those inside copied folders included
    int foldersCopied = 0;
    QStringList notCopied; // one text per entry that did not arrive, naming it and why
    bool cancelled = false;
};

struct Options {
    const std::atomic_bool *cancelled = nullptr; // looked at between the blocks of each file
    // Bytes copied of all there is to copy, after each block; on the copying thread.
    std::function<void(qint64 done, qint64 total)> progress{};
};

// Copies what urls name into folder. Only local files are taken.
Result copyInto(const QList<QUrl> &urls, const QString &folder, const Options &options = {});

// One line for the operator: "已复制 3 个文件；2 个未复制：…" (a folder's files count among the files).
QString summary(const Result &result);

// Renames from to to unless to exists; false with the system's error code otherwise. One
// implementation per platform.
bool renameNoReplace(const QString &from, const QString &to, int *error);

} // namespace TransitDrop

// One drop copied on a thread of its own, so that the window stays responsive; cancellable.
class TransitDropJob : public QObject {
    Q_OBJECT
public:
    explicit TransitDropJob(QObject *parent = nullptr);
    // Cancels a copy still running and waits for it to stop.
    ~TransitDropJob() override;

    // Starts copying; false while a copy runs.
    bool start(const QList<QUrl> &urls, const QString &folder);
    void cancel() { m_cancelled = true; }
    bool isRunning() const { return m_thread != nullptr; }

    // What the last copy did, once finished() was emitted.
    const TransitDrop::Result &result() const { return m_result; }

signals:
    void progress(qint64 done, qint64 total);
    void finished();

private:
    void onThreadFinished();

    QThread *m_thread = nullptr;
    std::atomic_bool m_cancelled{false};
    TransitDrop::Result m_result;
};
