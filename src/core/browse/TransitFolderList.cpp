#include "core/browse/TransitFolderList.h"

#include "core/browse/FolderScan.h"
#include "core/common/Paths.h"

#include <QDirIterator>
#include <QFileInfo>

const QString TransitFolderList::kCurrentStatus = QStringLiteral("当前目录");
const QString TransitFolderList::kFormerStatus = QStringLiteral(" ");

bool TransitFolderList::refreshFolderList(const QString &transitFolder) {
    m_rows.clear();
    QList<FolderScan::Entry> folders;
    if (!FolderScan::subfolders(transitFolder, &folders)) {
        return false;
    }
    m_rows.reserve(folders.size());
    for (const FolderScan::Entry &folder : folders) {
        m_rows.append({folder.name, countFiles(Paths::join(transitFolder, folder.name)), QString()});
    }
    if (m_rows.isEmpty()) {
        return false;
    }
    const int count = static_cast<int>(m_rows.size());
    const int row = (m_currentItem >= 1 && m_currentItem < count) ? m_currentItem : 0;
    return setCurrentItem(row);
}

bool TransitFolderList::setCurrentItem(int row) {
    if (row < 0 || row >= m_rows.size()) {
        return false;
    }
    m_rows[row].status = kCurrentStatus;
    m_currentDir = m_rows[row].name;
    if (row != m_currentItem) {
        if (m_currentItem >= 0 && m_currentItem < m_rows.size()) {
            m_rows[m_currentItem].status = kFormerStatus;
        }
        m_currentItem = row;
    }
    return true;
}

int TransitFolderList::countFiles(const QString &folder) {
    // Counting needs neither sizes nor order: a bare enumeration is several times faster. Everything the
    // file list shows counts, links to folders too.
    int count = 0;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo entry = it.fileInfo();
        if (entry.isSymLink() || !entry.isDir()) {
            ++count;
        }
    }
    return count;
}
