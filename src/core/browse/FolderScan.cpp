#include "core/browse/FolderScan.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <algorithm>

namespace FolderScan {
namespace {

bool scan(const QString &folder, QDir::Filter kind, QList<Entry> *entries) {
    const bool wantFolders = kind == QDir::Dirs;
    entries->clear();
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.isDir() || !info.isReadable()) {
        return false;
    }
    QDirIterator it(folder, kind | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo entry = it.fileInfo();
        if (entry.isDir() != wantFolders) {
            continue;
        }
        entries->append({entry.fileName(), entry.isDir() ? 0 : entry.size()});
    }
    std::sort(entries->begin(), entries->end(), [](const Entry &a, const Entry &b) {
        const int folded = a.name.compare(b.name, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a.name < b.name;
    });
    return true;
}

} // namespace

bool subfolders(const QString &folder, QList<Entry> *entries) {
    return scan(folder, QDir::Dirs, entries);
}

bool files(const QString &folder, QList<Entry> *entries) {
    return scan(folder, QDir::Files, entries);
}

} // namespace FolderScan
