#include "core/history/DayFiles.h"

#include "core/records/DayJournal.h"
#include "core/records/RecordLog.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

QString stampOf(const QFileInfo &file) {
    if (!file.isFile()) {
        return QString();
    }
    return QStringLiteral("%1:%2").arg(file.size()).arg(file.lastModified().toMSecsSinceEpoch());
}

// A note that records were left out: the first failure of a file stays, as it says more.
void noteOverlong(Failure *failure, const QString &path, qsizetype count) {
    if (count > 0 && !failure->failed()) {
        *failure = Failure::of(
            Failure::Kind::Format, path,
            QStringLiteral(
                "有 %1 条记录的文件名或存放路径超过传输所能携带的长度，不可能由本站发送，未收入历史")
                .arg(count));
    }
}

} // namespace

DayFiles::DayFiles(const QString &folder, const QString &day)
    : m_day(day), m_journalPath(DayJournal::dayPath(folder, day)), m_stamps(stampsOf(folder, day)) {
    QList<QStringList> logRows;
    if (!m_stamps.log.isEmpty()) {
        RecordLog::readRecords(RecordLog::dayPath(folder, day), &logRows, &m_logFailure);
    }
    m_merge = std::make_unique<DayMerge>(day, logRows);
    noteOverlong(&m_logFailure, RecordLog::dayPath(folder, day), m_merge->overlongRows());
    if (!m_stamps.journal.isEmpty() && m_merge->claims()) {
        DayJournal::readEach(
            m_journalPath,
            [this](QStringList &line) {
                m_merge->note(line);
                return true;
            },
            &m_journalFailure);
    }
}

DayFiles::~DayFiles() = default;

bool DayFiles::deliver(qsizetype maxPlaces, const DayMerge::Sink &sink) {
    if (!m_merge) {
        return true;
    }
    bool full = false;
    bool stopped = false;
    const DayMerge::Sink within = [&](qsizetype place, const History::Entry &entry) {
        if (place >= maxPlaces) {
            full = true;
            return true;
        }
        ++m_entryCount;
        return sink(place, entry);
    };
    if (!m_stamps.journal.isEmpty()) {
        Failure failure;
        DayJournal::readEach(
            m_journalPath,
            [&](QStringList &line) {
                stopped = !m_merge->take(line, within);
                return !stopped;
            },
            &failure);
        if (!m_journalFailure.failed()) {
            m_journalFailure = failure;
        }
    }
    stopped = stopped || !m_merge->finish(within);
    noteOverlong(&m_journalFailure, m_journalPath, m_merge->overlongCompletions());
    if (full) {
        m_journalFailure = Failure::of(Failure::Kind::TooLarge, m_journalPath,
                                       QStringLiteral("记录过多，只收录了前 %1 条").arg(maxPlaces));
    }
    m_merge.reset();
    return !stopped;
}

DayFiles::Stamps DayFiles::stampsOf(const QString &folder, const QString &day) {
    return {stampOf(QFileInfo(RecordLog::dayPath(folder, day))),
            stampOf(QFileInfo(DayJournal::dayPath(folder, day)))};
}

QHash<QString, DayFiles::Stamps> DayFiles::stampsIn(const QString &folder) {
    static const QRegularExpression dayFile(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})\\.(xls|journal\\.tsv)$"));
    QHash<QString, Stamps> onDisk;
    const QDir dir(folder.isEmpty() ? QStringLiteral(".") : folder);
    const QFileInfoList files =
        dir.entryInfoList({QStringLiteral("*.xls"), QStringLiteral("*.journal.tsv")}, QDir::Files);
    for (const QFileInfo &file : files) {
        const QRegularExpressionMatch match = dayFile.match(file.fileName());
        if (!match.hasMatch() ||
            !QDate::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd")).isValid()) {
            continue;
        }
        Stamps &stamps = onDisk[match.captured(1)];
        (match.captured(2) == QStringLiteral("xls") ? stamps.log : stamps.journal) = stampOf(file);
    }
    return onDisk;
}
