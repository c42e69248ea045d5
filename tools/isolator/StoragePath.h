#pragma once

#include <QString>
#include <QStringList>

// Where the peer stores a received file, relative to its root:
//
//   <address folder>/<path folders...>/<file name>
//
// - address folder: the inner address with every ':' turned into '_' ("192.168.1.1:4321" becomes
//   "192.168.1.1_4321"); an empty address becomes "_".
// - path folders: a leading drive letter "d:" becomes the folder "d" (lower case, as the drive is the
//   same either way); the rest is split at '/' and '\'; empty and "." segments are dropped. A leading
//   separator therefore starts nothing new: "/srv/in" and "\\host\share" land below the address folder
//   like any other path.
// - file name: used as it came.
//
// Refused, so nothing can land outside the root or under a surprising name: an empty file name; a name,
// address or segment that is "." or ".."; separators in the file name or the address; ':' anywhere in
// the path but the drive letter; control characters anywhere; a name or folder longer than a file system
// takes (255 bytes as stored).
class StoragePath {
public:
    static StoragePath map(const QString &address, const QString &path, const QString &name);

    // Folders below the root, outermost first; empty when refused.
    const QStringList &folders() const { return m_folders; }
    const QString &fileName() const { return m_fileName; }
    // Why the file may not be stored; empty when it may.
    const QString &refusal() const { return m_refusal; }
    bool isValid() const { return m_refusal.isEmpty(); }

    // The folders joined with '/', without the file name.
    QString relativeFolder() const;
    // The folders and the file name joined with '/'.
    QString relativeFilePath() const;

private:
    bool refuse(const QString &why);

    QStringList m_folders;
    QString m_fileName;
    QString m_refusal;
};
