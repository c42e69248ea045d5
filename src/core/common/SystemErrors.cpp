#include "core/common/SystemErrors.h"

#include <QFileDevice>
#include <cerrno>

QString systemErrorText(int code) {
    switch (code) {
    case ENOENT:
        return QStringLiteral("文件或文件夹不存在");
    case EACCES:
    case EPERM:
        return QStringLiteral("没有访问权限");
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return QStringLiteral("磁盘空间不足");
    case EROFS:
        return QStringLiteral("磁盘只读，不能写入");
    case EIO:
        return QStringLiteral("磁盘读写错误");
    case EBUSY:
        return QStringLiteral("文件正被占用");
    case EISDIR:
        return QStringLiteral("这是一个文件夹");
    case ENOTDIR:
        return QStringLiteral("路径中有一段不是文件夹");
    case ENAMETOOLONG:
        return QStringLiteral("名称过长");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("打开的文件过多");
    case EXDEV:
        return QStringLiteral("不能跨磁盘直接移动");
    case EEXIST:
        return QStringLiteral("同名文件已存在");
    default:
        return QStringLiteral("系统错误（代码 %1）").arg(code);
    }
}

QString fileErrorText(const QFileDevice &file, int code) {
    if (code != 0) {
        return systemErrorText(code);
    }
    switch (file.error()) {
    case QFileDevice::ReadError:
        return QStringLiteral("读取出错");
    case QFileDevice::WriteError:
        return QStringLiteral("写入出错");
    case QFileDevice::OpenError:
        return QStringLiteral("无法打开");
    case QFileDevice::PermissionsError:
        return QStringLiteral("没有访问权限");
    case QFileDevice::RenameError:
        return QStringLiteral("无法改名");
    case QFileDevice::RemoveError:
        return QStringLiteral("无法删除");
    case QFileDevice::ResizeError:
        return QStringLiteral("无法改变大小");
    case QFileDevice::CopyError:
        return QStringLiteral("无法复制");
    default:
        return QStringLiteral("文件操作失败");
    }
}
