#include "core/common/SafeRead.h"

#include "core/common/FileProbe.h"
#include "core/common/SystemErrors.h"

#include <QFile>

#include <cerrno>

namespace SafeRead {

bool open(const QString &path, QFile &file, Failure *failure, Links links) {
    FileProbe::Stamp stamp;
    FileProbe::Look seen;
    if (FileProbe::openRegular(path, file, &stamp, &seen, links == Links::FollowToRegular)) {
        return true;
    }
    *failure = Failure::of(Failure::Kind::Read, path, FileProbe::kindText(seen.kind, seen.error));
    return false;
}

bool readRest(QFile &file, const QString &path, qint64 cap, QByteArray *bytes, Failure *failure) {
    bytes->clear();
    // Whole pieces (some procfs files take only aligned reads); past the cap by at most one piece.
    constexpr qint64 kPiece = 1 << 16;
    for (;;) {
        const qsizetype had = bytes->size();
        bytes->resize(had + kPiece);
        const qint64 got = file.read(bytes->data() + had, kPiece);
        const int error = errno;
        if (got < 0) {
            bytes->clear();
            *failure = Failure::of(Failure::Kind::Read, path, systemErrorText(error));
            return false;
        }
        bytes->resize(had + got);
        if (bytes->size() > cap) {
            bytes->clear();
            *failure = Failure::of(Failure::Kind::TooLarge, path, QStringLiteral("超过 %1 字节").arg(cap));
            return false;
        }
        if (got == 0) {
            return true;
        }
    }
}

bool readAll(const QString &path, qint64 cap, QByteArray *bytes, Failure *failure, Links links) {
    QFile file;
    return open(path, file, failure, links) && readRest(file, path, cap, bytes, failure);
}

} // namespace SafeRead
