#include "core/xls/CompoundFileReader.h"

#include "core/xls/GsfLibrary.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>

namespace Xls {

namespace {

// Drops a GObject reference at the end of a scope.
template <typename T> struct Unref {
    T *object = nullptr;
    ~Unref() {
        if (object) {
            g_object_unref(object);
        }
    }
};

} // namespace

bool readCompoundFileStream(QByteArrayView file, const QStringList &names, QByteArray *stream,
                            QString *foundName, QString *error) {
    // libgsf's warnings about the file end up in the error text, never on standard error.
    GsfMessageCapture messages;
    Unref<GsfInput> input{
        gsf_input_memory_new(reinterpret_cast<const guint8 *>(file.data()), gsf_off_t(file.size()), FALSE)};
    if (!input.object) {
        *error = QStringLiteral("The file could not be read.");
        return false;
    }
    GError *gerror = nullptr;
    Unref<GsfInfile> ole{gsf_infile_msole_new(input.object, &gerror)};
    if (!ole.object) {
        const QString reason = gerror && gerror->message ? QString::fromUtf8(gerror->message) : QString();
        if (gerror) {
            g_error_free(gerror);
        }
        QStringList details;
        for (const QString &detail : {reason, messages.text()}) {
            if (!detail.isEmpty()) {
                details.append(detail);
            }
        }
        *error = QStringLiteral("The file is not an Excel 97-2003 workbook: it is no OLE2 compound file");
        *error += details.isEmpty() ? QStringLiteral(".")
                                    : QStringLiteral(" (%1).").arg(details.join(QStringLiteral("; ")));
        return false;
    }

    const int count = gsf_infile_num_children(ole.object);
    for (const QString &wanted : names) {
        for (int i = 0; i < count; ++i) {
            const char *name = gsf_infile_name_by_index(ole.object, i);
            if (!name || QString::fromUtf8(name).compare(wanted, Qt::CaseInsensitive) != 0) {
                continue;
            }
            Unref<GsfInput> child{gsf_infile_child_by_index(ole.object, i)};
            if (!child.object) {
                // The directory names the stream, but its sectors cannot be followed.
                *error = QStringLiteral("The workbook is damaged: its stream “%1” cannot be opened%2.")
                             .arg(QString::fromUtf8(name), messages.inParentheses());
                return false;
            }
            if (GSF_IS_INFILE(child.object) && gsf_infile_num_children(GSF_INFILE(child.object)) >= 0) {
                continue; // a storage of that name, not a stream
            }
            // A stream cannot be larger than the file holding it; a directory entry claiming more
            // is damaged and must not make us allocate its claim.
            const gsf_off_t size = gsf_input_size(child.object);
            if (size < 0 || size > gsf_off_t(file.size())) {
                *error = QStringLiteral(
                             "The workbook is damaged: the stream “%1” claims %2 bytes in a file of %3.")
                             .arg(QString::fromUtf8(name))
                             .arg(qint64(size))
                             .arg(file.size());
                return false;
            }
            QByteArray data(qsizetype(size), Qt::Uninitialized);
            if (size > 0 &&
                !gsf_input_read(child.object, size_t(size), reinterpret_cast<guint8 *>(data.data()))) {
                *error = QStringLiteral("The workbook is damaged: the stream “%1” cannot be read in full%2.")
                             .arg(QString::fromUtf8(name), messages.inParentheses());
                return false;
            }
            *stream = std::move(data);
            *foundName = QString::fromUtf8(name);
            return true;
        }
    }
    *error =
        QStringLiteral("The file is not an Excel workbook: it holds no “%1” stream.").arg(names.value(0));
    return false;
}

} // namespace Xls
