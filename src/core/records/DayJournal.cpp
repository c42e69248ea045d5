#include "core/records/DayJournal.h"

#include "core/common/Clock.h"
#include "core/common/Paths.h"
#include "core/common/SystemErrors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>

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

} // namespace

DayJournal::DayJournal(const Clock &clock) : m_clock(clock), m_appender(appendToFile) {}

void DayJournal::open(const QString &recordFolder) {
    m_path = dayPath(recordFolder, m_clock.dateText());
}

QString DayJournal::dayPath(const QString &recordFolder, const QString &day) {
    // Beside the day's log, also when the folder is given without its trailing separator.
    const QString name = day + QStringLiteral(".journal.tsv");
    return recordFolder.isEmpty() ? name : Paths::join(recordFolder, name);
}

bool DayJournal::append(const Entry &entry) {
    if (m_path.isEmpty()) {
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
    for (QString &text : fields) {
        text = field(text);
    }
    QByteArray bytes;
    if (QFileInfo(m_path).size() == 0) {
        bytes = QByteArray("\xEF\xBB\xBF") + kColumns.join(QLatin1Char('\t')).toUtf8() + "\r\n";
    }
    bytes += fields.join(QLatin1Char('\t')).toUtf8() + "\r\n";
    QString error;
    if (m_appender(m_path, bytes, &error)) {
        return true;
    }
    if (m_failure.isEmpty()) {
        m_failure = QStringLiteral("无法写入当天的传输日志 %1：%2\n上传不受影响。")
                        .arg(QDir::toNativeSeparators(m_path), error);
    }
    return false;
}

QString DayJournal::takeFailure() {
    if (m_failure.isEmpty() || m_failureShown) {
        return QString();
    }
    m_failureShown = true;
    return m_failure;
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

// The text of the journal at path, without its byte-order mark.
bool readText(const QString &path, QString *text, Failure *failure) {
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        *failure = Failure::of(Failure::Kind::Read, path, fileErrorText(file, errno));
        return false;
    }
    if (file.size() > DayJournal::kMaxReadBytes) {
        *failure = Failure::of(Failure::Kind::TooLarge, path, QStringLiteral("共 %1 字节").arg(file.size()));
        return false;
    }
    errno = 0;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *failure = Failure::of(Failure::Kind::Read, path, fileErrorText(file, errno));
        return false;
    }
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        bytes.remove(0, 3);
    }
    *text = QString::fromUtf8(bytes);
    return true;
}

} // namespace

bool DayJournal::readFile(const QString &path, QList<QStringList> *lines, Failure *failure) {
    lines->clear();
    QString text;
    if (!readText(path, &text, failure)) {
        return false;
    }
    const QStringList rows = text.split(QLatin1Char('\n'));
    QString missing;
    const QList<qsizetype> sources = columnSources(rows.first().trimmed(), &missing);
    if (sources.isEmpty()) {
        *failure = Failure::of(Failure::Kind::Format, path,
                               QStringLiteral("第一行没有“%1”列，不是传输日志").arg(missing));
        return false;
    }
    // A file this station wrote has its columns in their own places: each line is taken as it is.
    bool asWritten = true;
    for (qsizetype i = 0; i < sources.size(); ++i) {
        asWritten = asWritten && sources.at(i) == i;
    }
    for (qsizetype i = 1; i < rows.size(); ++i) {
        QStringView row(rows.at(i));
        if (row.endsWith(QLatin1Char('\r'))) {
            row.chop(1);
        }
        if (row.isEmpty()) {
            continue; // the end of the file, or a line cut by a crash before its end
        }
        QStringList fields = row.toString().split(QLatin1Char('\t'));
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
        lines->append(fields);
    }
    return true;
}
