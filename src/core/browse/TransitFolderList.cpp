#include "core/browse/TransitFolderList.h"

#include "core/browse/FolderScan.h"
#include "core/common/Paths.h"

#include <QDirIterator>

const QString TransitFolderList::kCurrentStatus = QStringLiteral("当前目录");
const QString TransitFolderList::kFormerStatus = QStringLiteral(" ");

bool TransitFolderList::RefreshFolderList(const QString &transitFolder) {
    m_rows.clear();
    QList<FolderScan::Entry> folders;
    if (!FolderScan::subfolders(transitFolder, &folders)) {
        return false;
    }
    m_rows.reserve(folders.size());
    for (const FolderScan::Entry &folder : folders) {
        m_rows.append({folder.name, CountFiles(Paths::join(transitFolder, folder.name)), QString()});
    }
    if (m_rows.isEmpty()) {
        return false;
    }
    const int count = static_cast<int>(m_rows.size());
    const int row = (m_nCurrentItem >= 1 && m_nCurrentItem < count) ? m_nCurrentItem : 0;
    return SetCurrentItem(row);
}

bool TransitFolderList::SetCurrentItem(int row) {
    if (row < 0 || row >= m_rows.size()) {
        return false;
    }
    m_rows[row].status = kCurrentStatus;
    m_strCurrentDir = m_rows[row].name;
    if (row != m_nCurrentItem) {
        if (m_nCurrentItem >= 0 && m_nCurrentItem < m_rows.size()) {
            m_rows[m_nCurrentItem].status = kFormerStatus;
        }
        m_nCurrentItem = row;
    }
    return true;
}

int TransitFolderList::CountFiles(const QString &folder) {
    // Counting needs neither sizes nor order: a bare enumeration is several times faster.
    int count = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        ++count;
    }
    return count;
}
