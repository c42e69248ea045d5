#include "core/common/FileMove.h"

#include "core/common/SystemErrors.h"
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <filesystem>
#include <system_error>

namespace FileMove {
namespace {

std::filesystem::path nativePath(const QString &path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

QString copyAcross(const QString &source, const QString &target, const std::atomic_bool *cancelled) {
    errno = 0;
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        return fileErrorText(in, errno);
    }
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly)) {
        return fileErrorText(out, errno);
    }
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        if (cancelled && cancelled->load(std::memory_order_relaxed)) {
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
    }
    out.setPermissions(in.permissions());
    // Flushed first: a commit alone may report success for data that never reached the disk.
    if (!out.flush() || !out.commit()) {
        return fileErrorText(out, errno);
    }
    in.close();
    if (!QFile::remove(source)) {
        // The file is safe at the target; the copy left behind is only a duplicate.
        return QString();
    }
    return QString();
}

} // namespace

QString move(const QString &source, const QString &target, bool replace, const std::atomic_bool *cancelled) {
    const QFileInfo from(source);
    if (!from.exists() || from.isDir()) {
        return QStringLiteral("源文件不存在");
    }
    if (!replace && QFileInfo::exists(target)) {
        return QStringLiteral("目标位置已有同名文件");
    }
    std::error_code error;
    std::filesystem::rename(nativePath(source), nativePath(target), error);
    if (!error) {
        return QString();
    }
    if (error == std::errc::cross_device_link) {
        return copyAcross(source, target, cancelled);
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

} // namespace FileMove
