#include "core/common/FileMove.h"

#include "core/common/FileProbe.h"
#include "core/common/SystemErrors.h"
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <filesystem>
#include <system_error>

namespace FileMove {
namespace {

constexpr qsizetype kBlock = 1 << 20;

std::atomic<const Faults *> g_faults{nullptr};

std::filesystem::path nativePath(const QString &path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

bool isCancelled(const std::atomic_bool *cancelled) {
    return cancelled && cancelled->load(std::memory_order_relaxed);
}

QString sourceProblem(const FileProbe::Look &seen) {
    return seen.kind == FileProbe::Kind::Missing ? QStringLiteral("源文件不存在")
                                                 : FileProbe::kindText(seen.kind, seen.error);
}

// Reads the finished copy again and compares it with what was read from the source: a disk or a file
// system that returns other bytes than it was given must not cost the operator the source.
QString checkCopy(const QString &copy, qint64 size, const QByteArray &sha256,
                  const std::atomic_bool *cancelled) {
    errno = 0;
    QFile file(copy);
    if (!file.open(QIODevice::ReadOnly)) {
        return fileErrorText(file, errno);
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray buffer(kBlock, Qt::Uninitialized);
    qint64 read = 0;
    for (;;) {
        const qint64 got = file.read(buffer.data(), buffer.size());
        if (got < 0) {
            return fileErrorText(file, errno);
        }
        if (got == 0) {
            break;
        }
        if (isCancelled(cancelled)) {
            return QStringLiteral("移动已中止");
        }
        hash.addData(QByteArrayView(buffer.constData(), got));
        read += got;
    }
    if (read != size || hash.result() != sha256) {
        return QStringLiteral("复制到目标位置的文件与原文件不一致（大小或 SHA-256 不同），已删除该复制件");
    }
    return QString();
}

QString copyAcross(const QString &source, const QString &target, bool replace,
                   const std::atomic_bool *cancelled) {
    QFile in;
    FileProbe::Stamp opened;
    FileProbe::Look seen;
    if (!FileProbe::openRegular(source, in, &opened, &seen)) {
        return sourceProblem(seen);
    }
    errno = 0;
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly)) {
        return fileErrorText(out, errno);
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    qint64 copied = 0;
    QByteArray buffer(kBlock, Qt::Uninitialized);
    for (;;) {
        if (isCancelled(cancelled)) {
            out.cancelWriting();
            return QStringLiteral("移动已中止");
        }
        const qint64 got = in.read(buffer.data(), buffer.size());
        if (got < 0) {
            const int error = errno;
            out.cancelWriting();
            return fileErrorText(in, error);
        }
        if (got == 0) {
            break;
        }
        if (out.write(buffer.constData(), got) != got) {
            const int error = errno;
            out.cancelWriting();
            return fileErrorText(out, error);
        }
        hash.addData(QByteArrayView(buffer.constData(), got));
        copied += got;
    }
    out.setPermissions(in.permissions());
    if (!replace && FileProbe::look(target).kind != FileProbe::Kind::Missing) {
        out.cancelWriting(); // a file of that name came while the copy was made
        return QStringLiteral("目标位置已有同名文件");
    }
    // Flushed first: a commit alone may report success for data that never reached the disk.
    if (!out.flush() || !out.commit()) {
        return fileErrorText(out, errno);
    }
    if (const Faults *faults = g_faults.load(); faults && faults->afterCopy) {
        faults->afterCopy(target);
    }
    // The size the source had when it was opened counts too: one that changed meanwhile is not whole.
    const QString mismatch = checkCopy(target, copied == opened.size ? copied : -1, hash.result(), cancelled);
    if (!mismatch.isEmpty()) {
        QFile::remove(target);
        return mismatch;
    }
    in.close();
    // A source that cannot be removed leaves only a duplicate: the file is safe at the target.
    QFile::remove(source);
    return QString();
}

} // namespace

QString move(const QString &source, const QString &target, bool replace, const std::atomic_bool *cancelled) {
    const FileProbe::Look from = FileProbe::look(source);
    if (from.kind != FileProbe::Kind::Regular) {
        return sourceProblem(from);
    }
    if (!replace && FileProbe::look(target).kind != FileProbe::Kind::Missing) {
        return QStringLiteral("目标位置已有同名文件");
    }
    std::error_code error;
    const Faults *faults = g_faults.load();
    if (faults && faults->renameAcrossDevices) {
        error = std::make_error_code(std::errc::cross_device_link);
    } else {
        std::filesystem::rename(nativePath(source), nativePath(target), error);
    }
    if (!error) {
        return QString();
    }
    if (error == std::errc::cross_device_link) {
        return copyAcross(source, target, replace, cancelled);
    }
    return error.category() == std::generic_category() || error.category() == std::system_category()
               ? systemErrorText(error.value())
               : QString::fromLocal8Bit(error.message().c_str());
}

QString makeFolder(const QString &folder) {
    const QFileInfo info(folder);
    if (info.isDir()) {
        return QString();
    }
    if (info.exists()) {
        return QStringLiteral("同名的文件已存在，不是文件夹");
    }
    std::error_code error;
    std::filesystem::create_directories(nativePath(folder), error);
    if (error) {
        return systemErrorText(error.value());
    }
    return QFileInfo(folder).isDir() ? QString() : QStringLiteral("文件夹未能创建");
}

void setFaults(const Faults *faults) {
    g_faults.store(faults);
}

} // namespace FileMove
