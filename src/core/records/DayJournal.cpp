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

bool DayJournal::readFile(const QString &path, QList<QStringList> *lines, QString *error) {
    lines->clear();
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        *error = fileErrorText(file, errno);
        return false;
    }
    if (file.size() > kMaxReadBytes) {
        *error = QStringLiteral("文件过大（%1 字节）").arg(file.size());
        return false;
    }
    errno = 0;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = fileErrorText(file, errno);
        return false;
    }
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        bytes.remove(0, 3);
    }
    const QString text = QString::fromUtf8(bytes);
    const QStringList rows = text.split(QLatin1Char('\n'));
    const QString header = kColumns.join(QLatin1Char('\t'));
    if (rows.isEmpty() || QStringView(rows.first()).trimmed() != header) {
        *error = QStringLiteral("不是传输日志：第一行不是“%1”").arg(kColumns.join(QLatin1Char(' ')));
        return false;
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
        while (fields.size() < kColumns.size()) {
            fields.append(QString());
        }
        fields.resize(kColumns.size());
        lines->append(fields);
    }
    return true;
}
