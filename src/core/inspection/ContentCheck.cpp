#include "core/inspection/ContentCheck.h"

#include "core/common/SafeRead.h"
#include "core/common/SystemErrors.h"
#include "core/config/FileTypeFilter.h"
#include "core/inspection/ContentTypes.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <magic.h>

ContentCheck::ContentCheck() {
    m_magic = magic_open(MAGIC_MIME_TYPE | MAGIC_ERROR);
    if (!m_magic) {
        m_loadError = systemErrorText(errno);
        return;
    }
    if (magic_load(m_magic, nullptr) != 0) {
        m_loadError = QString::fromLocal8Bit(magic_error(m_magic));
        magic_close(m_magic);
        m_magic = nullptr;
    }
}

ContentCheck::~ContentCheck() {
    if (m_magic) {
        magic_close(m_magic);
    }
}

QString ContentCheck::mimeTypeOf(QByteArrayView head, QString *error) const {
    if (!m_magic) {
        if (error) {
            *error = m_loadError;
        }
        return QString();
    }
    const std::lock_guard<std::mutex> hold(m_lock);
    const char *type = magic_buffer(m_magic, head.data(), static_cast<size_t>(head.size()));
    if (!type) {
        if (error) {
            const char *text = magic_error(m_magic);
            *error = text ? QString::fromLocal8Bit(text) : QString();
        }
        return QString();
    }
    return QString::fromLatin1(type);
}

ContentCheck::Verdict ContentCheck::checkHead(const QString &name, QByteArrayView head,
                                              const QString &path) const {
    Verdict verdict;
    const QString extension = FileTypeFilter::extensionOf(name);
    // A single byte tells libmagic nothing (it takes "a" for data), nor can it do harm.
    if (!ContentTypes::knows(extension) || head.size() < 2) {
        return verdict;
    }
    QString error;
    verdict.mimeType = mimeTypeOf(head, &error);
    if (verdict.mimeType.isEmpty()) {
        verdict.outcome = Verdict::Outcome::Failed;
        verdict.failure =
            Failure::of(Failure::Kind::Format, path, QStringLiteral("无法判断内容的类型"), error);
    } else if (!ContentTypes::fits(extension, verdict.mimeType)) {
        verdict.outcome = Verdict::Outcome::Mismatch;
        verdict.reason = ContentTypes::mismatch(extension, verdict.mimeType);
    }
    return verdict;
}

ContentCheck::Verdict ContentCheck::checkFile(const QString &path) const {
    const QString name = QFileInfo(path).fileName();
    if (!ContentTypes::knows(FileTypeFilter::extensionOf(name))) {
        return Verdict();
    }
    Verdict verdict;
    QFile file;
    if (!SafeRead::open(path, file, &verdict.failure)) {
        verdict.outcome = Verdict::Outcome::Failed;
        return verdict;
    }
    QByteArray head(kHeadBytes, Qt::Uninitialized);
    qint64 have = 0;
    while (have < kHeadBytes) {
        const qint64 got = file.read(head.data() + have, kHeadBytes - have);
        if (got < 0) {
            verdict.outcome = Verdict::Outcome::Failed;
            verdict.failure = Failure::of(Failure::Kind::Read, path, fileErrorText(file, errno));
            return verdict;
        }
        if (got == 0) {
            break;
        }
        have += got;
    }
    head.truncate(have);
    return checkHead(name, head, path);
}
