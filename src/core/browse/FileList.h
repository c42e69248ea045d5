#pragma once

#include <QList>
#include <QString>

class FileTypeFilter;

// The files of the current transit subfolder as the file list shows them: name, type name and size
// ("1.9 KB", exact bytes in sizeTip), and for what is not queued why: no regular file (links included),
// a name that is not UTF-8, or a type the allow-list refuses. Rows come in the reverse of the (sorted)
// enumeration order, newest insertion on top.
class FileList {
public:
    struct Row {
        QString name;
        QString typeName;
        QString sizeText; // of a regular file, "0 B" for an empty one; empty for anything else
        QString path;
        QString refusal; // why it is not queued; empty for a file that may be
        QString sizeTip{};
        bool operator==(const Row &) const = default;
    };

    // The folder the list shows: the transit folder itself while no subfolder is current.
    static QString folderFor(const QString &transitFolder, const QString &currentDir);

    // Rebuilds the rows, refusing the types filter does not allow (none without a filter). False when
    // the folder cannot be read; the previous rows then stay.
    bool fillFileList(const QString &transitFolder, const QString &currentDir,
                      const FileTypeFilter *filter = nullptr);

    // Whole kilobytes, truncated; empty for an empty file (the size column of history entries).
    static QString sizeText(qint64 bytes);

    // The exact size with thousands separators: "3 字节", "1,934 字节".
    static QString exactSizeText(qint64 bytes);

    // Why filter refuses fileName's type, for the operator; empty text when it allows it.
    static QString typeRefusal(const FileTypeFilter &filter, const QString &fileName);

    const QList<Row> &rows() const { return m_rows; }
    const QString &folder() const { return m_folder; }

private:
    QList<Row> m_rows;
    QString m_folder;
};
