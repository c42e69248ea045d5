#include "TestArchives.h"

#include <archive.h>
#include <archive_entry.h>
#include <locale.h>
#include <memory>

namespace TestArchives {
namespace {

la_ssize_t append(archive *, void *data, const void *buffer, size_t length) {
    static_cast<QByteArray *>(data)->append(static_cast<const char *>(buffer),
                                            static_cast<qsizetype>(length));
    return static_cast<la_ssize_t>(length);
}

bool setFormat(archive *a, const QString &format) {
    if (format == u"zip") {
        return archive_write_set_format_zip(a) == ARCHIVE_OK;
    }
    if (format == u"7z") {
        return archive_write_set_format_7zip(a) == ARCHIVE_OK;
    }
    if (format == u"tar") {
        return archive_write_set_format_pax_restricted(a) == ARCHIVE_OK;
    }
    if (format == u"tar.gz") {
        return archive_write_set_format_pax_restricted(a) == ARCHIVE_OK &&
               archive_write_add_filter_gzip(a) == ARCHIVE_OK;
    }
    if (format == u"gz") {
        return archive_write_set_format_raw(a) == ARCHIVE_OK &&
               archive_write_add_filter_gzip(a) == ARCHIVE_OK;
    }
    return false;
}

// libarchive's writer takes names in the charset of the thread's locale: UTF-8 while it writes.
class Utf8Locale {
public:
    Utf8Locale() : m_utf8(newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr)) {
        if (m_utf8) {
            m_previous = uselocale(m_utf8);
        }
    }
    ~Utf8Locale() {
        if (m_utf8) {
            uselocale(m_previous);
            freelocale(m_utf8);
        }
    }
    Utf8Locale(const Utf8Locale &) = delete;
    Utf8Locale &operator=(const Utf8Locale &) = delete;

private:
    locale_t m_utf8;
    locale_t m_previous = nullptr;
};

} // namespace

QByteArray make(const QString &format, const QList<Member> &members, const char *options,
                const char *passphrase) {
    const Utf8Locale utf8;
    std::unique_ptr<archive, decltype(&archive_write_free)> writer(archive_write_new(), archive_write_free);
    archive *a = writer.get();
    QByteArray bytes;
    if (!setFormat(a, format) || (options && archive_write_set_options(a, options) != ARCHIVE_OK) ||
        (passphrase && archive_write_set_passphrase(a, passphrase) != ARCHIVE_OK) ||
        archive_write_set_bytes_in_last_block(a, 1) != ARCHIVE_OK ||
        archive_write_open(a, &bytes, nullptr, append, nullptr) != ARCHIVE_OK) {
        return QByteArray();
    }
    for (const Member &member : members) {
        std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(),
                                                                            archive_entry_free);
        archive_entry_set_pathname_utf8(entry.get(), member.name.toUtf8().constData());
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        archive_entry_set_size(entry.get(), member.bytes.size());
        archive_entry_set_mtime(entry.get(), 1'700'000'000, 0);
        if (archive_write_header(a, entry.get()) != ARCHIVE_OK ||
            (!member.bytes.isEmpty() &&
             archive_write_data(a, member.bytes.constData(), static_cast<size_t>(member.bytes.size())) !=
                 member.bytes.size())) {
            return QByteArray();
        }
    }
    if (archive_write_close(a) != ARCHIVE_OK) {
        return QByteArray();
    }
    return bytes;
}

} // namespace TestArchives
