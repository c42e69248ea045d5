#include "core/config/ProfileFile.h"

#include "core/common/Cp936.h"
#include "core/common/SafeRead.h"
#include "core/common/SystemErrors.h"

#include <QSaveFile>
#include <algorithm>
#include <cerrno>

namespace {

const QByteArray kCrLf = QByteArrayLiteral("\r\n");

bool isTrailByte(unsigned char byte) {
    return byte >= 0x40 && byte <= 0xFE && byte != 0x7F;
}

// Width in bytes of the CP936 character starting at i. A lead byte without a valid second byte is a
// character of its own, as the decoder sees it.
qsizetype charWidth(const QByteArray &bytes, qsizetype i) {
    if (Cp936::isLeadByte(static_cast<unsigned char>(bytes[i])) && i + 1 < bytes.size() &&
        isTrailByte(static_cast<unsigned char>(bytes[i + 1]))) {
        return 2;
    }
    return 1;
}

// Index of the first character c in bytes, stepping character by character; -1 when there is none.
qsizetype findChar(const QByteArray &bytes, char c) {
    for (qsizetype i = 0; i < bytes.size(); i += charWidth(bytes, i)) {
        if (bytes[i] == c) {
            return i;
        }
    }
    return -1;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Blanks are single-byte characters and never the second byte of a double-byte one, so trimming
// them byte by byte is safe.
QByteArray trimBlanks(const QByteArray &bytes) {
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && isBlank(bytes[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(bytes[end - 1])) {
        --end;
    }
    return bytes.mid(begin, end - begin);
}

bool isQuote(char c) {
    return c == '"' || c == '\'';
}

bool isEnclosedInQuotes(const QByteArray &value) {
    return value.size() >= 2 && isQuote(value.front()) && value.back() == value.front();
}

char16_t foldAsciiCase(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c;
}

// Compares a name from the file with a wanted name, per character, ignoring only ASCII case.
bool sameName(const QByteArray &raw, const QString &wanted) {
    const QString name = Cp936::decode(raw);
    if (name.size() != wanted.size()) {
        return false;
    }
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (foldAsciiCase(name[i].unicode()) != foldAsciiCase(wanted[i].unicode())) {
            return false;
        }
    }
    return true;
}

// The name of a section header line, or nothing when the line is no header.
std::optional<QByteArray> headerName(const QByteArray &line) {
    const QByteArray trimmed = trimBlanks(line);
    if (!trimmed.startsWith('[')) {
        return std::nullopt;
    }
    const QByteArray inside = trimmed.mid(1);
    const qsizetype close = findChar(inside, ']');
    return trimBlanks(close < 0 ? inside : inside.left(close));
}

struct Setting {
    QByteArray key;
    QByteArray value;
};

// The key and value of a setting line, or nothing for comments, headers and lines without "=".
std::optional<Setting> settingOf(const QByteArray &line) {
    const QByteArray trimmed = trimBlanks(line);
    if (trimmed.isEmpty() || trimmed.front() == ';' || trimmed.front() == '[') {
        return std::nullopt;
    }
    const qsizetype equals = findChar(trimmed, '=');
    if (equals < 0) {
        return std::nullopt;
    }
    QByteArray value = trimBlanks(trimmed.mid(equals + 1));
    if (isEnclosedInQuotes(value)) {
        value = value.mid(1, value.size() - 2);
    }
    return Setting{trimBlanks(trimmed.left(equals)), value};
}

// How value is written after "=" so that it reads back unchanged.
QByteArray valueField(const QByteArray &value) {
    const bool needsQuotes =
        !value.isEmpty() && (isBlank(value.front()) || isBlank(value.back()) || isEnclosedInQuotes(value));
    return needsQuotes ? '"' + value + '"' : value;
}

QByteArray encodedName(const QString &name) {
    const std::optional<QByteArray> bytes = Cp936::encode(name);
    Q_ASSERT(bytes.has_value());
    return bytes.value_or(QByteArray());
}

} // namespace

ProfileFile::ProfileFile(const QByteArray &bytes) {
    qsizetype start = 0;
    while (start < bytes.size()) {
        // LF and CR are never the second byte of a double-byte character.
        const qsizetype lf = bytes.indexOf('\n', start);
        const qsizetype end = lf < 0 ? bytes.size() : lf;
        Line line;
        line.text = bytes.mid(start, end - start);
        if (line.text.endsWith('\r')) {
            line.text.chop(1);
            line.ending = "\r";
        }
        if (lf >= 0) {
            line.ending += '\n';
        }
        m_lines.append(line);
        start = end + 1;
    }
}

std::optional<ProfileFile> ProfileFile::read(const QString &path, Failure *failure) {
    // An administrator may keep the settings elsewhere and link them in; the save writes through such
    // a link too. What must never be read is a pipe or a device (which may block or never end).
    QByteArray bytes;
    Failure refused;
    if (!SafeRead::readAll(path, kReadLimit, &bytes, &refused, SafeRead::Links::FollowToRegular)) {
        if (failure) {
            *failure = refused;
        }
        return std::nullopt;
    }
    return ProfileFile(bytes);
}

bool ProfileFile::write(const QString &path, QString *error) const {
    errno = 0;
    QSaveFile file(path);
    const QByteArray bytes = toBytes();
    // Flushed first: a commit alone may report success for data that never reached the disk (a full
    // disk then left an empty settings file behind).
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        !file.commit()) {
        if (error) {
            *error = fileErrorText(file, errno);
        }
        return false;
    }
    return true;
}

QByteArray ProfileFile::toBytes() const {
    QByteArray bytes;
    for (const Line &line : m_lines) {
        bytes += line.text;
        bytes += line.ending;
    }
    return bytes;
}

std::optional<QByteArray> ProfileFile::value(const QString &section, const QString &key) const {
    const Location where = locate(section, key);
    if (where.keyLine < 0) {
        return std::nullopt;
    }
    return settingOf(m_lines[where.keyLine].text)->value;
}

QStringList ProfileFile::keys(const QString &section) const {
    const Location where = locate(section, QString());
    QStringList names;
    for (qsizetype i = where.header < 0 ? where.sectionEnd : where.header + 1; i < where.sectionEnd; ++i) {
        const std::optional<Setting> setting = settingOf(m_lines[i].text);
        if (setting && std::none_of(names.cbegin(), names.cend(),
                                    [&](const QString &name) { return sameName(setting->key, name); })) {
            names << Cp936::decode(setting->key);
        }
    }
    return names;
}

void ProfileFile::setValue(const QString &section, const QString &key, const QByteArray &value) {
    Q_ASSERT(canHoldValue(value));
    const QByteArray line = encodedName(key) + '=' + valueField(value);
    const Location where = locate(section, key);
    if (where.keyLine >= 0) {
        if (settingOf(m_lines[where.keyLine].text)->value != value) {
            m_lines[where.keyLine].text = line;
        }
        return;
    }
    if (where.header >= 0) {
        qsizetype lastFilled = where.header;
        for (qsizetype i = where.header + 1; i < where.sectionEnd; ++i) {
            if (!trimBlanks(m_lines[i].text).isEmpty()) {
                lastFilled = i;
            }
        }
        insertLine(lastFilled + 1, line);
        return;
    }
    insertLine(m_lines.size(), '[' + encodedName(section) + ']');
    insertLine(m_lines.size(), line);
}

bool ProfileFile::canHoldValue(const QByteArray &value) {
    return !value.contains('\r') && !value.contains('\n') && !value.contains('\0');
}

ProfileFile::Location ProfileFile::locate(const QString &section, const QString &key) const {
    Location where;
    qsizetype i = 0;
    for (; i < m_lines.size() && where.header < 0; ++i) {
        const std::optional<QByteArray> name = headerName(m_lines[i].text);
        if (name && sameName(*name, section)) {
            where.header = i;
        }
    }
    if (where.header < 0) {
        return where;
    }
    for (; i < m_lines.size() && !headerName(m_lines[i].text); ++i) {
        const std::optional<Setting> setting = settingOf(m_lines[i].text);
        if (where.keyLine < 0 && setting && sameName(setting->key, key)) {
            where.keyLine = i;
        }
    }
    where.sectionEnd = i;
    return where;
}

void ProfileFile::insertLine(qsizetype index, const QByteArray &text) {
    if (index > 0 && !m_lines[index - 1].ending.endsWith('\n')) {
        m_lines[index - 1].ending = kCrLf;
    }
    m_lines.insert(index, Line{text, kCrLf});
}
