#include "core/common/FileMove.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
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

QString copyAcross(const QString &source, const QString &target) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        return in.errorString();
    }
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly)) {
        return out.errorString();
    }
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 got = in.read(buffer.data(), buffer.size());
        if (got < 0) {
            out.cancelWriting();
            return in.errorString();
        }
        if (got == 0) {
            break;
        }
        if (out.write(buffer.constData(), got) != got) {
            out.cancelWriting();
            return out.errorString();
        }
    }
    out.setPermissions(in.permissions());
    if (!out.commit()) {
        return out.errorString();
    }
    in.close();
    if (!QFile::remove(source)) {
        // The file is safe at the target; the copy left behind is only a duplicate.
        return QString();
    }
    return QString();
}

} // namespace

QString move(const QString &source, const QString &target, bool replace) {
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
        return copyAcross(source, target);
    }
    return QString::fromLocal8Bit(error.message().c_str());
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
        return QString::fromLocal8Bit(error.message().c_str());
    }
    return QFileInfo(folder).isDir() ? QString() : QStringLiteral("文件夹未能创建");
}

} // namespace FileMove
