#pragma once

#include <QList>
#include <QString>

// Folder enumerations of the transit folder. The file system's own order differs between platforms,
// so every listing is sorted by name (case-insensitive first, exact order to break ties) and the
// operator always sees a stable order. Hidden and system entries are included; "." and ".." never.
namespace FolderScan {

struct Entry {
    QString name;
    qint64 size = 0;
};

// The subfolders directly inside folder; false when folder cannot be read.
bool subfolders(const QString &folder, QList<Entry> *entries);

// The files (everything that is not a folder) directly inside folder; false when it cannot be read.
bool files(const QString &folder, QList<Entry> *entries);

} // namespace FolderScan
