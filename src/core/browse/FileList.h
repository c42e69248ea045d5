#pragma once

#include <QList>
#include <QString>

// The files of the current transit subfolder as the file list shows them: name, type name and size
// in whole KB, and for what is no regular file (links included) why it is not queued. Rows come in the
// reverse of the (sorted) enumeration order, newest insertion on top.
class FileList {
public:
    struct Row {
        QString name;
        QString typeName;
        QString sizeText;
        QString path;
        QString refusal; // why it is not queued (a link, a pipe, a name that is not UTF-8); empty for a file
    };

    // The folder the list shows: the transit folder itself while no subfolder is current.
    static QString folderFor(const QString &transitFolder, const QString &currentDir);

    // Rebuilds the rows. False when the folder cannot be read; the previous rows then stay.
    bool fillFileList(const QString &transitFolder, const QString &currentDir);

    // Whole kilobytes, truncated; empty for an empty file.
    static QString sizeText(qint64 bytes);

    const QList<Row> &rows() const { return m_rows; }
    const QString &folder() const { return m_folder; }

private:
    QList<Row> m_rows;
    QString m_folder;
};
