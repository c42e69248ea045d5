#include "core/browse/TransitDrop.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>

namespace TransitDrop {

bool renameNoReplace(const QString &from, const QString &to, int *error) {
    // One step: a name taken meanwhile is never replaced, as a look followed by a rename would risk.
    if (::renameat2(AT_FDCWD, QFile::encodeName(from).constData(), AT_FDCWD,
                    QFile::encodeName(to).constData(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    *error = errno;
    return false;
}

} // namespace TransitDrop
