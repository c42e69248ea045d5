#include "core/config/FileTypeFilter.h"

#include "core/common/Cp936.h"
#include "core/common/SafeRead.h"
#include "core/common/SystemErrors.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>

namespace {

// Lower-cases A to Z only; every other character stays as it is.
QString asciiLower(const QString &text) {
    QString lower = text;
    for (QChar &c : lower) {
        if (c >= u'A' && c <= u'Z') {
            c = QChar(c.unicode() - u'A' + u'a');
        }
    }
    return lower;
}

QByteArray shifted(const QByteArray &bytes, int direction) {
    QByteArray result = bytes;
    for (qsizetype k = 0; k < result.size(); ++k) {
        result[k] = char(static_cast<unsigned char>(result[k]) + direction * int(k & 0xFF));
    }
    return result;
}

} // namespace

FileTypeFilter::FileTypeFilter(QString filePath) : m_filePath(std::move(filePath)) {}

bool FileTypeFilter::load(Failure *failure) {
    m_text.clear();
    // The station's own file, which an administrator may link in from elsewhere (the write goes
    // through the link as well); a pipe or a device under its name must neither block nor be read.
    QFile file;
    Failure refused;
    if (!SafeRead::open(m_filePath, file, &refused, SafeRead::Links::FollowToRegular)) {
        if (failure) {
            *failure = refused;
        }
        return false;
    }
    QByteArray plain = unscramble(file.read(kReadLimit));
    const qsizetype zero = plain.indexOf('\0');
    if (zero >= 0) {
        plain.truncate(zero);
    }
    m_text = Cp936::decode(plain);
    return true;
}

bool FileTypeFilter::permits(const QString &fileName) const {
    const QString name = asciiLower(fileName);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0) {
        return false;
    }
    const QStringView extension = QStringView(name).mid(dot + 1);
    const QString entries = asciiLower(m_text);
    // Searching decoded text is searching character by character: a second byte never ends an entry.
    qsizetype start = 0;
    for (qsizetype colon = entries.indexOf(u':'); colon >= 0; colon = entries.indexOf(u':', start)) {
        if (QStringView(entries).mid(start, colon - start) == extension) {
            return true;
        }
        start = colon + 1;
    }
    return false;
}

QStringList FileTypeFilter::entries() const {
    QStringList list = m_text.split(u':');
    list.removeLast(); // text after the last ":" is no entry
    return list;
}

QString FileTypeFilter::extensionOf(const QString &fileName) {
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot < 0 ? QString() : fileName.mid(dot + 1);
}

QString FileTypeFilter::typedList(const QString &text) {
    FileTypeFilter parsed;
    parsed.m_text = text;
    return parsed.entries().join(u':');
}

bool FileTypeFilter::fromTypedList(const QString &typed, QString *text, QString *badEntry) {
    static const QRegularExpression separators(
        QStringLiteral("[:;,\\s\\x{FF1A}\\x{FF1B}\\x{FF0C}\\x{3001}]+"));
    QStringList kept;
    for (QString entry : typed.split(separators, Qt::SkipEmptyParts)) {
        if (entry.startsWith(QStringLiteral("*."))) {
            entry.remove(0, 2);
        } else if (entry.startsWith(u'.')) {
            entry.remove(0, 1);
        }
        if (entry.isEmpty()) {
            continue;
        }
        for (const QChar c : entry) {
            if (c == u'.' || c == u'/' || c == u'\\' || c == u'*' || c == u'?' || c.isSpace() ||
                c.category() == QChar::Other_Control) {
                *badEntry = entry;
                return false;
            }
        }
        const bool repeated = std::any_of(kept.cbegin(), kept.cend(), [&entry](const QString &other) {
            return asciiLower(other) == asciiLower(entry);
        });
        if (!repeated) {
            kept.append(entry);
        }
    }
    *text = kept.isEmpty() ? QString() : kept.join(u':') + u':';
    return true;
}

FileTypeFilter::WriteResult FileTypeFilter::write(const QString &text) const {
    using Outcome = WriteResult::Outcome;
    const std::optional<QByteArray> plain = Cp936::encode(text);
    if (!plain) {
        return {Outcome::NoCodePage936Form, 0, {}};
    }
    if (plain->contains('\0')) {
        return {Outcome::HoldsZeroByte, 0, {}};
    }
    if (plain->size() > kReadLimit) {
        return {Outcome::TooLong, plain->size(), {}};
    }
    const QByteArray stored = scramble(*plain);
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(stored) != stored.size() || !file.flush() ||
        !file.commit()) {
        return {Outcome::CannotWrite, 0, fileErrorText(file, errno)};
    }
    return {Outcome::Written, stored.size(), {}};
}

QByteArray FileTypeFilter::scramble(const QByteArray &plain) {
    return shifted(plain, +1);
}

QByteArray FileTypeFilter::unscramble(const QByteArray &stored) {
    return shifted(stored, -1);
}
