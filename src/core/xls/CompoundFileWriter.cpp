#include "core/xls/CompoundFileWriter.h"

#include "core/xls/GsfLibrary.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>

namespace Xls {

namespace {

void setError(QString *error, const QString &text) {
    if (error) {
        *error = text;
    }
}

QString gsfErrorText(GsfOutput *output) {
    const GError *e = gsf_output_error(output);
    return e && e->message ? QString::fromUtf8(e->message) : QStringLiteral("unknown error");
}

} // namespace

CompoundFileWriter::CompoundFileWriter() {
    ensureGsfInitialized();
    m_sink = gsf_output_memory_new();
    m_ole = gsf_outfile_msole_new_full(m_sink, 512, 64);
}

CompoundFileWriter::~CompoundFileWriter() {
    if (m_ole) {
        if (!gsf_output_is_closed(GSF_OUTPUT(m_ole))) {
            gsf_output_close(GSF_OUTPUT(m_ole));
        }
        g_object_unref(m_ole);
    }
    if (m_sink) {
        if (!gsf_output_is_closed(m_sink)) {
            gsf_output_close(m_sink);
        }
        g_object_unref(m_sink);
    }
}

bool CompoundFileWriter::addStream(const QString &name, QByteArrayView data, QString *error) {
    if (!m_ole || m_finished) {
        setError(error, QStringLiteral("The compound file could not be created."));
        return false;
    }
    GsfOutput *child = gsf_outfile_new_child(m_ole, name.toUtf8().constData(), FALSE);
    if (!child) {
        setError(error, QStringLiteral("The compound file could not take the stream “%1”.").arg(name));
        return false;
    }
    bool ok = gsf_output_write(child, size_t(data.size()), reinterpret_cast<const guint8 *>(data.data()));
    QString reason = ok ? QString() : gsfErrorText(child);
    if (!gsf_output_close(child) && ok) {
        ok = false;
        reason = gsfErrorText(child);
    }
    g_object_unref(child);
    if (!ok) {
        setError(error, QStringLiteral("Writing the stream “%1” failed: %2").arg(name, reason));
    }
    return ok;
}

bool CompoundFileWriter::finish(QString *error) {
    if (!m_ole || m_finished) {
        setError(error, QStringLiteral("The compound file could not be created."));
        return false;
    }
    m_finished = true;
    if (!gsf_output_close(GSF_OUTPUT(m_ole))) {
        setError(error,
                 QStringLiteral("Writing the compound file failed: %1").arg(gsfErrorText(GSF_OUTPUT(m_ole))));
        return false;
    }
    return true;
}

QByteArrayView CompoundFileWriter::bytes() const {
    if (!m_finished || !m_sink) {
        return {};
    }
    const guint8 *data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(m_sink));
    return QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(gsf_output_size(m_sink)));
}

} // namespace Xls
