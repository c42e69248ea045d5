#include "core/config/FileTypeFilter.h"

#include "core/common/Cp936.h"

#include <QFile>

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

bool FileTypeFilter::load() {
    m_text.clear();
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly)) {
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

QByteArray FileTypeFilter::scramble(const QByteArray &plain) {
    return shifted(plain, +1);
}

QByteArray FileTypeFilter::unscramble(const QByteArray &stored) {
    return shifted(stored, -1);
}
