#include "core/browse/FileList.h"

#include "core/browse/FileTypeName.h"
#include "core/browse/FolderScan.h"
#include "core/common/ByteUnits.h"
#include "core/common/Paths.h"
#include "core/config/FileTypeFilter.h"

QString FileList::folderFor(const QString &transitFolder, const QString &currentDir) {
    return currentDir.isEmpty() ? transitFolder : Paths::join(transitFolder, currentDir);
}

bool FileList::fillFileList(const QString &transitFolder, const QString &currentDir,
                            const FileTypeFilter *filter) {
    const QString folder = folderFor(transitFolder, currentDir);
    QList<FolderScan::Entry> files;
    if (!FolderScan::files(folder, &files)) {
        return false;
    }
    m_folder = folder;
    m_rows.clear();
    m_rows.reserve(files.size());
    for (auto it = files.crbegin(); it != files.crend(); ++it) {
        // Only a regular file has a size; what the scan refused has none to show.
        const bool regular = it->refusal.isEmpty();
        Row row{it->name, getFileTypeName(it->name),
                regular ? ByteUnits::formatBytes(static_cast<quint64>(it->size)) : QString(),
                Paths::join(folder, it->name), it->refusal};
        if (regular) {
            row.sizeTip = exactSizeText(it->size);
            if (filter) {
                row.refusal = typeRefusal(*filter, it->name);
            }
        }
        m_rows.append(row);
    }
    return true;
}

QString FileList::sizeText(qint64 bytes) {
    // The whole 64-bit size counts: a file of 4 GiB and more is not shown as empty or tiny.
    return bytes == 0 ? QString() : QString::number(bytes >> 10);
}

QString FileList::exactSizeText(qint64 bytes) {
    QString digits = QString::number(qMax<qint64>(bytes, 0));
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3) {
        digits.insert(at, QLatin1Char(','));
    }
    return digits + QStringLiteral(" 字节");
}

QString FileList::typeRefusal(const FileTypeFilter &filter, const QString &fileName) {
    if (filter.permits(fileName)) {
        return QString();
    }
    const QString extension = FileTypeFilter::extensionOf(fileName);
    return extension.isNull() ? QStringLiteral("不能上传该类型文件（没有扩展名）")
                              : QStringLiteral("不能上传该类型文件（扩展名 .%1 不在允许列表中）")
                                    .arg(FolderScan::shownName(extension));
}
