#pragma once

#include "FolderHandle.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>
#include <mutex>
#include <vector>

// The folders below the peer's root that incoming files are written into. Several connections may
// create, use and give up folders at the same time: a connection that fails removes the folders it
// created (when they are still empty and no other connection uses them), so a cut transfer leaves no
// trace, while a folder another transfer is writing into is never pulled away from under it. Folders
// are walked one at a time from the root, held open, and a link on the way is refused: nothing is ever
// written through a link planted below the root.
class TargetFolders {
public:
    // One connection's hold on its folder.
    struct Lease {
        QStringList chain;   // relative folders from the outermost to the target, all held
        QStringList created; // those this lease created, outermost first
        QString absolute;    // the target folder's absolute path, for log lines
        // The folders of chain, open; the target's is the last (none when the target is the root).
        std::vector<std::shared_ptr<FolderHandle>> handles;
    };

    explicit TargetFolders(QString root);

    // Creates root/folders... as needed and holds it. False with a reason when it cannot be created or
    // a folder on the way is a link.
    bool acquire(const QStringList &folders, Lease *lease, QString *error);

    // Gives a folder back. Unless keep is true, the folders the lease created are removed again as long
    // as they are empty and unused.
    void release(const Lease &lease, bool keep);

    // The open target folder of a lease.
    const FolderHandle &folder(const Lease &lease) const;

    // The name a file called fileName is received under in the lease's folder: fileName itself, unless
    // anything there has that name already or another connection is receiving a file of that name; then
    // "name (2).ext", "name (3).ext" ... the first that is free, as the station names files in its
    // completion folder (a leading dot starts no extension: ".profile (2)"). The name is held until
    // releaseName; it is claimed on disk only when the file is complete (IncomingFile::publish), so one
    // taken meanwhile by something else is simply passed over on the next call.
    QString reserveName(const Lease &lease, const QString &fileName);
    void releaseName(const Lease &lease, const QString &fileName);

    const QString &root() const { return m_root; }

private:
    void removeCreated(const Lease &lease);

    QString m_root;
    FolderHandle m_rootFolder;
    int m_rootError = 0;
    std::mutex m_mutex;
    QHash<QString, int> m_users;
    QSet<QString> m_receiving; // absolute paths of files being received
};
