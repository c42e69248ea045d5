#pragma once

#include "core/common/Failure.h"
#include "core/history/DayMerge.h"

#include <QHash>
#include <QString>
#include <memory>

// The two files of one day in the record folder, the log and the journal, read for the history: what
// each was when it was read (its stamp), why one could not be read, and the day's records from both.
// The records are handed on one at a time (deliver), so a day never needs the memory of all of them.
class DayFiles {
public:
    // A file's size and modification time, empty when there is no file: a file whose stamp differs
    // from the one indexed has changed since.
    struct Stamps {
        QString log;
        QString journal;

        bool operator==(const Stamps &other) const = default;
    };

    // Reads day's log in folder and looks through its journal once for what the log's rows claim. The
    // stamps are taken before the files are read, so a change while reading is seen next time.
    DayFiles(const QString &folder, const QString &day);
    ~DayFiles();
    DayFiles(const DayFiles &) = delete;
    DayFiles &operator=(const DayFiles &) = delete;

    // Reads the journal again and hands every record of the day to sink with its place in the day;
    // places stop below maxPlaces (a journal holding more says so). Records no station can have sent
    // (a name or destination longer than a transfer carries) are left out, and their file says so.
    // False when sink said stop. Once only.
    bool deliver(qsizetype maxPlaces, const DayMerge::Sink &sink);

    const QString &day() const { return m_day; }
    const Stamps &stamps() const { return m_stamps; }
    const Failure &logFailure() const { return m_logFailure; }
    const Failure &journalFailure() const { return m_journalFailure; }
    // The records delivered.
    qsizetype entryCount() const { return m_entryCount; }

    // The stamps of day's files in folder.
    static Stamps stampsOf(const QString &folder, const QString &day);
    // The stamps of every day's files in folder, by day.
    static QHash<QString, Stamps> stampsIn(const QString &folder);

private:
    QString m_day;
    QString m_journalPath;
    Stamps m_stamps;
    Failure m_logFailure;
    Failure m_journalFailure;
    qsizetype m_entryCount = 0;
    std::unique_ptr<DayMerge> m_merge;
};
