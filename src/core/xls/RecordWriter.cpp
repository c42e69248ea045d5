#include "core/xls/RecordWriter.h"

#include "core/xls/BiffRecords.h"

#include <QtEndian>
#include <cstring>

namespace Xls {

RecordWriter::RecordWriter(qsizetype expectedSize) {
    m_data.resize(qMax<qsizetype>(expectedSize, 1024));
}

char *RecordWriter::grow(qsizetype count) {
    if (m_size + count > m_data.size()) {
        m_data.resize(qMax(m_data.size() * 2, m_size + count));
    }
    char *at = m_data.data() + m_size;
    m_size += count;
    return at;
}

void RecordWriter::begin(quint16 type) {
    Q_ASSERT(m_recordStart < 0);
    m_recordStart = m_size;
    char *header = grow(Biff::RecordHeaderSize);
    qToLittleEndian<quint16>(type, header);
    qToLittleEndian<quint16>(0, header + 2);
}

void RecordWriter::end() {
    Q_ASSERT(m_recordStart >= 0);
    const int length = recordDataSize();
    Q_ASSERT(length <= Biff::MaxRecordData);
    qToLittleEndian<quint16>(quint16(length), m_data.data() + m_recordStart + 2);
    m_recordStart = -1;
}

void RecordWriter::record(quint16 type, QByteArrayView data) {
    begin(type);
    bytes(data);
    end();
}

void RecordWriter::u8(quint8 value) {
    *grow(1) = char(value);
}

void RecordWriter::u16(quint16 value) {
    qToLittleEndian<quint16>(value, grow(2));
}

void RecordWriter::u32(quint32 value) {
    qToLittleEndian<quint32>(value, grow(4));
}

void RecordWriter::bytes(QByteArrayView data) {
    if (!data.isEmpty()) {
        std::memcpy(grow(data.size()), data.data(), size_t(data.size()));
    }
}

void RecordWriter::chars(QStringView text, bool wide) {
    if (text.isEmpty()) {
        return;
    }
    if (wide) {
        qToLittleEndian<char16_t>(text.utf16(), text.size(), grow(text.size() * 2));
        return;
    }
    char *out = grow(text.size());
    const char16_t *in = text.utf16();
    for (qsizetype i = 0; i < text.size(); ++i) {
        out[i] = char(in[i]);
    }
}

void RecordWriter::patchU32(qsizetype offset, quint32 value) {
    Q_ASSERT(offset >= 0 && offset + 4 <= m_size);
    qToLittleEndian<quint32>(value, m_data.data() + offset);
}

void RecordWriter::padTo(qsizetype size) {
    if (m_size >= size) {
        return;
    }
    const qsizetype count = size - m_size;
    std::memset(grow(count), 0, size_t(count));
}

QByteArray RecordWriter::take() {
    Q_ASSERT(m_recordStart < 0);
    m_data.truncate(m_size);
    m_size = 0;
    return std::exchange(m_data, QByteArray());
}

} // namespace Xls
