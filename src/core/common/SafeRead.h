#pragma once

#include "core/common/Failure.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class QFile;

// The one way the station and its tools read a file they did not write themselves (settings, mapping,
// filter, day logs, journals): a name can stand for a link, a pipe, a device or a procfs file that
// claims to be empty and never ends. The file is opened without blocking, must be a regular file, and
// no more than its cap is ever read, whatever its size says.
namespace SafeRead {

enum class Links {
    Refuse,         // a final link is refused
    FollowToRegular // a link is followed, but only to a regular file
};

// Opens path for reading. False with *failure (Kind::Read) saying what stands there instead.
bool open(const QString &path, QFile &file, Failure *failure, Links links = Links::Refuse);

// Reads the whole of path into *bytes. A file holding more than cap bytes is refused (Kind::TooLarge)
// after reading at most cap + 1 bytes.
bool readAll(const QString &path, qint64 cap, QByteArray *bytes, Failure *failure,
             Links links = Links::Refuse);

// Reads what is left of an open file, refusing past cap bytes in all; *failure names path.
bool readRest(QFile &file, const QString &path, qint64 cap, QByteArray *bytes, Failure *failure);

} // namespace SafeRead
