#include "core/browse/FolderScan.h"

#include "core/common/Paths.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace FolderScan {
namespace {

constexpr QChar kUndecoded = QChar::ReplacementCharacter;

bool isControl(char32_t c) {
    return c < 0x20 || (c >= 0x7f && c <= 0x9f);
}

QString escaped(uint value) {
    return QStringLiteral("\\x") + QString::number(value, 16).toUpper().rightJustified(2, u'0');
}

QString undecodableRefusal(const QByteArray &bytes) {
    return QStringLiteral("文件名“%1”不是有效的 UTF-8 编码").arg(shownName(bytes));
}

// Calls visit(name, seen, isFolder) for every entry directly inside folder (what Qt's listing can name),
// looked at without following a link; false when folder cannot be read. The one rule of what is a
// subfolder and what is listed as a file, for the listings and the counts alike.
template <typename Visit> bool visitEntries(const QString &folder, Visit visit) {
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.isDir() || !info.isReadable()) {
        return false;
    }
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const FileProbe::Look seen = FileProbe::look(it.filePath());
        if (seen.kind == FileProbe::Kind::Missing) {
            continue; // gone since it was listed
        }
        visit(it.fileName(), seen, seen.kind == FileProbe::Kind::Special && it.fileInfo().isDir());
    }
    return true;
}

bool scan(const QString &folder, bool wantFolders, QList<Entry> *entries) {
    entries->clear();
    const bool listed =
        visitEntries(folder, [&](const QString &name, const FileProbe::Look &seen, bool isFolder) {
            if (isFolder == wantFolders) {
                entries->append({name, seen.kind == FileProbe::Kind::Regular ? seen.stamp.size : 0,
                                 wantFolders ? QString() : refusalFor(name, seen)});
            }
        });
    if (!listed) {
        return false;
    }
    // Qt's listing passes over names whose bytes are not UTF-8: the file list shows them all the same,
    // decoded, so the operator sees why they stay.
    if (!wantFolders) {
        for (const QByteArray &bytes : undecodableNames(folder)) {
            entries->append({QFile::decodeName(bytes), 0, undecodableRefusal(bytes)});
        }
    }
    std::sort(entries->begin(), entries->end(), [](const Entry &a, const Entry &b) {
        const int folded = a.name.compare(b.name, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a.name < b.name;
    });
    return true;
}

} // namespace

bool subfolders(const QString &folder, QList<Entry> *entries) {
    return scan(folder, true, entries);
}

bool files(const QString &folder, QList<Entry> *entries) {
    return scan(folder, false, entries);
}

QString refusalOf(const QString &folder, const QString &name) {
    for (const QByteArray &bytes :
         name.contains(kUndecoded) ? undecodableNames(folder) : QList<QByteArray>()) {
        if (QFile::decodeName(bytes) == name) {
            return undecodableRefusal(bytes);
        }
    }
    return refusalFor(name, FileProbe::look(Paths::join(folder, name)));
}

QString refusalFor(const QString &name, const FileProbe::Look &seen) {
    if (seen.kind == FileProbe::Kind::Regular || seen.kind == FileProbe::Kind::Missing) {
        return QString();
    }
    return QStringLiteral("文件“%1”%2").arg(shownName(name), FileProbe::kindText(seen.kind, seen.error));
}

QString shownName(const QString &name) {
    QString shown;
    shown.reserve(name.size());
    for (const QChar c : name) {
        if (isControl(c.unicode())) {
            shown += escaped(c.unicode());
        } else {
            shown += c;
        }
    }
    return shown;
}

QString shownName(const QByteArray &bytes) {
    QString shown;
    for (qsizetype i = 0; i < bytes.size();) {
        const auto lead = static_cast<uchar>(bytes[i]);
        const qsizetype length = lead < 0x80                    ? 1
                                 : lead >= 0xc2 && lead <= 0xdf ? 2
                                 : lead >= 0xe0 && lead <= 0xef ? 3
                                 : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                                : 0;
        if (length > 0 && i + length <= bytes.size()) {
            // Qt's decoder judges the sequence (overlong forms, surrogates, continuation bytes).
            const QString decoded = QString::fromUtf8(bytes.mid(i, length));
            if (!decoded.contains(kUndecoded) && decoded.toUcs4().size() == 1) {
                shown += shownName(decoded);
                i += length;
                continue;
            }
        }
        shown += escaped(lead);
        ++i;
    }
    return shown;
}

} // namespace FolderScan
