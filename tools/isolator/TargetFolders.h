#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <mutex>

// The folders below the peer's root that incoming files are written into. Several connections may
// create, use and give up folders at the same time: a connection that fails removes the folders it
// created (when they are still empty and no other connection uses them), so a cut transfer leaves no
// trace, while a folder another transfer is writing into is never pulled away from under it.
class TargetFolders {
public:
    // One connection's hold on its folder.
    struct Lease {
        QStringList chain;   // relative folders from the outermost to the target, all held
        QStringList created; // those this lease created, outermost first
        QString absolute;    // the target folder's absolute path
    };

    explicit TargetFolders(QString root);

    // Creates root/folders... as needed and holds it. False with a reason when it cannot be created or
    // would lead outside the root (through a link someone put there).
    bool acquire(const QStringList &folders, Lease *lease, QString *error);

    // Gives a folder back. Unless keep is true, the folders the lease created are removed again as long
    // as they are empty and unused.
    void release(const Lease &lease, bool keep);

    // The name a file called fileName is received under in folder (absolute): fileName itself, unless
    // another connection holds that name there; then "stem (2).ext", "stem (3).ext" ... the first that
    // is neither held nor taken by a file. The name is held until releaseName.
    QString reserveName(const QString &folder, const QString &fileName);
    void releaseName(const QString &folder, const QString &fileName);

    const QString &root() const { return m_root; }

private:
    QString m_root;
    QString m_canonicalRoot;
    std::mutex m_mutex;
    QHash<QString, int> m_users;
    QSet<QString> m_receiving; // absolute paths of files being received
};
