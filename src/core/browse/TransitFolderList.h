#pragma once

#include <QList>
#include <QString>

// The subfolders of the transit folder with their file counts, one of them current. The current
// subfolder is kept by position across rebuilds: when folders appear or vanish before it, the folder
// now at that position becomes current; when the position no longer exists, the first row does.
class TransitFolderList {
public:
    struct Row {
        QString name;
        int fileCount = 0;
        QString status; // "当前目录" on the current row, " " on a row that was current earlier
    };

    static const QString kCurrentStatus;
    static const QString kFormerStatus;

    // Rebuilds all rows from transitFolder. Returns true when a row was made current (the caller then
    // refreshes the file list). A missing folder leaves the list empty and the current name as it was.
    bool refreshFolderList(const QString &transitFolder);

    // Makes row current. Returns false for a row that does not exist.
    bool setCurrentItem(int row);

    // Number of entries directly inside folder that are not real folders (what the file list shows);
    // hidden ones count. Never negative.
    static int countFiles(const QString &folder);

    const QList<Row> &rows() const { return m_rows; }
    int currentItem() const { return m_currentItem; }
    const QString &currentDir() const { return m_currentDir; }

private:
    QList<Row> m_rows;
    int m_currentItem = 0;
    QString m_currentDir;
};
