#include "core/records/DayJournal.h"

#include "core/common/Clock.h"
#include "core/common/Paths.h"
#include "core/common/SafeRead.h"
#include "core/common/SystemErrors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <utility>

namespace {

bool appendToFile(const QString &path, const QByteArray &bytes, QString *error) {
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(bytes) != bytes.size() ||
        !file.flush()) {
        *error = systemErrorText(errno != 0 ? errno : EIO);
        return false;
    }
    return true;
}

// A field never breaks the line or the columns.
QString field(QString text) {
    for (QChar &c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            c = QLatin1Char(' ');
        }
    }
    return text;
}

// Where the text fields stand in kColumns: 文件名, 目的地, 隔离器, 原因.
constexpr qsizetype kFirstTextField = 2;
constexpr qsizetype kLastTextField = 5;

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool startsLikeFormula(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    if (i == text.size()) {
        return false;
    }
    switch (text[i].unicode()) {
    case u'=':
    case u'+':
    case u'-':
    case u'@':
    case u'\uFF1D': // ＝
    case u'\uFF0B': // ＋
    case u'\uFF0D': // －
    case u'\uFF20': // ＠
        return true;
    default:
        return false;
    }
}

// A formula-like text behind any number of apostrophes, none included.
bool needsGuard(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && text[i] == u'\'') {
        ++i;
    }
    return startsLikeFormula(text.mid(i));
}

} // namespace

QString DayJournal::guarded(const QString &text) {
    return needsGuard(text) ? QLatin1Char('\'') + text : text;
}

QString DayJournal::unguarded(const QString &text) {
    // A text that needs the guard is always written with one apostrophe more than its own.
    return text.startsWith(u'\'') && needsGuard(text) ? text.mid(1) : text;
}

DayJournal::DayJournal(const Clock &clock) : m_clock(clock), m_appender(appendToFile) {}

void DayJournal::open(const QString &recordFolder, const QString &day) {
    m_path = dayPath(recordFolder, day.isEmpty() ? m_clock.dateText() : day);
}

QString DayJournal::dayPath(const QString &recordFolder, const QString &day) {
    // Beside the day's log, also when the folder is given without its trailing separator.
    const QString name = day + QStringLiteral(".journal.tsv");
    return recordFolder.isEmpty() ? name : Paths::join(recordFolder, name);
}

bool DayJournal::append(const Entry &entry) {
    if (m_path.isEmpty()) {
        m_writeFailure = Failure::of(Failure::Kind::Write, dayPath(QString(), m_clock.dateText()),
                                     QStringLiteral("记录目录尚未设置"));
        return false;
    }
    QStringList fields{m_clock.timestampText(), JournalEvents::text(entry.event),
                       entry.fileName,          entry.destination,
                       entry.isolator,          entry.reason};
    if (entry.seconds >= 0) {
        const double seconds = entry.seconds;
        fields << QString::number(entry.bytes) << QString::number(seconds, 'f', 3)
               << (seconds > 0 ? QString::number(double(entry.bytes) / 1e6 / seconds, 'f', 2) : QString());
    } else {
        fields << QString() << QString() << QString();
    }
    fields << entry.sha256;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        fields[i] = field(fields[i]);
        if (i >= kFirstTextField && i <= kLastTextField) {
            fields[i] = guarded(fields[i]);
        }
    }
    QByteArray bytes;
    if (QFileInfo(m_path).size() == 0) {
        bytes = QByteArray("\xEF\xBB\xBF") + kColumns.join(QLatin1Char('\t')).toUtf8() + "\r\n";
    }
    bytes += fields.join(QLatin1Char('\t')).toUtf8() + "\r\n";
    return write(bytes);
}

bool DayJournal::probe() {
    return !m_path.isEmpty() && write(QByteArray());
}

bool DayJournal::write(const QByteArray &bytes) {
    QString error;
    if (!m_appender(m_path, bytes, &error)) {
        m_writeFailure = Failure::of(Failure::Kind::Write, m_path, error);
        return false;
    }
    m_writeFailure = {};
    return true;
}

namespace {

// A journal's header names at least these columns, the first of kColumns.
constexpr qsizetype kRequiredColumns = 3;

// sources[i]: where kColumns[i] stands in a line of the file with this header, -1 when it is missing;
// empty when the header is no journal's, with *missing the first required column it lacks.
QList<qsizetype> columnSources(const QString &header, QString *missing) {
    const QStringList names = header.split(QLatin1Char('\t'));
    QList<qsizetype> sources;
    sources.reserve(DayJournal::kColumns.size());
    for (const QString &column : DayJournal::kColumns) {
        const qsizetype source = names.indexOf(column);
        if (source < 0 && sources.size() < kRequiredColumns) {
            *missing = column;
            return {};
        }
        sources.append(source);
    }
    return sources;
}

} // namespace

bool DayJournal::readEach(const QString &path, const std::function<bool(QStringList &fields)> &take,
                          Failure *failure) {
    QFile file;
    if (!SafeRead::open(path, file, failure, SafeRead::Links::FollowToRegular)) {
        return false;
    }
    QList<qsizetype> sources;
    bool asWritten = true;
    bool header = true;
    // Takes one line (without its end); false when the header is no journal's or take says stop.
    auto line = [&](QByteArray bytes, bool *stop) {
        if (bytes.endsWith('\r')) {
            bytes.chop(1);
        }
        if (header) {
            header = false;
            if (bytes.startsWith("\xEF\xBB\xBF")) {
                bytes.remove(0, 3);
            }
            QString missing;
            sources = columnSources(QString::fromUtf8(bytes).trimmed(), &missing);
            if (sources.isEmpty()) {
                *failure = Failure::of(Failure::Kind::Format, path,
                                       QStringLiteral("第一行没有“%1”列，不是传输日志").arg(missing));
                return false;
            }
            // A file this station wrote has its columns in their own places: lines are taken as they are.
            for (qsizetype i = 0; i < sources.size(); ++i) {
                asWritten = asWritten && sources.at(i) == i;
            }
            return true;
        }
        if (bytes.isEmpty()) {
            return true; // the end of the file, or a line cut by a crash before its end
        }
        QStringList fields = QString::fromUtf8(bytes).split(QLatin1Char('\t'));
        if (asWritten) {
            fields.resize(kColumns.size());
        } else {
            QStringList ordered;
            ordered.reserve(sources.size());
            for (const qsizetype source : sources) {
                ordered.append(source < 0 ? QString() : fields.value(source));
            }
            fields = std::move(ordered);
        }
        for (qsizetype i = kFirstTextField; i <= kLastTextField; ++i) {
            fields[i] = unguarded(fields[i]);
        }
        *stop = !take(fields);
        return true;
    };

    // Read in pieces and cut into lines, so memory stays bounded by the longest line this station
    // could write; a longer one (no journal of ours holds one) is passed over unread.
    constexpr qint64 kPiece = 1 << 16;
    QByteArray piece(kPiece, Qt::Uninitialized);
    QByteArray pending;
    bool overlong = false;
    qint64 total = 0;
    for (;;) {
        const qint64 got = file.read(piece.data(), kPiece);
        const int error = errno;
        if (got < 0) {
            *failure = Failure::of(Failure::Kind::Read, path, systemErrorText(error));
            return false;
        }
        total += got;
        if (total > kMaxReadBytes) {
            *failure =
                Failure::of(Failure::Kind::TooLarge, path, QStringLiteral("超过 %1 字节").arg(kMaxReadBytes));
            return false;
        }
        qsizetype from = 0;
        bool stop = false;
        for (qsizetype end = 0; end < got && !stop; ++end) {
            if (piece.at(end) != '\n') {
                continue;
            }
            if (!overlong) {
                pending.append(piece.constData() + from, end - from);
                if (!line(std::exchange(pending, {}), &stop)) {
                    return false;
                }
            }
            overlong = false;
            pending.clear();
            from = end + 1;
        }
        if (stop) {
            return true;
        }
        if (!overlong) {
            pending.append(piece.constData() + from, got - from);
            if (pending.size() > kMaxLineBytes) {
                overlong = true;
                pending.clear();
            }
        }
        if (got == 0) {
            bool ignored = false;
            return overlong || line(pending, &ignored);
        }
    }
}

bool DayJournal::readFile(const QString &path, QList<QStringList> *lines, Failure *failure) {
    lines->clear();
    return readEach(
        path,
        [lines](QStringList &fields) {
            lines->append(std::move(fields));
            return true;
        },
        failure);
}
