#include "core/common/FileProbe.h"
#include "core/common/SystemErrors.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMultiHash>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileProbe {

namespace {

Stamp stampFrom(const struct stat &info) {
    Stamp stamp;
    stamp.device = static_cast<quint64>(info.st_dev);
    stamp.inode = static_cast<quint64>(info.st_ino);
    stamp.size = static_cast<qint64>(info.st_size);
    stamp.modifiedNs = static_cast<qint64>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    return stamp;
}

Kind kindOf(mode_t mode) {
    if (S_ISREG(mode)) {
        return Kind::Regular;
    }
    return S_ISLNK(mode) ? Kind::Link : Kind::Special;
}

// Whether the open file description behind /proc/<pid>/fdinfo/<fd> was opened for writing.
bool openedForWriting(int fdinfoFolder, const char *name) {
    const int info = ::openat(fdinfoFolder, name, O_RDONLY | O_CLOEXEC);
    if (info < 0) {
        return false;
    }
    char text[512];
    const ssize_t length = ::read(info, text, sizeof text - 1);
    ::close(info);
    if (length <= 0) {
        return false;
    }
    text[length] = '\0';
    const char *flags = std::strstr(text, "flags:");
    if (!flags) {
        return false;
    }
    const unsigned long mode = std::strtoul(flags + 6, nullptr, 8);
    return (mode & O_ACCMODE) == O_WRONLY || (mode & O_ACCMODE) == O_RDWR;
}

// The files asked about, found by inode, and which of them are held open for writing so far.
struct Writers {
    const QList<Stamp> &stamps;
    QMultiHash<quint64, qsizetype> byInode;
    QList<bool> held;
    qsizetype heldCount = 0;
};

// Marks the files a process holds open for writing.
void markWriters(int procFolder, const char *pid, Writers *writers) {
    char path[300]; // a pid and a short suffix; room for any name readdir gives
    std::snprintf(path, sizeof path, "%s/fd", pid);
    const int fdFolder = ::openat(procFolder, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fdFolder < 0) {
        return;
    }
    DIR *fds = ::fdopendir(fdFolder);
    if (!fds) {
        ::close(fdFolder);
        return;
    }
    while (const dirent *entry = ::readdir(fds)) {
        struct stat target {};
        if (entry->d_name[0] == '.' || ::fstatat(fdFolder, entry->d_name, &target, 0) != 0) {
            continue;
        }
        const auto inode = static_cast<quint64>(target.st_ino);
        for (auto it = writers->byInode.constFind(inode); it != writers->byInode.cend() && it.key() == inode;
             ++it) {
            const qsizetype i = it.value();
            if (writers->held[i] || static_cast<quint64>(target.st_dev) != writers->stamps[i].device) {
                continue;
            }
            std::snprintf(path, sizeof path, "%s/fdinfo", pid);
            const int fdinfo = ::openat(procFolder, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fdinfo >= 0 && openedForWriting(fdinfo, entry->d_name)) {
                writers->held[i] = true;
                ++writers->heldCount;
            }
            if (fdinfo >= 0) {
                ::close(fdinfo);
            }
        }
    }
    ::closedir(fds);
}

} // namespace

Look look(const QString &path) {
    Look result;
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0) {
        result.error = errno;
        result.kind = errno == ENOENT || errno == ENOTDIR ? Kind::Missing : Kind::Unreadable;
        return result;
    }
    result.kind = kindOf(info.st_mode);
    result.stamp = stampFrom(info);
    return result;
}

QList<Look> lookIn(const QString &folder, const QStringList &names) {
    QList<Look> looks;
    looks.reserve(names.size());
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        for (const QString &name : names) {
            looks.append(look(QDir(folder).filePath(name)));
        }
        return looks;
    }
    for (const QString &name : names) {
        Look result;
        struct stat info {};
        if (::fstatat(dir, QFile::encodeName(name).constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            result.error = errno;
            result.kind = errno == ENOENT || errno == ENOTDIR ? Kind::Missing : Kind::Unreadable;
        } else {
            result.kind = kindOf(info.st_mode);
            result.stamp = stampFrom(info);
        }
        looks.append(result);
    }
    ::close(dir);
    return looks;
}

bool openRegular(const QString &path, QFile &file, Stamp *stamp, Look *seen, bool followLink) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | (followLink ? 0 : O_NOFOLLOW) | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        // ELOOP: the final component is a link; say what is there.
        *seen =
            error == ELOOP ? look(path) : Look{error == ENOENT ? Kind::Missing : Kind::Unreadable, {}, error};
        return false;
    }
    struct stat info {};
    const bool stated = ::fstat(fd, &info) == 0;
    if (!stated || !S_ISREG(info.st_mode)) {
        *seen = Look{stated ? kindOf(info.st_mode) : Kind::Unreadable, {}, stated ? 0 : errno};
        ::close(fd);
        return false;
    }
    // Reads of a regular file never block; clear the flag all the same, for the reader's sake.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *seen = Look{Kind::Unreadable, {}, EIO};
        return false;
    }
    *stamp = stampFrom(info);
    *seen = Look{Kind::Regular, *stamp, 0};
    return true;
}

Stamp stampOf(const QFile &file) {
    struct stat info {};
    if (::fstat(file.handle(), &info) != 0) {
        return {};
    }
    return stampFrom(info);
}

bool heldOpenForWriting(const Stamp &stamp) {
    return heldOpenForWriting(QList<Stamp>{stamp}).first();
}

QList<bool> heldOpenForWriting(const QList<Stamp> &stamps) {
    Writers writers{stamps, {}, QList<bool>(stamps.size(), false)};
    for (qsizetype i = 0; i < stamps.size(); ++i) {
        writers.byInode.insert(stamps[i].inode, i);
    }
    const int procFolder = stamps.isEmpty() ? -1 : ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procFolder < 0) {
        return writers.held;
    }
    DIR *processes = ::fdopendir(procFolder);
    if (!processes) {
        ::close(procFolder);
        return writers.held;
    }
    while (const dirent *entry = ::readdir(processes)) {
        if (entry->d_name[0] >= '1' && entry->d_name[0] <= '9') {
            markWriters(procFolder, entry->d_name, &writers);
            if (writers.heldCount == stamps.size()) {
                break;
            }
        }
    }
    ::closedir(processes);
    return writers.held;
}

bool modifiedWithin(const Stamp &stamp, std::chrono::milliseconds span) {
    if (span.count() <= 0) {
        return false;
    }
    const qint64 nowNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
    return nowNs - stamp.modifiedNs < std::chrono::nanoseconds(span).count();
}

QString kindText(Kind kind, int error) {
    switch (kind) {
    case Kind::Regular:
        return {};
    case Kind::Missing:
        return QStringLiteral("文件不存在");
    case Kind::Link:
        return QStringLiteral("是符号链接，不会被跟随");
    case Kind::Special:
        return QStringLiteral("不是普通文件（文件夹、管道、套接字或设备）");
    case Kind::Unreadable:
        return systemErrorText(error);
    }
    return {};
}

} // namespace FileProbe
