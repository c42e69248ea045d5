#include "core/inspection/ContentCheck.h"

#include "core/common/SafeRead.h"
#include "core/common/SystemErrors.h"
#include "core/config/FileTypeFilter.h"
#include "core/inspection/ContentTypes.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <magic.h>

namespace {

// A libmagic handle on the system's database, or null with *error.
magic_set *openMagic(int flags, QString *error) {
    magic_set *magic = magic_open(flags);
    if (!magic) {
        *error = systemErrorText(errno);
        return nullptr;
    }
    if (magic_load(magic, nullptr) != 0) {
        *error = QString::fromLocal8Bit(magic_error(magic));
        magic_close(magic);
        return nullptr;
    }
    return magic;
}

// Content that starts with its type's own signature is that type: libmagic names it so from these very
// bytes, but only after a walk through its whole database, which costs ten times as long.
struct Signature {
    QStringView extensions; // parted by blanks
    QByteArrayView prefix;
    QLatin1StringView mimeType;
};

const Signature kSignatures[] = {
    {u"pdf", "%PDF-", QLatin1StringView("application/pdf")},
    {u"png", "\x89PNG\r\n\x1a\n", QLatin1StringView("image/png")},
    {u"jpg jpeg", "\xff\xd8\xff", QLatin1StringView("image/jpeg")},
    {u"gif", "GIF87a", QLatin1StringView("image/gif")},
    {u"gif", "GIF89a", QLatin1StringView("image/gif")},
};

// The type head's signature gives it under extension, or empty text.
QString signedType(const QString &extension, QByteArrayView head) {
    for (const Signature &signature : kSignatures) {
        if (!head.startsWith(signature.prefix)) {
            continue;
        }
        for (const QStringView known : signature.extensions.tokenize(u' ', Qt::SkipEmptyParts)) {
            if (extension.compare(known, Qt::CaseInsensitive) == 0) {
                return signature.mimeType;
            }
        }
    }
    return QString();
}

} // namespace

ContentCheck::ContentCheck() {
    m_magic = openMagic(MAGIC_MIME_TYPE | MAGIC_ERROR, &m_loadError);
    m_text = m_magic ? openMagic(MAGIC_MIME_TYPE | MAGIC_ERROR | MAGIC_NO_CHECK_SOFT, &m_loadError) : nullptr;
}

ContentCheck::~ContentCheck() {
    for (magic_set *magic : {m_magic, m_text}) {
        if (magic) {
            magic_close(magic);
        }
    }
}

QString ContentCheck::typeOf(magic_set *magic, QByteArrayView head, QString *error) const {
    if (!ready()) {
        if (error) {
            *error = m_loadError;
        }
        return QString();
    }
    const std::lock_guard<std::mutex> hold(m_lock);
    const char *type = magic_buffer(magic, head.data(), static_cast<size_t>(head.size()));
    if (!type) {
        if (error) {
            const char *text = magic_error(magic);
            *error = text ? QString::fromLocal8Bit(text) : QString();
        }
        return QString();
    }
    return QString::fromLatin1(type);
}

QString ContentCheck::mimeTypeOf(QByteArrayView head, QString *error) const {
    return typeOf(m_magic, head, error);
}

ContentCheck::Verdict ContentCheck::checkHead(const QString &name, QByteArrayView head,
                                              const QString &path) const {
    Verdict verdict;
    const QString extension = FileTypeFilter::extensionOf(name);
    // A single byte tells libmagic nothing (it takes "a" for data), nor can it do harm.
    if (!ContentTypes::knows(extension) || head.size() < 2) {
        return verdict;
    }
    if (const QString type = ready() ? signedType(extension, head) : QString(); !type.isEmpty()) {
        verdict.mimeType = type;
        return verdict;
    }
    QString error;
    if (ContentTypes::takesAnyText(extension)) {
        const QString text = typeOf(m_text, head, &error);
        if (text.startsWith(u"text/")) {
            verdict.mimeType = text;
            return verdict;
        }
    }
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
