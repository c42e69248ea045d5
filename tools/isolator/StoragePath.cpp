#include "StoragePath.h"

#include <QFile>
#include <QRegularExpression>

namespace {

bool hasControlCharacter(const QString &text) {
    for (const QChar ch : text) {
        if (ch.category() == QChar::Other_Control) {
            return true;
        }
    }
    return false;
}

bool isDotName(const QString &text) {
    return text == u"." || text == u"..";
}

bool hasSeparator(const QString &text) {
    return text.contains(u'/') || text.contains(u'\\');
}

// Longest file or folder name the usual file systems take, in bytes of the name as stored.
constexpr qsizetype kMaxNameBytes = 255;

bool tooLong(const QString &component) {
    return QFile::encodeName(component).size() > kMaxNameBytes;
}

bool startsWithDriveLetter(const QString &path) {
    return path.size() >= 2 && path[1] == u':' && path[0].unicode() < 0x80 && path[0].isLetter();
}

} // namespace

StoragePath StoragePath::map(const QString &address, const QString &path, const QString &name) {
    StoragePath result;

    if (name.isEmpty()) {
        result.refuse(QStringLiteral("the file name is empty"));
        return result;
    }
    if (isDotName(name) || hasSeparator(name)) {
        result.refuse(QStringLiteral("the file name would leave its folder"));
        return result;
    }
    if (hasControlCharacter(name)) {
        result.refuse(QStringLiteral("the file name holds control characters"));
        return result;
    }

    if (hasSeparator(address) || isDotName(address)) {
        result.refuse(QStringLiteral("the inner address would leave its folder"));
        return result;
    }
    if (hasControlCharacter(address)) {
        result.refuse(QStringLiteral("the inner address holds control characters"));
        return result;
    }
    QStringList folders;
    folders.append(address.isEmpty() ? QStringLiteral("_") : QString(address).replace(u':', u'_'));

    if (hasControlCharacter(path)) {
        result.refuse(QStringLiteral("the inner path holds control characters"));
        return result;
    }
    QString rest = path;
    if (startsWithDriveLetter(path)) {
        folders.append(path.left(1).toLower());
        rest = path.mid(2);
    }
    for (const QString &segment : rest.split(QRegularExpression(QStringLiteral("[/\\\\]")))) {
        if (segment.isEmpty() || segment == u".") {
            continue;
        }
        if (segment == u"..") {
            result.refuse(QStringLiteral("the inner path would leave its folder"));
            return result;
        }
        if (segment.contains(u':')) {
            result.refuse(QStringLiteral("the inner path holds ':' outside its drive letter"));
            return result;
        }
        folders.append(segment);
    }

    // Checked before the acknowledgement: once the data has come, a name the disk will not take could
    // only be dropped, and the sender would never know.
    for (const QString &component : folders + QStringList{name}) {
        if (tooLong(component)) {
            result.refuse(QStringLiteral("the name \"%1\" is longer than %2 bytes on disk")
                              .arg(component)
                              .arg(kMaxNameBytes));
            return result;
        }
    }
    result.m_folders = folders;
    result.m_fileName = name;
    return result;
}

QString StoragePath::relativeFolder() const {
    return m_folders.join(u'/');
}

QString StoragePath::relativeFilePath() const {
    return m_folders.isEmpty() ? m_fileName : relativeFolder() + u'/' + m_fileName;
}

bool StoragePath::refuse(const QString &why) {
    m_refusal = why;
    m_folders.clear();
    m_fileName.clear();
    return false;
}
