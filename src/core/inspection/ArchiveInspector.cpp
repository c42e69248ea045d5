#include "core/inspection/ArchiveInspector.h"

#include "core/common/FileProbe.h"
#include "core/config/FileTypeFilter.h"
#include "core/inspection/ContentCheck.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <archive.h>
#include <archive_entry.h>
#include <memory>

#ifndef Q_OS_WIN
#include <clocale>
#include <locale.h>
#endif

namespace {

constexpr qsizetype kBlock = 64 * 1024;

struct ReaderDeleter {
    void operator()(archive *reader) const { archive_read_free(reader); }
};
using Reader = std::unique_ptr<archive, ReaderDeleter>;

// Single compressed files: their one member is named after them, without the suffix.
bool isCompressedFile(const QString &name) {
    const QString extension = FileTypeFilter::extensionOf(name).toLower();
    return extension == u"gz" || extension == u"bz2" || extension == u"xz";
}

// Only libarchive's own decoders: a filter that would start an outside program on the data is never
// enabled.
Reader newReader(bool singleFile) {
    Reader reader(archive_read_new());
    if (!reader) {
        return reader;
    }
    archive *a = reader.get();
    archive_read_support_filter_gzip(a);
    archive_read_support_filter_bzip2(a);
    archive_read_support_filter_xz(a);
    archive_read_support_format_zip(a);
    archive_read_support_format_7zip(a);
    archive_read_support_format_rar(a);
    archive_read_support_format_rar5(a);
    archive_read_support_format_tar(a);
    if (singleFile) {
        archive_read_support_format_raw(a);
    }
    // Zip names without the UTF-8 flag come from Chinese Windows: code page 936.
    archive_read_set_options(a, "zip:hdrcharset=CP936");
    return reader;
}

QString errorOf(archive *a) {
    const char *text = archive_error_string(a);
    return text ? QString::fromUtf8(text) : QString();
}

QStringList componentsOf(const QString &path) {
    static const QRegularExpression separators(QStringLiteral("[/\\\\]"));
    return path.split(separators, Qt::SkipEmptyParts);
}

// True for a path that would land outside the folder it is unpacked in: absolute, with a drive, or
// climbing with "..".
bool escapes(const QString &path) {
    if (path.startsWith(u'/') || path.startsWith(u'\\') ||
        (path.size() >= 2 && path[1] == u':' && path[0].isLetter() && path[0].unicode() < 128)) {
        return true;
    }
    return componentsOf(path).contains(QStringLiteral(".."));
}

QString sizeText(qint64 bytes) {
    if (bytes % (1LL << 30) == 0) {
        return QStringLiteral("%1 GB").arg(bytes >> 30);
    }
    if (bytes % (1LL << 20) == 0) {
        return QStringLiteral("%1 MB").arg(bytes >> 20);
    }
    return QStringLiteral("%1 字节").arg(bytes);
}

#ifndef Q_OS_WIN
// libarchive turns member names into the charset of the calling thread's locale; under a UTF-8
// locale every name it can read arrives whole, whatever locale the process runs in.
class Utf8Names {
public:
    Utf8Names() : m_utf8(newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr)) {
        if (m_utf8) {
            m_previous = uselocale(m_utf8);
        }
    }
    ~Utf8Names() {
        if (m_utf8) {
            uselocale(m_previous);
            freelocale(m_utf8);
        }
    }
    Utf8Names(const Utf8Names &) = delete;
    Utf8Names &operator=(const Utf8Names &) = delete;

private:
    locale_t m_utf8;
    locale_t m_previous = nullptr;
};
#else
struct Utf8Names {};
#endif

using Verdict = ArchiveInspector::Verdict;

// One inspection: the counts so far and the first reason to stop.
class Walk {
public:
    Walk(const ArchiveInspector::NamePredicate &permits, const ContentCheck *content,
         const ArchiveLimits &limits, const std::atomic<bool> *cancel, qint64 archiveBytes)
        : m_permits(permits), m_content(content), m_limits(limits), m_cancel(cancel) {
        const qint64 byRatio =
            archiveBytes > m_limits.maxExpandedBytes / std::max<qint64>(m_limits.maxRatio, 1)
                ? m_limits.maxExpandedBytes
                : archiveBytes * m_limits.maxRatio;
        m_byRatio = byRatio < m_limits.maxExpandedBytes;
        m_budget = std::min(byRatio, m_limits.maxExpandedBytes);
    }

    Verdict &verdict() { return m_verdict; }
    bool stopped() const { return m_stopped; }

    // Reads every member of the open archive a, which is named name and lies depth archives deep
    // (0: the file itself); its members' paths start with prefix. False once there is a verdict.
    bool members(archive *a, int depth, const QString &name, const QString &prefix);

    // Stops with the first verdict; a later one never replaces it.
    bool refuse(const QString &reason, const QString &member, const QString &detail = {}) {
        if (!m_stopped) {
            m_stopped = true;
            m_verdict.outcome = Verdict::Outcome::Refused;
            m_verdict.reason = reason;
            m_verdict.member = member;
            m_verdict.detail = detail;
        }
        return false;
    }

    // opened: a reads as an archive of a known format, which can say whether it holds encrypted data.
    bool damaged(archive *a, const QString &member, bool opened = true) {
        if (opened && archive_read_has_encrypted_entries(a) > 0) {
            return refuse(QStringLiteral("压缩包内有加密的内容，无法检查"), member, errorOf(a));
        }
        return refuse(member.isEmpty() ? QStringLiteral("压缩包已损坏，无法检查")
                                       : QStringLiteral("压缩包在“%1”处已损坏，无法检查").arg(member),
                      member, errorOf(a));
    }

    // Reads up to size bytes of the current member of a, counting them against the budget: the bytes
    // read, 0 at its end, -1 once stopped.
    qint64 read(archive *a, char *data, qint64 size, const QString &member) {
        if (m_cancel && m_cancel->load()) {
            if (!m_stopped) {
                m_stopped = true;
                m_verdict.outcome = Verdict::Outcome::Cancelled;
            }
            return -1;
        }
        const la_ssize_t got = archive_read_data(a, data, static_cast<size_t>(size));
        if (got < 0) {
            damaged(a, member);
            return -1;
        }
        m_verdict.expandedBytes += got;
        if (m_verdict.expandedBytes > m_budget) {
            overBudget(member);
            return -1;
        }
        return got;
    }

    bool overBudget(const QString &member) {
        return refuse(
            m_byRatio
                ? QStringLiteral("压缩包解压后超过原大小的 %1 倍（可能是压缩炸弹）").arg(m_limits.maxRatio)
                : QStringLiteral("压缩包解压后超过 %1").arg(sizeText(m_limits.maxExpandedBytes)),
            member);
    }

private:
    bool member(archive *a, archive_entry *entry, int depth, const QString &archiveName,
                const QString &prefix);
    bool nested(archive *parent, int depth, const QString &name, const QString &path, const QByteArray &first,
                bool ended);
    bool drain(archive *a, const QString &path);

    const ArchiveInspector::NamePredicate &m_permits;
    const ContentCheck *m_content;
    const ArchiveLimits &m_limits;
    const std::atomic<bool> *m_cancel;
    qint64 m_budget = 0;
    bool m_byRatio = false;
    bool m_stopped = false;
    Verdict m_verdict;
};

// A nested archive read as a stream: first the bytes already read, then the rest of the member.
struct NestedStream {
    Walk *walk;
    archive *parent;
    const QByteArray *first;
    QString path;
    qsizetype firstSent = 0;
    QByteArray block = QByteArray(kBlock, Qt::Uninitialized);
};

la_ssize_t readNested(archive *child, void *data, const void **buffer) {
    auto *stream = static_cast<NestedStream *>(data);
    if (stream->firstSent < stream->first->size()) {
        *buffer = stream->first->constData() + stream->firstSent;
        const qsizetype size = stream->first->size() - stream->firstSent;
        stream->firstSent = stream->first->size();
        return size;
    }
    const qint64 got = stream->walk->read(stream->parent, stream->block.data(), kBlock, stream->path);
    if (got < 0) {
        archive_set_error(child, -1, "stopped");
        return ARCHIVE_FATAL;
    }
    *buffer = stream->block.constData();
    return got;
}

bool Walk::members(archive *a, int depth, const QString &name, const QString &prefix) {
    for (;;) {
        archive_entry *entry = nullptr;
        const int status = archive_read_next_header(a, &entry);
        if (m_stopped) {
            return false;
        }
        if (status == ARCHIVE_EOF) {
            return true;
        }
        if (status < ARCHIVE_WARN) {
            return damaged(a, prefix.chopped(prefix.isEmpty() ? 0 : 1));
        }
        if (!member(a, entry, depth, name, prefix)) {
            return false;
        }
    }
}

bool Walk::member(archive *a, archive_entry *entry, int depth, const QString &archiveName,
                  const QString &prefix) {
    if (m_cancel && m_cancel->load()) {
        m_stopped = true;
        m_verdict.outcome = Verdict::Outcome::Cancelled;
        return false;
    }
    const char *rawName = archive_entry_pathname(entry);
    QString name = rawName ? QString::fromUtf8(rawName) : QString();
    if (archive_format(a) == ARCHIVE_FORMAT_RAW) {
        // Anything reads as raw data; it is a single compressed file only when it was compressed.
        if (archive_filter_code(a, 0) == ARCHIVE_FILTER_NONE) {
            return damaged(a, prefix);
        }
        // A single compressed file has no names inside: its member is the file without the suffix.
        name = archiveName.left(archiveName.lastIndexOf(u'.'));
    }
    if (name.isEmpty()) {
        return damaged(a, prefix);
    }
    const QString path = prefix + name;
    if (++m_verdict.members > m_limits.maxMembers) {
        return refuse(QStringLiteral("压缩包内的文件超过 %1 个").arg(m_limits.maxMembers), path);
    }
    if (escapes(name)) {
        return refuse(QStringLiteral("压缩包内的“%1”含有上级目录或绝对路径").arg(path), path);
    }
    for (const char *target : {archive_entry_symlink(entry), archive_entry_hardlink(entry)}) {
        if (target && escapes(QString::fromUtf8(target))) {
            return refuse(QStringLiteral("压缩包内的“%1”链接到上级目录或绝对路径").arg(path), path);
        }
    }
    if (archive_entry_is_encrypted(entry)) {
        return refuse(QStringLiteral("压缩包内的“%1”已加密，无法检查").arg(path), path);
    }
    const auto type = archive_entry_filetype(entry);
    if (type == AE_IFDIR) {
        return true;
    }
    const QStringList components = componentsOf(name);
    const QString leaf = components.isEmpty() ? name : components.last();
    if (!m_permits(leaf)) {
        return refuse(QStringLiteral("压缩包内的“%1”是不允许上传的类型").arg(path), path);
    }
    if (type != AE_IFREG && type != 0) {
        return true; // a link or a device holds no content of its own
    }
    // Declared sizes can lie, and are only a way to stop early; the bytes read are what counts.
    if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > m_budget - m_verdict.expandedBytes) {
        return overBudget(path);
    }
    const bool isArchive = ArchiveInspector::isArchiveName(leaf);
    if (isArchive && depth >= m_limits.maxDepth) {
        return refuse(QStringLiteral("压缩包内的“%1”嵌套超过 %2 层").arg(path).arg(m_limits.maxDepth), path);
    }

    // The first bytes: for the content check, and for a nested archive as much as may be held in memory.
    const qint64 wanted = isArchive   ? std::max(m_limits.maxBufferedBytes, ContentCheck::kHeadBytes)
                          : m_content ? ContentCheck::kHeadBytes
                                      : 0;
    QByteArray first;
    bool ended = wanted == 0;
    while (first.size() < wanted) {
        const qsizetype had = first.size();
        const qint64 size = std::min<qint64>(kBlock, wanted - had);
        first.resize(had + size);
        const qint64 got = read(a, first.data() + had, size, path);
        if (got < 0) {
            return false;
        }
        first.resize(had + got);
        if (got == 0) {
            ended = true;
            break;
        }
    }
    if (m_content) {
        const ContentCheck::Verdict content = m_content->checkHead(
            leaf, QByteArrayView(first).first(std::min<qsizetype>(first.size(), ContentCheck::kHeadBytes)),
            path);
        if (content.outcome == ContentCheck::Verdict::Outcome::Mismatch) {
            return refuse(QStringLiteral("压缩包内的“%1”%2").arg(path, content.reason), path);
        }
        if (content.outcome == ContentCheck::Verdict::Outcome::Failed) {
            return refuse(QStringLiteral("压缩包内的“%1”无法判断内容的类型").arg(path), path,
                          content.failure.detail);
        }
    }
    if (isArchive) {
        return nested(a, depth, leaf, path, first, ended);
    }
    return ended || drain(a, path);
}

bool Walk::nested(archive *parent, int depth, const QString &name, const QString &path,
                  const QByteArray &first, bool ended) {
    Reader child = newReader(isCompressedFile(name));
    if (!child) {
        return refuse(QStringLiteral("压缩包内的“%1”无法检查").arg(path), path);
    }
    NestedStream stream{this, parent, &first, path};
    int status = ARCHIVE_OK;
    if (ended) {
        status = archive_read_open_memory(child.get(), first.constData(), static_cast<size_t>(first.size()));
    } else if (FileTypeFilter::extensionOf(name).compare(u"7z", Qt::CaseInsensitive) == 0) {
        // A 7z keeps its index at its end: it cannot be read as a stream.
        return refuse(
            QStringLiteral("压缩包内的“%1”超过 %2，无法检查").arg(path, sizeText(m_limits.maxBufferedBytes)),
            path);
    } else {
        status = archive_read_open(child.get(), &stream, nullptr, readNested, nullptr);
    }
    if (m_stopped) {
        return false;
    }
    if (status != ARCHIVE_OK) {
        return damaged(child.get(), path, false);
    }
    if (!members(child.get(), depth + 1, name, path + u'/')) {
        return false;
    }
    child.reset();
    return ended || drain(parent, path);
}

bool Walk::drain(archive *a, const QString &path) {
    QByteArray block(kBlock, Qt::Uninitialized);
    for (;;) {
        const qint64 got = read(a, block.data(), kBlock, path);
        if (got <= 0) {
            return got == 0;
        }
    }
}

} // namespace

ArchiveInspector::ArchiveInspector(NamePredicate permits, const ContentCheck *content, ArchiveLimits limits)
    : m_permits(std::move(permits)), m_content(content), m_limits(limits) {}

bool ArchiveInspector::isArchiveName(const QString &name) {
    static const QStringList kExtensions = {
        QStringLiteral("zip"), QStringLiteral("7z"),   QStringLiteral("rar"), QStringLiteral("tar"),
        QStringLiteral("tgz"), QStringLiteral("tbz2"), QStringLiteral("txz"), QStringLiteral("gz"),
        QStringLiteral("bz2"), QStringLiteral("xz")};
    return kExtensions.contains(FileTypeFilter::extensionOf(name), Qt::CaseInsensitive);
}

ArchiveInspector::Verdict ArchiveInspector::inspect(const QString &path) const {
    QFile file;
    FileProbe::Stamp stamp;
    FileProbe::Look look;
    if (!FileProbe::openRegular(path, file, &stamp, &look)) {
        Verdict verdict;
        verdict.outcome = Verdict::Outcome::Unreadable;
        verdict.failure = Failure::of(Failure::Kind::Read, path, FileProbe::kindText(look.kind, look.error));
        return verdict;
    }
    const Utf8Names names;
    const QString name = QFileInfo(path).fileName();
    Walk walk(m_permits, m_content, m_limits, m_cancel, stamp.size);
    Reader reader = newReader(isCompressedFile(name));
    if (!reader) {
        walk.refuse(QStringLiteral("压缩包无法检查"), QString());
    } else if (archive_read_open_fd(reader.get(), file.handle(), kBlock) != ARCHIVE_OK) {
        walk.damaged(reader.get(), QString(), false);
    } else {
        walk.members(reader.get(), 0, name, QString());
    }
    return walk.verdict();
}
