#include "core/history/DayMerge.h"

#include "core/browse/FileList.h"
#include "core/common/Cp936.h"
#include "core/records/DayJournal.h"

#include <QDate>
#include <algorithm>
#include <limits>

namespace {

using namespace UploadRecord;

// Where the merge's fields stand in a journal line.
const qsizetype kTime = DayJournal::kColumns.indexOf(QStringLiteral("时间"));
const qsizetype kEvent = DayJournal::kColumns.indexOf(QStringLiteral("事件"));
const qsizetype kName = DayJournal::kColumns.indexOf(QStringLiteral("文件名"));
const qsizetype kDestination = DayJournal::kColumns.indexOf(QStringLiteral("目的地"));
const qsizetype kBytes = DayJournal::kColumns.indexOf(QStringLiteral("已发送字节"));
const qsizetype kSha = DayJournal::kColumns.indexOf(QStringLiteral("SHA-256"));

// A time that cannot be read is farther from every other than any that can.
constexpr qint64 kNoTime = std::numeric_limits<qint64>::max();

// A file and its destination, without copying either.
std::pair<QString, QString> fileKey(const QString &fileName, const QString &destination) {
    return {fileName, destination};
}

// Seconds since the start of the Julian calendar of a time stamp "YYYY-MM-DD HH:MM:SS", kNoTime when it
// is none; read as it is written, without time zones (which cost a look at the system's zone each time),
// and by hand: every completion's time is read, and Qt's parser of formats costs more than the rest of
// the merge.
qint64 secondsOf(const QString &timestamp) {
    if (timestamp.size() != 19) {
        return kNoTime;
    }
    const auto number = [&timestamp](qsizetype from, qsizetype length, char after) {
        int value = 0;
        for (qsizetype i = from; i < from + length; ++i) {
            const char16_t c = timestamp.at(i).unicode();
            if (c < u'0' || c > u'9') {
                return -1;
            }
            value = value * 10 + (c - u'0');
        }
        return from + length == timestamp.size() || timestamp.at(from + length) == QLatin1Char(after) ? value
                                                                                                      : -1;
    };
    const int year = number(0, 4, '-');
    const int month = number(5, 2, '-');
    const int day = number(8, 2, ' ');
    const int hour = number(11, 2, ':');
    const int minute = number(14, 2, ':');
    const int second = number(17, 2, '\0');
    const QDate date(year, month, day);
    if (year < 0 || month < 0 || day < 0 || !date.isValid() || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 59) {
        return kNoTime;
    }
    return date.toJulianDay() * 86400 + hour * 3600 + minute * 60 + second;
}

// Whether text takes at most maxBytes bytes in CP936. Every character takes one or two, so most texts
// are settled by their length alone. One without a CP936 form is counted as two bytes a character
// beyond ASCII, as if it had one.
bool fits(const QString &text, qsizetype maxBytes) {
    if (text.size() * 2 <= maxBytes) {
        return true;
    }
    if (text.size() > maxBytes) {
        return false;
    }
    if (const std::optional<QByteArray> bytes = Cp936::encode(text)) {
        return bytes->size() <= maxBytes;
    }
    const auto wide = std::count_if(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x80; });
    return text.size() + wide <= maxBytes;
}

// The journal lines a record is made of: a completion, and a refusal by the malware scanner (whose
// row, if the log still has it, is a fault).
enum class LineKind { Other, Completion, Refusal };

LineKind kindOf(const QStringList &line) {
    const QString &event = line.value(kEvent);
    if (event == JournalEvents::text(JournalEvent::Completed)) {
        return LineKind::Completion;
    }
    return event == JournalEvents::text(JournalEvent::Rejected) ? LineKind::Refusal : LineKind::Other;
}

// Free places of a sorted list of moments, found in near constant time: next[i] leads to the first free
// place at or after i (next[n] == n: none), previous[i + 1] to the last free place at or before i
// (previous[0] == 0: none).
class FreePlaces {
public:
    explicit FreePlaces(qint32 count) : m_next(size_t(count) + 1), m_previous(size_t(count) + 1) {
        for (qint32 i = 0; i <= count; ++i) {
            m_next[size_t(i)] = i;
            m_previous[size_t(i)] = i;
        }
    }

    // The first free place at or after i; count when there is none.
    qint32 from(qint32 i) { return root(m_next, i); }
    // The last free place at or before i; -1 when there is none.
    qint32 upTo(qint32 i) { return root(m_previous, i + 1) - 1; }
    void take(qint32 i) {
        m_next[size_t(i)] = i + 1;
        m_previous[size_t(i) + 1] = i;
    }

private:
    static qint32 root(std::vector<qint32> &links, qint32 i) {
        qint32 top = i;
        while (links[size_t(top)] != top) {
            top = links[size_t(top)];
        }
        while (links[size_t(i)] != top) {
            i = std::exchange(links[size_t(i)], top);
        }
        return top;
    }

    std::vector<qint32> m_next;
    std::vector<qint32> m_previous;
};

} // namespace

bool DayMerge::fitsHeader(const QString &fileName, const QString &destination) {
    return fits(fileName, kMaxNameBytes) && fits(destination, kMaxDestinationBytes);
}

DayMerge::DayMerge(const QString &day, const QList<QStringList> &logRows) : m_day(day) {
    m_rows.reserve(logRows.size());
    for (const QStringList &row : logRows) {
        History::Entry entry = fromRow(row);
        if (std::all_of(entry.cells.cbegin(), entry.cells.cend(),
                        [](const QString &c) { return c.isEmpty(); })) {
            continue;
        }
        if (!fitsHeader(entry.cell(CellFileName), entry.cell(CellDestination))) {
            ++m_overlongRows;
            continue;
        }
        const QString &status = entry.cell(CellStatus);
        if (status == kStatusComplete || status == kStatusFault) {
            auto &groupOf = status == kStatusComplete ? m_groupOf : m_refusalGroupOf;
            const auto key = fileKey(entry.cell(CellFileName), entry.cell(CellDestination));
            auto group = groupOf.constFind(key);
            if (group == groupOf.constEnd()) {
                group = groupOf.insert(key, m_groups.size());
                m_groups.append(Group{});
            }
            m_groups[*group].rows.append(m_rows.size());
        }
        m_rows.append(std::move(entry));
    }
}

void DayMerge::note(const QStringList &line) {
    const LineKind kind = kindOf(line);
    if (kind == LineKind::Other || !fitsHeader(line.value(kName), line.value(kDestination))) {
        return;
    }
    const qint32 completion = m_noted++;
    const auto &groupOf = kind == LineKind::Completion ? m_groupOf : m_refusalGroupOf;
    const auto group = groupOf.constFind(fileKey(line.value(kName), line.value(kDestination)));
    if (group != groupOf.constEnd()) {
        m_groups[*group].moments.push_back({secondsOf(line.value(kTime)), completion});
    }
}

bool DayMerge::take(const QStringList &line, const Sink &sink) {
    const LineKind kind = kindOf(line);
    if (kind == LineKind::Other) {
        return true;
    }
    if (!fitsHeader(line.value(kName), line.value(kDestination))) {
        ++m_overlongCompletions;
        return true;
    }
    if (!m_claimed) {
        claim();
    }
    const qint32 completion = m_taken++;
    const auto claimant = m_claimedBy.constFind(completion);
    if (claimant != m_claimedBy.constEnd()) {
        m_rows[*claimant].sha256 = line.value(kSha).toLower();
        return true;
    }
    return sink(m_rows.size() + completion,
                kind == LineKind::Completion ? fromCompletion(line) : fromRefusal(line));
}

bool DayMerge::finish(const Sink &sink) {
    for (qsizetype place = 0; place < m_rows.size(); ++place) {
        if (!sink(place, m_rows.at(place))) {
            return false;
        }
    }
    return true;
}

// Each completed row, in log order, claims the completion of its file and destination closest to its
// finish time (on a tie the one journalled first; one whose time cannot be read only when no other is
// left); a row whose finish cannot be read claims the earliest.
void DayMerge::claim() {
    m_claimed = true;
    for (Group &group : m_groups) {
        claimIn(group);
        group = Group{};
    }
}

void DayMerge::claimIn(Group &group) {
    std::vector<Moment> &moments = group.moments;
    const auto before = [](const Moment &a, const Moment &b) {
        return a.seconds < b.seconds || (a.seconds == b.seconds && a.completion < b.completion);
    };
    std::sort(moments.begin(), moments.end(), before);
    const auto count = qint32(moments.size());
    FreePlaces free(count);
    // The place of the first moment at seconds or later.
    const auto at = [&](qint64 seconds) {
        return qint32(std::lower_bound(moments.begin(), moments.end(), Moment{seconds, -1}, before) -
                      moments.begin());
    };
    const qint32 untimed = at(kNoTime);
    for (const qsizetype row : std::as_const(group.rows)) {
        const qint64 finish = secondsOf(m_rows.at(row).cell(CellFinishTime));
        qint32 chosen = count;
        if (finish == kNoTime) {
            chosen = free.from(0);
        } else {
            const qint32 start = at(finish);
            qint32 later = free.from(start);
            later = later < untimed ? later : -1;
            qint32 earlier = free.upTo(start - 1);
            if (earlier >= 0) {
                // The first journalled of those at the same second.
                earlier = free.from(at(moments[size_t(earlier)].seconds));
            }
            if (later >= 0 && earlier >= 0) {
                const qint64 toLater = moments[size_t(later)].seconds - finish;
                const qint64 toEarlier = finish - moments[size_t(earlier)].seconds;
                const bool laterWins =
                    toLater < toEarlier || (toLater == toEarlier && moments[size_t(later)].completion <
                                                                        moments[size_t(earlier)].completion);
                chosen = laterWins ? later : earlier;
            } else {
                chosen = later >= 0 ? later : earlier >= 0 ? earlier : free.from(untimed);
            }
        }
        if (chosen < count) {
            free.take(chosen);
            m_claimedBy.insert(moments[size_t(chosen)].completion, row);
        }
    }
}

History::Entry DayMerge::fromRow(const QStringList &row) const {
    History::Entry entry;
    entry.day = m_day;
    for (const Column &column : kColumns) {
        if (column.kept) {
            entry.cells[column.cell] = row.value(column.cell);
        }
    }
    return entry;
}

History::Entry DayMerge::fromRefusal(const QStringList &line) const {
    History::Entry entry;
    entry.day = m_day;
    entry.cells[CellFileName] = line.value(kName);
    entry.cells[CellDestination] = line.value(kDestination);
    entry.cells[CellStatus] = kStatusFault;
    entry.cells[CellStartTime] = line.value(kTime);
    entry.sha256 = line.value(kSha).toLower();
    entry.journalOnly = true;
    return entry;
}

History::Entry DayMerge::fromCompletion(const QStringList &line) const {
    History::Entry entry;
    entry.day = m_day;
    entry.cells[CellFileName] = line.value(kName);
    entry.cells[CellDestination] = line.value(kDestination);
    entry.cells[CellStatus] = kStatusComplete;
    entry.cells[CellFileSize] = FileList::sizeText(qint64(line.value(kBytes).toULongLong()));
    entry.cells[CellFinishTime] = line.value(kTime);
    entry.sha256 = line.value(kSha).toLower();
    entry.journalOnly = true;
    return entry;
}
