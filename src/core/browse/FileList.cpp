#include "core/browse/FileList.h"

#include "core/browse/FileTypeName.h"
#include "core/browse/FolderScan.h"
#include "core/common/Paths.h"

QString FileList::folderFor(const QString &transitFolder, const QString &currentDir) {
    return currentDir.isEmpty() ? transitFolder : Paths::join(transitFolder, currentDir);
}

bool FileList::fillFileList(const QString &transitFolder, const QString &currentDir) {
    const QString folder = folderFor(transitFolder, currentDir);
    QList<FolderScan::Entry> files;
    if (!FolderScan::files(folder, &files)) {
        return false;
    }
    m_folder = folder;
    m_rows.clear();
    m_rows.reserve(files.size());
    for (auto it = files.crbegin(); it != files.crend(); ++it) {
        m_rows.append({it->name, getFileTypeName(it->name), sizeText(it->size), Paths::join(folder, it->name),
                       it->refusal});
    }
    return true;
}

QString FileList::sizeText(qint64 bytes) {
    // The whole 64-bit size counts: a file of 4 GiB and more is not shown as empty or tiny.
    return bytes == 0 ? QString() : QString::number(bytes >> 10);
}
