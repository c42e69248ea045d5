#include "core/browse/FolderScan.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

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

int countFiles(const QString &folder) {
    DIR *entries = ::opendir(QFile::encodeName(folder).constData());
    if (!entries) {
        return 0;
    }
    // The listing's type is the entry's own, never a link's target: what files() takes for a real
    // subfolder. Only a file system that does not give it costs a look of its own.
    int count = 0;
    while (const dirent *entry = ::readdir(entries)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..") {
            continue;
        }
        bool folderEntry = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat seen {};
            folderEntry = ::fstatat(::dirfd(entries), entry->d_name, &seen, AT_SYMLINK_NOFOLLOW) == 0 &&
                          S_ISDIR(seen.st_mode);
        }
        // A name that is not UTF-8 is listed as a refused file, whatever it is.
        if (!folderEntry || QFile::encodeName(QFile::decodeName(name)) != name) {
            ++count;
        }
    }
    ::closedir(entries);
    return count;
}

} // namespace FolderScan
