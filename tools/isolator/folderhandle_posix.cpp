#include "FolderHandle.h"

#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int fd(std::intptr_t handle) {
    return static_cast<int>(handle);
}

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool isLink(int folder, const QByteArray &name) {
    struct stat status {};
    return ::fstatat(folder, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode);
}

} // namespace

FolderHandle::~FolderHandle() {
    if (isOpen()) {
        ::close(fd(m_handle));
    }
}

FolderHandle::FolderHandle(FolderHandle &&other) noexcept : m_handle(other.m_handle) {
    other.m_handle = -1;
}

FolderHandle &FolderHandle::operator=(FolderHandle &&other) noexcept {
    if (this != &other) {
        if (isOpen()) {
            ::close(fd(m_handle));
        }
        m_handle = other.m_handle;
        other.m_handle = -1;
    }
    return *this;
}

FolderHandle FolderHandle::open(const QString &path, int *error) {
    FolderHandle folder;
    folder.m_handle = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    *error = folder.isOpen() ? 0 : errno;
    return folder;
}

FolderHandle FolderHandle::openChild(const QString &name, bool *made, int *error) const {
    const QByteArray encoded = QFile::encodeName(name);
    FolderHandle child;
    *made = false;
    child.m_handle = ::openat(fd(m_handle), encoded.constData(), kFolderFlags);
    if (!child.isOpen() && errno == ENOENT) {
        if (::mkdirat(fd(m_handle), encoded.constData(), 0777) == 0) {
            *made = true;
        } else if (errno != EEXIST) {
            *error = errno;
            return child;
        }
        child.m_handle = ::openat(fd(m_handle), encoded.constData(), kFolderFlags);
    }
    // Systems differ in what O_NOFOLLOW says about a link; the caller hears one thing.
    *error = child.isOpen() ? 0 : (isLink(fd(m_handle), encoded) ? ELOOP : errno);
    return child;
}

void FolderHandle::removeChild(const QString &name) const {
    ::unlinkat(fd(m_handle), QFile::encodeName(name).constData(), AT_REMOVEDIR);
}

bool FolderHandle::contains(const QString &name) const {
    struct stat status {};
    // Anything but a clear "not there" counts as taken: a name is never claimed on a guess.
    return ::fstatat(fd(m_handle), QFile::encodeName(name).constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 ||
           errno != ENOENT;
}

IncomingFile::IncomingFile(const FolderHandle &folder) : m_folder(folder) {}

IncomingFile::~IncomingFile() {
    m_file.close();
    if (m_handle >= 0) {
        ::close(fd(m_handle));
        if (!m_published && !m_temporaryName.isEmpty()) {
            ::unlinkat(fd(m_folder.m_handle), QFile::encodeName(m_temporaryName).constData(), 0);
        }
    }
}

int IncomingFile::create() {
    const int folder = fd(m_folder.m_handle);
#ifdef O_TMPFILE
    // Nameless until published: not even a crash leaves a partial file behind.
    m_handle = ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
#endif
    for (int attempt = 0; m_handle < 0 && attempt < 100; ++attempt) {
        m_temporaryName =
            QStringLiteral(".incoming-%1.part")
                .arg(qulonglong(QRandomGenerator::global()->generate64()), 16, 16, QLatin1Char('0'));
        m_handle = ::openat(folder, QFile::encodeName(m_temporaryName).constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (m_handle < 0 && errno != EEXIST) {
            break;
        }
    }
    if (m_handle < 0) {
        const int error = errno;
        m_temporaryName.clear();
        return error;
    }
    if (!m_file.open(fd(m_handle), QIODevice::WriteOnly | QIODevice::Unbuffered,
                     QFileDevice::DontCloseHandle)) {
        return EBADF;
    }
    return 0;
}

int IncomingFile::publish(const QString &name) {
    if (!m_synced) {
        if (::fsync(fd(m_handle)) != 0) {
            return errno;
        }
        m_synced = true;
    }
    const int folder = fd(m_folder.m_handle);
    const QByteArray encoded = QFile::encodeName(name);
    // A link, unlike a rename, fails when the name is taken, whatever took it: nothing is replaced.
    int result = 0;
    if (m_temporaryName.isEmpty()) {
        char self[64];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd(m_handle));
        result = ::linkat(AT_FDCWD, self, folder, encoded.constData(), AT_SYMLINK_FOLLOW);
    } else {
        result =
            ::linkat(folder, QFile::encodeName(m_temporaryName).constData(), folder, encoded.constData(), 0);
    }
    if (result != 0) {
        return errno;
    }
    m_published = true;
    if (!m_temporaryName.isEmpty()) {
        ::unlinkat(folder, QFile::encodeName(m_temporaryName).constData(), 0);
    }
    return 0;
}
