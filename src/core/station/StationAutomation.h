#pragma once

#include "core/queue/AutoQueue.h"
#include "core/queue/QueueChecker.h"

#include <QObject>
#include <QString>

struct StationParts;

// What the station does by itself around its parts, with a window or without one: the content checks of
// queueing on their own thread, the queue's inspector and the send scan as the settings say, and the
// automatic subfolders. A file the automatic queue refuses is journalled (拒绝) here, once for each reason
// while it stays as it is; the window or the headless station only says so. A changed allow-list has the
// refused files judged again.
class StationAutomation : public QObject {
    Q_OBJECT
public:
    explicit StationAutomation(StationParts &parts, QObject *parent = nullptr);
    // Cancels the checks still waiting and joins their thread; the queue no longer asks for an inspector.
    ~StationAutomation() override;

    QueueChecker &checker() { return *m_checker; }
    AutoQueue &autoQueue() { return *m_autoQueue; }

    // Takes the automatic subfolders and the settle time of the settings (none while configured is
    // false) and looks at them at once.
    void configure(bool configured);

signals:
    // An automatic subfolder's file was refused, and journalled when journalled is true. reason is one line.
    void refused(const QString &folder, const QString &fileName, const QString &reason, bool journalled);

private:
    void journalRefusal(const QString &folder, const QString &fileName, const QString &reason);

    StationParts &m_parts;
    QueueChecker *m_checker;
    AutoQueue *m_autoQueue;
};
