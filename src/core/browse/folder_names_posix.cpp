#include "core/browse/FolderScan.h"

#include <QFile>

#include <dirent.h>

namespace FolderScan {

QList<QByteArray> undecodableNames(const QString &folder) {
    QList<QByteArray> names;
    DIR *entries = ::opendir(QFile::encodeName(folder).constData());
    if (!entries) {
        return names;
    }
    while (const dirent *entry = ::readdir(entries)) {
        const QByteArray name(entry->d_name);
        if (QFile::encodeName(QFile::decodeName(name)) != name) {
            names.append(name);
        }
    }
    ::closedir(entries);
    return names;
}

} // namespace FolderScan
