#pragma once

#include <QList>
#include <QString>

class InnerPathMapping;

// The subfolders of the transit folder with their file counts, one of them current. On a refresh the
// current subfolder is kept by position: when folders appear or vanish before it, the folder now at that
// position becomes current; when the position no longer exists, the first row does. The live rescan
// keeps it by name instead while it still exists, so a folder made by someone else never moves the
// operator's current folder under their hands.
class TransitFolderList {
public:
    struct Row {
        QString name;
        int fileCount = 0;
        QString status; // "当前目录" on the current row, " " on a row that was current earlier
        // Beside a subfolder whose files cannot be queued for want of a usable mapping (未配置内网路径 …),
        // with the reason and what to do as markTip; empty otherwise.
        QString mark{};
        QString markTip{};
        bool operator==(const Row &) const = default;
    };

    enum class Keep { Position, Name };

    static const QString kCurrentStatus;
    static const QString kFormerStatus;

    // Rebuilds all rows from transitFolder, marking the subfolders mapping gives no usable destination
    // (none marked without a mapping). Returns true when a row was made current (the caller then
    // refreshes the file list). A missing folder leaves the list empty and the current name as it was.
    bool refreshFolderList(const QString &transitFolder, const InnerPathMapping *mapping = nullptr,
                           Keep keep = Keep::Position);

    // Makes row current. Returns false for a row that does not exist.
    bool setCurrentItem(int row);

    // Number of entries directly inside folder that the file list shows (everything but real folders,
    // hidden ones and names that are not UTF-8 included). Never negative.
    static int countFiles(const QString &folder);

    const QList<Row> &rows() const { return m_rows; }
    int currentItem() const { return m_currentItem; }
    const QString &currentDir() const { return m_currentDir; }

private:
    QList<Row> m_rows;
    int m_currentItem = 0;
    QString m_currentDir;
};
