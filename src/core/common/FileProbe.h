#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <chrono>

class QFile;

// What the station sees of a file it is about to queue or send, looked at without following a final
// link and without blocking: what kind of thing the name is, its identity and its size and time, and
// whether another process holds it open for writing. One implementation per platform.
namespace FileProbe {

enum class Kind {
    Regular,   // a plain file
    Missing,   // nothing of that name
    Link,      // a symbolic link (never followed)
    Special,   // a folder, pipe, socket or device
    Unreadable // it could not be looked at (see the error)
};

// A file's identity and state: a change of any of them while a file is read means it changed.
struct Stamp {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    qint64 modifiedNs = 0; // since the epoch
    bool operator==(const Stamp &) const = default;
};

struct Look {
    Kind kind = Kind::Missing;
    Stamp stamp;
    int error = 0; // the system's error code, for Unreadable
};

// Looks at path itself (a final link is reported as a link, not followed).
Look look(const QString &path);
// The same for the names of one folder, by position; the folder is found once, not once per name (what
// a folder of thousands of files costs at every look). A folder that cannot be opened gives each name
// the look of its path.
QList<Look> lookIn(const QString &folder, const QStringList &names);

// Opens path for reading, refusing a final link (unless followLink) and never blocking on a pipe; only
// a regular file is opened. On success file holds it (unbuffered) and *stamp its state as opened;
// otherwise *look says what is there instead.
bool openRegular(const QString &path, QFile &file, Stamp *stamp, Look *look, bool followLink = false);

// The state of the file held open by file, now.
Stamp stampOf(const QFile &file);

// True when a process (another, or this one) holds the file of stamp open for writing. False when it
// cannot be told, as on a platform without the means.
bool heldOpenForWriting(const Stamp &stamp);

// The same for many files at once, by position: one look at every process's open files serves them
// all, where a look per file would cost a folder of many files seconds.
QList<bool> heldOpenForWriting(const QList<Stamp> &stamps);

// True when the file of stamp was modified less than span ago (or claims a time ahead of the clock),
// by the wall clock the file system stamps files with. Never for an empty span.
bool modifiedWithin(const Stamp &stamp, std::chrono::milliseconds span);

// The operator's words for what stands at a name that is not a regular file ("是符号链接" …).
QString kindText(Kind kind, int error = 0);

} // namespace FileProbe
