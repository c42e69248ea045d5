#include "core/browse/TransitFolderList.h"

#include "core/browse/FolderScan.h"
#include "core/common/Paths.h"
#include "core/config/InnerPathMapping.h"

const QString TransitFolderList::kCurrentStatus = QStringLiteral("当前目录");
const QString TransitFolderList::kFormerStatus = QStringLiteral(" ");

namespace {

const QString kUnmapped = QStringLiteral("未配置内网路径");
const QString kWhere = QStringLiteral("其中的文件不能加入上传队列，请在“软件设置 → 内网路径”中");

// The mark of a subfolder whose files the queue would refuse for its mapping, with the reason.
void markFor(const InnerPathMapping &mapping, const InnerPathMapping::Lookup &found,
             TransitFolderList::Row *row) {
    switch (InnerPathMapping::judgeForQueue(found)) {
    case InnerPathMapping::QueueVerdict::FileMissing:
        row->mark = kUnmapped;
        row->markTip =
            QStringLiteral("无法读取内网路径配置文件“%1”：%2配置。").arg(mapping.filePath(), kWhere);
        break;
    case InnerPathMapping::QueueVerdict::NotConfigured:
        row->mark = kUnmapped;
        row->markTip = QStringLiteral("子文件夹“%1”未配置内网路径：%2配置。").arg(row->name, kWhere);
        break;
    case InnerPathMapping::QueueVerdict::BadInnerPath:
        row->mark = QStringLiteral("内网路径配置不正确");
        row->markTip = QStringLiteral("子文件夹“%1”的内网路径配置不正确：%2修改。").arg(row->name, kWhere);
        break;
    case InnerPathMapping::QueueVerdict::BadInnerAddress:
        row->mark = QStringLiteral("内网IP配置不正确");
        row->markTip = QStringLiteral("子文件夹“%1”的内网IP配置不正确：%2修改。").arg(row->name, kWhere);
        break;
    case InnerPathMapping::QueueVerdict::Accepted:
        break;
    }
}

} // namespace

bool TransitFolderList::refreshFolderList(const QString &transitFolder, const InnerPathMapping *mapping,
                                          Keep keep) {
    const QString currentName = m_currentDir;
    m_rows.clear();
    QList<FolderScan::Entry> folders;
    if (!FolderScan::subfolders(transitFolder, &folders)) {
        return false;
    }
    // The mapping file is read once for all the rows.
    QString mappingText;
    const bool mappingRead = mapping && mapping->readText(&mappingText);
    m_rows.reserve(folders.size());
    int named = -1;
    for (const FolderScan::Entry &folder : folders) {
        Row row{folder.name, countFiles(Paths::join(transitFolder, folder.name)), QString()};
        if (mapping) {
            markFor(*mapping,
                    mappingRead ? InnerPathMapping::find(mappingText, folder.name)
                                : InnerPathMapping::Lookup{},
                    &row);
        }
        if (folder.name == currentName) {
            named = static_cast<int>(m_rows.size());
        }
        m_rows.append(row);
    }
    if (m_rows.isEmpty()) {
        return false;
    }
    const int count = static_cast<int>(m_rows.size());
    if (keep == Keep::Name && named >= 0) {
        m_currentItem = named;
    }
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
    // The file list's own rule, so that a folder's count is the number of rows it shows.
    return FolderScan::countFiles(folder);
}
